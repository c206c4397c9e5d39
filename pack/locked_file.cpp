#include "pack/locked_file.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/process.h"
#include "pack/raw_file.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qp {

// A locked target with its write buffer. position counts the bytes that
// really reached the file; a failed write drops the rest of the buffer, so
// the shortfall shows in file_position.
class locked_file {
 public:
  raw_file raw;
  std::vector<char> buffer;
  size_t used = 0;
  int64_t position = 0;
  bool write_failed = false;
  bool lf_line_ends = false;
};

namespace {

constexpr size_t write_buffer_size = 1024 * 1024;
// Spans at least this long are written without copying them first.
constexpr size_t direct_write_size = 64 * 1024;

// The write buffer of the last closed target, kept for the next one, so
// that a run over many targets does not fill a fresh megabyte with zeros
// for each of them.
std::vector<char> spare_buffer;

std::vector<char> take_spare_buffer() {
  std::vector<char> buffer = std::move(spare_buffer);
  spare_buffer = std::vector<char>();
  if (buffer.size() != write_buffer_size) {
    buffer.assign(write_buffer_size, '\0');
  }
  return buffer;
}

void flush(locked_file* file) {
  if (file->used == 0) {
    return;
  }
  if (!file->write_failed) {
    size_t written = raw_write(file->raw, file->buffer.data(), file->used);
    file->position += static_cast<int64_t>(written);
    if (written != file->used) {
      file->write_failed = true;
    }
  }
  file->used = 0;
}

}  // namespace

locked_file* open_locked(const std::string& path, lock_mode mode) {
  locked_file* file = new locked_file;
  if (!raw_open_locked(path, mode, file->raw)) {
    delete file;
    return nullptr;
  }
  if (mode != LOCKED_READ) {
    file->buffer = take_spare_buffer();
    int64_t size = mode == LOCKED_APPEND ? raw_size(file->raw) : 0;
    file->position = size < 0 ? 0 : size;
  }
  return file;
}

bool close_locked(locked_file* file) {
  if (!file) {
    return true;
  }
  flush(file);
  bool ok = !file->write_failed;
  clear_crash_target(file->raw.handle);
  if (!raw_close(file->raw)) {
    ok = false;
  }
  if (file->buffer.size() == write_buffer_size) {
    spare_buffer = std::move(file->buffer);
  }
  delete file;
  return ok;
}

void write_bytes(locked_file* file, std::string_view bytes) {
  while (!bytes.empty()) {
    size_t room = file->buffer.size() - file->used;
    if (room == 0) {
      flush(file);
      room = file->buffer.size();
    }
    size_t take = bytes.size() < room ? bytes.size() : room;
    std::memcpy(file->buffer.data() + file->used, bytes.data(), take);
    file->used += take;
    bytes.remove_prefix(take);
  }
}

void write_span(locked_file* file, std::string_view bytes) {
  if (bytes.size() < direct_write_size) {
    write_bytes(file, bytes);
    return;
  }
  flush(file);
  if (file->write_failed) {
    return;
  }
  size_t written = raw_write(file->raw, bytes.data(), bytes.size());
  file->position += static_cast<int64_t>(written);
  if (written != bytes.size()) {
    file->write_failed = true;
  }
}

void write_line(locked_file* file, std::string_view bytes) {
  size_t end_size = file->lf_line_ends ? 1 : 2;
  if (file->buffer.size() - file->used >= bytes.size() + end_size) {
    char* at = file->buffer.data() + file->used;
    std::memcpy(at, bytes.data(), bytes.size());
    at += bytes.size();
    if (!file->lf_line_ends) {
      *at++ = '\r';
    }
    *at = '\n';
    file->used += bytes.size() + end_size;
    return;
  }
  write_bytes(file, bytes);
  write_line_end(file);
}

namespace {

// Copies in[0, size) to out with every LF turned into CR LF; the end of
// what was written. Writes up to 16 bytes past that end.
char* expand_line_feeds(const char* in, size_t size, char* out) {
  const char* end = in + size;
#if defined(__SSE2__)
  const __m128i line_feed = _mm_set1_epi8('\n');
  while (end - in >= 16) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    unsigned ends = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, line_feed)));
    if (ends == 0) {
      in += 16;
      out += 16;
      continue;
    }
    unsigned at = static_cast<unsigned>(__builtin_ctz(ends));
    out[at] = '\r';
    out[at + 1] = '\n';
    in += at + 1;
    out += at + 2;
  }
#endif
  for (; in < end; ++in) {
    if (*in == '\n') {
      *out++ = '\r';
    }
    *out++ = *in;
  }
  return out;
}

}  // namespace

size_t write_lf_lines(locked_file* file, std::string_view bytes) {
  if (file->lf_line_ends) {
    write_span(file, bytes);
    return bytes.size();
  }
  // Each input byte takes at most two in the buffer, and the copy may
  // write 16 beyond its end.
  constexpr size_t slack = 16;
  size_t made = 0;
  while (!bytes.empty()) {
    size_t room = file->buffer.size() - file->used;
    if (room < 4 * slack) {
      flush(file);
      room = file->buffer.size();
    }
    size_t take = (room - slack) / 2;
    if (take > bytes.size()) {
      take = bytes.size();
    }
    char* start = file->buffer.data() + file->used;
    char* end = expand_line_feeds(bytes.data(), take, start);
    file->used += static_cast<size_t>(end - start);
    made += static_cast<size_t>(end - start);
    bytes.remove_prefix(take);
  }
  return made;
}

void write_line_end(locked_file* file) {
  write_bytes(file, file->lf_line_ends ? "\n" : "\r\n");
}

void set_lf_line_ends(locked_file* file, bool lf) {
  file->lf_line_ends = lf;
}

int line_end_size(const locked_file* file) {
  return file->lf_line_ends ? 1 : 2;
}

int read_tail(locked_file* file, char* out, int wanted) {
  flush(file);
  return raw_read_tail(file->raw, out, wanted);
}

int64_t file_position(locked_file* file) {
  flush(file);
  return file->position;
}

void note_whole_messages(locked_file* file, int64_t size) {
  set_crash_target(file->raw.handle, size);
}

bool truncate_locked(locked_file* file, int64_t size) {
  file->used = 0;
  if (!raw_truncate(file->raw, size)) {
    return false;
  }
  file->position = size;
  file->write_failed = false;
  return true;
}

bool take_back_to(locked_file* file, int64_t mark) {
  if (file->position == mark && !file->write_failed) {
    file->used = 0;  // nothing reached the file yet
    return true;
  }
  return truncate_locked(file, mark);
}

std::FILE* locked_stream(locked_file* file) {
  return file->raw.stream;
}

bool locked_identity(locked_file* file, file_identity& id) {
  return raw_identity(file->raw, id);
}

bool path_identity(const std::string& path, file_identity& id) {
  return raw_path_identity(path, id);
}

}  // namespace qp
