// The elementary flux modes on the compressed reactions (network_compression.h)
// rather than on the network's: a sink (mode_sinks.h) between the run and
// another sink. Each compressed reaction has a reaction of the network as
// its representative (the member with the smallest coefficient), and a mode
// E on the network's reactions becomes the mode Ec on the compressed ones
// with Ec(g) proportional to E(rep g) / coefficient(rep g): coprime
// integers, in the direction of E. So the modes come in the run's order and
// orientation, and E is the expansion times Ec divided by the gcd of its
// entries, which is 1 unless the compression scaled a column of S to
// integers (rational S). A mode needs at most as many entries as the
// compressed network has reactions (often several times fewer than the
// network's) in memory or on disk.
//
// Nothing here calls the host; failures come back as a message.
#ifndef BITS_CORE_COMPRESSED_MODES_H
#define BITS_CORE_COMPRESSED_MODES_H

#include <cstdint>
#include <string>
#include <vector>

#include "core/exact_integers.h"
#include "core/mode_sinks.h"
#include "core/network_compression.h"

namespace bits {

class compressed_mode_sink : public mode_sink {
 public:
  // The modes on the compressed reactions go to `inner` (not owned).
  explicit compressed_mode_sink(mode_sink* inner) : inner_(inner) {}

  // The expansion (network_compression.h): reaction j carries coefficient[j]
  // times the flux of compressed reaction group[j] (no_group: blocked).
  const std::vector<std::uint64_t>& group() const { return group_; }
  const std::vector<std::int64_t>& coefficient() const { return coefficient_; }
  std::uint64_t compressed_reactions() const { return columns_; }

  bool wants_modes() const override { return inner_->wants_modes(); }
  bool network(const compressed_network& net, std::string* error) override {
    reactions_ = net.reactions;
    columns_ = net.columns;
    group_ = net.group;
    coefficient_ = net.coefficient;
    representative_.assign(columns_, compressed_network::no_group);
    for (std::uint64_t j = 0; j < reactions_; ++j) {
      const std::uint64_t g = group_[j];
      if (g == compressed_network::no_group) continue;
      std::uint64_t& r = representative_[g];
      if (r == compressed_network::no_group || magnitude(coefficient_[j]) < magnitude(coefficient_[r])) r = j;
    }
    return inner_->network(net, error);
  }
  bool begin(std::uint64_t reactions, std::uint64_t count, std::string* error) override {
    if (reactions != reactions_) {
      *error = "the modes have another number of reactions than the network";
      return false;
    }
    return inner_->begin(columns_, count, error);
  }
  bool write(const std::int64_t* modes, std::uint64_t count, std::string* error) override {
    out_.resize(count * columns_);
    ratio_.resize(columns_ * 2);
    for (std::uint64_t k = 0; k < count; ++k)
      if (!compress(modes + k * reactions_, &out_[k * columns_])) {
        *error = "a mode on the compressed reactions needs integers beyond the int64 range";
        return false;
      }
    return inner_->write(out_.data(), count, error);
  }
  bool finish(std::string* error) override { return inner_->finish(error); }

 private:
  // e (reactions_ entries) on the compressed reactions: Ec(g) = a_g B / b_g
  // with a_g / b_g = e(rep) / coefficient(rep) in lowest terms and B the lcm
  // of the b_g, then divided by the gcd of its entries; false beyond int64.
  bool compress(const std::int64_t* e, std::int64_t* out) {
    std::int64_t lcm = 1;
    for (std::uint64_t g = 0; g < columns_; ++g) {
      const std::uint64_t r = representative_[g];
      const std::int64_t c = coefficient_[r];
      std::int64_t a = 0, b = 1;
      if (e[r] != 0) {
        const std::uint64_t common = gcd_u64(magnitude(e[r]), magnitude(c));
        const wide_int signed_a = multiply(e[r] / static_cast<std::int64_t>(common), c < 0 ? -1 : 1);
        if (!fits_int64(signed_a)) return false;
        a = to_int64(signed_a);
        b = static_cast<std::int64_t>(magnitude(c) / common);
        const wide_int l = multiply(lcm / static_cast<std::int64_t>(gcd_u64(lcm, b)), b);
        if (!fits_int64(l)) return false;
        lcm = to_int64(l);
      }
      ratio_[2 * g] = a;
      ratio_[2 * g + 1] = b;
    }
    std::uint64_t common = 0;
    for (std::uint64_t g = 0; g < columns_; ++g) {
      const wide_int v = multiply(ratio_[2 * g], lcm / ratio_[2 * g + 1]);
      if (!fits_int64(v) || to_int64(v) == INT64_MIN) return false;
      out[g] = to_int64(v);
      common = gcd_u64(common, magnitude(out[g]));
    }
    if (common > 1)
      for (std::uint64_t g = 0; g < columns_; ++g) out[g] /= static_cast<std::int64_t>(common);
    return true;
  }

  mode_sink* inner_;
  std::uint64_t reactions_ = 0, columns_ = 0;
  std::vector<std::uint64_t> group_, representative_;
  std::vector<std::int64_t> coefficient_, out_, ratio_;
};

}  // namespace bits

#endif
