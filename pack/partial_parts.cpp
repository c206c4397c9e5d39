#include "pack/partial_parts.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/canonical_text.h"
#include "base/paths.h"
#include "collect/system_files.h"
#include "pack/mime_parts.h"
#include "pack/raw_file.h"
#include "window/events.h"

namespace qp {
namespace {

// A multipart being read: its parts are numbered below its own section.
struct multipart_frame {
  std::string boundary;
  std::string section;  // empty for the message's own body
  int parts = 0;
  bool digest = false;  // its parts are messages unless they say otherwise
};

// What the rebuilding needs of a header.
struct header_facts {
  std::string type;
  std::string boundary;
  std::string encoding;
  std::vector<std::string> names;  // the filename, then the name parameter
  bool left_out = false;           // its body is kept beside the message
};

// A header of more than this is no header a mail program wrote: the rest
// is copied as it stands.
constexpr size_t header_limit = 1024 * 1024;

struct rebuild_state {
  source_file* in = nullptr;
  std::FILE* out = nullptr;
  std::string folder;  // of the left-out parts, empty for none
  std::vector<multipart_frame> frames;
  std::vector<std::string> header;  // the lines read of the header in hand
  size_t header_bytes = 0;
  bool in_header = true;
  // The header in hand is a message's (the whole one, or one attached),
  // whose body is numbered below section; otherwise a part's, numbered
  // section.
  bool message_header = true;
  std::string section;
  bool default_message = false;  // the part is one of a digest
  bool put_back = false;         // the body was put back: its empty lines go
  std::string pending;           // written, not yet in the file
  bool write_failed = false;
  bool stopped = false;  // a stop at once came while a part was put back
  std::vector<std::string> missing;
};

// The temporary file is unbuffered, for the reader that reads it back:
// the bytes are gathered here and written in large pieces.
constexpr size_t write_chunk = 64 * 1024;

void flush(rebuild_state& state) {
  std::string& pending = state.pending;
  if (!pending.empty() && std::fwrite(pending.data(), 1, pending.size(),
                                      state.out) != pending.size()) {
    state.write_failed = true;
  }
  pending.clear();
}

void put(rebuild_state& state, std::string_view bytes) {
  state.pending.append(bytes);
  if (state.pending.size() >= write_chunk) {
    flush(state);
  }
}

bool is_continuation(std::string_view line) {
  return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

std::string without_line_end(std::string_view line) {
  if (!line.empty() && line.back() == '\n') {
    line.remove_suffix(1);
  }
  return std::string(line);
}

// The header's fields, each unfolded.
std::vector<std::string> unfolded_fields(
    const std::vector<std::string>& lines) {
  std::vector<std::string> fields;
  for (const std::string& line : lines) {
    if (is_continuation(line) && !fields.empty()) {
      fields.back() += without_line_end(line);
    } else {
      fields.push_back(without_line_end(line));
    }
  }
  return fields;
}

header_facts facts_of(const std::vector<std::string>& lines,
                      bool default_message) {
  header_facts facts;
  facts.type = default_message ? "message/rfc822" : "text/plain";
  std::string filename, name;
  for (const std::string& field : unfolded_fields(lines)) {
    const std::string_view value = field_value(field);
    if (is_field(field, "Content-Type")) {
      facts.type = value_token(value);
      facts.boundary = parameter(value, "boundary");
      name = parameter(value, "name");
    } else if (is_field(field, "Content-Disposition")) {
      filename = parameter(value, "filename");
    } else if (is_field(field, "Content-Transfer-Encoding")) {
      facts.encoding = value_token(value);
    } else if (is_field(field, "X-Apple-Content-Length")) {
      facts.left_out = true;
    }
  }
  for (const std::string& wanted : {filename, name}) {
    if (!wanted.empty()) {
      facts.names.push_back(wanted);
    }
  }
  return facts;
}

bool leads_out(const std::string& name) {
  return name.empty() || name == "." || name == ".." ||
         name.find_first_of("/\\") != std::string::npos;
}

// The files of the folder of a section, without the system's own.
std::vector<std::string> part_files(const std::string& folder) {
  std::vector<listing_entry> entries;
  std::vector<std::string> names;
  if (!list_directory(folder, entries)) {
    return names;
  }
  for (const listing_entry& entry : entries) {
    if (!entry.directory && !is_system_file_name(entry.name) &&
        !is_apple_double_name(entry.name)) {
      names.push_back(entry.name);
    }
  }
  return names;
}

// The header of a part whose body is put back: without the field that
// says it was left out, and base64 for binary, whose line ends the mbox
// would change.
void put_header_of_put_back(rebuild_state& state, bool binary) {
  bool dropping = false;
  for (const std::string& line : state.header) {
    if (!is_continuation(line)) {
      dropping = is_field(line, "X-Apple-Content-Length");
      if (binary && is_field(line, "Content-Transfer-Encoding")) {
        put(state, "Content-Transfer-Encoding: base64\n");
        dropping = true;
      }
    }
    if (!dropping) {
      put(state, line);
    }
  }
}

// The file's bytes in the part's encoding; false on a read fault.
bool put_encoded(rebuild_state& state, std::FILE* file,
                 const std::string& encoding) {
  const bool base64 = encoding == "base64" || encoding == "binary";
  const bool quoted = encoding == "quoted-printable";
  std::vector<char> chunk(64 * 1024);
  std::string carry;
  quoted_printable_state lines;
  while (true) {
    // Once per chunk, so that a stop at once ends even a file of gigabytes.
    do_events();
    if (stop_at_once) {
      state.stopped = true;
      return true;
    }
    const size_t got = std::fread(chunk.data(), 1, chunk.size(), file);
    const bool at_end = got < chunk.size();
    const std::string_view bytes(chunk.data(), got);
    if (base64) {
      put(state, base64_lines(bytes, carry, at_end));
    } else if (quoted) {
      put(state, quoted_printable(bytes, lines, at_end));
    } else {
      put(state, bytes);
    }
    if (at_end) {
      break;
    }
  }
  // The line end before a boundary is the boundary's: one more keeps the
  // last line end of the text its own. Base64 lines end in theirs.
  if (!base64) {
    put(state, "\n");
  }
  return !std::ferror(file);
}

// Puts the left-out body of a leaf back after its header; false when its
// file is not there.
bool put_back_part(rebuild_state& state, const std::string& section,
                   const header_facts& facts) {
  if (state.folder.empty()) {
    return false;
  }
  const std::string folder =
      state.folder + section + std::string(1, native_style.separator);
  const std::string name = choose_part_file(part_files(folder), facts.names);
  std::FILE* file = name.empty() ? nullptr : open_regular_file(folder + name);
  if (!file) {
    return false;
  }
  put_header_of_put_back(state, facts.encoding == "binary");
  put(state, "\n");
  if (!put_encoded(state, file, facts.encoding)) {
    state.missing.push_back(section);
  }
  std::fclose(file);
  return true;
}

// The header in hand is over (with its empty line, or at the end of the
// input): it is written, a multipart is opened, a left-out body is put
// back, and what follows is known.
void end_header(rebuild_state& state, bool empty_line) {
  const header_facts facts = facts_of(state.header, state.default_message);
  std::string leaf;
  bool message_follows = false;
  if (facts.type.compare(0, 10, "multipart/") == 0 && !facts.boundary.empty()) {
    state.frames.push_back(
        {facts.boundary, state.section, 0, facts.type == "multipart/digest"});
  } else if (!state.message_header && facts.type == "message/rfc822") {
    message_follows = true;
  } else if (state.message_header) {
    leaf = state.section.empty() ? "1" : state.section + ".1";
  } else {
    leaf = state.section;
  }
  bool put_back = false;
  if (facts.left_out && !leaf.empty() && empty_line) {
    put_back = put_back_part(state, leaf, facts);
    if (!put_back) {
      state.missing.push_back(leaf);
    }
  }
  if (!put_back) {
    for (const std::string& line : state.header) {
      put(state, line);
    }
    if (empty_line) {
      put(state, "\n");
    }
  }
  state.header.clear();
  state.header_bytes = 0;
  state.in_header = message_follows;
  state.message_header = message_follows;
  state.default_message = false;
  state.put_back = put_back;
}

// A boundary line of an open multipart starts its next part or closes it
// (and any opened inside it that never closed); false for another line.
bool take_boundary(rebuild_state& state, std::string_view line) {
  if (line.compare(0, 2, "--") != 0) {
    return false;
  }
  for (size_t i = state.frames.size(); i-- > 0;) {
    multipart_frame& frame = state.frames[i];
    if (line.compare(2, frame.boundary.size(), frame.boundary) != 0) {
      continue;
    }
    std::string_view rest = line.substr(2 + frame.boundary.size());
    if (rest.compare(0, 2, "--") == 0) {
      state.frames.resize(i);
      state.put_back = false;
      return true;
    }
    if (rest.find_first_not_of(" \t") != std::string_view::npos) {
      continue;
    }
    state.frames.resize(i + 1);
    ++frame.parts;
    const std::string number = std::to_string(frame.parts);
    state.section =
        frame.section.empty() ? number : frame.section + "." + number;
    state.in_header = true;
    state.message_header = false;
    state.default_message = frame.digest;
    state.put_back = false;
    return true;
  }
  return false;
}

// Copies the rest of the input as it stands.
void copy_rest(rebuild_state& state) {
  line_piece piece;
  while (read_piece(state.in, piece)) {
    put(state, piece.content);
    if (piece.has_line_end) {
      put(state, "\n");
    }
  }
}

void rebuild(rebuild_state& state) {
  std::string line;
  line_piece piece;
  bool line_start = true;
  while (!state.stopped) {
    if (state.in_header) {
      if (!read_line(state.in, line)) {
        end_header(state, false);
        return;
      }
      if (line == "\n") {
        end_header(state, true);
        line_start = true;
        continue;
      }
      state.header_bytes += line.size();
      state.header.push_back(line);
      if (state.header_bytes > header_limit) {
        for (const std::string& held : state.header) {
          put(state, held);
        }
        copy_rest(state);
        return;
      }
      continue;
    }
    if (!read_piece(state.in, piece)) {
      return;
    }
    const bool whole = line_start && piece.complete;
    line_start = piece.complete;
    if (whole && take_boundary(state, piece.content)) {
      put(state, piece.content);
      put(state, "\n");
      continue;
    }
    if (whole && state.put_back && piece.content.empty()) {
      continue;  // the empty body of a part put back
    }
    put(state, piece.content);
    if (piece.complete && piece.has_line_end) {
      put(state, "\n");
    }
  }
}

std::string joined(const std::vector<std::string>& sections) {
  std::string text;
  for (const std::string& section : sections) {
    text.append(text.empty() ? "" : ", ").append(section);
  }
  return text;
}

}  // namespace

std::string attachments_folder(const std::string& path) {
  const std::string name = file_name(path);
  const size_t digits = name.find_first_not_of("0123456789");
  if (digits == 0 || name.empty()) {
    return std::string();
  }
  const char separator = native_style.separator;
  std::string messages = file_directory(path);
  if (!messages.empty()) {
    messages.pop_back();
  }
  return file_directory(messages) + "Attachments" + separator +
         name.substr(0, digits) + separator;
}

std::string choose_part_file(const std::vector<std::string>& listed,
                             const std::vector<std::string>& wanted) {
  if (listed.size() == 1) {
    return listed[0];
  }
  for (const std::string& name : wanted) {
    if (leads_out(name)) {
      continue;
    }
    for (const std::string& file : listed) {
      if (canonically_equal(file, name)) {
        return file;
      }
    }
  }
  return std::string();
}

void restore_partial_parts(const std::string& path, message_source& source) {
  rebuild_state state;
  state.in = source.reader;
  state.out = raw_temporary_file();
  if (!state.out) {
    close_source(source.reader);
    source.reader = nullptr;
    return;
  }
  std::setvbuf(state.out, nullptr, _IONBF, 0);
  state.folder = attachments_folder(path);
  rebuild(state);
  flush(state);
  if (state.stopped || source_abandoned(source.reader)) {
    // The message is given up: the transfer meets the stop at its start.
    std::fclose(state.out);
    rewind_source(source.reader);
    return;
  }
  const bool failed = source_failed(source.reader) || state.write_failed ||
                      std::fflush(state.out) != 0 ||
                      !raw_stream_seek(state.out, 0);
  close_source(source.reader);
  source.reader = nullptr;
  if (failed) {
    std::fclose(state.out);
    return;
  }
  source.reader = open_written_source(state.out);
  source.missing_parts = joined(state.missing);
}

}  // namespace qp
