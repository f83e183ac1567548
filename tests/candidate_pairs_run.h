// Both runs of the candidate-pairs kernel as a caller makes them: count the
// pairs of each p, size the output from the counts, then write the pairs.
// Shared by the kernel tests and the fuzz target.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "core/candidate_pairs.h"
#include "tests/pattern_data.h"

namespace testdata {

struct kernel_pairs {
  std::vector<std::uint32_t> j_comb;
  bool wrote_past_end;  // the writing run touched the two words after its output
};

template <typename word_t, typename index_t>
kernel_pairs run_candidate_pairs(const pattern_matrix& R, const std::vector<index_t>& pos,
                                 const std::vector<index_t>& neg, std::uint64_t max_union,
                                 bits::simd_isa isa, int threads) {
  const std::int64_t n_pos = static_cast<std::int64_t>(pos.size());
  std::vector<std::uint64_t> counts(pos.size()), offsets(pos.size());
  std::vector<std::uint32_t> scratch(bits::candidate_scratch_elements(R.rows, pos.size(), neg.size(), isa));
  void* block = scratch.empty() ? nullptr : scratch.data();
  const auto view = bits::make_view<word_t>(R.data.data(), R.rows, R.cols);
#pragma omp parallel num_threads(threads)
  bits::scan_candidate_pairs<word_t, index_t, index_t>(pos.data(), n_pos, neg.data(), neg.size(), view,
                                                       view.words_per_column, max_union, counts.data(),
                                                       nullptr, nullptr, block, isa);
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < pos.size(); ++i) {
    offsets[i] = total;
    total += counts[i];
  }
  std::vector<std::uint32_t> j_comb(2 * total + 2, 0xFFFFFFFFu);
#pragma omp parallel num_threads(threads)
  bits::scan_candidate_pairs<word_t, index_t, index_t>(pos.data(), n_pos, neg.data(), neg.size(), view,
                                                       view.words_per_column, max_union, counts.data(),
                                                       offsets.data(), j_comb.data(), block, isa);
  const bool past = j_comb[2 * total] != 0xFFFFFFFFu || j_comb[2 * total + 1] != 0xFFFFFFFFu;
  j_comb.resize(2 * total);
  return {std::move(j_comb), past};
}

}  // namespace testdata
