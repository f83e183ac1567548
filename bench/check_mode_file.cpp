// Checks a modes file of bits_modes without holding it: reads /modes in
// runs of rows (HDF5 hyperslabs) and, for every mode, that its irreversible
// reactions carry no negative flux and that its support is not the support
// of another mode (all supports, two words each, sorted at the end); for a
// random sample of modes, that S e = 0 exactly (S from the file's
// /network/stoichiometry, each column scaled to integers as bits_modes
// reads it, in 128-bit integers) and, with --elementary, that the null
// space of S restricted to the support is one-dimensional. Not part of the
// product: a check of the large runs in bench/RESULTS.md.
//
//   check_mode_file FILE.h5 [SAMPLE] [--elementary]
#include <hdf5.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "core/integer_null_space.h"
#include "core/network_compression.h"

namespace {

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "check_mode_file: %s\n", message.c_str());
  std::exit(2);
}

std::vector<double> read_doubles(hid_t file, const char* name, hsize_t* rows, hsize_t* cols) {
  const hid_t set = H5Dopen2(file, name, H5P_DEFAULT);
  const hid_t space = set >= 0 ? H5Dget_space(set) : -1;
  hsize_t dims[2] = {0, 1};
  const int rank = space >= 0 ? H5Sget_simple_extent_dims(space, dims, nullptr) : -1;
  if (rank < 1) fail(std::string("no ") + name);
  std::vector<double> v(dims[0] * (rank == 2 ? dims[1] : 1));
  if (H5Dread(set, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, v.data()) < 0) fail(std::string("reading ") + name);
  H5Sclose(space);
  H5Dclose(set);
  *rows = dims[0];
  *cols = rank == 2 ? dims[1] : 1;
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) fail("usage: check_mode_file FILE.h5 [SAMPLE] [--elementary]");
  const std::uint64_t sample_size = argc > 2 && argv[2][0] != '-' ? std::strtoull(argv[2], nullptr, 10) : 100000;
  bool elementary = false;
  for (int k = 2; k < argc; ++k) elementary = elementary || std::string(argv[k]) == "--elementary";
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  const hid_t file = H5Fopen(argv[1], H5F_ACC_RDONLY, H5P_DEFAULT);
  if (file < 0) fail(std::string("cannot open ") + argv[1]);
  std::uint64_t complete = 0, announced = 0;
  for (auto [name, value] : {std::pair<const char*, std::uint64_t*>{"complete", &complete}, {"modes", &announced}}) {
    const hid_t a = H5Aopen(file, name, H5P_DEFAULT);
    if (a < 0 || H5Aread(a, H5T_NATIVE_UINT64, value) < 0) fail(std::string("no attribute ") + name);
    H5Aclose(a);
  }
  // S: the file holds reactions x metabolites, row-major (S column by column).
  hsize_t n = 0, m = 0, rn = 0, one = 0;
  const std::vector<double> st = read_doubles(file, "network/stoichiometry", &n, &m);
  const std::vector<double> rev = read_doubles(file, "reversible", &rn, &one);
  if (rn != n) fail("reversible and stoichiometry disagree");
  bits::integer_network net;
  std::string error;
  if (!bits::integer_columns(st.data(), m, n, &net, &error)) fail(error);
  // S e = 0 <=> sum_j S_int(:, j) (L / units_j) e_j = 0, L the lcm of the units.
  std::int64_t L = 1;
  for (std::int64_t u : net.units) {
    const std::int64_t g = bits::detail::gcd_i64(L, u);
    if (L / g > INT64_MAX / u) fail("the column units' lcm is beyond int64");
    L = L / g * u;
  }
  std::vector<std::int64_t> scale(n);
  for (hsize_t j = 0; j < n; ++j) scale[j] = L / net.units[j];

  const hid_t set = H5Dopen2(file, "modes", H5P_DEFAULT);
  const hid_t space = set >= 0 ? H5Dget_space(set) : -1;
  hsize_t dims[2] = {0, 0};
  if (space < 0 || H5Sget_simple_extent_dims(space, dims, nullptr) != 2 || dims[1] != n) fail("no /modes of the network's width");
  const std::uint64_t count = dims[0];
  if (n > 128) fail("supports of more than 128 reactions are not checked here");
  std::printf("%s: %llu modes (attribute modes %llu, complete %llu), %llu reactions, %llu metabolites\n", argv[1],
              static_cast<unsigned long long>(count), static_cast<unsigned long long>(announced),
              static_cast<unsigned long long>(complete), static_cast<unsigned long long>(n),
              static_cast<unsigned long long>(m));

  // The sample: sorted random row numbers, met during the sequential pass.
  std::mt19937_64 rng(2026);
  std::vector<std::uint64_t> sample;
  if (count > 0)
    for (std::uint64_t k = 0; k < std::min(sample_size, count); ++k) sample.push_back(rng() % count);
  std::sort(sample.begin(), sample.end());
  sample.erase(std::unique(sample.begin(), sample.end()), sample.end());

  std::vector<std::array<std::uint64_t, 2>> supports(count);
  const hsize_t run = 65536;
  std::vector<std::int64_t> block(run * n);
  std::uint64_t negative = 0, nonzero_product = 0, not_elementary = 0, zero_modes = 0, checked = 0;
  std::size_t next = 0;
  std::vector<std::int64_t> sub;
  std::vector<bits::wide_int> work;
  std::vector<std::uint64_t> pivots;
  for (hsize_t first = 0; first < count; first += run) {
    const hsize_t rows = std::min<hsize_t>(run, count - first);
    const hsize_t offset[2] = {first, 0}, size[2] = {rows, n};
    const hid_t memory = H5Screate_simple(2, size, nullptr);
    if (H5Sselect_hyperslab(space, H5S_SELECT_SET, offset, nullptr, size, nullptr) < 0 ||
        H5Dread(set, H5T_NATIVE_INT64, memory, space, H5P_DEFAULT, block.data()) < 0)
      fail("reading /modes");
    H5Sclose(memory);
    for (hsize_t k = 0; k < rows; ++k) {
      const std::int64_t* e = block.data() + k * n;
      std::array<std::uint64_t, 2> s{0, 0};
      for (hsize_t j = 0; j < n; ++j) {
        if (e[j] != 0) s[j / 64] |= std::uint64_t(1) << (j % 64);
        if (e[j] < 0 && rev[j] == 0) ++negative;
      }
      zero_modes += s[0] == 0 && s[1] == 0;
      supports[first + k] = s;
      if (next >= sample.size() || sample[next] != first + k) continue;
      ++next;
      ++checked;
      for (hsize_t i = 0; i < m; ++i) {
        __int128 sum = 0, term = 0;
        bool exact = true;
        for (hsize_t j = 0; j < n && exact; ++j)
          if (e[j] != 0 && net.S[i + j * m] != 0)
            exact = !__builtin_mul_overflow(static_cast<__int128>(net.S[i + j * m]) * scale[j], e[j], &term) &&
                    !__builtin_add_overflow(sum, term, &sum);
        if (!exact) fail("S e is beyond 128 bits");
        if (sum != 0) {
          ++nonzero_product;
          break;
        }
      }
      if (!elementary) continue;
      // The columns of the support: the null space of S restricted to them
      // is one-dimensional when their rank is their number less one.
      std::vector<std::uint64_t> cols;
      for (hsize_t j = 0; j < n; ++j)
        if (e[j] != 0) cols.push_back(j);
      sub.assign(m * cols.size(), 0);
      for (std::size_t c = 0; c < cols.size(); ++c)
        for (hsize_t i = 0; i < m; ++i) sub[i + c * m] = net.S[i + cols[c] * m];
      work.assign(m * cols.size() + 1, bits::wide_zero());
      pivots.assign(cols.size() + 1, 0);
      const bits::null_space_result r =
          bits::integer_null_space(sub.data(), m, cols.size(), work.data(), pivots.data(), nullptr);
      if (r.status != bits::null_space_status::ok || r.rank + 1 != cols.size()) ++not_elementary;
    }
  }
  H5Sclose(space);
  H5Dclose(set);
  H5Fclose(file);
  std::sort(supports.begin(), supports.end());
  const std::uint64_t repeated =
      static_cast<std::uint64_t>(supports.end() - std::unique(supports.begin(), supports.end()));
  std::printf("every mode: %llu negative entries on irreversible reactions, %llu zero modes, %llu repeated supports\n",
              static_cast<unsigned long long>(negative), static_cast<unsigned long long>(zero_modes),
              static_cast<unsigned long long>(repeated));
  std::printf("sample of %llu modes: %llu with S e != 0", static_cast<unsigned long long>(checked),
              static_cast<unsigned long long>(nonzero_product));
  if (elementary) std::printf(", %llu not elementary", static_cast<unsigned long long>(not_elementary));
  std::printf("\n");
  const bool ok = negative == 0 && zero_modes == 0 && repeated == 0 && nonzero_product == 0 && not_elementary == 0 &&
                  complete == 1 && announced == count;
  std::printf("%s\n", ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
