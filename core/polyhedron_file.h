// The text format of polyhedra that lrs and cddlib read and write: an
// H-representation (.ine), rows b + a . x >= 0 (or = 0 for the rows named
// by `linearity`), or a V-representation (.ext), rows 1 x for points and
// 0 x for rays:
//
//   * a comment line
//   a name
//   H-representation
//   linearity 2 1 3
//   begin
//   4 3 rational
//   0 1 -1/2
//   ...
//   end
//
// Entries are integers or rationals p/q held as int64 numerators and
// denominators; larger ones are refused, or, for a reader that takes
// integers of any size, kept as their text only (`big`). Floating-point
// entries or any other fault are refused with the line where they were found.
//
// lrs's options, before `begin` or after `end`: `linearity` and
// `nonnegative` (every variable >= 0, as rows 0 e_i) are honoured. The
// options that only steer lrs's search or what it prints (`printcobasis`,
// `maxdepth`, `incidence`, ...) leave the polyhedron as it is: they are
// skipped, each with a warning. Any other word where an option may stand is
// refused by name, since it may change the answer (`project`, `voronoi`).
#ifndef BITS_CORE_POLYHEDRON_FILE_H
#define BITS_CORE_POLYHEDRON_FILE_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/exact_integers.h"

namespace bits {

struct polyhedron_file {
  std::string name;
  bool v_representation = false;
  std::uint64_t m = 0, n = 0;            // rows, entries per row (b or the 0/1 flag first)
  std::vector<std::int64_t> num, den;    // m x n, row-major; den > 0, num/den reduced
  std::vector<std::uint8_t> linearity;   // m flags
  std::vector<std::uint64_t> row_line;   // line where each row starts (1-based)
  std::vector<std::string> text;         // m x n, row-major: each entry as written
  bool big = false;                      // some entry is beyond int64 (its num 0, den 1)
  std::vector<std::string> warnings;     // options skipped, as "line N: ..."
};

struct file_error {
  std::uint64_t line = 0;  // 0: not tied to a line
  std::string message;
};

namespace detail {

inline bool parse_uint64(const std::string& s, std::size_t from, std::size_t to, std::uint64_t* v) {
  if (from >= to) return false;
  std::uint64_t x = 0;
  for (std::size_t i = from; i < to; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    const std::uint64_t digit = static_cast<std::uint64_t>(s[i] - '0');
    if (x > (UINT64_MAX - digit) / 10) return false;
    x = 10 * x + digit;
  }
  *v = x;
  return true;
}

// Reads "[+-]digits[/[+-]digits]" as a reduced fraction with a positive
// denominator. 1: done; 0: not a number; -1: beyond the int64 range;
// -2: zero denominator.
inline int parse_rational(const std::string& t, std::int64_t* num, std::int64_t* den) {
  const std::size_t slash = t.find('/');
  auto signed_part = [&](std::size_t from, std::size_t to, bool* negative, std::uint64_t* v) {
    *negative = false;
    if (from < to && (t[from] == '+' || t[from] == '-')) *negative = t[from++] == '-';
    return parse_uint64(t, from, to, v);
  };
  bool neg_p = false, neg_q = false;
  std::uint64_t p = 0, q = 1;
  const std::size_t end_p = slash == std::string::npos ? t.size() : slash;
  // Whether t[from .. to) is an optional sign and at least one digit.
  auto digits = [&](std::size_t from, std::size_t to) {
    if (from < to && (t[from] == '+' || t[from] == '-')) ++from;
    bool ok = from < to;
    for (; from < to; ++from) ok = ok && t[from] >= '0' && t[from] <= '9';
    return ok;
  };
  // Digits that do not fit still make a number, just too large a one.
  const bool whole = digits(0, end_p) && (slash == std::string::npos || digits(slash + 1, t.size()));
  if (!signed_part(0, end_p, &neg_p, &p)) return whole ? -1 : 0;
  if (slash != std::string::npos && !signed_part(slash + 1, t.size(), &neg_q, &q)) return whole ? -1 : 0;
  if (q == 0) return -2;
  const std::uint64_t g = gcd_u64(p, q);
  if (g > 1) {
    p /= g;
    q /= g;
  }
  if (p > static_cast<std::uint64_t>(INT64_MAX) || q > static_cast<std::uint64_t>(INT64_MAX)) return -1;
  *num = (neg_p != neg_q) ? -static_cast<std::int64_t>(p) : static_cast<std::int64_t>(p);
  *den = static_cast<std::int64_t>(q);
  return 1;
}

// The whitespace-separated words of a line, with '*' starting a comment.
inline std::vector<std::string> words_of(const std::string& line) {
  std::vector<std::string> w;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i >= line.size() || line[i] == '*') break;
    std::size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
    w.push_back(line.substr(i, j - i));
    i = j;
  }
  return w;
}

// lrs's options that change neither the polyhedron nor its rays: they bound
// or steer lrs's search, or add to what it prints (and cddlib's likewise).
inline bool output_only_option(const std::string& w) {
  static const char* const names[] = {
      "allbases", "bound", "cache", "debug", "digits", "dualperturb", "estimates", "geometric",
      "incidence", "maxcobases", "maxdepth", "maxincidence", "maxoutput", "mindepth", "nondegenerate",
      "printcobasis", "printslack", "seed", "startingcobasis", "subtreesize", "triangulation", "truncate",
      "verbose", "volume", "adjacency", "input_adjacency", "input_incidence"};
  for (const char* name : names)
    if (w == name) return true;
  return false;
}

}  // namespace detail

// Reads `text`; on failure *err says why and where.
// With any_size, entries beyond int64 are kept (see `big`) instead of refused.
inline bool read_polyhedron_file(const std::string& text, polyhedron_file* out, file_error* err,
                                 bool any_size = false) {
  *out = polyhedron_file{};
  std::vector<std::string> lines;
  for (std::size_t i = 0; i <= text.size();) {
    std::size_t j = text.find('\n', i);
    if (j == std::string::npos) j = text.size();
    lines.push_back(text.substr(i, j - i));
    i = j + 1;
  }
  auto fail = [&](std::uint64_t line, const std::string& message) {
    err->line = line;
    err->message = message;
    return false;
  };
  std::vector<std::uint64_t> lin_rows;
  std::uint64_t lin_line = 0;
  auto read_linearity = [&](const std::vector<std::string>& w, std::uint64_t line) {
    std::uint64_t k = 0;
    if (w.size() < 2 || !detail::parse_uint64(w[1], 0, w[1].size(), &k) || w.size() != k + 2)
      return fail(line, "'linearity' must be followed by its count and that many row numbers");
    for (std::uint64_t i = 0; i < k; ++i) {
      std::uint64_t r = 0;
      if (!detail::parse_uint64(w[i + 2], 0, w[i + 2].size(), &r) || r == 0)
        return fail(line, "'" + w[i + 2] + "' is not a row number (1, 2, ...)");
      lin_rows.push_back(r);
    }
    lin_line = line;
    return true;
  };
  std::uint64_t nonnegative_line = 0;
  // An option word at `line`: honoured, skipped with a warning, or refused
  // (false, with `refusal` as the message).
  auto read_option = [&](const std::vector<std::string>& w, std::uint64_t line, const std::string& refusal) {
    if (w[0] == "linearity") return read_linearity(w, line);
    if (w[0] == "nonnegative") {
      nonnegative_line = line;
      return true;
    }
    if (detail::output_only_option(w[0])) {
      out->warnings.push_back("line " + std::to_string(line) + ": lrs's option '" + w[0] +
                              "' only steers its search or output: skipped, every ray is given");
      return true;
    }
    return fail(line, refusal);
  };

  std::size_t at = 0;
  bool named = false;
  for (; at < lines.size(); ++at) {
    const std::vector<std::string> w = detail::words_of(lines[at]);
    if (w.empty()) continue;
    if (w[0] == "begin") break;
    if (w[0] == "H-representation") {
      out->v_representation = false;
    } else if (w[0] == "V-representation") {
      out->v_representation = true;
    } else if (w[0] == "linearity" || w[0] == "nonnegative" || detail::output_only_option(w[0])) {
      if (!read_option(w, at + 1, "")) return false;
    } else if (!named) {
      out->name = lines[at].substr(lines[at].find_first_not_of(" \t"));
      while (!out->name.empty() && (out->name.back() == '\r' || out->name.back() == ' ')) out->name.pop_back();
      named = true;
    } else {
      return fail(at + 1, "'" + w[0] + "' is not expected before 'begin'");
    }
  }
  if (at == lines.size()) return fail(0, "no 'begin' line");
  ++at;
  // The size line; lrs, which counts its rows only at the end, writes
  // "***** n type" there, and the rows then run to 'end'.
  std::vector<std::string> w;
  bool counted = true;
  for (; at < lines.size(); ++at) {
    const std::size_t first = lines[at].find_first_not_of(" \t");
    if (first != std::string::npos && lines[at].compare(first, 5, "*****") == 0) {
      counted = false;
      w = detail::words_of(lines[at].substr(first + 5));
      w.insert(w.begin(), "0");
      break;
    }
    if (!(w = detail::words_of(lines[at])).empty()) break;
  }
  if (at == lines.size()) return fail(at, "the line after 'begin' must give rows, columns and a number type");
  const std::uint64_t size_line = at + 1;
  std::uint64_t m = 0, n = 0;
  if (w.size() != 3 || !detail::parse_uint64(w[0], 0, w[0].size(), &m) ||
      !detail::parse_uint64(w[1], 0, w[1].size(), &n))
    return fail(size_line, "the line after 'begin' must give rows, columns and a number type");
  if (w[2] != "integer" && w[2] != "rational") {
    if (w[2] == "real") return fail(size_line, "floating-point ('real') entries are not read: give integers or rationals");
    return fail(size_line, "unknown number type '" + w[2] + "' (integer or rational)");
  }
  const bool integers_only = w[2] == "integer";
  if (n == 0) return fail(size_line, "a row needs at least one column");
  const std::uint64_t most = std::uint64_t(1) << 32;
  if (m > most || n > (std::uint64_t(1) << 20) || m * n > most)
    return fail(size_line, "more rows or columns than this program reads");
  ++at;
  std::uint64_t k = 0;  // entries read
  for (; at < lines.size() && (!counted || k < m * n); ++at) {
    w = detail::words_of(lines[at]);
    if (w.empty()) continue;
    if (w[0] == "end") {
      if (!counted) break;
      return fail(at + 1, "'end' after " + std::to_string(k / n) + " rows; " + std::to_string(m) +
                              " were announced");
    }
    for (const std::string& t : w) {
      if (counted && k == m * n)
        return fail(at + 1, "more entries than the " + std::to_string(m) + " x " + std::to_string(n) +
                                " announced");
      if (k >= most) return fail(at + 1, "more rows or columns than this program reads");
      if (k % n == 0) out->row_line.push_back(at + 1);
      std::int64_t p = 0, q = 1;
      const int got = detail::parse_rational(t, &p, &q);
      if (got == 0) return fail(at + 1, "'" + t + "' is not an integer or rational number");
      if (got == -1 && !any_size) return fail(at + 1, "'" + t + "' is beyond the int64 range");
      if (got == -1) {
        const std::size_t slash = t.find('/');
        if (integers_only && slash != std::string::npos)
          return fail(at + 1, "'" + t + "' is not an integer (the file says integer)");
        if (slash != std::string::npos && t.find_first_not_of("+-0", slash + 1) == std::string::npos)
          return fail(at + 1, "'" + t + "' has a zero denominator");
        out->big = true;
        p = 0;
        q = 1;
      }
      if (got == -2) return fail(at + 1, "'" + t + "' has a zero denominator");
      if (integers_only && q != 1) return fail(at + 1, "'" + t + "' is not an integer (the file says integer)");
      out->num.push_back(p);
      out->den.push_back(q);
      out->text.push_back(t);
      ++k;
    }
    if (k % n != 0)
      return fail(at + 1, "a row must end its line: " + std::to_string(k % n) + " of " + std::to_string(n) +
                              " entries on it");
  }
  if (!counted) m = k / n;
  if (k < m * n)
    return fail(at, "the file ends after " + std::to_string(k / n) + " of " + std::to_string(m) + " rows");
  out->m = m;
  out->n = n;
  bool ended = !counted && at < lines.size();
  if (ended) ++at;
  for (; at < lines.size(); ++at) {
    w = detail::words_of(lines[at]);
    if (w.empty()) continue;
    if (!ended) {
      if (w[0] != "end") return fail(at + 1, "'end' expected after the " + std::to_string(m) + " rows");
      ended = true;
      continue;
    }
    if (!read_option(w, at + 1, "'" + w[0] + "' after 'end' is not an option this program follows")) return false;
  }
  if (!ended) return fail(at, "no 'end' line");
  out->linearity.assign(m, 0);
  for (std::uint64_t r : lin_rows) {
    if (r > m) return fail(lin_line, "linearity names row " + std::to_string(r) + " of " + std::to_string(m));
    out->linearity[r - 1] = 1;
  }
  if (nonnegative_line) {
    if (out->v_representation) return fail(nonnegative_line, "'nonnegative' applies to an H-representation");
    if (m + (n - 1) > most || (m + (n - 1)) * n > most)
      return fail(nonnegative_line, "more rows or columns than this program reads");
    for (std::uint64_t i = 1; i < n; ++i) {
      out->row_line.push_back(nonnegative_line);
      for (std::uint64_t c = 0; c < n; ++c) {
        out->num.push_back(c == i ? 1 : 0);
        out->den.push_back(1);
        out->text.push_back(c == i ? "1" : "0");
      }
    }
    out->linearity.resize(m + (n - 1), 0);
    out->m = m + (n - 1);
  }
  return true;
}

// The last representation in a program's output, from the line that names
// it: lrs starts again, and writes a new one, after an overflow of its own.
inline std::string last_representation(std::string text) {
  std::size_t begin = text.rfind("\nbegin");
  std::size_t head = begin == std::string::npos ? 0 : text.rfind("-representation", begin);
  head = head == std::string::npos ? 0 : text.rfind('\n', head);
  if (head != std::string::npos && head > 0) text = text.substr(head + 1);
  return text;
}

// Row r of f scaled by a positive factor to coprime integers, into out[0 .. n);
// false when they do not fit int64.
inline bool integer_row(const polyhedron_file& f, std::uint64_t r, std::int64_t* out) {
  const std::int64_t* p = f.num.data() + r * f.n;
  const std::int64_t* q = f.den.data() + r * f.n;
  std::uint64_t l = 1;  // least common multiple of the denominators
  for (std::uint64_t c = 0; c < f.n; ++c) {
    const std::uint64_t qc = static_cast<std::uint64_t>(q[c]);
    const std::uint64_t step = qc / gcd_u64(l, qc);
    std::uint64_t high = 0;
    const std::uint64_t low = multiply_full(l, step, &high);
    if (high != 0 || low > static_cast<std::uint64_t>(INT64_MAX)) return false;
    l = low;
  }
  std::uint64_t g = 0;
  for (std::uint64_t c = 0; c < f.n; ++c) {
    const std::uint64_t factor = l / static_cast<std::uint64_t>(q[c]);
    std::uint64_t high = 0;
    const std::uint64_t low = multiply_full(magnitude(p[c]), factor, &high);
    if (high != 0 || low > static_cast<std::uint64_t>(INT64_MAX)) return false;
    out[c] = p[c] < 0 ? -static_cast<std::int64_t>(low) : static_cast<std::int64_t>(low);
    g = gcd_u64(g, low);
  }
  if (g > 1)
    for (std::uint64_t c = 0; c < f.n; ++c) out[c] /= static_cast<std::int64_t>(g);
  return true;
}

}  // namespace bits

#endif
