// A metabolic network from the two text files that efmtool users have: the
// stoichiometric matrix (one metabolite per line, one whitespace-separated
// coefficient per reaction: integers, decimals or fractions p/q) and the
// reversibility of the reactions (0 or 1 each, on one line or several).
// Blank lines and lines starting with '#' are skipped. A failure names the
// file and, where it is in one, the line (1-based).
//
// Nothing here calls the host or touches files: the caller reads them.
#ifndef BITS_CORE_NETWORK_TEXT_H
#define BITS_CORE_NETWORK_TEXT_H

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace bits {

namespace detail {

// The whitespace-separated words of each line that is not blank or a
// comment, with the line's number.
struct text_line {
  std::uint64_t number;
  std::vector<std::string> words;
};

inline std::vector<text_line> text_lines(const std::string& text) {
  std::vector<text_line> lines;
  std::uint64_t number = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    ++number;
    text_line line{number, {}};
    std::size_t k = at;
    while (k < end) {
      while (k < end && (text[k] == ' ' || text[k] == '\t' || text[k] == '\r' || text[k] == ',')) ++k;
      std::size_t w = k;
      while (w < end && !(text[w] == ' ' || text[w] == '\t' || text[w] == '\r' || text[w] == ',')) ++w;
      if (w > k) line.words.push_back(text.substr(k, w - k));
      k = w;
    }
    if (!line.words.empty() && line.words[0][0] != '#') lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

// A finite decimal number, all of `word`.
inline bool decimal(const std::string& word, double* v) {
  if (word.empty() || word.find_first_not_of("0123456789+-.eE") != std::string::npos) return false;
  char* end = nullptr;
  errno = 0;
  *v = std::strtod(word.c_str(), &end);
  return end == word.c_str() + word.size() && std::isfinite(*v) && errno != ERANGE;
}

// A coefficient: a decimal number or a fraction p/q of two (q not zero).
inline bool coefficient(const std::string& word, double* v) {
  const std::size_t slash = word.find('/');
  if (slash == std::string::npos) return decimal(word, v);
  double p, q;
  if (!decimal(word.substr(0, slash), &p) || !decimal(word.substr(slash + 1), &q) || q == 0) return false;
  *v = p / q;
  return std::isfinite(*v);
}

}  // namespace detail

// The stoichiometric matrix in `text` (from `file`) as m x n doubles,
// column-major; false with a message when it is not one.
inline bool read_stoichiometry(const std::string& text, const std::string& file, std::vector<double>* S,
                               std::uint64_t* m, std::uint64_t* n, std::string* error) {
  const std::vector<detail::text_line> lines = detail::text_lines(text);
  if (lines.empty()) {
    *error = file + ": no stoichiometric matrix (no line with numbers)";
    return false;
  }
  *m = lines.size();
  *n = lines[0].words.size();
  S->assign(*m * *n, 0.0);
  for (std::uint64_t i = 0; i < *m; ++i) {
    const detail::text_line& line = lines[i];
    const std::string where = file + ":" + std::to_string(line.number) + ": ";
    if (line.words.size() != *n) {
      *error = where + std::to_string(line.words.size()) + " coefficients, where line " +
               std::to_string(lines[0].number) + " has " + std::to_string(*n);
      return false;
    }
    for (std::uint64_t j = 0; j < *n; ++j)
      if (!detail::coefficient(line.words[j], &(*S)[i + j * *m])) {
        *error = where + "'" + line.words[j].substr(0, 40) + "' (coefficient " + std::to_string(j + 1) +
                 ") is not a finite number or fraction p/q";
        return false;
      }
  }
  return true;
}

// The reversibility flags in `text` (from `file`), one per reaction of n.
inline bool read_reversibility(const std::string& text, const std::string& file, std::uint64_t n,
                               std::vector<std::uint8_t>* reversible, std::string* error) {
  reversible->clear();
  for (const detail::text_line& line : detail::text_lines(text))
    for (const std::string& w : line.words) {
      if (w != "0" && w != "1") {
        *error = file + ":" + std::to_string(line.number) + ": '" + w.substr(0, 40) + "' (flag " +
                 std::to_string(reversible->size() + 1) + ") is neither 0 nor 1";
        return false;
      }
      reversible->push_back(w == "1");
    }
  if (reversible->size() != n) {
    *error = file + ": " + std::to_string(reversible->size()) + " reversibility flags for " + std::to_string(n) +
             " reactions (the columns of the stoichiometric matrix)";
    return false;
  }
  return true;
}

}  // namespace bits

#endif
