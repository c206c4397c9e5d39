// The wildcard engine against a plain model that works step by step on
// sequences of element values with an end marker appended.
//
// Input: the pattern, a NUL, then the text (no NUL: all pattern, empty text).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/wildcard.h"

namespace {

constexpr int marker = -1;

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "wildcard_fuzz: %s\n", what);
    std::abort();
  }
}

std::vector<int> elements(std::string_view s) {
  std::vector<int> out;
  for (char c : s) {
    out.push_back(static_cast<unsigned char>(c));
  }
  out.push_back(marker);
  return out;
}

// 1-based position of the first place in text[from..] where run matches,
// "?" matching any element; 0 when there is none.
size_t model_find_run(const std::vector<int>& run, const std::vector<int>& text,
                      size_t from) {
  size_t length = text.size() - from;
  for (size_t i = 0; i + run.size() <= length; ++i) {
    bool differs = false;
    for (size_t j = 0; j < run.size() && !differs; ++j) {
      differs = run[j] != text[from + i + j] && run[j] != '?';
    }
    if (!differs) {
      return i + 1;
    }
  }
  return 0;
}

// A file name's elements are its characters: each valid UTF-8 sequence
// (RFC 3629's table of well-formed byte sequences) as its code point, every
// other byte as a value past all code points.
struct sequence_form {
  int lead_low, lead_high, length, second_low, second_high;
};
const sequence_form well_formed[] = {
    {0x00, 0x7F, 1, 0, 0},       {0xC2, 0xDF, 2, 0x80, 0xBF},
    {0xE0, 0xE0, 3, 0xA0, 0xBF}, {0xE1, 0xEC, 3, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF},
    {0xF0, 0xF0, 4, 0x90, 0xBF}, {0xF1, 0xF3, 4, 0x80, 0xBF},
    {0xF4, 0xF4, 4, 0x80, 0x8F},
};

size_t model_sequence(std::string_view s, size_t i, int& code) {
  const int lead = static_cast<unsigned char>(s[i]);
  for (const sequence_form& form : well_formed) {
    if (lead < form.lead_low || lead > form.lead_high) {
      continue;
    }
    const size_t n = static_cast<size_t>(form.length);
    if (s.size() - i < n) {
      return 0;
    }
    code = n == 1 ? lead : lead & (0xFF >> (n + 1));
    for (size_t k = 1; k < n; ++k) {
      const int byte = static_cast<unsigned char>(s[i + k]);
      const int low = k == 1 ? form.second_low : 0x80;
      const int high = k == 1 ? form.second_high : 0xBF;
      if (byte < low || byte > high) {
        return 0;
      }
      code = (code << 6) | (byte & 0x3F);
    }
    return n;
  }
  return 0;
}

std::vector<int> name_elements(std::string_view s) {
  std::vector<int> out;
  for (size_t i = 0; i < s.size();) {
    int code = 0;
    const size_t n = model_sequence(s, i, code);
    out.push_back(n == 0 ? 0x110000 + static_cast<unsigned char>(s[i]) : code);
    i += n == 0 ? 1 : n;
  }
  out.push_back(marker);
  return out;
}

bool model_match_elements(const std::vector<int>& pattern,
                          const std::vector<int>& text) {
  size_t p = 0;
  size_t f = 0;
  while (f < text.size()) {
    // A "*" is a wildcard even where the text holds a "*" too.
    if (pattern[p] == '*') {
      while (pattern[p] == '*') {
        ++p;
      }
      if (pattern[p] == marker) {
        return true;
      }
      std::vector<int> run;
      while (pattern[p] != '*') {
        run.push_back(pattern[p]);
        if (pattern[p] == marker) {
          break;
        }
        ++p;
      }
      if (pattern[p] == '*') {
        --p;
      }
      size_t t = model_find_run(run, text, f);
      if (t == 0) {
        return false;
      }
      f = f + t + run.size() - 2;
    } else if (pattern[p] != text[f] && pattern[p] != '?') {
      return false;
    }
    ++p;
    ++f;
    if (p >= pattern.size()) {
      return f >= text.size();
    }
  }
  return false;
}

bool model_match(std::string_view pattern, std::string_view text) {
  return model_match_elements(elements(pattern), elements(text));
}

std::string model_upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return out;
}

bool model_match_file_name(std::string_view pattern, std::string_view name) {
  std::string p = model_upper(pattern);
  std::string n = model_upper(name);
  if (p.find('.') == std::string::npos) {
    p += '.';
  }
  if (n.find('.') == std::string::npos) {
    n += '.';
  }
  return model_match_elements(name_elements(p), name_elements(n));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find('\0');
  std::string_view pattern = input.substr(0, split);
  std::string_view text = split == std::string_view::npos
                              ? std::string_view()
                              : input.substr(split + 1);
  check(qp::match_pattern(pattern, text) == model_match(pattern, text),
        "match_pattern differs from the model");
  check(qp::match_file_name(pattern, text) ==
            model_match_file_name(pattern, text),
        "match_file_name differs from the model");
  return 0;
}
