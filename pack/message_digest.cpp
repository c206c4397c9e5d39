#include "pack/message_digest.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/paths.h"
#include "pack/line_facts.h"
#include "pack/result.h"
#include "pack/separator.h"
#include "window/events.h"

namespace qp {
namespace {

// ---- The hash: a 128-bit stream hash of 16-byte blocks (the mixing of
// MurmurHash3's x64 128-bit form), fed in pieces of any size ----

uint64_t rotate_left(uint64_t x, int r) {
  return (x << r) | (x >> (64 - r));
}

uint64_t final_mix(uint64_t k) {
  k ^= k >> 33;
  k *= 0xff51afd7ed558ccdULL;
  k ^= k >> 33;
  k *= 0xc4ceb9fe1a85ec53ULL;
  k ^= k >> 33;
  return k;
}

uint64_t little_endian_word(const unsigned char* bytes) {
  uint64_t word = 0;
  for (int i = 7; i >= 0; --i) {
    word = (word << 8) | bytes[i];
  }
  return word;
}

constexpr uint64_t mix_c1 = 0x87c37b91114253d5ULL;
constexpr uint64_t mix_c2 = 0x4cf5ad432745937fULL;

class stream_hash {
 public:
  void add(std::string_view bytes) {
    length_ += bytes.size();
    while (!bytes.empty()) {
      size_t take = std::min(bytes.size(), sizeof block_ - filled_);
      std::memcpy(block_ + filled_, bytes.data(), take);
      filled_ += take;
      bytes.remove_prefix(take);
      if (filled_ == sizeof block_) {
        mix_block();
        filled_ = 0;
      }
    }
  }

  message_digest finish() {
    std::memset(block_ + filled_, 0, sizeof block_ - filled_);
    uint64_t k1 = little_endian_word(block_);
    uint64_t k2 = little_endian_word(block_ + 8);
    if (filled_ > 8) {
      h2_ ^= rotate_left(k2 * mix_c2, 33) * mix_c1;
    }
    if (filled_ > 0) {
      h1_ ^= rotate_left(k1 * mix_c1, 31) * mix_c2;
    }
    uint64_t h1 = h1_ ^ length_;
    uint64_t h2 = h2_ ^ length_;
    h1 += h2;
    h2 += h1;
    h1 = final_mix(h1);
    h2 = final_mix(h2);
    h1 += h2;
    h2 += h1;
    return {h1, h2};
  }

 private:
  void mix_block() {
    uint64_t k1 = little_endian_word(block_);
    uint64_t k2 = little_endian_word(block_ + 8);
    h1_ ^= rotate_left(k1 * mix_c1, 31) * mix_c2;
    h1_ = (rotate_left(h1_, 27) + h2_) * 5 + 0x52dce729;
    h2_ ^= rotate_left(k2 * mix_c2, 33) * mix_c1;
    h2_ = (rotate_left(h2_, 31) + h1_) * 5 + 0x38495ab5;
  }

  unsigned char block_[16] = {};
  size_t filled_ = 0;
  uint64_t length_ = 0;
  uint64_t h1_ = 0;
  uint64_t h2_ = 0;
};

// ---- The normal form, line by line; a line may come in pieces ----

// Each line of the form ends in a line feed, which no line holds; the
// header's end is an empty line, which its form never holds.
class normal_form {
 public:
  // A header line's first piece decides whether the line counts; a
  // continuation line goes with the field it continues.
  void header_line(std::string_view first_piece) {
    bool continuation = !first_piece.empty() &&
                        (first_piece[0] == ' ' || first_piece[0] == '\t');
    if (!continuation) {
      skipping_field_ = is_state_field(first_piece);
    }
    counting_ = !first_piece.empty() && !skipping_field_;
    more(first_piece);
  }
  void end_header() {
    hash_.add("\n");
  }
  // A body line's first piece: the quoting in front of "From " goes;
  // empty lines wait until a line with content follows.
  void body_line(std::string_view first_piece, bool whole) {
    if (first_piece.empty() && whole) {
      ++empty_lines_waiting_;
      counting_ = false;
      return;
    }
    for (; empty_lines_waiting_ > 0; --empty_lines_waiting_) {
      hash_.add("\n");
    }
    counting_ = true;
    more(unquoted(first_piece));
  }
  void more(std::string_view piece) {
    if (counting_) {
      hash_.add(piece);
    }
  }
  void end_line() {
    if (counting_) {
      hash_.add("\n");
    }
    counting_ = false;
  }
  message_digest finish() {
    return hash_.finish();
  }

 private:
  static std::string_view unquoted(std::string_view line) {
    size_t marks = line.find_first_not_of('>');
    if (marks == std::string_view::npos) {
      return line;
    }
    if (marks == 0 && !line.empty() && line[0] == ' ') {
      marks = 1;
    }
    if (marks > 0 && line.substr(marks, 5) == "From ") {
      line.remove_prefix(marks);
    }
    return line;
  }

  stream_hash hash_;
  bool skipping_field_ = false;
  bool counting_ = false;
  int64_t empty_lines_waiting_ = 0;
};

// The rest of a line whose first piece was fed; false at the end of input.
void feed_rest_of_line(source_file* file, line_piece& piece,
                       normal_form& form) {
  while (!piece.complete && read_piece(file, piece)) {
    form.more(piece.content);
  }
  form.end_line();
}

// A header line as the transfer writes it: separator lines are lost.
bool header_drops(source_file* file, const line_piece& piece) {
  return piece.complete ? is_from_content(piece.content, true)
                        : long_line_is_written_from(file, piece.content);
}

void skip_rest_of_line(source_file* file, line_piece& piece) {
  while (!piece.complete && read_piece(file, piece)) {
  }
}

// Feeds the header from the reader's place up to and including the empty
// line that ends it; false when a stop came.
bool feed_header(source_file* file, normal_form& form, bool first_line) {
  line_piece piece;
  while (read_piece(file, piece)) {
    bool empty = piece.complete && piece.content.empty();
    if (empty && !first_line) {
      return true;
    }
    first_line = false;
    if (header_drops(file, piece)) {
      skip_rest_of_line(file, piece);
    } else {
      form.header_line(piece.content);
      feed_rest_of_line(file, piece, form);
    }
    do_events();
    if (!keep_running) {
      return false;
    }
  }
  return true;
}

int64_t read_outcome(const source_file* file) {
  if (source_abandoned(file) || !keep_running) {
    return E_ABORTED;
  }
  return source_failed(file) ? int64_t{E_READ} : int64_t{0};
}

}  // namespace

bool is_state_field(std::string_view line) {
  static const char* const names[] = {
      "status",         "x-status",         "x-keywords",        "x-uid",
      "content-length", "x-mozilla-status", "x-mozilla-status2",
  };
  if (header_colon(line) == 0) {
    return false;
  }
  size_t name_end = line.find_first_of(" \t:");
  std::string name = ascii_lower(std::string(line.substr(0, name_end)));
  for (const char* known : names) {
    if (name == known) {
      return true;
    }
  }
  return false;
}

int64_t digest_message(const message_source& source, message_digest& out) {
  source_file* file = source.reader;
  if (!file) {
    return E_READ;
  }
  normal_form form;
  // A separator line of the source's own is not part of its header.
  line_piece first;
  bool own_separator = read_piece(file, first) && header_drops(file, first);
  if (own_separator) {
    skip_rest_of_line(file, first);
  } else {
    rewind_source(file);
  }
  if (!feed_header(file, form, true)) {
    return E_ABORTED;
  }
  for (const std::string& line : source.added_header) {
    form.header_line(line);
    form.end_line();
  }
  form.end_header();
  line_piece piece;
  int64_t lines = 0;
  while (read_piece(file, piece)) {
    form.body_line(piece.content, piece.complete);
    feed_rest_of_line(file, piece, form);
    if (++lines % 256 == 0) {
      do_events();
      if (!keep_running) {
        return E_ABORTED;
      }
    }
  }
  int64_t outcome = read_outcome(file);
  if (outcome == 0) {
    out = form.finish();
  }
  return outcome;
}

namespace {

// Reads an mbox file line by line, a message at a time.
class mbox_reading {
 public:
  mbox_reading(source_file* file, std::vector<message_digest>& out,
               bytes_read_routine told)
      : file_(file), out_(out), told_(told) {}

  int64_t run() {
    line_piece piece;
    while (read_piece(file_, piece)) {
      count(piece.content.size() + 1);
      bool separator = piece.complete
                           ? is_from_content(piece.content, piece.has_line_end)
                           : long_line_is_from(file_, piece.content);
      if (separator) {
        finish_message();
        in_message_ = true;
        in_header_ = true;
        first_header_line_ = true;
        skip_rest(piece);
      } else if (in_message_) {
        take_line(piece);
      } else {
        skip_rest(piece);  // bytes before the first separator: no message
      }
      do_events();
      if (!keep_running) {
        tell();
        return E_ABORTED;
      }
    }
    finish_message();
    tell();
    return read_outcome(file_);
  }

 private:
  void take_line(line_piece& piece) {
    bool empty = piece.complete && piece.content.empty();
    if (in_header_ && empty && !first_header_line_) {
      in_header_ = false;
      form_.end_header();
      return;
    }
    if (in_header_) {
      first_header_line_ = false;
      form_.header_line(piece.content);
    } else {
      form_.body_line(piece.content, piece.complete);
    }
    while (!piece.complete && read_piece(file_, piece)) {
      count(piece.content.size());
      form_.more(piece.content);
    }
    form_.end_line();
  }

  void skip_rest(line_piece& piece) {
    while (!piece.complete && read_piece(file_, piece)) {
      count(piece.content.size());
    }
  }

  void finish_message() {
    if (!in_message_) {
      return;
    }
    if (in_header_) {
      form_.end_header();
    }
    out_.push_back(form_.finish());
    form_ = normal_form();
  }

  void count(uint64_t bytes) {
    unreported_ += bytes;
    if (unreported_ >= 1 << 20) {
      tell();
    }
  }

  void tell() {
    if (told_ && unreported_ > 0) {
      told_(unreported_);
    }
    unreported_ = 0;
  }

  source_file* file_;
  std::vector<message_digest>& out_;
  bytes_read_routine told_;
  normal_form form_;
  bool in_message_ = false;
  bool in_header_ = false;
  bool first_header_line_ = false;
  uint64_t unreported_ = 0;
};

}  // namespace

int64_t digest_mbox(source_file* mbox, std::vector<message_digest>& out,
                    bytes_read_routine told) {
  return mbox_reading(mbox, out, told).run();
}

// ---- The set ----

namespace {

// Room for the latest digests before they join the sorted array: an
// insert moves at most this many, a merge happens once per this many.
constexpr size_t recent_limit = 4096;

}  // namespace

void digest_set::reserve(size_t count) {
  sorted_.reserve(count);
  recent_.reserve(recent_limit);
}

void digest_set::clear() {
  sorted_.clear();
  recent_.clear();
}

bool digest_set::contains(const message_digest& digest) const {
  return std::binary_search(sorted_.begin(), sorted_.end(), digest) ||
         std::binary_search(recent_.begin(), recent_.end(), digest);
}

void digest_set::insert(const message_digest& digest) {
  recent_.insert(std::upper_bound(recent_.begin(), recent_.end(), digest),
                 digest);
  if (recent_.size() >= recent_limit) {
    merge_recent();
  }
}

void digest_set::insert_all(std::vector<message_digest>& digests) {
  merge_recent();
  sorted_.insert(sorted_.end(), digests.begin(), digests.end());
  std::sort(sorted_.begin(), sorted_.end());
  digests.clear();
  digests.shrink_to_fit();
}

// Merges from the back, in place: no second array is needed.
void digest_set::merge_recent() {
  if (recent_.empty()) {
    return;
  }
  size_t old_size = sorted_.size();
  sorted_.resize(old_size + recent_.size());
  size_t from_sorted = old_size;
  size_t from_recent = recent_.size();
  size_t to = sorted_.size();
  while (from_recent > 0) {
    if (from_sorted > 0 &&
        recent_[from_recent - 1] < sorted_[from_sorted - 1]) {
      sorted_[--to] = sorted_[--from_sorted];
    } else {
      sorted_[--to] = recent_[--from_recent];
    }
  }
  recent_.clear();
}

}  // namespace qp
