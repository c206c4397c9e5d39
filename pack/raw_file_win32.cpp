// The raw files on Windows. The whole-file lock of a target is the share
// mode of the open: LockFile does not keep another process from writing
// everywhere, a share mode does. Readers share with readers; a writer lets
// others read (so that a scanner or indexer holding the file open does not
// make the target fail) but never write. A source needs no check: the
// listing holds only files and directories, and a directory does not open
// as a file. Names go to the system as UTF-16, so a name in any script
// opens at any length.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "base/paths.h"
#include "base/wide_win32.h"
#include "pack/raw_file.h"

namespace qp {
namespace {

HANDLE handle_of(const raw_file& file) {
  return reinterpret_cast<HANDLE>(file.handle);
}

// Only a file on a disk is a target: not a device such as "nul" or "con",
// nor a pipe, which a reader would wait on.
bool is_disk_file(HANDLE handle) {
  return GetFileType(handle) == FILE_TYPE_DISK;
}

bool move_to(HANDLE handle, int64_t offset, DWORD method) {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  return SetFilePointerEx(handle, distance, nullptr, method) != 0;
}

// The stream through which the format test reads; it owns the handle,
// and closes it when it cannot be made.
bool attach_read_stream(HANDLE handle, raw_file& file) {
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle),
                           _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return false;
  }
  file.stream = _fdopen(fd, "rb");
  if (!file.stream) {
    _close(fd);  // closes the handle too
    return false;
  }
  return true;
}

}  // namespace

bool raw_open_locked(const std::string& path, lock_mode mode, raw_file& file) {
  const bool reading = mode == LOCKED_READ;
  // An appended file is read too, for its tail.
  DWORD access = mode == LOCKED_CREATE ? GENERIC_WRITE
                 : reading             ? GENERIC_READ
                                       : GENERIC_READ | GENERIC_WRITE;
  DWORD disposition = reading ? OPEN_EXISTING : OPEN_ALWAYS;
  std::wstring name = system_path(path);
  HANDLE handle = CreateFileW(name.c_str(), access, FILE_SHARE_READ, nullptr,
                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE && mode == LOCKED_APPEND &&
      GetLastError() == ERROR_ACCESS_DENIED) {
    // A file that may be written but not read is still appended to; only
    // its tail cannot be looked at.
    handle = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  bool ok = is_disk_file(handle);
  // The lock is held from the open on: only now may the file be emptied.
  if (ok && mode == LOCKED_CREATE) {
    ok = SetEndOfFile(handle) != 0;
  }
  if (ok && mode == LOCKED_APPEND) {
    ok = move_to(handle, 0, FILE_END);
  }
  if (!ok) {
    CloseHandle(handle);
    return false;
  }
  if (reading && !attach_read_stream(handle, file)) {
    return false;
  }
  file.handle = reinterpret_cast<intptr_t>(handle);
  return true;
}

int64_t raw_size(const raw_file& file) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handle_of(file), &size)) {
    return -1;
  }
  return static_cast<int64_t>(size.QuadPart);
}

size_t raw_write(const raw_file& file, const char* bytes, size_t size) {
  size_t done = 0;
  while (done < size) {
    const size_t left = size - done;
    const DWORD chunk =
        left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(handle_of(file), bytes + done, chunk, &written, nullptr) ||
        written == 0) {
      break;
    }
    done += written;
  }
  return done;
}

// Writing goes on at the new end, where the file pointer is left.
bool raw_truncate(const raw_file& file, int64_t size) {
  return move_to(handle_of(file), size, FILE_BEGIN) &&
         SetEndOfFile(handle_of(file)) != 0;
}

bool raw_close(raw_file& file) {
  bool ok;
  if (file.stream) {
    ok = std::fclose(file.stream) == 0;
  } else {
    ok = CloseHandle(handle_of(file)) != 0;
  }
  file.stream = nullptr;
  file.handle = -1;
  return ok;
}

// Read at an offset; the file pointer goes back to the end for the writes.
int raw_read_tail(const raw_file& file, char* out, int wanted) {
  HANDLE handle = handle_of(file);
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handle, &size)) {
    return -1;
  }
  int64_t start = size.QuadPart > wanted ? size.QuadPart - wanted : 0;
  DWORD want = static_cast<DWORD>(size.QuadPart - start);
  DWORD read = 0;
  bool ok = true;
  if (want > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(start & 0xffffffff);
    at.OffsetHigh = static_cast<DWORD>(start >> 32);
    ok = ReadFile(handle, out, want, &read, &at) && read == want;
  }
  if (!move_to(handle, 0, FILE_END) || !ok) {
    return -1;
  }
  return static_cast<int>(read);
}

namespace {

bool handle_identity(HANDLE handle, file_identity& id) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) {
    return false;
  }
  id.volume = info.dwVolumeSerialNumber;
  id.index =
      (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

}  // namespace

bool raw_identity(const raw_file& file, file_identity& id) {
  return handle_identity(handle_of(file), id);
}

// A handle without data access, sharing everything: it opens beside the
// target's own handle, and closing it leaves that handle's lock alone.
bool raw_path_identity(const std::string& path, file_identity& id) {
  HANDLE handle =
      CreateFileW(system_path(path).c_str(), 0,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  bool known = handle_identity(handle, id);
  CloseHandle(handle);
  return known;
}

// ---- Sources ----

std::FILE* raw_open_source(const std::string& path) {
  return open_regular_file(path);
}

const bool source_open_spares_lock = true;

// One CreateFileW, sharing as a stream's open does (a target open beside it
// lets it read); its size and identity from the handle. The listing holds
// only files and folders, and a folder does not open so: no other check.
intptr_t raw_open_source_handle(const std::string& path, int64_t& size,
                                file_identity& id, uint32_t& links) {
  HANDLE handle =
      CreateFileW(system_path(path).c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return -1;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) {
    CloseHandle(handle);
    return -1;
  }
  size = static_cast<int64_t>(
      (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  id.volume = info.dwVolumeSerialNumber;
  id.index =
      (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  links = info.nNumberOfLinks;
  return reinterpret_cast<intptr_t>(handle);
}

int64_t raw_read_handle(intptr_t handle, char* out, size_t size) {
  // ReadFile takes at most 4 GiB at once.
  DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  DWORD got = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(handle), out, want, &got, nullptr)) {
    return -1;
  }
  return static_cast<int64_t>(got);
}

bool raw_seek_handle(intptr_t handle, int64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = offset;
  return SetFilePointerEx(reinterpret_cast<HANDLE>(handle), to, nullptr,
                          FILE_BEGIN) != 0;
}

void raw_close_handle(intptr_t handle) {
  CloseHandle(reinterpret_cast<HANDLE>(handle));
}

int64_t raw_stream_size(std::FILE* stream) {
  return _filelengthi64(_fileno(stream));
}

bool raw_stream_seek(std::FILE* stream, int64_t offset) {
  return _fseeki64(stream, offset, SEEK_SET) == 0;
}

// Not tmpfile: the C runtime makes that file in the root of the drive,
// where a user may not write.
std::FILE* raw_temporary_file() {
  wchar_t directory[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, directory);
  if (length == 0 || length > MAX_PATH ||
      GetTempFileNameW(directory, L"qp", 0, name) == 0) {
    return nullptr;
  }
  HANDLE handle = CreateFileW(
      name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    DeleteFileW(name);
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* stream = _fdopen(fd, "w+b");
  if (!stream) {
    _close(fd);
  }
  return stream;
}

}  // namespace qp
