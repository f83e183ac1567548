// The fuzz input as a stream of choices: every target reads its sizes,
// classes and values from the front of the data, one byte or word at a
// time, and reads zeros once the data is used up, so every input is valid
// and a short one makes a small case.
#ifndef BITS_FUZZ_FUZZ_INPUT_H
#define BITS_FUZZ_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace fuzzin {

class reader {
 public:
  reader(const std::uint8_t* data, std::size_t size) : p_(data), left_(size) {}
  std::uint8_t byte() {
    if (left_ == 0) return 0;
    --left_;
    return *p_++;
  }
  // A number below `limit` (limit > 0), from one byte when it fits.
  std::uint64_t below(std::uint64_t limit) {
    const std::uint64_t v = limit <= 256 ? byte() : word<std::uint32_t>();
    return v % limit;
  }
  bool flag() { return byte() & 1; }
  template <typename T>
  T word() {
    unsigned char b[sizeof(T)] = {};
    const std::size_t n = left_ < sizeof(T) ? left_ : sizeof(T);
    if (n > 0) std::memcpy(b, p_, n);
    p_ += n;
    left_ -= n;
    T v;
    std::memcpy(&v, b, sizeof(T));
    return v;
  }
  // Copies up to `bytes` bytes of the data to `out`, zeros for the rest.
  void fill(void* out, std::size_t bytes) {
    if (bytes == 0) return;
    const std::size_t n = left_ < bytes ? left_ : bytes;
    std::memcpy(out, p_, n);
    std::memset(static_cast<unsigned char*>(out) + n, 0, bytes - n);
    p_ += n;
    left_ -= n;
  }
  std::size_t left() const { return left_; }

 private:
  const std::uint8_t* p_;
  std::size_t left_;
};

// A mismatch or a broken invariant: the fuzzer records the input.
#define FUZZ_CHECK(condition)                \
  do {                                       \
    if (!(condition)) __builtin_trap();      \
  } while (0)

}  // namespace fuzzin

#endif
