// The wildcard engine. Pattern and text are read as sequences of byte values
// followed by an end marker that equals no byte, so that a literal run at the
// end of a pattern can only match at the very end of the text. The views are
// never copied: the marker is produced by element() past the last byte.
#include "collect/wildcard.h"

#include <string>

#include "collect/paths.h"

namespace qp {
namespace {

constexpr int end_marker = -1;

// Element i of s followed by the end marker.
int element(std::string_view s, size_t i) {
  return i < s.size() ? static_cast<unsigned char>(s[i]) : end_marker;
}

// Whether run (followed by the marker when with_end) matches text + marker
// element by element at index at; "?" matches any element, the marker too.
bool run_matches_at(std::string_view run, bool with_end, std::string_view text,
                    size_t at) {
  for (size_t j = 0; j < run.size(); ++j) {
    if (run[j] != '?' && element(text, at + j) != element(run, j)) {
      return false;
    }
  }
  return !with_end || element(text, at + run.size()) == end_marker;
}

// The 1-based position, within text[from..] + marker, of the first place
// where the run matches; 0 when there is none.
size_t find_run(std::string_view run, bool with_end, std::string_view text,
                size_t from) {
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
  if (run.find('?') == std::string_view::npos) {
    const size_t at = text.find(run, from);
    return at == std::string_view::npos ? 0 : at - from + 1;
  }
  for (size_t i = 0; i + run_length <= text_length; ++i) {
    if (run_matches_at(run, false, text, from + i)) {
      return i + 1;
    }
  }
  return 0;
}

}  // namespace

bool match_pattern(std::string_view pattern, std::string_view text) {
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
      while (p < pattern.size() && pattern[p] != '*') {
        ++p;
      }
      const bool with_end = p == pattern.size();
      const std::string_view run = pattern.substr(run_start, p - run_start);
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
  return match_pattern(upper_pattern, upper_name);
}

}  // namespace qp
