// The floor of packing on Windows: what any program that copies the files
// of a folder into one output must do there, and nothing more.
//
//   floor_win32 FOLDER OUTPUT
//
// Lists FOLDER\*.eml with FindFirstFileW/FindNextFileW; for each file:
// CreateFileW, ReadFile in 1 MiB pieces, one memchr over each piece,
// WriteFile into OUTPUT, CloseHandle.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: floor_win32 FOLDER OUTPUT\n");
    return 2;
  }
  std::wstring folder = argv[1];
  HANDLE out = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  WIN32_FIND_DATAW found;
  HANDLE list = FindFirstFileW((folder + L"\\*.eml").c_str(), &found);
  if (out == INVALID_HANDLE_VALUE || list == INVALID_HANDLE_VALUE) {
    return 1;
  }
  std::vector<char> piece(1 << 20);
  size_t line_feeds = 0;
  do {
    HANDLE in = CreateFileW((folder + L"\\" + found.cFileName).c_str(),
                            GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE) {
      return 1;
    }
    DWORD got = 0;
    while (ReadFile(in, piece.data(), static_cast<DWORD>(piece.size()), &got,
                    nullptr) &&
           got > 0) {
      line_feeds += std::memchr(piece.data(), '\n', got) != nullptr;
      DWORD written = 0;
      WriteFile(out, piece.data(), got, &written, nullptr);
    }
    CloseHandle(in);
  } while (FindNextFileW(list, &found));
  FindClose(list);
  CloseHandle(out);
  std::fprintf(stderr, "%zu\n", line_feeds);
  return 0;
}
