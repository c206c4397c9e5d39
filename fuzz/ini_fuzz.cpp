// The INI reader and the settings validation over arbitrary file bytes.
// Besides not failing, the outcome must hold together: a fault names a line
// of the file, an accepted document has no repeated names, and settings that
// pass validation are ones the target naming can use.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "base/paths.h"
#include "config/ini.h"
#include "config/settings.h"

namespace {

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "ini_fuzz: %s\n", what);
    std::abort();
  }
}

int physical_lines(const std::string& text) {
  int lines = 0;
  for (size_t start = 0; start < text.size(); ++lines) {
    size_t end = text.find('\n', start);
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

void check_document(const qp::ini_document& document) {
  std::set<std::string> names;
  for (size_t i = 0; i < document.sections.size(); ++i) {
    const qp::ini_section& section = document.sections[i];
    // Only the leading block has no name.
    check(i == 0 || !section.name.empty(), "a nameless section inside");
    if (!section.name.empty()) {
      check(names.insert(qp::to_lower(section.name)).second,
            "a section name accepted twice");
    }
    std::set<std::string> keys;
    for (const auto& [key, value] : section.entries) {
      if (!key.empty()) {
        check(keys.insert(qp::to_lower(key)).second, "a key accepted twice");
      }
      check(key.find('=') == std::string::npos, "a key holds '='");
    }
  }
}

void check_extension(const std::string& extension) {
  if (extension.empty()) {
    return;
  }
  check(extension.size() >= 2 && extension[0] == '.' && extension[1] != '.',
        "an extension not of the form dot and name");
  check(qp::bad_file_name_chars(extension.substr(1)).empty(),
        "an extension with a character not allowed in file names");
}

void check_settings(const qp::pack_settings& out) {
  check_extension(out.mbox_extension);
  check_extension(out.folder_extension);
  check(qp::to_lower(out.mbox_extension) != qp::to_lower(out.folder_extension),
        "equal extensions accepted");
  bool guarded_patterns =
      !out.donotchange_begin.empty() && !out.donotchange_end.empty();
  if (out.from_mode == qp::FROM_GUARDED) {
    check(guarded_patterns, "guarded quoting without both patterns");
  } else if (out.from_mode == qp::FROM_ALL) {
    check(!guarded_patterns, "quoting of all lines despite both patterns");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  qp::ini_result parsed = qp::parse_ini_text(text);
  switch (parsed.status) {
  case qp::INI_OK:
    check_document(parsed.document);
    break;
  case qp::INI_INVALID_SECTION:
  case qp::INI_DUPLICATE_NAME:
    check(parsed.line >= 1 && parsed.line <= physical_lines(text),
          "a fault on a line the file does not have");
    check(parsed.document.sections.empty(), "a fault with a document");
    return 0;
  case qp::INI_NO_SECTION:
    check(parsed.document.sections.empty(), "a fault with a document");
    return 0;
  case qp::INI_CANNOT_OPEN:
    check(false, "text cannot be unopenable");
  }
  qp::pack_settings out;
  std::string detail = qp::apply_ini_document(parsed.document, out);
  if (detail.empty()) {
    check_settings(out);
  } else {
    check(detail.back() == '.', "a fault message without its full stop");
  }
  return 0;
}
