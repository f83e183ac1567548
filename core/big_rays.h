// The double description method with integers of any size, through GMP:
// for cones whose rows, or whose rays, do not fit int64.
//
// Every entry of a ray is kept in a fixed number of words: the signed count
// of its 64-bit limbs (as GMP's mpz keeps it), then the limbs. The run
// starts with as many limbs as its initial rays need; when a step makes an
// entry that does not fit, every ray is widened to twice the limbs and the
// step's new rays are made again, so the int64 words the engine moves stay
// one block per ray. Signs and combinations are computed with mpz, exactly;
// a ray is read in place through a read-only mpz view of its limbs.
//
// The start (row order, independent rows, initial rays) is big_setup, the
// same as setup_cone in core/cone_setup.h with exact rationals.
//
// Nothing here calls the host. GMP's own allocations are small scratch;
// the rays live in the engine's buffers, which report a failed allocation.
#ifndef BITS_CORE_BIG_RAYS_H
#define BITS_CORE_BIG_RAYS_H

#include <gmp.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <vector>

#include "core/cone_setup.h"
#include "core/double_description.h"
#include "core/polyhedron_file.h"

namespace bits {

static_assert(sizeof(mp_limb_t) == 8, "64-bit GMP limbs expected");

// An owning mpz, so that vectors of them clean up after themselves.
struct big_int {
  mpz_t v;
  big_int() { mpz_init(v); }
  big_int(const big_int& o) { mpz_init_set(v, o.v); }
  big_int& operator=(const big_int& o) {
    mpz_set(v, o.v);
    return *this;
  }
  ~big_int() { mpz_clear(v); }
};

// Reads a decimal integer or fraction p/q (each with an optional sign, q not
// zero) from s[0 .. len), spaces around it allowed, into out in lowest
// terms; false when it is anything else.
inline bool parse_rational(const char* s, std::size_t len, mpq_t out) {
  std::size_t b = 0, e = len;
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\0')) --e;
  // One signed run of digits s[from .. to) into z.
  auto part = [&](std::size_t from, std::size_t to, mpz_ptr z) {
    bool negative = false;
    if (from < to && (s[from] == '+' || s[from] == '-')) negative = s[from++] == '-';
    if (from == to) return false;
    for (std::size_t i = from; i < to; ++i)
      if (s[i] < '0' || s[i] > '9') return false;
    char small[128];
    char* copy = to - from < sizeof small ? small : static_cast<char*>(std::malloc(to - from + 1));
    if (copy == nullptr) return false;
    std::memcpy(copy, s + from, to - from);
    copy[to - from] = '\0';
    mpz_set_str(z, copy, 10);
    if (copy != small) std::free(copy);
    if (negative) mpz_neg(z, z);
    return true;
  };
  std::size_t slash = b;
  while (slash < e && s[slash] != '/') ++slash;
  if (!part(b, slash, mpq_numref(out))) return false;
  if (slash == e) {
    mpz_set_ui(mpq_denref(out), 1);
  } else if (!part(slash + 1, e, mpq_denref(out)) || mpz_sgn(mpq_denref(out)) == 0) {
    mpz_set_ui(mpq_denref(out), 1);  // keep out a valid rational
    return false;
  }
  mpq_canonicalize(out);
  return true;
}

// A row of n rationals as coprime integers, into out: multiplied by the
// least common multiple of its denominators and divided by the greatest
// common divisor of the products.
inline void primitive_row(const mpq_t* row, std::uint64_t n, big_int* out) {
  big_int l, g;
  mpz_set_ui(l.v, 1);
  for (std::uint64_t c = 0; c < n; ++c) mpz_lcm(l.v, l.v, mpq_denref(row[c]));
  for (std::uint64_t c = 0; c < n; ++c) {
    mpz_divexact(out[c].v, l.v, mpq_denref(row[c]));
    mpz_mul(out[c].v, out[c].v, mpq_numref(row[c]));
    mpz_gcd(g.v, g.v, out[c].v);
  }
  if (mpz_cmp_ui(g.v, 1) > 0)
    for (std::uint64_t c = 0; c < n; ++c) mpz_divexact(out[c].v, out[c].v, g.v);
}

// The rows of a file read with entries of any size (its `text`), each
// scaled to coprime integers, m x n row-major; false at an entry that is
// not a number (the reader has checked their form already).
inline bool file_rows(const polyhedron_file& f, std::vector<big_int>* rows) {
  rows->assign(f.m * f.n, big_int());
  std::vector<mpq_t> q(f.n);
  for (auto& v : q) mpq_init(v);
  bool ok = true;
  for (std::uint64_t r = 0; r < f.m && ok; ++r) {
    for (std::uint64_t c = 0; c < f.n && ok; ++c)
      ok = parse_rational(f.text[r * f.n + c].c_str(), f.text[r * f.n + c].size(), q[c]);
    if (ok) primitive_row(q.data(), f.n, rows->data() + r * f.n);
  }
  for (auto& v : q) mpq_clear(v);
  return ok;
}

struct big_start {
  std::uint64_t m = 0, n = 0, d = 0, rank = 0;
  std::vector<big_int> A;   // m x n, row-major, rows in the chosen order
  std::vector<big_int> X0;  // n x d, column j for row sequence[j], coprime
  std::vector<std::uint64_t> sequence;
};

// The start of a run for A (m x n) and B (p x n), row-major integers: as
// setup_cone, exactly. not_pointed leaves the rank of [B; A] in out->rank.
inline cone_setup_status big_setup(const std::vector<big_int>& A, std::uint64_t m, const std::vector<big_int>& B,
                                   std::uint64_t p, std::uint64_t n, row_order order, big_start* out) {
  out->m = m;
  out->n = n;
  const std::vector<std::uint64_t> idx = ordered_rows(m, order, [&](std::uint64_t a, std::uint64_t b) {
    for (std::uint64_t c = 0; c < n; ++c)
      if (const int k = mpz_cmp(A[a * n + c].v, A[b * n + c].v)) return k;
    return 0;
  });
  out->A.resize(m * n);
  for (std::uint64_t k = 0; k < m; ++k)
    for (std::uint64_t c = 0; c < n; ++c) mpz_set(out->A[k * n + c].v, A[idx[k] * n + c].v);

  // The rows of [B; A] independent of those before them, by fraction-free
  // elimination against an echelon basis (each basis row primitive).
  std::vector<std::vector<big_int>> basis;
  std::vector<std::uint64_t> pivot, kept_B, first;
  std::vector<big_int> v(n);
  big_int t, g;
  for (std::uint64_t k = 0; k < p + m; ++k) {
    const big_int* row = k < p ? &B[k * n] : &out->A[(k - p) * n];
    for (std::uint64_t c = 0; c < n; ++c) mpz_set(v[c].v, row[c].v);
    for (std::size_t b = 0; b < basis.size(); ++b) {
      const std::uint64_t pc = pivot[b];
      if (mpz_sgn(v[pc].v) == 0) continue;
      // v := basis[pc] * v - v[pc] * basis, which clears column pc.
      mpz_set(t.v, v[pc].v);
      for (std::uint64_t c = 0; c < n; ++c) {
        mpz_mul(v[c].v, v[c].v, basis[b][pc].v);
        mpz_submul(v[c].v, t.v, basis[b][c].v);
      }
      mpz_set_ui(g.v, 0);
      for (std::uint64_t c = 0; c < n; ++c) mpz_gcd(g.v, g.v, v[c].v);
      if (mpz_cmp_ui(g.v, 1) > 0)
        for (std::uint64_t c = 0; c < n; ++c) mpz_divexact(v[c].v, v[c].v, g.v);
    }
    std::uint64_t pc = 0;
    while (pc < n && mpz_sgn(v[pc].v) == 0) ++pc;
    if (pc == n) continue;
    basis.push_back(v);
    pivot.push_back(pc);
    (k < p ? kept_B : first).push_back(k < p ? k : k - p);
  }
  out->rank = basis.size();
  if (out->rank < n) return cone_setup_status::not_pointed;
  const std::uint64_t d = first.size(), q = kept_B.size();
  out->d = d;

  // M = [kept rows of B; first rows of A] is n x n and invertible; column
  // q + j of its inverse vanishes on every row of M but row q + j, where it
  // is 1: the initial ray of row first[j], once scaled to coprime integers.
  std::vector<mpq_t> W(n * 2 * n);
  for (auto& w : W) mpq_init(w);
  auto at = [&](std::uint64_t r, std::uint64_t c) -> mpq_t& { return W[r * 2 * n + c]; };
  for (std::uint64_t r = 0; r < n; ++r) {
    const big_int* row = r < q ? &B[kept_B[r] * n] : &out->A[first[r - q] * n];
    for (std::uint64_t c = 0; c < n; ++c) mpq_set_z(at(r, c), row[c].v);
    mpq_set_ui(at(r, n + r), 1, 1);
  }
  mpq_t f, h;
  mpq_init(f);
  mpq_init(h);
  for (std::uint64_t c = 0; c < n; ++c) {
    std::uint64_t r = c;
    while (mpq_sgn(at(r, c)) == 0) ++r;  // M is invertible
    if (r != c)
      for (std::uint64_t k = 0; k < 2 * n; ++k) mpq_swap(at(r, k), at(c, k));
    mpq_inv(f, at(c, c));
    for (std::uint64_t k = c; k < 2 * n; ++k) mpq_mul(at(c, k), at(c, k), f);
    for (std::uint64_t r2 = 0; r2 < n; ++r2) {
      if (r2 == c || mpq_sgn(at(r2, c)) == 0) continue;
      mpq_set(f, at(r2, c));
      for (std::uint64_t k = c; k < 2 * n; ++k) {
        mpq_mul(h, f, at(c, k));
        mpq_sub(at(r2, k), at(r2, k), h);
      }
    }
  }
  out->X0.resize(n * d);
  std::vector<mpq_t> col(n);
  for (auto& x : col) mpq_init(x);
  for (std::uint64_t j = 0; j < d; ++j) {
    for (std::uint64_t r = 0; r < n; ++r) mpq_set(col[r], at(r, n + q + j));
    primitive_row(col.data(), n, &out->X0[j * n]);
  }
  for (auto& x : col) mpq_clear(x);
  mpq_clear(f);
  mpq_clear(h);
  for (auto& w : W) mpq_clear(w);

  out->sequence = run_sequence(first, m);
  return cone_setup_status::ok;
}

// The entries of the engine (core/double_description.h) as integers of
// any size: `limbs` limbs each, widened up to max_limbs.
struct big_entries {
  const dd_problem* pb;
  const big_int* A;   // m x n, row-major
  const big_int* X0;  // n x d
  std::uint64_t limbs, max_limbs;
  std::uint64_t row = 0;
  std::vector<std::uint64_t> nonzero;  // columns where the current row is not zero

  std::uint64_t entry() const { return limbs + 1; }
  std::uint64_t words() const { return pb->n * entry(); }
  // At least the limbs that the initial rays need.
  bool prepare() {
    for (std::uint64_t k = 0; k < pb->n * pb->d; ++k) limbs = std::max<std::uint64_t>(limbs, mpz_size(X0[k].v));
    if (limbs == 0) limbs = 1;
    return limbs <= max_limbs;
  }

  static mpz_srcptr view(mpz_t tmp, const std::int64_t* e) {
    return mpz_roinit_n(tmp, reinterpret_cast<const mp_limb_t*>(e + 1), static_cast<mp_size_t>(e[0]));
  }
  bool put(mpz_srcptr v, std::int64_t* e) const {
    const std::size_t s = mpz_size(v);
    if (s > limbs) return false;
    e[0] = mpz_sgn(v) < 0 ? -static_cast<std::int64_t>(s) : static_cast<std::int64_t>(s);
    if (s > 0) std::memcpy(e + 1, mpz_limbs_read(v), s * 8);
    std::memset(e + 1 + s, 0, (limbs - s) * 8);
    return true;
  }
  void initial(std::uint64_t j, bool negate, std::int64_t* x) const {
    mpz_t t;
    mpz_init(t);
    for (std::uint64_t i = 0; i < pb->n; ++i) {
      if (negate)
        mpz_neg(t, X0[j * pb->n + i].v);
      else
        mpz_set(t, X0[j * pb->n + i].v);
      put(t, x + i * entry());  // prepare() made room for them
    }
    mpz_clear(t);
  }
  // a . x for the current row.
  void dot(const std::int64_t* x, mpz_t acc, mpz_t tmp) const {
    mpz_set_ui(acc, 0);
    const big_int* a = A + row * pb->n;
    for (std::uint64_t i : nonzero) mpz_addmul(acc, a[i].v, view(tmp, x + i * entry()));
  }
  void signs(std::uint64_t r, const std::int64_t* X, std::uint64_t N, const std::uint8_t* dropped,
             std::int8_t* out, std::uint64_t* n_pos, std::uint64_t* n_neg) {
    row = r;
    nonzero.clear();
    for (std::uint64_t i = 0; i < pb->n; ++i)
      if (mpz_sgn(A[r * pb->n + i].v) != 0) nonzero.push_back(i);
    const std::uint64_t w = words();
    std::uint64_t cp = 0, cn = 0;
#ifdef _OPENMP
#pragma omp parallel reduction(+ : cp, cn) if (N >= pb->parallel_work / 256)
#endif
    {
      mpz_t acc, tmp;
      mpz_init(acc);
#ifdef _OPENMP
#pragma omp for schedule(static)
#endif
      for (std::int64_t j = 0; j < static_cast<std::int64_t>(N); ++j) {
        if (dropped && dropped[j]) {
          out[j] = 0;
          continue;
        }
        dot(X + static_cast<std::uint64_t>(j) * w, acc, tmp);
        const int sg = mpz_sgn(acc);
        out[j] = static_cast<std::int8_t>(sg);
        cp += sg > 0;
        cn += sg < 0;
      }
      mpz_clear(acc);
    }
    *n_pos = cp;
    *n_neg = cn;
  }
  bool combine(std::int64_t* X, std::uint64_t N, const dd_pair* pr, std::uint64_t K) {
    const std::uint64_t n = pb->n, w = words(), e = entry();
    int overflow = 0;
#ifdef _OPENMP
#pragma omp parallel if (K >= pb->parallel_work / 4096)
#endif
    {
      mpz_t ap, aq, g, tmp;
      mpz_inits(ap, aq, g, nullptr);
      big_int* y = new big_int[n];
      std::uint64_t last_p = UINT64_MAX;  // the pairs come sorted by p: a.x_p is kept for the next
#ifdef _OPENMP
#pragma omp for schedule(static)
#endif
      for (std::int64_t i = 0; i < static_cast<std::int64_t>(K); ++i) {
        const std::int64_t* xp = X + pr[i].p * w;
        const std::int64_t* xq = X + pr[i].q * w;
        if (pr[i].p != last_p) dot(xp, ap, tmp);
        last_p = pr[i].p;
        dot(xq, aq, tmp);
        // (a.x_p) x_q - (a.x_q) x_p, then divided by the gcd of its entries.
        mpz_set_ui(g, 0);
        for (std::uint64_t c = 0; c < n; ++c) {
          mpz_mul(y[c].v, ap, view(tmp, xq + c * e));
          mpz_submul(y[c].v, aq, view(tmp, xp + c * e));
          if (mpz_cmp_ui(g, 1) != 0) mpz_gcd(g, g, y[c].v);
        }
        std::int64_t* out = X + (N + static_cast<std::uint64_t>(i)) * w;
        for (std::uint64_t c = 0; c < n; ++c) {
          if (mpz_cmp_ui(g, 1) > 0) mpz_divexact(y[c].v, y[c].v, g);
          if (!put(y[c].v, out + c * e)) {
#ifdef _OPENMP
#pragma omp atomic write
#endif
            overflow = 1;
            break;
          }
        }
      }
      mpz_clears(ap, aq, g, nullptr);
      delete[] y;
    }
    return overflow == 0;
  }
  int leading_sign(const std::int64_t* x) const {
    for (std::uint64_t i = 0; i < pb->n; ++i) {
      const std::int64_t s = x[i * entry()];
      if (s != 0) return s > 0 ? 1 : -1;
    }
    return 0;
  }
  // Entries widen during a run, so every rank keeps them all (dd_partition).
  static constexpr bool shareable = false;
  bool widen() {
    if (limbs * 2 > max_limbs) return false;
    limbs *= 2;
    return true;
  }
  // Rays 0 .. N-1 from w0 words each to words(): each entry moves up to its
  // wider place, the last first, and its new limbs are cleared.
  void relayout(std::int64_t* X, std::uint64_t N, std::uint64_t w0) const {
    const std::uint64_t n = pb->n, e0 = w0 / n, e = entry(), w = words();
    for (std::uint64_t j = N; j-- > 0;)
      for (std::uint64_t i = n; i-- > 0;) {
        std::memmove(X + j * w + i * e, X + j * w0 + i * e0, e0 * 8);
        std::memset(X + j * w + i * e + e0, 0, (e - e0) * 8);
      }
  }
};

// Rays of n entries of `limbs` limbs each (as a run leaves them).
struct big_ray_set {
  const std::int64_t* X;
  std::uint64_t count, n, limbs;

  const std::int64_t* entry(std::uint64_t j, std::uint64_t i) const { return X + (j * n + i) * (limbs + 1); }
  // Whether every entry lies in the int64 range.
  bool fits_int64() const {
    for (std::uint64_t k = 0; k < count * n; ++k) {
      const std::int64_t* e = X + k * (limbs + 1);
      const std::uint64_t mag = e[0] == 0 ? 0 : static_cast<std::uint64_t>(e[1]);
      if (e[0] > 1 || e[0] < -1 || mag > (e[0] < 0 ? std::uint64_t(1) << 63 : INT64_MAX)) return false;
    }
    return true;
  }
  std::int64_t int64_entry(std::uint64_t j, std::uint64_t i) const {
    const std::int64_t* e = entry(j, i);
    if (e[0] == 0) return 0;
    const std::uint64_t mag = static_cast<std::uint64_t>(e[1]);
    return e[0] < 0 ? static_cast<std::int64_t>(std::uint64_t(0) - mag) : static_cast<std::int64_t>(mag);
  }
  // The order of the rays by their entries, lexicographically, smallest first.
  std::vector<std::uint64_t> sorted() const {
    std::vector<std::uint64_t> order(count);
    std::iota(order.begin(), order.end(), std::uint64_t(0));
    std::sort(order.begin(), order.end(), [&](std::uint64_t a, std::uint64_t b) {
      mpz_t x, y;
      for (std::uint64_t i = 0; i < n; ++i) {
        const int k = mpz_cmp(big_entries::view(x, entry(a, i)), big_entries::view(y, entry(b, i)));
        if (k != 0) return k < 0;
      }
      return false;
    });
    return order;
  }
  // Room for entry i of ray j in decimal (sign and terminating zero too).
  std::uint64_t decimal_size(std::uint64_t j, std::uint64_t i) const {
    mpz_t x;
    return mpz_sizeinbase(big_entries::view(x, entry(j, i)), 10) + 2;
  }
  // Entry i of ray j in decimal, into out (decimal_size bytes).
  void decimal(std::uint64_t j, std::uint64_t i, char* out) const {
    mpz_t x;
    mpz_get_str(out, 10, big_entries::view(x, entry(j, i)));
  }
  // Ray j divided by its largest entry in magnitude, as doubles (each
  // quotient rounded toward zero), into out[0 .. n).
  void scaled(std::uint64_t j, double* out) const {
    mpz_t x, y;
    std::uint64_t big = n;
    for (std::uint64_t i = 0; i < n; ++i) {
      mpz_srcptr v = big_entries::view(x, entry(j, i));
      if (mpz_sgn(v) == 0) continue;
      if (big == n || mpz_cmpabs(v, big_entries::view(y, entry(j, big))) > 0) big = i;
    }
    mpq_t q;
    mpq_init(q);
    for (std::uint64_t i = 0; i < n; ++i) {
      if (big == n) {
        out[i] = 0;
        continue;
      }
      mpz_set(mpq_numref(q), big_entries::view(x, entry(j, i)));
      mpz_abs(mpq_denref(q), big_entries::view(y, entry(j, big)));
      out[i] = i == big ? (mpz_sgn(mpq_numref(q)) < 0 ? -1.0 : 1.0) : mpq_get_d(q);
    }
    mpq_clear(q);
  }
};

}  // namespace bits

#endif
