#include "pack/transfer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "pack/locked_file.h"
#include "pack/result.h"
#include "pack/separator.h"
#include "tests/support/scratch.h"
#include "window/events.h"

namespace qp {
namespace {

using testing_support::read_file;
using testing_support::scratch_dir;

const std::string fallback(
    fallback_from_line.substr(0, fallback_from_line.size() - 1).data(),
    fallback_from_line.size() - 1);

std::string crlf_fallback() {
  return fallback + "\r\n";
}

struct transfer_outcome {
  int64_t result;
  std::string written;
};

// Transfers source bytes into a fresh target and reads back what it holds.
// added: header lines the source's kind adds.
transfer_outcome transfer(const std::string& source,
                          transfer_options options = {}, bool lf = false,
                          const std::vector<std::string>& added = {},
                          header_observer* observer = nullptr) {
  scratch_dir dir;
  std::string source_path = dir.write("source.eml", source);
  std::string target_path = dir.path() + "target.mbx";
  locked_file* target = open_locked(target_path, LOCKED_CREATE);
  EXPECT_NE(target, nullptr);
  set_lf_line_ends(target, lf);
  message_source opened = open_message_source(source_path);
  opened.added_header = added;
  int64_t result = transfer_source(opened, target, options, nullptr, observer);
  close_message_source(opened);
  EXPECT_TRUE(close_locked(target));
  return {result, read_file(target_path)};
}

// A target that keeps a line of its own ahead of the message, reused for
// many transfers. The line keeps every cut-back off zero: on ext4 the
// close of a file cut to zero waits for the writeback of what it held,
// which made thousands of transfers into fresh targets slow.
const std::string first_line = "x\n";

// Transfers a source file into such a target, after cutting it back to
// its line, and gives back what follows the line.
transfer_outcome transfer_after_the_line(const std::string& source_path,
                                         const std::string& target_path,
                                         const transfer_options& options,
                                         bool lf) {
  locked_file* target = open_locked(target_path, LOCKED_APPEND);
  EXPECT_NE(target, nullptr);
  EXPECT_TRUE(truncate_locked(target, first_line.size()));
  set_lf_line_ends(target, lf);
  int64_t result = transfer_message(source_path, target, options);
  EXPECT_TRUE(close_locked(target));
  return {result, read_file(target_path).substr(first_line.size())};
}

transfer_options quoting(quoting_mode mode, std::string begin = "",
                         std::string end = "") {
  transfer_options options;
  options.mode = mode;
  options.donotchange_begin = begin;
  options.donotchange_end = end;
  return options;
}

class transfer_test : public ::testing::Test {
 protected:
  void SetUp() override {
    keep_running = true;
    set_reader_buffer_size(256 * 1024);
  }
  void TearDown() override {
    keep_running = true;
    stop_at_once = false;
    set_reader_buffer_size(256 * 1024);
  }
};

// Bytes appended after the open are not read, whatever the buffer size and
// however long the line they extend (the quoting modes read a long line
// ahead of the buffer).
TEST_F(transfer_test, a_source_is_read_up_to_its_size_at_open) {
  const std::string head = "Date: x\nFrom: y\n\n" + std::string(300, 'x');
  const std::string shown = crlf_fallback() + "Date: x\r\nFrom: y\r\n\r\n" +
                            std::string(300, 'x') + "\r\n";
  for (size_t buffer : {size_t{7}, size_t{64}, size_t{256 * 1024}}) {
    set_reader_buffer_size(buffer);
    scratch_dir dir;
    std::string path = dir.write("grows.eml", head);
    source_file* source = open_source(path);
    ASSERT_NE(source, nullptr);
    std::FILE* more = std::fopen(path.c_str(), "ab");
    ASSERT_NE(more, nullptr);
    std::fputs("yyyy\nFrom later\n", more);
    std::fclose(more);
    locked_file* target = open_locked(dir.path() + "t.mbx", LOCKED_CREATE);
    ASSERT_NE(target, nullptr);
    int64_t result = transfer_from(source, target, quoting(FROM_ALL));
    close_source(source);
    EXPECT_TRUE(close_locked(target));
    std::string written = read_file(dir.path() + "t.mbx");
    EXPECT_EQ(written, shown) << buffer;
    EXPECT_EQ(result, static_cast<int64_t>(shown.size())) << buffer;
  }
}

// A source that ends before the size it had at open shrank while it was
// read: a read error, in the header as in the body.
TEST_F(transfer_test, a_source_that_shrinks_is_a_read_error) {
  const std::string whole = "Date: x\nFrom: y\n\n" + std::string(300, 'x') +
                            "\n" + std::string(300, 'z') + "\n";
  for (size_t buffer : {size_t{7}, size_t{64}, size_t{256 * 1024}}) {
    for (size_t cut : {size_t{10}, size_t{40}, size_t{400}}) {
      for (bool composed : {false, true}) {
        set_reader_buffer_size(buffer);
        scratch_dir dir;
        std::string path = dir.write("shrinks.eml", whole);
        source_file* source = open_source(path);
        ASSERT_NE(source, nullptr);
        testing_support::write_file(path, whole.substr(0, cut));
        locked_file* target = open_locked(dir.path() + "t.mbx", LOCKED_CREATE);
        ASSERT_NE(target, nullptr);
        transfer_options options = quoting(FROM_ALL);
        options.header_separator = composed;
        EXPECT_EQ(transfer_from(source, target, options), E_READ)
            << buffer << " " << cut << " " << composed;
        close_source(source);
        EXPECT_TRUE(close_locked(target));
      }
    }
  }
}

// A stop asked for again gives up the message in hand at the next buffer.
TEST_F(transfer_test, a_stop_at_once_abandons_the_message) {
  for (size_t buffer : {size_t{16}, size_t{256 * 1024}}) {
    set_reader_buffer_size(buffer);
    stop_at_once = true;
    EXPECT_EQ(transfer("Date: x\nFrom: y\n\n" + std::string(5000, 'b')).result,
              E_ABORTED)
        << buffer;
  }
}

TEST_F(transfer_test, worked_example) {
  transfer_outcome out = transfer(
      "Date: Mon, 1 Jan 2001 10:00:00 +0000\nFrom: a\n\nFrom here on\n",
      quoting(FROM_ALL));
  std::string expected = crlf_fallback() +
                         "Date: Mon, 1 Jan 2001 10:00:00 +0000\r\n"
                         "From: a\r\n"
                         "\r\n"
                         " From here on\r\n";
  EXPECT_EQ(out.written, expected);
  EXPECT_EQ(out.result, static_cast<int64_t>(expected.size()));
  int64_t by_rule = static_cast<int64_t>(fallback.size()) + 2 + 36 + 2 + 7 + 2 +
                    0 + 2 + 13 + 2;
  EXPECT_EQ(out.result, by_rule);
}

TEST_F(transfer_test, every_line_end_becomes_crlf) {
  const std::string lf = "Date: x\nFrom: y\n\nline one\nline two\n";
  const std::string crlf = "Date: x\r\nFrom: y\r\n\r\nline one\r\nline two\r\n";
  const std::string cr = "Date: x\rFrom: y\r\rline one\rline two\r";
  std::string expected = crlf_fallback() + crlf;
  for (const std::string& source : {lf, crlf, cr}) {
    transfer_outcome out = transfer(source);
    EXPECT_EQ(out.written, expected);
    EXPECT_EQ(out.result, static_cast<int64_t>(expected.size()));
  }
  // CR CR LF is a line end and an empty line.
  EXPECT_EQ(transfer("Date: x\nFrom: y\n\na\r\r\nb").written,
            crlf_fallback() + "Date: x\r\nFrom: y\r\n\r\na\r\n\r\nb\r\n");
}

// Runs of LF lines of every length up to beyond a vector's width, more of
// them than the target's buffer holds: each line end becomes CR LF, none
// lost or doubled where a run or the buffer ends.
TEST_F(transfer_test, long_runs_of_lf_lines_become_crlf) {
  std::string lf = "Date: x\nFrom: y\n\n";
  std::string crlf = "Date: x\r\nFrom: y\r\n\r\n";
  for (int i = 0; lf.size() < 1200 * 1024; ++i) {
    std::string content(static_cast<size_t>(i % 37),
                        static_cast<char>('a' + i % 26));
    lf += content + "\n";
    crlf += content + "\r\n";
  }
  transfer_outcome out = transfer(lf + "last");
  EXPECT_TRUE(out.written == crlf_fallback() + crlf + "last\r\n");
  EXPECT_EQ(out.result, static_cast<int64_t>(out.written.size()));
}

TEST_F(transfer_test, missing_final_line_end_is_added_and_counted) {
  transfer_outcome out = transfer("Date: x\nFrom: y\n\nlast line");
  EXPECT_EQ(out.written,
            crlf_fallback() + "Date: x\r\nFrom: y\r\n\r\nlast line\r\n");
  EXPECT_EQ(out.result, static_cast<int64_t>(out.written.size()));
}

TEST_F(transfer_test, own_separator_is_kept_and_never_quoted) {
  transfer_outcome out = transfer(
      "From me@here Mon Jan 01 00:00:00 2001\nDate: x\nFrom: y\n\n"
      "From the body\n",
      quoting(FROM_ALL));
  EXPECT_EQ(out.written,
            "From me@here Mon Jan 01 00:00:00 2001\r\nDate: x\r\nFrom: y\r\n"
            "\r\nFrom the body\r\n");
}

TEST_F(transfer_test, separator_lines_in_the_header_are_dropped) {
  transfer_outcome out =
      transfer("Date: x\nFrom someone else\nFrom: y\nSubject: s\n\nbody\n");
  EXPECT_EQ(
      out.written,
      crlf_fallback() + "Date: x\r\nFrom: y\r\nSubject: s\r\n\r\nbody\r\n");
  EXPECT_EQ(out.result, static_cast<int64_t>(out.written.size()));
}

// The header lines that cannot be a date or from field go out in runs
// until both are seen: the fields are still found among them in any
// letter case, and a separator line among them is still dropped.
TEST_F(transfer_test, header_fields_are_found_among_copied_lines) {
  const std::string received =
      "Received: from a\r\n\tby b\r\nX-Note: 1\r\nMessage-ID: <m@x>\r\n";
  struct {
    std::string header;  // after received; every line ends in CR LF
    bool message;
  } rows[] = {
      {"date: x\r\nSubject: s\r\nfROM: y\r\n", true},
      {"DATE : x\r\nFrom\t: y\r\n", true},
      {"Date: x\r\nFrom someone else\r\nFrom: y\r\n", true},
      {"Dates: x\r\nFrom: y\r\n", true},
      {"X-Date: x\r\nFrom: y\r\nX-From: z\r\n", false},
      {"Date: x\r\n Date: y\r\nfrom x\r\n", false},
      {"Date: x\r\n\r\nFrom: y\r\n", false},
  };
  for (const auto& r : rows) {
    const std::string source = received + r.header + "\r\nbody\r\n";
    transfer_outcome out = transfer(source);
    if (!r.message) {
      EXPECT_EQ(out.result, E_SOURCE_FORMAT) << r.header;
      continue;
    }
    std::string kept = received + r.header;
    const size_t separator = kept.find("From someone else\r\n");
    if (separator != std::string::npos) {
      kept.erase(separator, 19);
    }
    EXPECT_EQ(out.written, crlf_fallback() + kept + "\r\nbody\r\n") << r.header;
  }
}

TEST_F(transfer_test, first_line_from_colon_gets_the_fallback) {
  transfer_outcome out = transfer("From: someone\nDate: x\n\nb\n");
  EXPECT_EQ(out.written,
            crlf_fallback() + "From: someone\r\nDate: x\r\n\r\nb\r\n");
}

TEST_F(transfer_test, quoting_modes) {
  const std::string source =
      "Date: x\nFrom: y\n\nFrom here on\nFrom: x\n>From x\nFrom x";
  EXPECT_EQ(
      transfer(source, quoting(FROM_KEEP)).written,
      crlf_fallback() +
          "Date: x\r\nFrom: y\r\n\r\nFrom here on\r\nFrom: x\r\n>From x\r\n"
          "From x\r\n");
  // The last line lacks a line end, but it is written with one: it is
  // quoted like every other line.
  EXPECT_EQ(
      transfer(source, quoting(FROM_ALL)).written,
      crlf_fallback() +
          "Date: x\r\nFrom: y\r\n\r\n From here on\r\nFrom: x\r\n>From x\r\n"
          " From x\r\n");
}

TEST_F(transfer_test, guarded_regions) {
  const std::string source =
      "Date: x\nFrom: y\n\n"
      "From a\n"
      "BEGIN raw\n"
      "From b\n"
      "END\n"
      "From c\n"
      "From END marker\n"
      "From d\n";
  // The end pattern matches a separator line, which is itself quoted.
  transfer_outcome out =
      transfer(source, quoting(FROM_GUARDED, "BEGIN*", "END*"));
  EXPECT_EQ(out.written, crlf_fallback() +
                             "Date: x\r\nFrom: y\r\n\r\n"
                             " From a\r\n"
                             "BEGIN raw\r\n"
                             "From b\r\n"
                             "END\r\n"
                             " From c\r\n"
                             " From END marker\r\n"
                             " From d\r\n");
  transfer_outcome closing =
      transfer("Date: x\nFrom: y\n\nBEGIN\nFrom q\nFrom END\nFrom r\n",
               quoting(FROM_GUARDED, "BEGIN", "From END"));
  EXPECT_EQ(closing.written, crlf_fallback() +
                                 "Date: x\r\nFrom: y\r\n\r\nBEGIN\r\nFrom q\r\n"
                                 " From END\r\n From r\r\n");
  // Letter case counts in the markers.
  EXPECT_EQ(transfer("Date: x\nFrom: y\n\nbegin\nFrom q\n",
                     quoting(FROM_GUARDED, "BEGIN", "END"))
                .written,
            crlf_fallback() + "Date: x\r\nFrom: y\r\n\r\nbegin\r\n From q\r\n");
}

TEST_F(transfer_test, message_check_rejections) {
  const char* rejected[] = {
      "",
      "\n",
      "\nDate: x\nFrom: y\n\n",
      "Subject: s\nFrom: y\n\nbody\n",
      "Subject: s\nDate: x\n\nbody\n",
      "Subject: s\nFrom: y\n\nDate: x\n",
      "no header here\nDate: x\nFrom: y\n",
      ": x\nDate: x\nFrom: y\n",
      "From only@separator Mon Jan 01 00:00:00 2001\n",
      "From a@b Mon Jan 01 00:00:00 2001\n\nDate: x\nFrom: y\n",
  };
  for (const char* source : rejected) {
    transfer_outcome out = transfer(source);
    EXPECT_EQ(out.result, E_SOURCE_FORMAT) << source;
    EXPECT_EQ(out.written, "") << source;
  }
  // Without an empty line the whole file is the header block.
  transfer_outcome whole = transfer("Subject: s\nX: 1\nDate: x\nY: 2\nFrom: y");
  EXPECT_EQ(
      whole.written,
      crlf_fallback() + "Subject: s\r\nX: 1\r\nDate: x\r\nY: 2\r\nFrom: y\r\n");
  // The first line's colon must stand at position 2 or later.
  EXPECT_EQ(transfer("A: 1\nDate: x\nFrom: y\n\n").result > 0, true);
}

// A header is written while it is checked: one that fails the check is
// taken back, whether it still sat in the write buffer or had reached the
// file, and the target goes on from where it was.
TEST_F(transfer_test, a_rejected_header_is_taken_back) {
  const std::string filler = "X-Filler: " + std::string(68, 'f') + "\n";
  std::string long_lines;
  while (long_lines.size() < 1536 * 1024) {
    long_lines += filler;
  }
  const std::string rejected[] = {
      "Subject: s\nFrom: y\n\nDate: x\n",
      "Subject: s\n" + long_lines + "From: y\n\nbody\n",
      "From a@b Mon Jan 01 00:00:00 2001\nSubject: " +
          std::string(1536 * 1024, 'v') + "\nDate: x\n\n",
  };
  for (size_t buffer : {size_t{7}, size_t{256 * 1024}}) {
    set_reader_buffer_size(buffer);
    for (const std::string& source : rejected) {
      scratch_dir dir;
      std::string target_path = dir.path() + "target.mbx";
      locked_file* target = open_locked(target_path, LOCKED_CREATE);
      ASSERT_NE(target, nullptr);
      write_bytes(target, "prior\r\n");
      EXPECT_EQ(transfer_message(dir.write("bad.eml", source), target, {}),
                E_SOURCE_FORMAT);
      EXPECT_EQ(file_position(target), 7);
      int64_t good = transfer_message(
          dir.write("good.eml", "Date: x\nFrom: y\n\nbody\n"), target, {});
      EXPECT_EQ(file_position(target), 7 + good);
      EXPECT_TRUE(close_locked(target));
      EXPECT_EQ(
          read_file(target_path),
          "prior\r\n" + crlf_fallback() + "Date: x\r\nFrom: y\r\n\r\nbody\r\n")
          << buffer << " " << source.substr(0, 20);
    }
  }
}

TEST_F(transfer_test, missing_source_is_a_read_error) {
  scratch_dir dir;
  locked_file* target = open_locked(dir.path() + "t.mbx", LOCKED_CREATE);
  EXPECT_EQ(transfer_message(dir.path() + "missing.eml", target, {}), E_READ);
  EXPECT_TRUE(close_locked(target));
  EXPECT_EQ(read_file(dir.path() + "t.mbx"), "");
}

TEST_F(transfer_test, cancel_while_reading_the_header_aborts) {
  keep_running = false;
  transfer_outcome out = transfer("Date: x\nFrom: y\n\nbody\n");
  EXPECT_EQ(out.result, E_ABORTED);
  EXPECT_EQ(out.written, "");
  // A one-line file never reaches the check for Cancel; the shape test
  // comes first.
  EXPECT_EQ(transfer("Date: x").result, E_SOURCE_FORMAT);
}

TEST_F(transfer_test, reader_delivers_lines_with_one_line_feed) {
  scratch_dir dir;
  std::string path = dir.write("r.txt", "a\r\nb\rc\n\r\r\nlast");
  source_file* source = open_source(path);
  ASSERT_NE(source, nullptr);
  std::vector<std::string> lines;
  std::string line;
  while (read_line(source, line)) {
    lines.push_back(line);
  }
  close_source(source);
  EXPECT_EQ(lines, (std::vector<std::string>{"a\n", "b\n", "c\n", "\n", "\n",
                                             "last"}));
}

// The lines a source adds go last in its header, before the empty line
// that ends it; a header that lacks that line, or whose last line lacks
// its line end, is ended first. The byte count covers them.
TEST_F(transfer_test, added_header_lines_close_the_header) {
  transfer_options composed;
  composed.header_separator = true;
  transfer_options between;
  between.empty_line_between = true;
  struct {
    const char* source;
    transfer_options options;
    const char* expected;  // after the separator line
  } cases[] = {
      {"Date: x\nFrom: y\n\nbody\n",
       {},
       "Date: x\nFrom: y\nStatus: RO\nX-Status: A\n\nbody\n"},
      {"Date: x\nFrom: y\n", {}, "Date: x\nFrom: y\nStatus: RO\nX-Status: A\n"},
      {"Date: x\nFrom: y", between,
       "Date: x\nFrom: y\nStatus: RO\nX-Status: A\n\n\n"},
      {"From a@b Sat Jan 01 12:00:00 2000\nDate: x\nFrom: y\n\nb\n",
       {},
       "Date: x\nFrom: y\nStatus: RO\nX-Status: A\n\nb\n"},
      {"Date: Thu, 4 Jan 1996 01:02:03 +0000\nFrom: y\nFrom z\n\nb\n", composed,
       "Date: Thu, 4 Jan 1996 01:02:03 +0000\nFrom: y\nStatus: RO\n"
       "X-Status: A\n\nb\n"},
  };
  for (size_t buffer : {size_t{4}, size_t{256 * 1024}}) {
    set_reader_buffer_size(buffer);
    for (const auto& c : cases) {
      transfer_outcome out =
          transfer(c.source, c.options, true, {"Status: RO", "X-Status: A"});
      size_t separator_end = out.written.find('\n') + 1;
      EXPECT_EQ(out.written.substr(separator_end), c.expected)
          << c.source << " " << buffer;
      EXPECT_EQ(out.result, static_cast<int64_t>(out.written.size()))
          << c.source;
    }
  }
  // A source that is no message gets nothing written.
  EXPECT_EQ(transfer("Subject: s\n\nb\n", {}, true, {"Status: RO"}).written,
            "");
}

// The header lines an observer of the transfer sees, whole.
struct header_names final : header_observer {
  std::vector<std::string> lines;
  std::string line;
  void feed(std::string_view piece) override {
    line.append(piece);
  }
  void end_line(const line_facts&) override {
    lines.push_back(line);
    line.clear();
  }
};

// An observer of the transfer sees every header line once, also the lines
// that would otherwise go out as plain runs, and the bytes stay the same.
TEST_F(transfer_test, an_observer_sees_each_header_line_once) {
  transfer_options composed;
  composed.header_separator = true;
  const std::string source =
      "Date: Thu, 4 Jan 1996 01:02:03 +0000\nFrom: y\nA: 1\nB: 2\n\nb\n";
  for (const transfer_options& options : {transfer_options{}, composed}) {
    header_names seen;
    transfer_outcome watched = transfer(source, options, true, {}, &seen);
    EXPECT_EQ(seen.lines,
              (std::vector<std::string>{"Date: Thu, 4 Jan 1996 01:02:03 +0000",
                                        "From: y", "A: 1", "B: 2", ""}));
    EXPECT_EQ(watched.written, transfer(source, options, true).written);
  }
}

// However small the reader's buffer, and so however a line is cut into
// pieces, the bytes written are the same.
bool every_line_end_is_crlf(const std::string& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n')) {
      return false;
    }
    if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) {
      return false;
    }
  }
  return true;
}

TEST_F(transfer_test, output_does_not_depend_on_the_buffer_size) {
  std::mt19937 random(11);
  const char* pieces[] = {"From ", "From x", "Date: 1",   "From: 2",
                          ":",     " ",      "\t",        "\r",
                          "\n",    "\r\n",   "ab",        "BEGIN",
                          "END",   "\n\n",   "From     ", "\xfe"};
  std::vector<std::string> sources = {
      "Date: x\nFrom: y\n\n" + std::string(300, 'a') + "\nFrom " +
          std::string(200, ' ') + "x\n",
      "From " + std::string(100, ' ') + "sender\nDate: 1\nFrom: 2\n\nFrom b\n",
      "Date: x\nFrom: y\n\nFrom " + std::string(150, 'z'),
      "Subject: " + std::string(500, 's') + "\nDate: a\nFrom: b\nFrom " +
          std::string(64, ' ') + "x\n\nFrom c\n",
  };
  for (int i = 0; i < 300; ++i) {
    std::string source = random() % 2 ? "Date: d\nFrom: f\n" : "";
    size_t count = random() % 40;
    for (size_t j = 0; j < count; ++j) {
      source += pieces[random() % (sizeof pieces / sizeof pieces[0])];
    }
    sources.push_back(source);
  }
  const quoting_mode modes[] = {FROM_KEEP, FROM_ALL, FROM_GUARDED};
  // One directory and one target for every transfer.
  scratch_dir dir;
  const std::string target_path = dir.write("target.mbx", first_line);
  for (size_t i = 0; i < sources.size(); ++i) {
    const std::string& source = sources[i];
    // A file of its own: rewriting one file empties it first.
    const std::string source_path =
        dir.write(std::to_string(i) + ".eml", source);
    auto transfer_source = [&](const transfer_options& options, bool lf) {
      return transfer_after_the_line(source_path, target_path, options, lf);
    };
    for (int variant = 0; variant < 6; ++variant) {
      // Each mode with CR LF and space quoting, then with LF and mboxrd.
      transfer_options options = quoting(modes[variant % 3], "BEGIN*", "END*");
      bool lf = variant >= 3;
      options.mboxrd = lf;
      set_reader_buffer_size(256 * 1024);
      transfer_outcome reference = transfer_source(options, lf);
      if (reference.result >= 0) {
        EXPECT_EQ(reference.result,
                  static_cast<int64_t>(reference.written.size()));
        // Every line end is the target's: CR LF, or a bare LF.
        EXPECT_TRUE(lf ? reference.written.find('\r') == std::string::npos
                       : every_line_end_is_crlf(reference.written))
            << variant << " " << source;
      }
      for (size_t size : {2, 3, 7, 64}) {
        set_reader_buffer_size(size);
        transfer_outcome small = transfer_source(options, lf);
        EXPECT_EQ(small.result, reference.result) << size << " " << source;
        EXPECT_EQ(small.written, reference.written) << size << " " << source;
      }
    }
  }
}

// ---- Golden files ----
//
// tests/data/transfer/<case>/in/ holds the sources, expected.mbx the bytes
// the program writes from them; the black-box tests read the same files.

struct golden_case {
  const char* name;
  transfer_options options;
  std::vector<const char*> sources;
  bool lf = false;
};

std::string golden_path(const std::string& relative) {
  return std::string(QUILLPACK_SOURCE_DIR) + "/tests/data/transfer/" + relative;
}

TEST_F(transfer_test, golden_files) {
  transfer_options guarded =
      quoting(FROM_GUARDED, "--- begin*", "From * end ---");
  transfer_options empty_line_between = quoting(FROM_ALL);
  empty_line_between.empty_line_between = true;
  transfer_options mboxrd = quoting(FROM_ALL);
  mboxrd.mboxrd = true;
  const std::vector<const char*> last_line_sources = {
      "01-body.eml", "02-header.eml", "03-quoted.eml", "04-long.eml",
      "05-next.eml"};
  const std::vector<golden_case> cases = {
      {"worked", quoting(FROM_ALL), {"01.eml"}},
      {"keep", quoting(FROM_KEEP), {"01-quote.eml", "02-own.eml"}},
      {"all", quoting(FROM_ALL), {"01-quote.eml", "02-own.eml"}},
      {"guarded", guarded, {"01-regions.eml", "02-next.eml"}},
      {"line-ends",
       quoting(FROM_KEEP),
       {"01-lf.eml", "02-crlf.eml", "03-cr.eml", "04-none.eml",
        "05-mixed.eml"}},
      {"long-lines", quoting(FROM_ALL), {"01-long.eml", "02-long-keep.eml"}},
      {"header-only",
       empty_line_between,
       {"01-header-only.eml", "02-no-line-end.eml", "03-next.eml"},
       true},
      {"last-line", quoting(FROM_ALL), last_line_sources},
      {"last-line-mboxrd", mboxrd, last_line_sources},
  };
  for (size_t buffer : {size_t{16}, size_t{100}, size_t{256 * 1024}}) {
    set_reader_buffer_size(buffer);
    for (const golden_case& c : cases) {
      scratch_dir dir;
      std::string target_path = dir.path() + "target.mbx";
      locked_file* target = open_locked(target_path, LOCKED_CREATE);
      ASSERT_NE(target, nullptr);
      set_lf_line_ends(target, c.lf);
      int64_t total = 0;
      for (const char* source : c.sources) {
        std::string path = golden_path(std::string(c.name) + "/in/" + source);
        int64_t result = transfer_message(path, target, c.options);
        EXPECT_GT(result, 0) << c.name << " " << source;
        total += result;
      }
      EXPECT_TRUE(close_locked(target));
      std::string expected =
          read_file(golden_path(std::string(c.name) + "/expected.mbx"));
      EXPECT_FALSE(expected.empty()) << c.name;
      EXPECT_EQ(read_file(target_path), expected) << c.name << " " << buffer;
      EXPECT_EQ(total, static_cast<int64_t>(expected.size())) << c.name;
    }
  }
}

}  // namespace
}  // namespace qp
