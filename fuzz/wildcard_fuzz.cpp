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

#include "collect/wildcard.h"

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

bool model_match(std::string_view pattern_text, std::string_view text_text) {
  std::vector<int> pattern = elements(pattern_text);
  std::vector<int> text = elements(text_text);
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
  return model_match(p, n);
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
