// Exact compression of a metabolic network for its elementary flux modes,
// with the expansion back: the same steps, in the same order, as
// matlab/compress_network.m, so both give the same compressed network.
//
// Until nothing changes:
//   - blocked reactions (zero rows of an integer null space basis of S) are
//     removed;
//   - a metabolite that the remaining reactions, all irreversible, can only
//     make or only use (coefficients of one sign) blocks them all;
//   - coupled reactions (proportional rows of the basis) are merged into one,
//     irreversible when any of them is, and blocked when two irreversible
//     ones need opposite signs;
//   - a metabolite that the merged irreversible reactions can only make or
//     only use blocks them too.
// Then the metabolites whose rows are zero or depend on the rows before them
// are dropped. Every decision is exact (integer_null_space.h, 256-bit checked
// arithmetic); where the M-code stops at 2^53 (it multiplies in doubles),
// this code computes exactly and stops only where a value leaves int64.
//
// Nothing here calls the host; failures come back as a message.
#ifndef BITS_CORE_NETWORK_COMPRESSION_H
#define BITS_CORE_NETWORK_COMPRESSION_H

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/approximate_ratio.h"
#include "core/exact_integers.h"
#include "core/integer_null_space.h"

namespace bits {

// S with each column scaled to integers: column j of the network's S times
// units[j], so the flux of reaction j is units[j] times smaller here.
struct integer_network {
  std::uint64_t m = 0, n = 0;
  std::vector<std::int64_t> S;      // m x n, column-major
  std::vector<std::int64_t> units;  // n
};

// The compressed network. A flux t of it is the flux E t of the network (in
// the units of the network's S), where E (n x columns) has at most one
// non-zero per row: reaction j carries coefficient[j] times the flux of
// compressed reaction group[j] (no_group: blocked).
struct compressed_network {
  static constexpr std::uint64_t no_group = UINT64_MAX;
  std::uint64_t reactions = 0, metabolites = 0;  // of the network
  std::uint64_t rows = 0, columns = 0;           // kept metabolites x compressed reactions
  std::vector<std::int64_t> S;                   // rows x columns, column-major
  std::vector<std::uint8_t> reversible;          // columns
  std::vector<std::uint64_t> group;              // reactions
  std::vector<std::int64_t> coefficient;         // reactions (0 where blocked)
  std::vector<std::uint64_t> kept;               // the metabolites kept (0-based rows of S)
  std::uint64_t blocked = 0, merged = 0;         // reactions removed; merged into another
};

namespace detail {

inline std::int64_t gcd_i64(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(gcd_u64(magnitude(a), magnitude(b)));
}

// An integer basis of the null space of the p x n matrix M (column-major)
// into *basis (n x (n - rank), column-major), or only the pivot columns when
// basis is null; false with a message when a value leaves the exact range.
inline bool null_space(const std::vector<std::int64_t>& M, std::uint64_t p, std::uint64_t n,
                       std::vector<std::int64_t>* basis, std::vector<std::uint64_t>* pivots,
                       std::string* error) {
  std::vector<wide_int> work(p * n > 0 ? p * n : 1);
  pivots->assign(n > 0 ? n : 1, 0);
  std::vector<std::int64_t> full;
  if (basis != nullptr) full.assign(n * n > 0 ? n * n : 1, 0);
  const null_space_result r =
      integer_null_space(M.data(), p, n, work.data(), pivots->data(), basis ? full.data() : nullptr);
  if (r.status == null_space_status::overflow) {
    *error = "the exact elimination needs integers beyond 256 bits";
    return false;
  }
  if (r.status == null_space_status::too_large) {
    *error = "a null space basis entry is beyond the int64 range";
    return false;
  }
  pivots->resize(r.rank);
  if (basis != nullptr) {
    full.resize(n * (n - r.rank));
    *basis = std::move(full);
  }
  return true;
}

// True when a metabolite's row blocks the reactions it uses: every one of them
// irreversible, and their coefficients all of one sign.
inline bool one_sided(const std::vector<std::int64_t>& coefficients, const std::vector<std::uint8_t>& reversible) {
  if (coefficients.empty()) return false;
  bool positive = true, negative = true;
  for (std::uint64_t k = 0; k < coefficients.size(); ++k) {
    if (reversible[k]) return false;
    positive = positive && coefficients[k] > 0;
    negative = negative && coefficients[k] < 0;
  }
  return positive || negative;
}

}  // namespace detail

// S (m x n doubles, column-major) as an integer_network: each entry an
// integer or a rational p/q with q <= 2^24 (found by the continued fraction
// with tolerance 0, as rational_approx(S, 0) does), each column scaled by the
// least common multiple of its denominators. False with a message naming the
// entry (1-based) when one is not such a number or a scaled entry reaches 2^53.
inline bool integer_columns(const double* S, std::uint64_t m, std::uint64_t n, integer_network* out,
                            std::string* error) {
  const double limit = 9007199254740992.0;  // 2^53
  out->m = m;
  out->n = n;
  out->S.assign(m * n, 0);
  out->units.assign(n, 1);
  std::vector<double> p(m * n), q(m * n);
  for (std::uint64_t j = 0; j < n; ++j) {
    std::uint64_t unit = 1;
    for (std::uint64_t i = 0; i < m; ++i) {
      const double v = S[i + j * m];
      const ratio r = approximate_ratio(v, 0.0);
      if (!std::isfinite(v) || !std::isfinite(r.p) || !std::isfinite(r.q) || !(r.q >= 1) || r.q > 16777216.0 ||
          r.p / r.q != v) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "S(%llu,%llu) = %.17g is neither an integer nor a rational p/q with q <= 2^24",
                      static_cast<unsigned long long>(i + 1), static_cast<unsigned long long>(j + 1), v);
        *error = text;
        return false;
      }
      p[i + j * m] = r.p;
      q[i + j * m] = r.q;
      const std::uint64_t d = static_cast<std::uint64_t>(r.q);
      unit = unit / gcd_u64(unit, d) * d;  // d <= 2^24, unit < 2^53 checked below: no overflow
      if (static_cast<double>(unit) >= limit) {
        *error = "the columns of S need integers of 2^53 or more when scaled";
        return false;
      }
    }
    out->units[j] = static_cast<std::int64_t>(unit);
    for (std::uint64_t i = 0; i < m; ++i) {
      const double v = p[i + j * m] * (static_cast<double>(unit) / q[i + j * m]);
      if (std::fabs(v) >= limit) {
        *error = "the columns of S need integers of 2^53 or more when scaled";
        return false;
      }
      out->S[i + j * m] = static_cast<std::int64_t>(v);
    }
  }
  return true;
}

// The compression of the network `net` with reversible flags `reversible`
// (n of them) into *out; false with a message when a value leaves the exact
// range.
inline bool compress_network(const integer_network& net, const std::uint8_t* reversible, compressed_network* out,
                             std::string* error) {
  const std::uint64_t m = net.m, n = net.n;
  std::vector<std::uint8_t> active(n, 1);
  std::vector<std::vector<std::uint64_t>> groups;
  std::vector<std::vector<std::int64_t>> coefficients;
  std::vector<std::int64_t> Sc;  // m x groups, column-major
  std::vector<std::uint8_t> rev_c;
  std::vector<std::int64_t> K, row_coefficients;
  std::vector<std::uint64_t> pivots;
  std::vector<std::uint8_t> flags;
  while (true) {
    std::vector<std::uint64_t> R;
    for (std::uint64_t j = 0; j < n; ++j)
      if (active[j]) R.push_back(j);
    groups.clear();
    coefficients.clear();
    if (R.empty()) break;
    const std::uint64_t r = R.size();
    std::vector<std::int64_t> sub(m * r);
    for (std::uint64_t k = 0; k < r; ++k)
      for (std::uint64_t i = 0; i < m; ++i) sub[i + k * m] = net.S[i + R[k] * m];
    if (!detail::null_space(sub, m, r, &K, &pivots, error)) return false;
    const std::uint64_t d = r - pivots.size();
    for (std::int64_t v : K)
      if (v == INT64_MIN) {  // its magnitude has no int64
        *error = "a null space basis entry is beyond the int64 range";
        return false;
      }
    std::vector<std::uint8_t> blocked(n, 0);
    bool any_blocked = false;
    auto block = [&](std::uint64_t j) {
      blocked[j] = 1;
      any_blocked = true;
    };
    for (std::uint64_t k = 0; k < r; ++k) {
      bool zero = true;
      for (std::uint64_t c = 0; c < d && zero; ++c) zero = K[k + c * r] == 0;
      if (zero) block(R[k]);
    }
    // Metabolites that the remaining reactions can only make or only use.
    for (std::uint64_t i = 0; i < m; ++i) {
      std::vector<std::uint64_t> used;
      row_coefficients.clear();
      flags.clear();
      for (std::uint64_t k = 0; k < r; ++k)
        if (sub[i + k * m] != 0) {
          used.push_back(R[k]);
          row_coefficients.push_back(sub[i + k * m]);
          flags.push_back(reversible[R[k]] != 0);
        }
      if (detail::one_sided(row_coefficients, flags))
        for (std::uint64_t j : used) block(j);
    }
    if (any_blocked) {
      for (std::uint64_t j = 0; j < n; ++j)
        if (blocked[j]) active[j] = 0;
      continue;
    }
    // Coupled reactions: rows of K that are integer multiples k of one
    // primitive row v whose first non-zero entry is positive; groups in the
    // order of their first reaction, members in the order of the network.
    std::map<std::vector<std::int64_t>, std::uint64_t> group_of;
    for (std::uint64_t k = 0; k < r; ++k) {
      std::vector<std::int64_t> v(d);
      std::int64_t g = 0, first = 0;
      for (std::uint64_t c = 0; c < d; ++c) {
        v[c] = K[k + c * r];
        g = detail::gcd_i64(g, v[c]);
        if (first == 0) first = v[c];
      }
      if (first < 0) g = -g;
      for (std::uint64_t c = 0; c < d; ++c) v[c] /= g;
      const auto found = group_of.emplace(std::move(v), groups.size());
      if (found.second) {
        groups.emplace_back();
        coefficients.emplace_back();
      }
      groups[found.first->second].push_back(R[k]);
      coefficients[found.first->second].push_back(g);
    }
    for (std::uint64_t g = 0; g < groups.size(); ++g) {
      std::vector<std::int64_t>& c = coefficients[g];
      std::int64_t common = 0;
      for (std::int64_t v : c) common = detail::gcd_i64(common, v);
      if (common == 0) common = 1;
      bool positive = false, negative = false, any_irreversible = false;
      for (std::uint64_t k = 0; k < c.size(); ++k) {
        c[k] /= common;
        if (!reversible[groups[g][k]]) {
          any_irreversible = true;
          positive = positive || c[k] > 0;
          negative = negative || c[k] < 0;
        }
      }
      if (positive && negative) {
        for (std::uint64_t j : groups[g]) block(j);
      } else if (negative || (!any_irreversible && c[0] < 0)) {
        for (std::int64_t& v : c) v = -v;
      }
    }
    if (any_blocked) {
      for (std::uint64_t j = 0; j < n; ++j)
        if (blocked[j]) active[j] = 0;
      continue;
    }
    // The compressed network, exactly; and a metabolite that its
    // irreversible reactions can only make or only use blocks them too.
    const std::uint64_t nc = groups.size();
    Sc.assign(m * nc, 0);
    rev_c.assign(nc, 1);
    for (std::uint64_t g = 0; g < nc; ++g) {
      for (std::uint64_t j : groups[g]) rev_c[g] = rev_c[g] && reversible[j] != 0;
      for (std::uint64_t i = 0; i < m; ++i) {
        bool overflow = false;
        wide_int sum = wide_zero();
        for (std::uint64_t k = 0; k < groups[g].size(); ++k)
          sum = add(sum, multiply(net.S[i + groups[g][k] * m], coefficients[g][k]), &overflow);
        if (overflow || !fits_int64(sum)) {
          *error = "the compressed stoichiometry needs integers beyond the int64 range";
          return false;
        }
        Sc[i + g * m] = to_int64(sum);
      }
    }
    for (std::uint64_t i = 0; i < m; ++i) {
      std::vector<std::uint64_t> used;
      row_coefficients.clear();
      flags.clear();
      for (std::uint64_t g = 0; g < nc; ++g)
        if (Sc[i + g * m] != 0) {
          used.push_back(g);
          row_coefficients.push_back(Sc[i + g * m]);
          flags.push_back(rev_c[g]);
        }
      if (detail::one_sided(row_coefficients, flags))
        for (std::uint64_t g : used)
          for (std::uint64_t j : groups[g]) block(j);
    }
    if (!any_blocked) break;
    for (std::uint64_t j = 0; j < n; ++j)
      if (blocked[j]) active[j] = 0;
  }

  const std::uint64_t nc = groups.size();
  out->reactions = n;
  out->metabolites = m;
  out->columns = nc;
  out->group.assign(n, compressed_network::no_group);
  out->coefficient.assign(n, 0);
  out->kept.clear();
  out->reversible.assign(rev_c.begin(), rev_c.begin() + nc);
  // Metabolites: the independent non-zero rows, the first ones kept.
  std::vector<std::uint64_t> nonzero;
  for (std::uint64_t i = 0; i < m && nc > 0; ++i) {
    bool any = false;
    for (std::uint64_t g = 0; g < nc && !any; ++g) any = Sc[i + g * m] != 0;
    if (any) nonzero.push_back(i);
  }
  if (!nonzero.empty()) {
    std::vector<std::int64_t> T(nc * nonzero.size());  // Sc(nonzero, :)', nc x rows
    for (std::uint64_t k = 0; k < nonzero.size(); ++k)
      for (std::uint64_t g = 0; g < nc; ++g) T[g + k * nc] = Sc[nonzero[k] + g * m];
    if (!detail::null_space(T, nc, nonzero.size(), nullptr, &pivots, error)) return false;
    for (std::uint64_t k : pivots) out->kept.push_back(nonzero[k]);
  }
  out->rows = out->kept.size();
  out->S.assign(out->rows * nc, 0);
  for (std::uint64_t g = 0; g < nc; ++g)
    for (std::uint64_t k = 0; k < out->rows; ++k) out->S[k + g * out->rows] = Sc[out->kept[k] + g * m];
  // Back to the units of S: x_j = units(j) y_j.
  std::uint64_t members = 0;
  for (std::uint64_t g = 0; g < nc; ++g)
    for (std::uint64_t k = 0; k < groups[g].size(); ++k) {
      const std::uint64_t j = groups[g][k];
      const wide_int v = multiply(coefficients[g][k], net.units[j]);
      if (!fits_int64(v)) {
        *error = "the expansion of a merged reaction needs integers beyond the int64 range";
        return false;
      }
      out->group[j] = g;
      out->coefficient[j] = to_int64(v);
      ++members;
    }
  out->blocked = n - members;
  out->merged = members - nc;
  return true;
}

// E as a dense n x columns matrix (column-major).
inline std::vector<std::int64_t> dense_expansion(const compressed_network& c) {
  std::vector<std::int64_t> E(c.reactions * c.columns, 0);
  for (std::uint64_t j = 0; j < c.reactions; ++j)
    if (c.group[j] != compressed_network::no_group) E[j + c.group[j] * c.reactions] = c.coefficient[j];
  return E;
}

}  // namespace bits

#endif
