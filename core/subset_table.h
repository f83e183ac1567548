// Subset table: for every selected column of R (named by i_perm) and every
// column of R_subset, a 0/1 flag telling whether the R_subset pattern lies
// inside the R pattern.
//
// subset_table_kernel is the body of a parallel region: every thread of the
// team calls it with the same arguments and takes one contiguous block of
// i_perm under the static schedule, so each thread writes whole output
// columns of its own. Called outside a parallel region it does all the work
// on the calling thread. It validates nothing: the index values must already
// be known to name columns of R.
#ifndef BITS_CORE_SUBSET_TABLE_H
#define BITS_CORE_SUBSET_TABLE_H

#include <cstdint>

#include "core/packed_patterns.h"

namespace bits {

template <typename word_t, typename index_t>
void subset_table_kernel(const index_t* i_perm, packed_pattern_matrix<word_t> R_subset,
                         packed_pattern_matrix<word_t> R, std::uint64_t words_per_column,
                         std::uint8_t* contained, std::int64_t n_perm,
                         std::uint64_t n_subset) {
#ifdef _OPENMP
#pragma omp for schedule(static)
#endif
  for (std::int64_t i = 0; i < n_perm; ++i) {
    const word_view_t<word_t>* Q = R.column(column_index(i_perm[i]));
    std::uint8_t* out = contained + static_cast<std::uint64_t>(i) * n_subset;
    const word_view_t<word_t>* P = R_subset.words;
    for (std::uint64_t j = 0; j < n_subset; ++j, P += words_per_column)
      out[j] = pattern_inside<word_t>(P, Q, words_per_column) ? 1 : 0;
  }
}

}  // namespace bits

#endif
