#include "pack/source_reader.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "pack/apple_mail.h"
#include "pack/marks_header.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// The 64-byte test of plain runs has an AVX2 form, taken when the
// processor has it.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(_WIN32)
#define QP_BLOCKS_AVX2 1
#include <immintrin.h>
#endif

#include "pack/raw_file.h"
#include "window/events.h"

namespace qp {

// The buffer is never changed in place: a source whose header fits in it is
// read from the file once, even though the transfer passes over the header
// twice.
struct source_file {
  // A source message file is read through its own handle; a stream (the
  // target's check, the tests) through stdio.
  std::FILE* stream = nullptr;
  intptr_t handle = -1;
  file_identity id;    // of a file opened by its path; {0, 0} when unknown
  uint32_t links = 1;  // its hard links
  bool owned = false;
  char* buffer = nullptr;
  size_t capacity = 0;
  bool lent = false;          // buffer is the reader's common one
  std::vector<char> own;      // otherwise buffer points here
  int64_t buffer_offset = 0;  // file offset of buffer[0]
  size_t begin = 0;           // unread bytes are [begin, end)
  size_t end = 0;
  bool at_eof = false;
  bool failed = false;
  // The size the file had when it was opened, -1 for none: bytes appended
  // while it is read are not read, so a growing file still ends.
  int64_t limit = -1;
  int64_t start = 0;            // file offset of the source's first byte
  bool abandoned = false;       // a stop at once came while reading
  bool skip_line_feed = false;  // the last line ended in a CR at the buffer end
};

namespace {

size_t reader_buffer_size = 256 * 1024;
// Sources are read one after the other: the one open at a time borrows this
// buffer, so that a run of many small messages allocates it once. A source
// opened while another holds it gets a buffer of its own.
std::vector<char> common_buffer;
bool common_buffer_lent = false;

void reset_reader_position(source_file* file) {
  file->buffer_offset = file->start;
  file->begin = file->end = 0;
  file->at_eof = false;
  file->skip_line_feed = false;
}

source_file* attach_reader(std::FILE* stream, intptr_t handle, bool owned,
                           int64_t limit, bool unbuffer = true) {
  source_file* file = new source_file;
  if (!common_buffer_lent) {
    if (common_buffer.size() != reader_buffer_size) {
      common_buffer.assign(reader_buffer_size, '\0');
    }
    common_buffer_lent = true;
    file->lent = true;
    file->buffer = common_buffer.data();
  } else {
    file->own.assign(reader_buffer_size, '\0');
    file->buffer = file->own.data();
  }
  file->capacity = reader_buffer_size;
  if (stream && unbuffer) {
    // Large reads go straight to the file, not through a second buffer.
    std::setvbuf(stream, nullptr, _IONBF, 0);
  }
  file->stream = stream;
  file->handle = handle;
  file->owned = owned;
  file->limit = limit;
  return file;
}

// Up to size bytes, fewer only at the end of the file or on an error (then
// error is set).
size_t read_bytes(source_file* file, char* out, size_t size, bool& error) {
  if (file->stream) {
    size_t got = std::fread(out, 1, size, file->stream);
    error = got < size && std::ferror(file->stream);
    return got;
  }
  size_t got = 0;
  error = false;
  while (got < size) {
    int64_t some = raw_read_handle(file->handle, out + got, size - got);
    if (some <= 0) {
      error = some < 0;
      break;
    }
    got += static_cast<size_t>(some);
  }
  return got;
}

bool seek_to(source_file* file, int64_t offset) {
  if (file->stream) {
    std::clearerr(file->stream);
    return raw_stream_seek(file->stream, offset);
  }
  return raw_seek_handle(file->handle, offset);
}

// Moves the unread bytes to the front and reads more behind them.
void refill(source_file* file) {
  char* buffer = file->buffer;
  if (file->begin > 0) {
    size_t rest = file->end - file->begin;
    std::memmove(buffer, buffer + file->begin, rest);
    file->buffer_offset += static_cast<int64_t>(file->begin);
    file->begin = 0;
    file->end = rest;
  }
  size_t room = file->capacity - file->end;
  if (room == 0 || file->at_eof) {
    return;
  }
  // Once per buffer, so that a stop at once ends even a line of gigabytes.
  poll_events();
  if (stop_at_once) {
    file->abandoned = true;
    file->at_eof = true;
    return;
  }
  bool to_limit = false;
  if (file->limit >= 0) {
    int64_t left =
        file->limit - file->buffer_offset - static_cast<int64_t>(file->end);
    if (left <= static_cast<int64_t>(room)) {
      room = left > 0 ? static_cast<size_t>(left) : 0;
      to_limit = true;
    }
  }
  bool error = false;
  size_t got = room > 0 ? read_bytes(file, buffer + file->end, room, error) : 0;
  // A read comes back short only at the end of the file or on an error:
  // there is no need to ask the file once more.
  if (got < room || to_limit) {
    file->at_eof = true;
    // A file that ends before the size it had at open shrank while it was
    // read: what came of it is cut short.
    bool short_of_limit = file->limit >= 0 && got < room;
    if (error || short_of_limit) {
      file->failed = true;
    }
  }
  file->end += got;
}

// The first line end, CR or LF, in [from, to); null when there is none.
// One pass finds either: a search for each would pass over a CR LF line
// twice.
const char* find_line_end(const char* from, const char* to) {
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  while (to - from >= 16) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    int ends = _mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf)));
    if (ends != 0) {
      return from + __builtin_ctz(static_cast<unsigned>(ends));
    }
    from += 16;
  }
#endif
  for (; from < to; ++from) {
    if (*from == '\r' || *from == '\n') {
      return from;
    }
  }
  return nullptr;
}

// special holds a few bytes: a loop over them costs less than a call.
bool is_special_byte(char c, std::string_view special) {
  for (char s : special) {
    if (c == s) {
      return true;
    }
  }
  return false;
}

// The bytes a plain line may not begin with: CR and LF, whose bits the
// block test has anyway, and the others, each compared on its own.
struct special_bytes {
  bool cr = false;
  bool line_feed = false;
  std::string others;

  explicit special_bytes(std::string_view special) {
    for (char c : special) {
      if (c == '\r') {
        cr = true;
      } else if (c == '\n') {
        line_feed = true;
      } else {
        others += c;
      }
    }
  }
};

// Where a plain run stands after a block of 64 bytes at at, given the
// bits of its CRs, its LFs and its other special bytes: run_end moves
// past the block's last whole plain line; false when a line that is not
// plain ends the run there. No branch depends on where the lines fall.
struct plain_blocks {
  const char* run_end;
  bool lf;
  const special_bytes& special;
  uint64_t starts_line = 1;  // the first byte of the block begins a line
  uint64_t after_cr = 0;     // the byte before the block is a CR

  bool step(const char* at, uint64_t cr, uint64_t line_feed, uint64_t others) {
    // A CR LF line end is an LF right after a CR; a byte where the one is
    // found without the other ends the run.
    uint64_t wrong = lf ? cr : line_feed ^ ((cr << 1) | after_cr);
    // Only the first byte of a line can be special.
    uint64_t specials = others;
    specials |= special.cr ? cr : 0;
    specials |= special.line_feed ? line_feed : 0;
    wrong |= ((line_feed << 1) | starts_line) & specials;
    // The lines that end before the first wrong byte (all, when none is).
    uint64_t ends = line_feed & ((wrong & (~wrong + 1)) - 1);
    const char* last_end = at + 64 - __builtin_clzll(ends | 1);
    run_end = ends != 0 ? last_end : run_end;
    starts_line = line_feed >> 63;
    after_cr = cr >> 63;
    return wrong == 0;
  }
};

#if defined(__SSE2__)
// The bytes of a 64-byte block equal to c, one bit each.
uint64_t block_mask(const __m128i (&block)[4], char c) {
  const __m128i wanted = _mm_set1_epi8(c);
  uint64_t mask = 0;
  for (int i = 0; i < 4; ++i) {
    uint32_t bits = static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(block[i], wanted)));
    mask |= static_cast<uint64_t>(bits) << (16 * i);
  }
  return mask;
}

// The end of the plain lines from start, found 64 bytes at a time: every
// line end and line start of a block is tested at once, instead of a
// search per line. Stops short of the last block not whole in [start,
// stop) and of the first line that is not plain; the caller goes on line
// by line from the end returned.
const char* plain_blocks_end(const char* start, const char* stop, bool lf,
                             const special_bytes& special) {
  plain_blocks run{start, lf, special};
  for (const char* at = start; stop - at >= 64; at += 64) {
    __m128i block[4];
    for (int i = 0; i < 4; ++i) {
      block[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * i));
    }
    uint64_t others = 0;
    for (char c : special.others) {
      others |= block_mask(block, c);
    }
    if (!run.step(at, block_mask(block, '\r'), block_mask(block, '\n'),
                  others)) {
      break;
    }
  }
  return run.run_end;
}
#endif

#if defined(QP_BLOCKS_AVX2)
// The same, 32 bytes to a compare, on processors that have AVX2: half the
// instructions of the test above, which is most of the work on messages
// that need no change.
__attribute__((target("avx2"))) uint64_t block_mask_avx2(
    const __m256i (&block)[2], char c) {
  const __m256i wanted = _mm256_set1_epi8(c);
  uint64_t mask = 0;
  for (int i = 0; i < 2; ++i) {
    uint32_t bits = static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(block[i], wanted)));
    mask |= static_cast<uint64_t>(bits) << (32 * i);
  }
  return mask;
}

__attribute__((target("avx2"))) const char* plain_blocks_end_avx2(
    const char* start, const char* stop, bool lf,
    const special_bytes& special) {
  plain_blocks run{start, lf, special};
  for (const char* at = start; stop - at >= 64; at += 64) {
    __m256i block[2];
    for (int i = 0; i < 2; ++i) {
      block[i] =
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32 * i));
    }
    uint64_t others = 0;
    for (char c : special.others) {
      others |= block_mask_avx2(block, c);
    }
    if (!run.step(at, block_mask_avx2(block, '\r'),
                  block_mask_avx2(block, '\n'), others)) {
      break;
    }
  }
  return run.run_end;
}

bool has_avx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

bool use_avx2 = has_avx2();
#endif

}  // namespace

void set_wide_block_test(bool wide) {
#if defined(QP_BLOCKS_AVX2)
  use_avx2 = wide && has_avx2();
#else
  (void)wide;
#endif
}

void set_reader_buffer_size(size_t bytes) {
  reader_buffer_size = bytes < 2 ? 2 : bytes;
}

source_file* open_source(const std::string& path) {
  int64_t size = -1;
  file_identity id;
  uint32_t links = 1;
  intptr_t handle = raw_open_source_handle(path, size, id, links);
  if (handle == -1) {
    return nullptr;
  }
  source_file* file = attach_reader(nullptr, handle, true, size);
  file->id = id;
  file->links = links;
  return file;
}

source_file* open_source_stream(std::FILE* stream, bool owned) {
  return attach_reader(stream, -1, owned, -1);
}

source_file* open_written_source(std::FILE* stream) {
  return attach_reader(stream, -1, true, -1, false);
}

void close_source(source_file* file) {
  if (!file) {
    return;
  }
  if (file->owned && file->stream) {
    std::fclose(file->stream);
  }
  if (file->owned && file->handle != -1) {
    raw_close_handle(file->handle);
  }
  if (file->lent) {
    common_buffer_lent = false;
  }
  delete file;
}

void rewind_source(source_file* file) {
  if (file->buffer_offset == file->start && !file->failed) {
    // The buffer still holds the source from its first byte.
    file->begin = 0;
    file->skip_line_feed = false;
    return;
  }
  seek_to(file, file->start);
  reset_reader_position(file);
}

file_identity source_identity(const source_file* file) {
  return file->id;
}

bool source_has_several_links(const source_file* file) {
  return file->links > 1;
}

int peek_source_byte(source_file* file) {
  if (file->begin == file->end) {
    refill(file);
  }
  return file->begin < file->end
             ? static_cast<unsigned char>(file->buffer[file->begin])
             : -1;
}

bool set_source_range(source_file* file, int64_t start, int64_t end) {
  if (!seek_to(file, start)) {
    return false;
  }
  file->start = start;
  file->limit = end;
  file->failed = false;
  reset_reader_position(file);
  return true;
}

size_t read_source_at(source_file* file, int64_t offset, char* out,
                      size_t size) {
  size_t got = 0;
  bool error = false;
  if (seek_to(file, offset)) {
    got = read_bytes(file, out, size, error);
  }
  // The reader goes on from the end of what its buffer holds.
  seek_to(file, file->buffer_offset + static_cast<int64_t>(file->end));
  return got;
}

int64_t source_size(const source_file* file) {
  return file->limit;
}

bool source_failed(const source_file* file) {
  return file->failed;
}

bool source_abandoned(const source_file* file) {
  return file->abandoned;
}

bool read_piece(source_file* file, line_piece& piece) {
  char* buffer = file->buffer;
  while (true) {
    if (file->skip_line_feed) {
      if (file->begin == file->end) {
        refill(file);
        if (file->begin == file->end) {
          file->skip_line_feed = false;
          return false;
        }
      }
      if (buffer[file->begin] == '\n') {
        ++file->begin;
      }
      file->skip_line_feed = false;
    }
    const char* start = buffer + file->begin;
    const char* stop = buffer + file->end;
    if (const char* mark = find_line_end(start, stop)) {
      piece.content =
          std::string_view(start, static_cast<size_t>(mark - start));
      piece.has_line_end = true;
      piece.complete = true;
      size_t after = static_cast<size_t>(mark - buffer) + 1;
      if (*mark == '\r') {
        if (after < file->end) {
          if (buffer[after] == '\n') {
            ++after;
          }
        } else {
          file->skip_line_feed = true;
        }
      }
      file->begin = after;
      return true;
    }
    size_t pending = file->end - file->begin;
    if (file->at_eof) {
      if (pending == 0) {
        return false;
      }
      piece.content = std::string_view(start, pending);
      piece.has_line_end = false;
      piece.complete = true;
      file->begin = file->end;
      return true;
    }
    if (pending == file->capacity) {
      // A line longer than the buffer: hand it over piece by piece.
      piece.content = std::string_view(start, pending);
      piece.has_line_end = false;
      piece.complete = false;
      file->begin = file->end;
      return true;
    }
    refill(file);
  }
}

std::string_view read_plain_run(source_file* file, bool lf,
                                std::string_view special) {
  if (file->skip_line_feed) {
    return {};
  }
  char* buffer = file->buffer;
  const char* start = buffer + file->begin;
  const char* stop = buffer + file->end;
  const char* run_end = start;
#if defined(QP_BLOCKS_AVX2)
  const special_bytes bytes(special);
  run_end = use_avx2 ? plain_blocks_end_avx2(start, stop, lf, bytes)
                     : plain_blocks_end(start, stop, lf, bytes);
#elif defined(__SSE2__)
  run_end = plain_blocks_end(start, stop, lf, special_bytes(special));
#endif
  while (run_end < stop && !is_special_byte(*run_end, special)) {
    const char* mark = find_line_end(run_end, stop);
    if (!mark) {
      break;
    }
    if (lf) {
      if (*mark != '\n') {
        break;
      }
    } else if (*mark != '\r' || mark + 1 == stop || mark[1] != '\n') {
      break;
    }
    run_end = mark + (lf ? 1 : 2);
  }
  file->begin = static_cast<size_t>(run_end - buffer);
  return std::string_view(start, static_cast<size_t>(run_end - start));
}

bool next_line_begins_with(source_file* file, std::string_view special) {
  return !file->skip_line_feed && file->begin < file->end &&
         is_special_byte(file->buffer[file->begin], special);
}

bool read_line(source_file* file, std::string& line) {
  line.clear();
  line_piece piece;
  if (!read_piece(file, piece)) {
    return false;
  }
  line.append(piece.content);
  while (!piece.complete && read_piece(file, piece)) {
    line.append(piece.content);
  }
  if (piece.has_line_end) {
    line.push_back('\n');
  }
  return true;
}

bool read_line_ahead(source_file* file,
                     const std::function<bool(std::string_view)>& take) {
  // Read straight from the file behind the buffer, then go back there: the
  // buffer itself stays as it is.
  int64_t resume = file->buffer_offset + static_cast<int64_t>(file->end);
  const size_t ahead_size = 64 * 1024;
  std::unique_ptr<char[]> ahead_buffer(new char[ahead_size]);
  char* ahead = ahead_buffer.get();
  bool has_line_end = false;
  int64_t left = file->limit >= 0 ? file->limit - resume : INT64_MAX;
  while (left > 0) {
    poll_events();
    if (stop_at_once) {
      break;  // the reader gives up at its next refill
    }
    size_t want = left < static_cast<int64_t>(ahead_size)
                      ? static_cast<size_t>(left)
                      : ahead_size;
    bool error = false;
    size_t got = read_bytes(file, ahead, want, error);
    left -= static_cast<int64_t>(got);
    if (got == 0) {
      break;
    }
    const char* mark = find_line_end(ahead, ahead + got);
    size_t span = mark ? static_cast<size_t>(mark - ahead) : got;
    bool more = take(std::string_view(ahead, span));
    if (mark) {
      has_line_end = true;
      break;
    }
    if (!more) {
      break;
    }
  }
  seek_to(file, resume);
  return has_line_end;
}

message_source open_message_source(const std::string& path) {
  message_source source;
  source.reader = open_source(path);
  source.marks = marks_beside(path);
  if (source.reader) {
    take_apple_mail_file(path, source);
  }
  return source;
}

void close_message_source(message_source& source) {
  close_source(source.reader);
  source.reader = nullptr;
}

}  // namespace qp
