// The wildcard engine. Pattern and text are read as sequences of element
// values followed by an end marker that equals no element, so that a literal
// run at the end of a pattern can only match at the very end of the text.
// The views are never copied: the marker is produced by element() past the
// last element. Message lines are matched byte by byte; file names character
// by character, so that "?" takes a whole UTF-8 sequence.
#include "base/wildcard.h"

#include <string>
#include <type_traits>

#include "base/paths.h"
#include "base/utf8.h"

namespace qp {
namespace {

constexpr int end_marker = -1;

// Element i of s followed by the end marker.
template <typename Char>
int element(std::basic_string_view<Char> s, size_t i) {
  using unit = std::make_unsigned_t<Char>;
  return i < s.size() ? static_cast<int>(static_cast<unit>(s[i])) : end_marker;
}

// Whether run (followed by the marker when with_end) matches text + marker
// element by element at index at; "?" matches any element, the marker too.
template <typename Char>
bool run_matches_at(std::basic_string_view<Char> run, bool with_end,
                    std::basic_string_view<Char> text, size_t at) {
  for (size_t j = 0; j < run.size(); ++j) {
    if (run[j] != '?' && element(text, at + j) != element(run, j)) {
      return false;
    }
  }
  return !with_end || element(text, at + run.size()) == end_marker;
}

// The 1-based position, within text[from..] + marker, of the first place
// where the run matches; 0 when there is none.
template <typename Char>
size_t find_run(std::basic_string_view<Char> run, bool with_end,
                std::basic_string_view<Char> text, size_t from) {
  const size_t run_length = run.size() + (with_end ? 1 : 0);
  const size_t text_length = text.size() - from + 1;
  if (run_length > text_length) {
    return 0;
  }
  // The marker occurs only last, so a run that carries it has one place.
  if (with_end) {
    const size_t at = text.size() - run.size();
    return run_matches_at(run, true, text, at) ? at - from + 1 : 0;
  }
  if (run.find(Char('?')) == run.npos) {
    const size_t at = text.find(run, from);
    return at == text.npos ? 0 : at - from + 1;
  }
  for (size_t i = 0; i + run_length <= text_length; ++i) {
    if (run_matches_at(run, false, text, from + i)) {
      return i + 1;
    }
  }
  return 0;
}

template <typename Char>
bool match_elements(std::basic_string_view<Char> pattern,
                    std::basic_string_view<Char> text) {
  const size_t pattern_end = pattern.size() + 1;  // marker included
  const size_t text_end = text.size() + 1;
  size_t p = 0;
  size_t f = 0;
  while (f < text_end) {
    const int pc = element(pattern, p);
    // A "*" is always a wildcard, also where the text holds a "*": taken
    // as a literal it would let "*x" fail on "*ax".
    if (pc == '*') {
      while (element(pattern, p) == '*') {
        ++p;
      }
      if (element(pattern, p) == end_marker) {
        return true;
      }
      // The literal run reaches the next "*" or takes the marker.
      const size_t run_start = p;
      while (p < pattern.size() && pattern[p] != Char('*')) {
        ++p;
      }
      const bool with_end = p == pattern.size();
      const std::basic_string_view<Char> run =
          pattern.substr(run_start, p - run_start);
      if (!with_end) {
        --p;  // the "*" is met again after the step below
      }
      const size_t t = find_run(run, with_end, text, f);
      if (t == 0) {
        return false;
      }
      // f goes to the last element of the run's first occurrence.
      f = f + t + run.size() + (with_end ? 1 : 0) - 2;
    } else if (pc != element(text, f) && pc != '?') {
      return false;
    }
    ++p;
    ++f;
    if (p >= pattern_end) {
      return f >= text_end;
    }
  }
  return false;
}

// The characters of a name: each valid UTF-8 sequence as its code point,
// each other byte as a value past every code point.
std::u32string characters_of(const std::string& name) {
  std::u32string characters;
  characters.reserve(name.size());
  char32_t code;
  for (size_t at = 0; at < name.size();) {
    const size_t length = decode_utf8(name, at, code);
    if (length == 0) {
      characters += static_cast<char32_t>(0x110000 +
                                          static_cast<unsigned char>(name[at]));
      ++at;
    } else {
      characters += code;
      at += length;
    }
  }
  return characters;
}

}  // namespace

bool match_pattern(std::string_view pattern, std::string_view text) {
  return match_elements(pattern, text);
}

bool match_file_name(std::string_view pattern, std::string_view name) {
  std::string upper_pattern = ascii_upper(std::string(pattern));
  std::string upper_name = ascii_upper(std::string(name));
  // A name without a dot ends in an implied one, so "*.*" matches it.
  if (upper_pattern.find('.') == std::string::npos) {
    upper_pattern += '.';
  }
  if (upper_name.find('.') == std::string::npos) {
    upper_name += '.';
  }
  if (is_ascii(upper_pattern) && is_ascii(upper_name)) {
    // Each byte is one character: no need to decode them.
    return match_elements(std::string_view(upper_pattern),
                          std::string_view(upper_name));
  }
  const std::u32string pattern_characters = characters_of(upper_pattern);
  const std::u32string name_characters = characters_of(upper_name);
  return match_elements(std::u32string_view(pattern_characters),
                        std::u32string_view(name_characters));
}

}  // namespace qp
