// The reader of .ine/.ext files, and the command-line program's path from a
// file to rays, on any bytes: a file read must hold reduced fractions with
// positive denominators and one line per row; its rows scaled to integers
// must be coprime, with the signs and zeros of the file; and a small pointed
// cone read from it (every b zero) must give rays that satisfy every row,
// the equations with equality, exactly. With GMP, the same for files read
// with entries of any size, run with integers of any size: where the file
// fits int64 too, both runs must give the same rays, entry for entry.
#include <cstdint>
#include <string>
#include <vector>

#include "core/cone_setup.h"
#include "core/double_description.h"
#include "core/polyhedron_file.h"
#ifdef BITS_GMP
#include "core/big_rays.h"

namespace {

// The rows of a file read with entries of any size, as a pointed cone (every
// b zero, small) run with integers of any size: its rays satisfy every row
// exactly, and where `int64_rays` (n x count) is given, they are those.
void check_any_size(const std::string& text, const std::int64_t* int64_rays, std::uint64_t int64_count) {
  bits::polyhedron_file f;
  bits::file_error e;
  if (!bits::read_polyhedron_file(text, &f, &e, true)) return;
  if (f.text.size() != f.m * f.n) __builtin_trap();
  std::vector<bits::big_int> rows;
  if (!bits::file_rows(f, &rows)) __builtin_trap();  // the reader took every entry
  bool cone = true;
  for (std::uint64_t r = 0; r < f.m; ++r) cone = cone && mpz_sgn(rows[r * f.n].v) == 0;
  if (!cone || f.v_representation || f.n < 2 || f.n > 6 || f.m > 12) return;
  const std::uint64_t n = f.n - 1;
  std::vector<bits::big_int> A, B;
  for (std::uint64_t r = 0; r < f.m; ++r)
    (f.linearity[r] ? B : A).insert((f.linearity[r] ? B : A).end(), rows.begin() + r * f.n + 1,
                                    rows.begin() + (r + 1) * f.n);
  const std::uint64_t m = A.size() / n, p = B.size() / n;
  bits::big_start start;
  if (bits::big_setup(A, m, B, p, n, bits::row_order::lexmin, &start) != bits::cone_setup_status::ok ||
      start.d == 0)
    return;
  const bits::dd_problem problem{nullptr, m, n, nullptr, start.d, start.sequence.data(),
                                 nullptr, false, 4, 0, bits::simd_isa::scalar, 0, nullptr, nullptr};
  bits::big_entries store{&problem, start.A.data(), start.X0.data(), 1, 64, 0, {}};
  bits::dd_result result;
  bits::dd_statistics stats;
  if (bits::run_double_description_with(problem, store, &result, &stats) != bits::dd_status::ok) return;
  const bits::big_ray_set rays{result.X, result.count, n, store.limbs};
  mpz_t dot, view;
  mpz_init(dot);
  for (std::uint64_t k = 0; k < rays.count; ++k)
    for (std::uint64_t r = 0; r < m + p; ++r) {
      const bits::big_int* a = r < m ? &A[r * n] : &B[(r - m) * n];
      mpz_set_ui(dot, 0);
      for (std::uint64_t i = 0; i < n; ++i) mpz_addmul(dot, a[i].v, bits::big_entries::view(view, rays.entry(k, i)));
      if (r < m ? mpz_sgn(dot) < 0 : mpz_sgn(dot) != 0) __builtin_trap();
    }
  mpz_clear(dot);
  if (int64_rays != nullptr) {
    // The same steps in the same order: the same rays in the same places.
    if (rays.count != int64_count || !rays.fits_int64()) __builtin_trap();
    for (std::uint64_t k = 0; k < rays.count; ++k)
      for (std::uint64_t i = 0; i < n; ++i)
        if (rays.int64_entry(k, i) != int64_rays[k * n + i]) __builtin_trap();
  }
  result.free_rays();
}

}  // namespace
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  bits::polyhedron_file f;
  bits::file_error e;
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (!bits::read_polyhedron_file(text, &f, &e)) {
    if (e.message.empty()) __builtin_trap();
#ifdef BITS_GMP
    check_any_size(text, nullptr, 0);
#endif
    return 0;
  }
  if (f.num.size() != f.m * f.n || f.den.size() != f.m * f.n || f.row_line.size() != f.m ||
      f.linearity.size() != f.m)
    __builtin_trap();
  for (std::uint64_t k = 0; k < f.m * f.n; ++k)
    if (f.den[k] <= 0 || bits::gcd_u64(bits::magnitude(f.num[k]), static_cast<std::uint64_t>(f.den[k])) != 1)
      __builtin_trap();
  std::vector<std::int64_t> rows(f.m * f.n);
  bool all_fit = true, cone = true;
  for (std::uint64_t r = 0; r < f.m; ++r) {
    std::int64_t* x = rows.data() + r * f.n;
    if (!bits::integer_row(f, r, x)) {
      all_fit = false;
      continue;
    }
    std::uint64_t g = 0;
    for (std::uint64_t c = 0; c < f.n; ++c) {
      const std::int64_t p = f.num[r * f.n + c];
      if ((x[c] > 0) != (p > 0) || (x[c] < 0) != (p < 0)) __builtin_trap();
      g = bits::gcd_u64(g, bits::magnitude(x[c]));
    }
    if (g > 1) __builtin_trap();
    cone = cone && x[0] == 0;
  }
  if (!all_fit || !cone || f.v_representation || f.n < 2 || f.n > 6 || f.m > 12) {
#ifdef BITS_GMP
    check_any_size(text, nullptr, 0);
#endif
    return 0;
  }

  const std::uint64_t n = f.n - 1;
  std::vector<std::int64_t> A, B;
  for (std::uint64_t r = 0; r < f.m; ++r)
    (f.linearity[r] ? B : A).insert((f.linearity[r] ? B : A).end(), rows.begin() + r * f.n + 1,
                                    rows.begin() + (r + 1) * f.n);
  const std::uint64_t m = A.size() / n, p = B.size() / n;
  bits::cone_start start;
  if (bits::setup_cone(A.data(), m, B.data(), p, n, bits::row_order::lexmin, &start) !=
          bits::cone_setup_status::ok ||
      start.d == 0)
    return 0;
  const bits::dd_problem problem{start.A.data(), m, n, start.X0.data(), start.d, start.sequence.data(),
                                 nullptr, false, 4, 0, bits::simd_isa::scalar, 0, nullptr, nullptr};
  bits::dd_result result;
  bits::dd_statistics stats;
  if (bits::run_double_description(problem, &result, &stats) != bits::dd_status::ok) {
#ifdef BITS_GMP
    check_any_size(text, nullptr, 0);
#endif
    return 0;
  }
  for (std::uint64_t k = 0; k < result.count; ++k) {
    const std::int64_t* x = result.X + k * n;
    for (std::uint64_t r = 0; r < m; ++r)
      if (bits::dot_sign(A.data() + r * n, 1, x, n) < 0) __builtin_trap();
    for (std::uint64_t r = 0; r < p; ++r)
      if (bits::dot_sign(B.data() + r * n, 1, x, n) != 0) __builtin_trap();
  }
#ifdef BITS_GMP
  check_any_size(text, result.X, result.count);
#endif
  result.free_rays();
  return 0;
}
