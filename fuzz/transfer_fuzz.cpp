// The line reader, the header scan and transfer_message against a whole-line
// model of the mbox format, for the default reader buffer and for buffers
// so small that every line arrives in pieces.
//
// Input: one byte for the quoting mode, the do-not-change begin and end
// patterns each ended by a line feed, then the source message.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/wildcard.h"
#include "pack/line_facts.h"
#include "pack/locked_file.h"
#include "pack/result.h"
#include "pack/separator.h"
#include "pack/transfer.h"
#include "window/events.h"

namespace {

constexpr size_t default_buffer = 256 * 1024;
constexpr size_t small_buffers[] = {2, 7, 64};

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "transfer_fuzz: %s\n", what);
    std::abort();
  }
}

// ---- The model: whole lines in memory ----

std::vector<std::string> model_lines(std::string_view data) {
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < data.size(); ++i) {
    char c = data[i];
    if (c != '\r' && c != '\n') {
      line.push_back(c);
      continue;
    }
    line.push_back('\n');
    lines.push_back(std::move(line));
    line.clear();
    if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n') {
      ++i;
    }
  }
  if (!line.empty()) {
    lines.push_back(std::move(line));
  }
  return lines;
}

struct model_header {
  int64_t first_colon = 0;
  int kinds_seen = 0;
  size_t end = 0;  // index of the first line after the block
};

model_header model_read_header(const std::vector<std::string>& lines,
                               size_t start) {
  model_header header;
  header.end = start;
  if (start >= lines.size()) {
    return header;
  }
  header.first_colon = qp::header_colon(lines[start]);
  if (header.first_colon > 4) {
    header.kinds_seen = qp::header_kind(lines[start]);
  }
  size_t i = start + 1;
  while (i < lines.size()) {
    const std::string& line = lines[i++];
    if (header.kinds_seen != 3 && qp::header_colon(line) > 4) {
      header.kinds_seen |= qp::header_kind(line);
      continue;
    }
    if (line == "\n") {
      break;
    }
  }
  header.end = i;
  return header;
}

struct model_writer {
  std::string out;
  bool last_had_line_end = true;
  void line(const std::string& text) {
    bool has_end = !text.empty() && text.back() == '\n';
    out.append(text, 0, has_end ? text.size() - 1 : text.size());
    if (has_end) {
      out += "\r\n";
    }
    last_had_line_end = has_end;
  }
};

// The separator test of a line as written: a last line gets its line end.
bool written_from(const std::string& line) {
  return qp::is_from_line(!line.empty() && line.back() == '\n' ? line
                                                               : line + "\n");
}

// The bytes the transfer must write; false when it must reject the source.
bool model_transfer(const std::vector<std::string>& lines,
                    const qp::transfer_options& options, std::string& out) {
  bool own = !lines.empty() && written_from(lines[0]);
  size_t start = own ? 1 : 0;
  model_header header = model_read_header(lines, start);
  if (!(header.first_colon > 1 && header.kinds_seen == 3)) {
    return false;
  }
  model_writer writer;
  writer.line(own ? lines[0] : std::string(qp::fallback_from_line));
  for (size_t i = start; i < header.end; ++i) {
    if (!written_from(lines[i])) {
      writer.line(lines[i]);
    }
  }
  qp::quoting_mode mode = own ? qp::FROM_KEEP : options.mode;
  bool quoting = mode != qp::FROM_KEEP;
  for (size_t i = header.end; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (mode == qp::FROM_GUARDED) {
      std::string_view content = line;
      if (!content.empty() && content.back() == '\n') {
        content.remove_suffix(1);
      }
      if (quoting && qp::match_pattern(options.donotchange_begin, content)) {
        quoting = false;
      }
      if (!quoting && qp::match_pattern(options.donotchange_end, content)) {
        quoting = true;
      }
    }
    writer.line(quoting && written_from(line) ? " " + line : line);
  }
  if (!writer.last_had_line_end) {
    writer.out += "\r\n";
  }
  out = std::move(writer.out);
  return true;
}

// ---- The real code ----

std::string target_path;
qp::locked_file* target = nullptr;  // open for the whole run, emptied per use

std::FILE* memory_stream(std::string& bytes) {
  // An empty buffer cannot be opened; one byte of room that is never read
  // stands in for it.
  if (bytes.empty()) {
    std::FILE* stream = fmemopen(nullptr, 1, "w+b");
    return stream;
  }
  return fmemopen(&bytes[0], bytes.size(), "rb");
}

int target_reader = -1;  // a second descriptor, for reading what was written

std::string read_target(int64_t size) {
  std::string bytes(static_cast<size_t>(size), '\0');
  ssize_t got = size > 0 ? pread(target_reader, &bytes[0], bytes.size(), 0) : 0;
  check(got == static_cast<ssize_t>(size), "cannot read the target back");
  return bytes;
}

// Runs transfer_from into the target file; the result and the bytes.
int64_t run_transfer(std::string& source, const qp::transfer_options& options,
                     std::string& written) {
  check(qp::truncate_locked(target, 0), "cannot empty the target");
  std::FILE* stream = memory_stream(source);
  check(stream != nullptr, "cannot open the source");
  qp::source_file* file = qp::open_source_stream(stream, true);
  int64_t result = qp::transfer_from(file, target, options);
  qp::close_source(file);
  int64_t position = qp::file_position(target);
  struct stat info {};
  check(fstat(target_reader, &info) == 0 && info.st_size == position,
        "the write position differs from the file size");
  written = read_target(position);
  return result;
}

void check_line_ends(const std::string& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r') {
      check(i + 1 < bytes.size() && bytes[i + 1] == '\n', "a CR without LF");
    } else if (bytes[i] == '\n') {
      check(i > 0 && bytes[i - 1] == '\r', "an LF without CR");
    }
  }
}

// The header lines a scan shows, without their line ends.
struct header_lines final : qp::header_observer {
  std::vector<std::string> lines;
  std::string line;
  void feed(std::string_view piece) override {
    line.append(piece);
  }
  void end_line(const qp::line_facts&) override {
    lines.push_back(line);
    line.clear();
  }
};

void check_reader(std::string& source, const std::vector<std::string>& lines) {
  std::FILE* stream = memory_stream(source);
  qp::source_file* file = qp::open_source_stream(stream, true);
  std::string line;
  size_t count = 0;
  while (qp::read_line(file, line)) {
    check(count < lines.size() && line == lines[count], "read_line differs");
    ++count;
  }
  check(count == lines.size(), "read_line lost lines");

  qp::rewind_source(file);
  header_lines block;
  qp::header_scan_options options;
  options.observer = &block;
  qp::header_scan scan = qp::scan_header(file, options);
  model_header model = model_read_header(lines, 0);
  check(!scan.aborted, "the header scan aborted");
  check(scan.indicators.first_colon == model.first_colon &&
            scan.indicators.kinds_seen == model.kinds_seen,
        "the header scan's indicators differ");
  check(block.lines.size() == model.end, "the header block length differs");
  for (size_t i = 0; i < block.lines.size(); ++i) {
    std::string_view line = lines[i];
    if (!line.empty() && line.back() == '\n') {
      line.remove_suffix(1);
    }
    check(block.lines[i] == line, "the header block differs");
  }
  qp::close_source(file);
}

// What was written must pass the test that appending applies to a target.
void check_reads_as_mbox(std::string& written) {
  std::FILE* stream = memory_stream(written);
  qp::source_file* file = qp::open_source_stream(stream, true);
  std::string first;
  check(qp::read_line(file, first) && qp::is_from_line(first),
        "the target does not begin with a separator line");
  check(qp::looks_like_message(qp::scan_header(file).indicators),
        "the target's first message fails the check");
  qp::close_source(file);
}

std::string take_line(std::string_view& data) {
  size_t end = data.find('\n');
  std::string line(data.substr(0, end));
  data.remove_prefix(end == std::string_view::npos ? data.size() : end + 1);
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  std::string pattern = std::string(dir) + "/quillpack-fuzz-XXXXXX";
  int fd = mkstemp(&pattern[0]);
  check(fd >= 0, "cannot create the target file");
  close(fd);
  target_path = pattern;
  target = qp::open_locked(target_path, qp::LOCKED_CREATE);
  check(target != nullptr, "cannot open the target");
  target_reader = open(target_path.c_str(), O_RDONLY | O_CLOEXEC);
  check(target_reader >= 0, "cannot open the target for reading");
  std::atexit([] { unlink(target_path.c_str()); });
  qp::keep_running = true;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  std::string_view input(reinterpret_cast<const char*>(data), size);
  qp::transfer_options options;
  options.mode =
      static_cast<qp::quoting_mode>(static_cast<unsigned char>(input[0]) % 3);
  input.remove_prefix(1);
  options.donotchange_begin = take_line(input);
  options.donotchange_end = take_line(input);
  std::string source(input);

  std::vector<std::string> lines = model_lines(source);
  std::string expected;
  bool accepted = model_transfer(lines, options, expected);

  for (size_t buffer :
       {default_buffer, small_buffers[0], small_buffers[1], small_buffers[2]}) {
    qp::set_reader_buffer_size(buffer);
    check_reader(source, lines);
    std::string written;
    int64_t result = run_transfer(source, options, written);
    if (!accepted) {
      check(result == qp::E_SOURCE_FORMAT, "a bad source was not rejected");
      check(written.empty(), "a rejected source left bytes");
      continue;
    }
    check(result == static_cast<int64_t>(written.size()),
          "the count differs from the bytes written");
    check(written == expected, "the bytes differ from the model");
    check_line_ends(written);
    if (buffer == default_buffer) {
      check_reads_as_mbox(written);
    }
  }
  qp::set_reader_buffer_size(default_buffer);
  return 0;
}
