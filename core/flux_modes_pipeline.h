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
#include <atomic>
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

// The order in which the double description adds the reactions. The
// numbers are the plug-ins' order codes; irreversible_zeros came last and
// is the default (fewest candidate pairs on the large networks measured).
enum class mode_order { irreversible_first, fewest_pairs, most_zeros, input, irreversible_zeros };
constexpr int mode_orders = 5;

// The names that flux_modes' 'order' option takes; false for another name.
inline bool parse_mode_order(const std::string& name, mode_order* order) {
  const char* names[mode_orders] = {"irreversiblefirst", "fewestpairs", "mostzeros", "input", "irreversiblezeros"};
  for (int k = 0; k < mode_orders; ++k)
    if (name == names[k]) {
      *order = static_cast<mode_order>(k);
      return true;
    }
  return false;
}

struct flux_modes_options {
  mode_order order = mode_order::irreversible_zeros;
  std::uint64_t leaf_size = 64;
  std::uint64_t max_bytes = 0;  // memory budget of the double description; 0 for none
  bool compress = true;
  std::uint64_t piece = std::uint64_t(1) << 16;  // modes per write to a sink that takes them in pieces
  // Progress, on the calling thread: `note` gets the line that describes the
  // compressed network (without a newline), `step` one report per step.
  void (*note)(void* context, const char* line) = nullptr;
  dd_progress_fn step = nullptr;
  void* context = nullptr;
  // Raised by another thread to end the double description early (its
  // `stop`, dd_problem); null for none.
  const std::atomic<int>* stop = nullptr;
  // Reactions held non-zero (0-based numbers of the network; a class of
  // mode_classes.h): only the modes non-zero on each of them are kept.
  // Their compressed reactions go first in the elimination, so that they
  // become pivots of the basis, and are not stepped: the double description
  // runs over all other rows with these unconstrained (one that has to stay
  // free starts with both signs), and its rays are filtered: non-zero on
  // each, positive on an irreversible one (a ray that is a line, zero on
  // every stepped irreversible row, turned where that makes it so).
  const std::uint64_t* nonzero = nullptr;
  std::uint64_t nonzero_count = 0;
};

struct flux_modes_info {
  std::uint64_t modes = 0, reactions = 0, metabolites = 0;
  std::uint64_t compressed_reactions = 0, compressed_metabolites = 0, reversible = 0;
  std::uint64_t dimension = 0;
  dd_statistics stats;  // of the double description
  std::uint64_t found = 0;  // rays of the double description, before the filter of `nonzero`
  dd_status status = dd_status::ok;  // of the double description: what stopped it
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

// The rays of *result (d coordinates each; the compressed fluxes are X0
// (nc x d) times them) that are non-zero on every held compressed reaction
// and positive on each irreversible one, compacted in place. A ray negative
// on every irreversible held reaction is turned when it is a line (zero on
// each irreversible reaction of `stepped`, the rows the run stepped): its
// other direction belongs to the cone too. The rays that are left are the
// modes with the held reactions non-zero: elementary over the stepped rows
// and non-zero on the others, their zeros are those of the stepped rows.
inline bool keep_held(const std::int64_t* X0, std::uint64_t nc, std::uint64_t d, const std::vector<std::uint8_t>& held,
                      const std::vector<std::uint8_t>& reversible, const std::vector<std::uint64_t>& stepped,
                      dd_result* result, std::string* error) {
  std::vector<std::uint64_t> held_rows, irreversible_rows;
  for (std::uint64_t j = 0; j < nc; ++j)
    if (held[j]) held_rows.push_back(j);
  for (std::uint64_t j : stepped)
    if (!held[j] && !reversible[j]) irreversible_rows.push_back(j);
  const std::int64_t count = static_cast<std::int64_t>(result->count);
  std::vector<std::int8_t> keep(result->count);  // 1 keep, -1 keep turned, 0 drop
#ifdef _OPENMP
#pragma omp parallel for schedule(static) if (count * static_cast<std::int64_t>(d) >= 65536)
#endif
  for (std::int64_t k = 0; k < count; ++k) {
    const std::int64_t* x = result->X + k * d;
    bool positive = true, negative = true, nonzero = true;
    for (std::uint64_t j : held_rows) {
      const int s = dot_sign(X0 + j, nc, x, d);
      nonzero = nonzero && s != 0;
      if (!reversible[j]) {
        positive = positive && s > 0;
        negative = negative && s < 0;
      }
    }
    bool line = nonzero && !positive && negative;
    for (std::uint64_t r = 0; r < irreversible_rows.size() && line; ++r)
      line = dot_sign(X0 + irreversible_rows[r], nc, x, d) == 0;
    keep[k] = !nonzero ? 0 : positive ? 1 : line ? -1 : 0;
  }
  std::uint64_t kept = 0;
  for (std::uint64_t k = 0; k < result->count; ++k) {
    if (keep[k] == 0) continue;
    std::int64_t* to = result->X + kept * d;
    std::memmove(to, result->X + k * d, d * sizeof(std::int64_t));
    for (std::uint64_t c = 0; c < d && keep[k] < 0; ++c) {
      if (to[c] == INT64_MIN) {
        *error = "a mode turned to the sign of its held reactions has the coordinate -2^63, beyond the int64 range";
        return false;
      }
      to[c] = -to[c];
    }
    ++kept;
  }
  result->count = kept;
  return true;
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
      s.expansion.columns(nullptr, count, Y);
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
  if (!sink->network(net, error)) return false;
  const std::uint64_t nc = net.columns;
  info->compressed_reactions = nc;
  info->compressed_metabolites = net.rows;
  for (std::uint8_t r : net.reversible) info->reversible += r != 0;
  auto empty = [&] {
    info->seconds = seconds();
    return sink->begin(n, 0, error) && sink->finish(error);
  };
  if (nc == 0) return empty();
  // The compressed reactions held non-zero; a blocked one leaves no mode.
  std::vector<std::uint8_t> held(nc, 0);
  for (std::uint64_t k = 0; k < opt.nonzero_count; ++k) {
    if (opt.nonzero[k] >= n) {
      *error = "a reaction held non-zero is not one of the network's";
      return false;
    }
    if (net.group[opt.nonzero[k]] == compressed_network::no_group) return empty();
    held[net.group[opt.nonzero[k]]] = 1;
  }
  const bool holding = opt.nonzero_count > 0;

  // The initial modes: an integer basis of the null space whose free
  // reactions are irreversible where possible (a reversible one would start
  // with both directions): the reversible columns go first, so that the
  // elimination takes its pivots there.
  std::vector<std::uint64_t> cols;
  for (std::uint64_t j = 0; j < nc; ++j)
    if (held[j]) cols.push_back(j);
  for (std::uint64_t j = 0; j < nc; ++j)
    if (net.reversible[j] && !held[j]) cols.push_back(j);
  for (std::uint64_t j = 0; j < nc; ++j)
    if (!net.reversible[j] && !held[j]) cols.push_back(j);
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
    if (!is_free[j] && !held[j]) rest.push_back(j);
  if (opt.order != mode_order::input) {  // most zeros in the basis rows first; ties by position
    std::vector<std::uint64_t> zeros(nc, 0);
    for (std::uint64_t j : rest)
      for (std::uint64_t c = 0; c < d; ++c) zeros[j] += X0[j + c * nc] == 0;
    std::stable_sort(rest.begin(), rest.end(), [&](std::uint64_t a, std::uint64_t b) { return zeros[a] > zeros[b]; });
    // Irreversible rows drop the modes on their negative side: stepped
    // first, they keep the modes in between few.
    if (opt.order == mode_order::irreversible_zeros)
      std::stable_partition(rest.begin(), rest.end(), [&](std::uint64_t j) { return !net.reversible[j]; });
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
                  static_cast<unsigned long long>(d), static_cast<unsigned long long>(sequence.size() - d));
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
  // Held reactions: the rows stepped (the sequence's) apart, renumbered, a
  // free held one reversible.
  std::vector<std::int64_t> A_held;
  std::vector<std::uint64_t> sequence_held;
  std::vector<std::uint8_t> reversible_held;
  if (holding) {
    const std::uint64_t rows = sequence.size();
    A_held.resize(rows * d);
    for (std::uint64_t k = 0; k < rows; ++k) {
      for (std::uint64_t c = 0; c < d; ++c) A_held[k + c * rows] = X0[sequence[k] + c * nc];
      sequence_held.push_back(k);
      reversible_held.push_back(net.reversible[sequence[k]] || held[sequence[k]]);
    }
  }
  dd_problem problem{holding ? A_held.data() : X0.data(), holding ? sequence.size() : nc, d,
                     identity.data(), d, holding ? sequence_held.data() : sequence.data(),
                     holding ? reversible_held.data() : net.reversible.data(),
                     opt.order == mode_order::irreversible_first ? 2
                                                                  : opt.order == mode_order::fewest_pairs,
                     opt.leaf_size, opt.max_bytes, best_simd_isa(), dd_parallel_work, opt.step,
                     opt.context};
  problem.stop = opt.stop;
  // A sink that takes the modes in pieces and in any order (a file) gets
  // them block by block as the double description hands them out; the
  // count is known at the end.
  detail::streamed_modes streamed;
  streamed.V = V.data();
  streamed.n = n;
  streamed.d = d;
  streamed.reversible = reversible;
  streamed.sink = sink;
  // Not for a run that holds reactions non-zero: its rays are filtered
  // after the double description.
  const bool streaming = sink->wants_modes() && !sink->wants_block() && sink->any_order() && !holding;
  if (streaming) {
    problem.rays_out = detail::streamed_modes::take;
    problem.rays_out_context = &streamed;
    problem.block_rays = std::max<std::uint64_t>(1, opt.piece);
    problem.block_bytes_per_ray = 8 * n + 16;  // the block expanded, and its divisors
    if (!sink->begin(n, mode_count_unknown, error)) return false;
  }
  dd_result result;
  const dd_status status = run_double_description(problem, &result, &info->stats);
  info->status = status;
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
  info->found = result.count;
  if (holding && !detail::keep_held(X0.data(), nc, d, held, net.reversible, sequence, &result, error)) {
    result.free_rays();
    return false;
  }
  const std::uint64_t count = result.count;
  info->modes = count;
  if (streaming) {
    info->seconds = seconds();
    return sink->finish(error);
  }
  if (!sink->wants_modes()) {
    result.free_rays();
    info->seconds = seconds();
    return sink->begin(n, count, error) && sink->finish(error);
  }

#ifdef BITS_MODE_EXPANSION
  // A sink that takes the modes in pieces, in their final order: the order
  // found from the coordinates, each piece expanded as it goes out.
  if (!sink->wants_block()) {
    mode_expansion expansion;
    const mode_expansion::status st = expansion.prepare(V.data(), n, d, result.X, count, reversible);
    if (st == mode_expansion::status::beyond_int64) {
      result.free_rays();
      *error = detail::beyond_int64_message;
      return false;
    }
    if (st == mode_expansion::status::ok) {
      const std::vector<std::uint32_t> perm = expansion.order();
      const double ordered = seconds();
      if (opt.note != nullptr) {
        char line[200];
        std::snprintf(line, sizeof line, "flux_modes: %llu modes in order after %.2f s; expanding and writing them",
                      static_cast<unsigned long long>(count), ordered);
        opt.note(opt.context, line);
      }
      const std::uint64_t piece = std::max<std::uint64_t>(1, std::min(opt.piece, count));
      std::vector<std::int64_t> buffer(piece * n);
      bool ok = sink->begin(n, count, error);
      for (std::uint64_t first = 0; first < count && ok; first += piece) {
        const std::uint64_t k = std::min(piece, count - first);
        expansion.columns(perm.data() + first, k, buffer.data());
        ok = sink->write(buffer.data(), k, error);
      }
      result.free_rays();
      info->seconds = seconds();
      return ok && sink->finish(error);
    }
    // Sums beyond 128 bits: the exact route below.
  }
#endif

  // The fluxes of the network's reactions, coprime.
  const std::uint64_t bytes = n * count * sizeof(std::int64_t);
  std::int64_t* Y = sink->allocate_block(n, count);
  if (Y == nullptr) {
    result.free_rays();
    *error = "the expansion of " + std::to_string(count) + " modes to " + std::to_string(n) +
             " reactions needs " + std::to_string(bytes) + " bytes, more than the memory at hand";
    return false;
  }
  const bool fits = row_values(V.data(), n, d, result.X, count, Y);
  result.free_rays();
  if (!fits) {
    sink->free_block(Y);
    *error = detail::beyond_int64_message;
    return false;
  }
  // A reversible mode in the direction whose first non-zero entry is positive.
  if (!detail::orient_reversible(Y, n, count, reversible, error)) {
    sink->free_block(Y);
    return false;
  }
  // The lexicographic order of the columns.
  std::vector<std::uint32_t> perm(count);
  for (std::uint64_t k = 0; k < count; ++k) perm[k] = static_cast<std::uint32_t>(k);
  std::sort(perm.begin(), perm.end(), detail::column_less{Y, n});
  detail::permute_columns(Y, n, perm);
  info->seconds = seconds();
  if (!sink->begin(n, count, error)) {
    sink->free_block(Y);
    return false;
  }
  return sink->take(Y, n, count, error) && sink->finish(error);
}

}  // namespace bits

#endif
