// The elementary flux modes of a metabolic network, from its stoichiometric
// matrix to the modes in their final order, as matlab/flux_modes.m computes
// them: the network compression (network_compression.h); an integer basis
// of the null space of the compressed S as the start, its free reactions
// irreversible where possible; the double description method
// (double_description.h) with each mode held as its coordinates in that
// basis; the modes expanded to the reactions of the network, each divided by
// the gcd of its entries; a reversible mode (zero on every irreversible
// reaction) turned so that its first non-zero entry is positive; and the
// modes sorted lexicographically (as sortrows sorts the rows of E').
// The modes go to a sink (mode_sinks.h). A sink that takes them in pieces
// (a file) gets them as the double description hands them out instead
// (dd_problem::rays_out), each block expanded and oriented as it comes, so
// that the last step's new modes are never all held: first the last step's
// new modes in the order of their pairs, then the modes kept from before
// it in the order of their slots. That order is not lexicographic, but it
// is the same for every run on the same input and options, whatever the
// number of threads (the pairs are sorted, and the slots follow from the
// sorted pairs of the earlier steps).
//
// Nothing here calls the host: progress goes through callbacks on the
// calling thread, failures come back as a message. The OpenMP regions are
// those of the double description and of the expansion; the caller sets the
// number of threads.
#ifndef BITS_CORE_FLUX_MODES_PIPELINE_H
#define BITS_CORE_FLUX_MODES_PIPELINE_H

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/double_description.h"
#include "core/mode_expansion.h"
#include "core/mode_sinks.h"
#include "core/network_compression.h"
#include "core/simd.h"

namespace bits {

enum class mode_order { irreversible_first, fewest_pairs, most_zeros, input };

// The names that flux_modes' 'order' option takes; false for another name.
inline bool parse_mode_order(const std::string& name, mode_order* order) {
  const char* names[] = {"irreversiblefirst", "fewestpairs", "mostzeros", "input"};
  for (int k = 0; k < 4; ++k)
    if (name == names[k]) {
      *order = static_cast<mode_order>(k);
      return true;
    }
  return false;
}

struct flux_modes_options {
  mode_order order = mode_order::irreversible_first;
  std::uint64_t leaf_size = 64;
  std::uint64_t max_bytes = 0;  // memory budget of the double description; 0 for none
  bool compress = true;
  std::uint64_t piece = std::uint64_t(1) << 16;  // modes per write to a sink that takes them in pieces
  // Progress, on the calling thread: `note` gets the line that describes the
  // compressed network (without a newline), `step` one report per step.
  void (*note)(void* context, const char* line) = nullptr;
  dd_progress_fn step = nullptr;
  void* context = nullptr;
  // The double description's stop flag (dd_problem::stop), or null.
  const std::atomic<int>* stop = nullptr;
};

struct flux_modes_info {
  std::uint64_t modes = 0, reactions = 0, metabolites = 0;
  std::uint64_t compressed_reactions = 0, compressed_metabolites = 0, reversible = 0;
  std::uint64_t dimension = 0;
  dd_statistics stats;  // of the double description
  double seconds = 0;   // the whole run
};

namespace detail {

// S (m x n doubles) as integers, unscaled, for a run without compression,
// with the identity as its expansion.
inline bool uncompressed(const double* S, std::uint64_t m, std::uint64_t n, const std::uint8_t* reversible,
                         compressed_network* out, std::string* error) {
  out->reactions = n;
  out->metabolites = m;
  out->rows = m;
  out->columns = n;
  out->S.assign(m * n, 0);
  for (std::uint64_t k = 0; k < m * n; ++k) {
    if (!(std::fabs(S[k]) < 9007199254740992.0) || S[k] != std::floor(S[k])) {
      *error = "without compression, S must hold integers below 2^53";
      return false;
    }
    out->S[k] = static_cast<std::int64_t>(S[k]);
  }
  out->reversible.assign(reversible, reversible + n);
  out->group.resize(n);
  out->coefficient.assign(n, 1);
  out->kept.resize(m);
  for (std::uint64_t j = 0; j < n; ++j) out->group[j] = j;
  for (std::uint64_t i = 0; i < m; ++i) out->kept[i] = i;
  out->blocked = out->merged = 0;
  return true;
}

// Column j of the n x count matrix Y before column k, lexicographically.
struct column_less {
  const std::int64_t* Y;
  std::uint64_t n;
  bool operator()(std::uint32_t j, std::uint32_t k) const {
    const std::int64_t *a = Y + j * n, *b = Y + k * n;
    for (std::uint64_t r = 0; r < n; ++r)
      if (a[r] != b[r]) return a[r] < b[r];
    return false;
  }
};

// Puts the columns of Y (n x count) in the order `perm` (column k of the
// result is column perm[k]), in place, following the cycles; perm is used up.
inline void permute_columns(std::int64_t* Y, std::uint64_t n, std::vector<std::uint32_t>& perm) {
  std::vector<std::int64_t> held(n);
  const std::uint32_t done = UINT32_MAX;
  for (std::uint64_t start = 0; start < perm.size(); ++start) {
    if (perm[start] == done || perm[start] == start) continue;
    std::memcpy(held.data(), Y + start * n, n * sizeof(std::int64_t));
    std::uint64_t k = start;
    while (perm[k] != start) {
      const std::uint64_t from = perm[k];
      std::memcpy(Y + k * n, Y + from * n, n * sizeof(std::int64_t));
      perm[k] = done;
      k = from;
    }
    std::memcpy(Y + k * n, held.data(), n * sizeof(std::int64_t));
    perm[k] = done;
  }
}

// A reversible mode (zero on every irreversible reaction) of Y (n x count)
// turned so that its first non-zero entry is positive; false with a message
// when an entry -2^63 has no negation.
inline bool orient_reversible(std::int64_t* Y, std::uint64_t n, std::uint64_t count, const std::uint8_t* reversible,
                              std::string* error) {
  for (std::uint64_t k = 0; k < count; ++k) {
    std::int64_t* y = Y + k * n;
    bool turn = true;
    for (std::uint64_t j = 0; j < n && turn; ++j) turn = reversible[j] || y[j] == 0;
    if (!turn) continue;
    std::uint64_t first = 0;
    while (first < n && y[first] == 0) ++first;
    if (first == n || y[first] > 0) continue;
    for (std::uint64_t j = first; j < n; ++j) {
      if (y[j] == INT64_MIN) {
        *error = "a reversible mode has the entry -2^63, whose negation is beyond the int64 range";
        return false;
      }
      y[j] = -y[j];
    }
  }
  return true;
}

constexpr const char* beyond_int64_message =
    "the modes of this network need integer entries beyond the int64 range (2^63) on the original "
    "reactions; they are not returned rounded";

// The receiver of the blocks of modes the double description hands out
// (dd_problem::rays_out): each block of coordinates expanded to the
// network's reactions (V, n x d) and oriented, in 128 bits where the sums
// fit and by row_values' exact route where not, and written to the sink.
struct streamed_modes {
  const std::int64_t* V = nullptr;
  std::uint64_t n = 0, d = 0;
  const std::uint8_t* reversible = nullptr;
  mode_sink* sink = nullptr;
  std::string error;
  std::vector<std::int64_t> buffer;
#ifdef BITS_MODE_EXPANSION
  mode_expansion expansion;
#endif

  static bool take(void* context, const std::int64_t* X, std::uint64_t count) {
    streamed_modes& s = *static_cast<streamed_modes*>(context);
    s.buffer.resize(count * s.n);
    std::int64_t* Y = s.buffer.data();
#ifdef BITS_MODE_EXPANSION
    const mode_expansion::status st = s.expansion.prepare(s.V, s.n, s.d, X, count, s.reversible);
    if (st == mode_expansion::status::beyond_int64) {
      s.error = beyond_int64_message;
      return false;
    }
    if (st == mode_expansion::status::ok) {
      const std::int64_t k = static_cast<std::int64_t>(count);
#ifdef _OPENMP
#pragma omp parallel for schedule(static) if (k * static_cast<std::int64_t>(s.n) >= 65536)
#endif
      for (std::int64_t i = 0; i < k; ++i) s.expansion.column(static_cast<std::uint64_t>(i), Y + i * s.n);
      return s.sink->write(Y, count, &s.error);
    }
#endif
    if (!row_values(s.V, s.n, s.d, X, count, Y)) {
      s.error = beyond_int64_message;
      return false;
    }
    return orient_reversible(Y, s.n, count, s.reversible, &s.error) && s.sink->write(Y, count, &s.error);
  }
};

}  // namespace detail

// The modes of the network with stoichiometric matrix S (m x n doubles,
// column-major: integers or rationals p/q with q <= 2^24) and reversible
// flags `reversible` (n), into `sink`. False with a message (no full stop)
// when the run cannot finish exactly or a sink fails.
inline bool run_flux_modes(const double* S, std::uint64_t m, std::uint64_t n, const std::uint8_t* reversible,
                           const flux_modes_options& opt, mode_sink* sink, flux_modes_info* info,
                           std::string* error) {
  const auto t_start = std::chrono::steady_clock::now();
  auto seconds = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - t_start).count(); };
  *info = flux_modes_info();
  info->reactions = n;
  info->metabolites = m;
  if (n == 0) {
    *error = "the network has no reactions";
    return false;
  }
  compressed_network net;
  if (opt.compress) {
    integer_network in;
    if (!integer_columns(S, m, n, &in, error) || !compress_network(in, reversible, &net, error)) return false;
  } else if (!detail::uncompressed(S, m, n, reversible, &net, error)) {
    return false;
  }
  const std::uint64_t nc = net.columns;
  info->compressed_reactions = nc;
  info->compressed_metabolites = net.rows;
  for (std::uint8_t r : net.reversible) info->reversible += r != 0;
  auto empty = [&] {
    info->seconds = seconds();
    return sink->begin(n, 0, error) && sink->finish(error);
  };
  if (nc == 0) return empty();

  // The initial modes: an integer basis of the null space whose free
  // reactions are irreversible where possible (a reversible one would start
  // with both directions): the reversible columns go first, so that the
  // elimination takes its pivots there.
  std::vector<std::uint64_t> cols;
  for (std::uint64_t j = 0; j < nc; ++j)
    if (net.reversible[j]) cols.push_back(j);
  for (std::uint64_t j = 0; j < nc; ++j)
    if (!net.reversible[j]) cols.push_back(j);
  std::vector<std::int64_t> M(net.rows * nc), K;
  for (std::uint64_t k = 0; k < nc; ++k)
    for (std::uint64_t i = 0; i < net.rows; ++i) M[i + k * net.rows] = net.S[i + cols[k] * net.rows];
  std::vector<std::uint64_t> pivots;
  if (!detail::null_space(M, net.rows, nc, &K, &pivots, error)) return false;
  const std::uint64_t d = nc - pivots.size();
  info->dimension = d;
  if (d == 0) return empty();
  std::vector<std::int64_t> X0(nc * d);  // nc x d: compressed reaction fluxes per coordinate
  for (std::uint64_t k = 0; k < nc; ++k)
    for (std::uint64_t c = 0; c < d; ++c) X0[cols[k] + c * nc] = K[k + c * nc];
  std::vector<std::uint8_t> is_free(nc, 0);
  std::vector<std::uint64_t> sequence;
  for (std::uint64_t k = 0, p = 0; k < nc; ++k) {
    if (p < pivots.size() && pivots[p] == k) {
      ++p;
      continue;
    }
    sequence.push_back(cols[k]);
    is_free[cols[k]] = 1;
  }
  std::vector<std::uint64_t> rest;
  for (std::uint64_t j = 0; j < nc; ++j)
    if (!is_free[j]) rest.push_back(j);
  if (opt.order != mode_order::input) {  // most zeros in the basis rows first; ties by position
    std::vector<std::uint64_t> zeros(nc, 0);
    for (std::uint64_t j : rest)
      for (std::uint64_t c = 0; c < d; ++c) zeros[j] += X0[j + c * nc] == 0;
    std::stable_sort(rest.begin(), rest.end(), [&](std::uint64_t a, std::uint64_t b) { return zeros[a] > zeros[b]; });
  }
  sequence.insert(sequence.end(), rest.begin(), rest.end());
  if (opt.note != nullptr) {
    std::uint64_t rev = 0;
    for (std::uint64_t j = 0; j < n; ++j) rev += reversible[j] != 0;
    char line[400];
    std::snprintf(line, sizeof line,
                  "flux_modes: %llu reactions (%llu reversible) and %llu metabolites, compressed to %llu "
                  "reactions (%llu reversible) and %llu metabolites; null space of dimension %llu, %llu steps",
                  static_cast<unsigned long long>(n), static_cast<unsigned long long>(rev),
                  static_cast<unsigned long long>(m), static_cast<unsigned long long>(nc),
                  static_cast<unsigned long long>(info->reversible), static_cast<unsigned long long>(net.rows),
                  static_cast<unsigned long long>(d), static_cast<unsigned long long>(nc - d));
    opt.note(opt.context, line);
  }

  // V (n x d): the fluxes of the network's reactions per coordinate, the
  // expansion times the basis; each entry one product, checked.
  std::vector<std::int64_t> V(n * d, 0);
  for (std::uint64_t j = 0; j < n; ++j) {
    if (net.group[j] == compressed_network::no_group) continue;
    for (std::uint64_t c = 0; c < d; ++c) {
      const wide_int v = multiply(net.coefficient[j], X0[net.group[j] + c * nc]);
      if (!fits_int64(v) || to_int64(v) == INT64_MIN) {
        *error = "the expansion to the original reactions needs integers beyond the int64 range (2^63)";
        return false;
      }
      V[j + c * n] = to_int64(v);
    }
  }

  std::vector<std::int64_t> identity(d * d, 0);
  for (std::uint64_t c = 0; c < d; ++c) identity[c + c * d] = 1;
  dd_problem problem{X0.data(), nc, d, identity.data(), d, sequence.data(), net.reversible.data(),
                     opt.order == mode_order::irreversible_first ? 2 : opt.order == mode_order::fewest_pairs,
                     opt.leaf_size, opt.max_bytes, best_simd_isa(), dd_parallel_work, opt.step,
                     opt.context};
  problem.stop = opt.stop;
  // A sink that takes the modes in pieces gets them block by block as the
  // double description hands them out; the count is known at the end.
  detail::streamed_modes streamed;
  streamed.V = V.data();
  streamed.n = n;
  streamed.d = d;
  streamed.reversible = reversible;
  streamed.sink = sink;
  const bool streaming = sink->wants_modes() && !sink->wants_block();
  if (streaming) {
    problem.rays_out = detail::streamed_modes::take;
    problem.rays_out_context = &streamed;
    problem.block_rays = std::max<std::uint64_t>(1, opt.piece);
    problem.block_bytes_per_ray = 8 * n + 16;  // the block expanded, and its divisors
    if (!sink->begin(n, mode_count_unknown, error)) return false;
  }
  dd_result result;
  const dd_status status = run_double_description(problem, &result, &info->stats);
  if (status != dd_status::ok) {
    char message[400];
    describe_failure(status, info->stats, opt.max_bytes, message, sizeof message);
    *error = status == dd_status::output_failed ? streamed.error
             : status == dd_status::int64_overflow
                 ? "the modes of this network need integer entries beyond the int64 range (2^63); they are "
                   "not returned rounded (" + std::string(message) + ")"
                 : std::string(message);
    return false;
  }
  const std::uint64_t count = result.count;
  info->modes = count;
  if (streaming) {
    info->seconds = seconds();
    return sink->finish(error);
  }
  if (!sink->wants_modes()) {
    std::free(result.X);
    info->seconds = seconds();
    return sink->begin(n, count, error) && sink->finish(error);
  }

  // The fluxes of the network's reactions, coprime.
  const std::uint64_t bytes = n * count * sizeof(std::int64_t);
  std::int64_t* Y = static_cast<std::int64_t*>(std::malloc(static_cast<std::size_t>(bytes > 0 ? bytes : 1)));
  if (Y == nullptr) {
    std::free(result.X);
    *error = "the expansion of " + std::to_string(count) + " modes to " + std::to_string(n) +
             " reactions needs " + std::to_string(bytes) + " bytes, more than the memory at hand";
    return false;
  }
  const bool fits = row_values(V.data(), n, d, result.X, count, Y);
  std::free(result.X);
  if (!fits) {
    std::free(Y);
    *error = detail::beyond_int64_message;
    return false;
  }
  // A reversible mode in the direction whose first non-zero entry is positive.
  if (!detail::orient_reversible(Y, n, count, reversible, error)) {
    std::free(Y);
    return false;
  }
  // The lexicographic order of the columns.
  std::vector<std::uint32_t> perm(count);
  for (std::uint64_t k = 0; k < count; ++k) perm[k] = static_cast<std::uint32_t>(k);
  std::sort(perm.begin(), perm.end(), detail::column_less{Y, n});
  detail::permute_columns(Y, n, perm);
  info->seconds = seconds();
  if (!sink->begin(n, count, error)) {
    std::free(Y);
    return false;
  }
  return sink->take(Y, n, count, error) && sink->finish(error);
}

}  // namespace bits

#endif
