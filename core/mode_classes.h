// The elementary flux modes split into classes that are computed one at a
// time (or by separate processes) and together are all of them, each once.
//
// k split reactions give 2^k classes: class (Z, N) holds the modes with
// every reaction of Z at zero and every reaction of N non-zero. Its run is
// run_flux_modes on the network without the reactions of Z (compressed
// afresh: it often compresses further) with the reactions of N held
// non-zero (flux_modes_options::nonzero: their rows are not stepped, and
// the rays are filtered to those non-zero on each). The split reactions are
// compressed reactions, each named by one of its reactions: a compressed
// reaction is zero exactly when each of its reactions is, so removing that
// one removes the whole compressed reaction.
//
// A class that needs more than the memory budget is split again, on one
// more reaction chosen in its own network, down to a depth limit; its
// subclasses carry its label with a digit added per split ("0110.0",
// "0110.01", ...).
//
// Nothing here calls the host.
#ifndef BITS_CORE_MODE_CLASSES_H
#define BITS_CORE_MODE_CLASSES_H

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/flux_modes_pipeline.h"
#include "core/mode_sinks.h"
#include "core/network_compression.h"

namespace bits {

struct mode_class {
  std::string label;                         // '0' zero, '1' non-zero per split reaction
  std::vector<std::uint64_t> zero, nonzero;  // the split reactions (0-based numbers of the network)
  // The size estimate: null space dimension and steps of the class's
  // compressed network (0, 0 when it has no mode for sure).
  std::uint64_t dimension = 0, steps = 0;
};

namespace detail {

// The network without the reactions flagged in `removed`: S (m x kept),
// reversible flags, and the network number of each kept reaction.
inline void reduced_network(const double* S, std::uint64_t m, std::uint64_t n, const std::uint8_t* reversible,
                            const std::vector<std::uint8_t>& removed, std::vector<double>* S_out,
                            std::vector<std::uint8_t>* reversible_out, std::vector<std::uint64_t>* kept) {
  S_out->clear();
  reversible_out->clear();
  kept->clear();
  for (std::uint64_t j = 0; j < n; ++j) {
    if (removed[j]) continue;
    S_out->insert(S_out->end(), S + j * m, S + (j + 1) * m);
    reversible_out->push_back(reversible[j]);
    kept->push_back(j);
  }
}

// The compressed network of S without the reactions flagged in `removed`,
// its reactions numbered as the network's; and an integer basis of its null
// space as flux_modes starts from it (reversible columns first): basis
// (nc x d) and the free compressed reactions.
inline bool compressed_basis(const double* S, std::uint64_t m, std::uint64_t n, const std::uint8_t* reversible,
                             const std::vector<std::uint8_t>& removed, compressed_network* net,
                             std::vector<std::uint64_t>* kept, std::vector<std::int64_t>* basis,
                             std::vector<std::uint8_t>* is_free, std::string* error) {
  std::vector<double> Sr;
  std::vector<std::uint8_t> rev;
  reduced_network(S, m, n, reversible, removed, &Sr, &rev, kept);
  basis->clear();
  is_free->clear();
  if (kept->empty()) {
    *net = compressed_network();
    return true;
  }
  integer_network in;
  if (!integer_columns(Sr.data(), m, kept->size(), &in, error) || !compress_network(in, rev.data(), net, error))
    return false;
  const std::uint64_t nc = net->columns;
  std::vector<std::uint64_t> cols;
  for (int pass = 0; pass < 2; ++pass)
    for (std::uint64_t j = 0; j < nc; ++j)
      if ((net->reversible[j] != 0) == (pass == 0)) cols.push_back(j);
  std::vector<std::int64_t> M(net->rows * nc), K;
  for (std::uint64_t k = 0; k < nc; ++k)
    for (std::uint64_t i = 0; i < net->rows; ++i) M[i + k * net->rows] = net->S[i + cols[k] * net->rows];
  std::vector<std::uint64_t> pivots;
  if (nc > 0 && !null_space(M, net->rows, nc, &K, &pivots, error)) return false;
  const std::uint64_t d = nc - pivots.size();
  basis->assign(nc * d, 0);
  is_free->assign(nc, 0);
  for (std::uint64_t k = 0, p = 0; k < nc; ++k) {
    for (std::uint64_t c = 0; c < d; ++c) (*basis)[cols[k] + c * nc] = K[k + c * nc];
    if (p < pivots.size() && pivots[p] == k)
      ++p;
    else
      (*is_free)[cols[k]] = 1;
  }
  return true;
}

}  // namespace detail

// Up to k split reactions for the network without the reactions flagged in
// `removed`, none of those flagged in `excluded` (both n flags): the
// compressed reactions that the default order (irreversiblezeros) steps
// last and whose steps are the largest, as far as the start shows it:
// reversible ones before irreversible ones (the order steps the irreversible
// rows first), then those non-zero in the most vectors of the null space
// basis (stepped last; most rays on either side, most pairs), never a free
// reaction of that basis. Each is
// named by its first reaction; the network numbers into *split.
inline bool choose_split_reactions(const double* S, std::uint64_t m, std::uint64_t n, const std::uint8_t* reversible,
                                   const std::vector<std::uint8_t>& removed, const std::vector<std::uint8_t>& excluded,
                                   std::uint64_t k, std::vector<std::uint64_t>* split, std::string* error) {
  split->clear();
  compressed_network net;
  std::vector<std::uint64_t> kept;
  std::vector<std::int64_t> basis;
  std::vector<std::uint8_t> is_free;
  if (!detail::compressed_basis(S, m, n, reversible, removed, &net, &kept, &basis, &is_free, error)) return false;
  const std::uint64_t nc = net.columns, d = nc > 0 ? basis.size() / nc : 0;
  std::vector<std::uint64_t> name(nc, UINT64_MAX);  // the first reaction of each compressed one
  std::vector<std::uint8_t> barred(nc, 0);
  for (std::uint64_t r = 0; r < kept.size(); ++r) {
    const std::uint64_t g = net.group[r];
    if (g == compressed_network::no_group) continue;
    if (name[g] == UINT64_MAX) name[g] = kept[r];
    if (excluded[kept[r]]) barred[g] = 1;
  }
  std::vector<std::uint64_t> candidates, weight(nc, 0);
  for (std::uint64_t g = 0; g < nc; ++g) {
    if (is_free[g] || barred[g] || name[g] == UINT64_MAX) continue;
    for (std::uint64_t c = 0; c < d; ++c) weight[g] += basis[g + c * nc] != 0;
    candidates.push_back(g);
  }
  std::stable_sort(candidates.begin(), candidates.end(), [&](std::uint64_t a, std::uint64_t b) {
    if (net.reversible[a] != net.reversible[b]) return net.reversible[a] > net.reversible[b];
    return weight[a] > weight[b];
  });
  for (std::uint64_t i = 0; i < candidates.size() && i < k; ++i) split->push_back(name[candidates[i]]);
  return true;
}

// The size estimate of a class (mode_class::dimension, steps): its network
// compressed and the null space's dimension; none when a reaction held
// non-zero is blocked there.
inline bool estimate_class(const double* S, std::uint64_t m, std::uint64_t n, const std::uint8_t* reversible,
                           mode_class* c, std::string* error) {
  std::vector<std::uint8_t> removed(n, 0);
  for (std::uint64_t r : c->zero) removed[r] = 1;
  compressed_network net;
  std::vector<std::uint64_t> kept;
  std::vector<std::int64_t> basis;
  std::vector<std::uint8_t> is_free;
  c->dimension = c->steps = 0;
  if (!detail::compressed_basis(S, m, n, reversible, removed, &net, &kept, &basis, &is_free, error)) return false;
  if (net.columns == 0) return true;
  std::vector<std::uint8_t> held(net.columns, 0);
  for (std::uint64_t r = 0; r < kept.size(); ++r)
    if (std::find(c->nonzero.begin(), c->nonzero.end(), kept[r]) != c->nonzero.end()) {
      if (net.group[r] == compressed_network::no_group) return true;
      held[net.group[r]] = 1;
    }
  c->dimension = basis.size() / net.columns;
  std::uint64_t h = 0;
  for (std::uint8_t v : held) h += v;
  c->steps = net.columns - c->dimension - std::min(h, net.columns - c->dimension);
  return true;
}

// The 2^k classes of the split reactions `split`, estimated, largest first
// (largest dimension, then most steps; ties in the order of their labels).
inline bool make_classes(const double* S, std::uint64_t m, std::uint64_t n, const std::uint8_t* reversible,
                         const std::vector<std::uint64_t>& split, std::vector<mode_class>* classes,
                         std::string* error) {
  classes->clear();
  const std::uint64_t k = split.size();
  for (std::uint64_t bits = 0; bits < (std::uint64_t(1) << k); ++bits) {
    mode_class c;
    for (std::uint64_t i = 0; i < k; ++i) {
      const bool on = (bits >> (k - 1 - i)) & 1;
      c.label += on ? '1' : '0';
      (on ? c.nonzero : c.zero).push_back(split[i]);
    }
    if (!estimate_class(S, m, n, reversible, &c, error)) return false;
    classes->push_back(std::move(c));
  }
  std::stable_sort(classes->begin(), classes->end(), [](const mode_class& a, const mode_class& b) {
    return a.dimension != b.dimension ? a.dimension > b.dimension : a.steps > b.steps;
  });
  return true;
}

// Passes the modes of a class run (on the network without the class's zero
// reactions) on to `to` as modes of the whole network, zeros put back. `to`
// is begun once for all the classes that share it (*begun) and finished by
// the caller, not here.
class class_sink : public mode_sink {
 public:
  class_sink(mode_sink* to, std::uint64_t n, std::vector<std::uint64_t> kept, bool* begun)
      : to_(to), n_(n), kept_(std::move(kept)), begun_(begun) {}
  bool wants_modes() const override { return to_->wants_modes(); }
  bool begin(std::uint64_t, std::uint64_t count, std::string* error) override {
    count_ = count;
    if (*begun_) return true;
    *begun_ = true;
    return to_->begin(n_, count, error);
  }
  bool write(const std::int64_t* modes, std::uint64_t count, std::string* error) override {
    const std::uint64_t r = kept_.size();
    buffer_.assign(count * n_, 0);
    for (std::uint64_t k = 0; k < count; ++k)
      for (std::uint64_t j = 0; j < r; ++j) buffer_[k * n_ + kept_[j]] = modes[k * r + j];
    return to_->write(buffer_.data(), count, error);
  }
  bool finish(std::string*) override { return true; }
  std::uint64_t count() const { return count_; }

 private:
  mode_sink* to_;
  std::uint64_t n_, count_ = 0;
  std::vector<std::uint64_t> kept_;
  bool* begun_;
  std::vector<std::int64_t> buffer_;
};

// The modes of one class into `to` (through a class_sink; *begun as there).
inline bool run_mode_class(const double* S, std::uint64_t m, std::uint64_t n, const std::uint8_t* reversible,
                           const mode_class& c, const flux_modes_options& opt, mode_sink* to, bool* begun,
                           flux_modes_info* info, std::string* error) {
  std::vector<std::uint8_t> removed(n, 0);
  for (std::uint64_t r : c.zero) removed[r] = 1;
  std::vector<double> Sr;
  std::vector<std::uint8_t> rev;
  std::vector<std::uint64_t> kept;
  detail::reduced_network(S, m, n, reversible, removed, &Sr, &rev, &kept);
  std::vector<std::uint64_t> held;
  for (std::uint64_t r : c.nonzero) held.push_back(std::lower_bound(kept.begin(), kept.end(), r) - kept.begin());
  class_sink sink(to, n, kept, begun);
  *info = flux_modes_info();
  if (kept.empty()) {  // every reaction at zero: no mode
    info->reactions = n;
    info->metabolites = m;
    return sink.begin(0, 0, error);
  }
  flux_modes_options o = opt;
  o.nonzero = held.data();
  o.nonzero_count = held.size();
  return run_flux_modes(Sr.data(), m, kept.size(), rev.data(), o, &sink, info, error);
}

// What the run of classes asks its caller: whether a class is done already
// (0 no, 1 yes, 2 some of its subclasses are: split it without trying it
// whole), the sink of a class's modes (open) and, after its run, that it is
// done (close with ok) or abandoned (close without: over the budget, about
// to be split). A note on each split goes to `note` when set.
struct class_hooks {
  std::function<int(const mode_class&)> state;
  std::function<bool(const mode_class&, mode_sink** sink, bool** begun, std::string* error)> open;
  std::function<bool(const mode_class&, const flux_modes_info&, bool ok, std::string* error)> close;
  std::function<void(const std::string&)> note;
};

// Runs class c; a class over the memory budget is split on one more reaction
// (chosen in its network) and its two subclasses run instead, up to `depth`
// times on any path. False with a message naming the class when a class
// fails in a way that splitting cannot help, or cannot be split further.
inline bool run_class_split(const double* S, std::uint64_t m, std::uint64_t n, const std::uint8_t* reversible,
                            const mode_class& c, const flux_modes_options& opt, std::uint64_t depth,
                            const class_hooks& hooks, std::string* error) {
  const int state = hooks.state ? hooks.state(c) : 0;
  if (state == 1) return true;
  std::string failure;
  if (state == 0) {
    mode_sink* sink = nullptr;
    bool* begun = nullptr;
    flux_modes_info info;
    if (!hooks.open(c, &sink, &begun, error)) return false;
    const bool ok = run_mode_class(S, m, n, reversible, c, opt, sink, begun, &info, &failure);
    if (!hooks.close(c, info, ok, error)) return false;
    if (ok) return true;
    if (info.status != dd_status::over_budget) {
      *error = "class " + c.label + ": " + failure;
      return false;
    }
  }
  std::vector<std::uint64_t> more;
  if (depth > 0) {
    std::vector<std::uint8_t> removed(n, 0), excluded(n, 0);
    for (std::uint64_t r : c.zero) removed[r] = 1;
    for (std::uint64_t r : c.nonzero) excluded[r] = 1;
    if (!choose_split_reactions(S, m, n, reversible, removed, excluded, 1, &more, error)) return false;
  }
  if (more.empty()) {
    *error = "class " + c.label + ": " + failure + (depth > 0 ? " (no reaction is left to split it on)"
                                                             : " (split as far as allowed)");
    return false;
  }
  const std::string base = c.label.find('.') == std::string::npos ? c.label + "." : c.label;
  if (hooks.note) hooks.note("class " + c.label + ": over the memory budget, split on one more reaction");
  for (int on = 0; on < 2; ++on) {
    mode_class sub = c;
    sub.label = base + (on ? "1" : "0");
    (on ? sub.nonzero : sub.zero).push_back(more[0]);
    if (!run_class_split(S, m, n, reversible, sub, opt, depth - 1, hooks, error)) return false;
  }
  return true;
}

// An order-free hash of a set of modes: the sum (mod 2^64) of a mixed hash
// of each mode's entries, so any split of the modes into classes and files
// gives the same value when the modes are the same. Passes them on to `to`
// when set.
class hash_sink : public mode_sink {
 public:
  explicit hash_sink(mode_sink* to = nullptr) : to_(to) {}
  bool any_order() const override { return to_ == nullptr || to_->any_order(); }
  void keep_partial() override {
    if (to_ != nullptr) to_->keep_partial();
  }
  std::uint64_t hash = 0, count = 0;
  bool begin(std::uint64_t reactions, std::uint64_t c, std::string* error) override {
    n_ = reactions;
    return to_ == nullptr || to_->begin(reactions, c, error);
  }
  bool write(const std::int64_t* modes, std::uint64_t c, std::string* error) override {
    for (std::uint64_t k = 0; k < c; ++k) {
      std::uint64_t h = 1469598103934665603ull;
      for (std::uint64_t j = 0; j < n_; ++j) h = mix(h ^ static_cast<std::uint64_t>(modes[k * n_ + j]));
      hash += mix(h);
    }
    count += c;
    return to_ == nullptr || to_->write(modes, c, error);
  }
  bool finish(std::string* error) override { return to_ == nullptr || to_->finish(error); }

 private:
  static std::uint64_t mix(std::uint64_t z) {  // splitmix64's finalizer
    z += 0x9e3779b97f4a7c15ull;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  mode_sink* to_;
  std::uint64_t n_ = 0;
};

}  // namespace bits

#endif
