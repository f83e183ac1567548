// The rays and points of a polyhedron file (the last representation in the
// text, as lrs writes a new one after an overflow) as a set: each row scaled
// to coprime decimal integers, sorted, without repeats and without a cone's
// apex, which not every program writes. Entries of any size (GMP); for the
// command-line test and benchmark, which compare programs' outputs exactly.
#ifndef BITS_TESTS_CLI_EXT_RAYS_H
#define BITS_TESTS_CLI_EXT_RAYS_H

#include <algorithm>
#include <string>
#include <vector>

#include "core/big_rays.h"
#include "core/polyhedron_file.h"

namespace ext_rays {

typedef std::vector<std::vector<std::string>> row_set;

// False (and *why) when the text does not read.
inline bool canonical(const std::string& text, row_set* rows, std::string* why) {
  bits::polyhedron_file f;
  bits::file_error e;
  rows->clear();
  if (!bits::read_polyhedron_file(bits::last_representation(text), &f, &e, true)) {
    *why = std::to_string(e.line) + ": " + e.message;
    return false;
  }
  std::vector<bits::big_int> entries;
  if (!bits::file_rows(f, &entries)) {
    *why = "an entry that is not a number";
    return false;
  }
  std::vector<char> digits;
  for (std::uint64_t r = 0; r < f.m; ++r) {
    rows->emplace_back();
    for (std::uint64_t c = 0; c < f.n; ++c) {
      const mpz_t& x = entries[r * f.n + c].v;
      digits.resize(mpz_sizeinbase(x, 10) + 2);
      rows->back().push_back(mpz_get_str(digits.data(), 10, x));
    }
  }
  std::sort(rows->begin(), rows->end());
  rows->erase(std::unique(rows->begin(), rows->end()), rows->end());
  if (f.v_representation) {
    std::vector<std::string> apex(f.n, "0");
    apex[0] = "1";
    rows->erase(std::remove(rows->begin(), rows->end(), apex), rows->end());
  }
  return true;
}

}  // namespace ext_rays

#endif
