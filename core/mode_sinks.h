// Where the elementary flux modes of a run go (core/flux_modes_pipeline.h):
// a sink gets the number of modes first (where known), then the modes, in
// one or more pieces, then the end of the run. A sink that keeps the modes
// in memory whole gets them in lexicographic order; one that takes them in
// pieces (a file) gets them as the run finds them, in the order that
// flux_modes_pipeline.h defines. A sink that does
// not want the modes themselves (the count alone) spares the run their
// expansion, orientation and order.
//
// Nothing here calls the host; failures come back as a message.
#ifndef BITS_CORE_MODE_SINKS_H
#define BITS_CORE_MODE_SINKS_H

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace bits {

struct compressed_network;  // network_compression.h

constexpr std::uint64_t mode_count_unknown = UINT64_MAX;

class mode_sink {
 public:
  virtual ~mode_sink() = default;
  // The compressed network, once it is known (before the double
  // description): a sink that keeps the modes on the compressed reactions
  // (compressed_modes.h) takes what it needs from it.
  virtual bool network(const compressed_network&, std::string*) { return true; }
  // False: the run stops after the double description and reports only the
  // count (begin and finish are still called, write never).
  virtual bool wants_modes() const { return true; }
  // True: the sink keeps the modes in memory whole, so the run expands them
  // all at once, sorts them and hands the block over (take); false: the run
  // expands them a piece at a time as it finds them (write) and never holds
  // them all.
  virtual bool wants_block() const { return false; }
  // Before any mode: `reactions` entries per mode, `count` modes in all;
  // a sink that takes the modes in pieces gets mode_count_unknown, as they
  // are written while the run still finds them (the count is known at
  // finish).
  virtual bool begin(std::uint64_t reactions, std::uint64_t count, std::string* error) = 0;
  // The next `count` modes, `reactions` int64 entries each, column-major.
  virtual bool write(const std::int64_t* modes, std::uint64_t count, std::string* error) = 0;
  // After the last mode.
  virtual bool finish(std::string* error) = 0;
  // True for a sink that takes the modes in any order (a file): the run then
  // hands them out as the double description finds them, the last step's
  // never all held; otherwise they come in their final order.
  virtual bool any_order() const { return false; }
  // A run that was stopped: a sink that writes a file closes it and leaves
  // it under its partial name, marked incomplete where the format can say
  // so, instead of removing it.
  virtual void keep_partial() {}
  // All `count` modes at once, in a block from allocate_block that the sink
  // now owns: by default written in pieces and freed; a sink that keeps the
  // modes in memory can adopt the block and save a copy.
  virtual bool take(std::int64_t* modes, std::uint64_t reactions, std::uint64_t count, std::string* error) {
    const std::uint64_t piece = std::uint64_t(1) << 16;
    bool ok = true;
    for (std::uint64_t first = 0; first < count && ok; first += piece)
      ok = write(modes + first * reactions, count - first < piece ? count - first : piece, error);
    free_block(modes);
    return ok;
  }
  // The block that a run expands all modes into (reactions x count int64)
  // before take(), and its release when the run fails first: std::malloc
  // and std::free, or memory of the sink's own (a host array that becomes
  // the result, so the modes are never copied). Null: no memory.
  virtual std::int64_t* allocate_block(std::uint64_t reactions, std::uint64_t count) {
    const std::uint64_t bytes = reactions * count * sizeof(std::int64_t);
    return static_cast<std::int64_t*>(std::malloc(static_cast<std::size_t>(bytes > 0 ? bytes : 1)));
  }
  virtual void free_block(std::int64_t* modes) { std::free(modes); }
};

// The number of modes only.
class count_sink : public mode_sink {
 public:
  std::uint64_t count = 0;
  bool wants_modes() const override { return false; }
  bool begin(std::uint64_t, std::uint64_t n, std::string*) override {
    count = n;
    return true;
  }
  bool write(const std::int64_t*, std::uint64_t, std::string*) override { return true; }
  bool finish(std::string*) override { return true; }
};

// The modes as one dense int64 matrix in memory (reactions x count,
// column-major, from std::malloc): release() hands it over. Taken in pieces
// with the count unknown, the matrix grows as they come.
class dense_sink : public mode_sink {
 public:
  std::uint64_t reactions = 0, count = 0;
  ~dense_sink() override { std::free(modes_); }
  const std::int64_t* modes() const { return modes_; }
  bool wants_block() const override { return true; }
  std::int64_t* release() {
    std::int64_t* m = modes_;
    modes_ = nullptr;
    return m;
  }
  bool begin(std::uint64_t r, std::uint64_t n, std::string*) override {
    std::free(modes_);
    modes_ = nullptr;
    reactions = r;
    count = n;
    filled_ = capacity_ = 0;
    return true;
  }
  bool write(const std::int64_t* modes, std::uint64_t n, std::string* error) override {
    if (count == mode_count_unknown) {
      if (filled_ + n > capacity_ && !grow(filled_ + n, error)) return false;
    } else if (modes_ == nullptr && !allocate(error)) {
      return false;
    }
    if (filled_ + n > (count == mode_count_unknown ? capacity_ : count)) {
      *error = "more modes written than announced";
      return false;
    }
    std::memcpy(modes_ + filled_ * reactions, modes, static_cast<std::size_t>(n * reactions * sizeof(std::int64_t)));
    filled_ += n;
    return true;
  }
  bool take(std::int64_t* modes, std::uint64_t r, std::uint64_t n, std::string* error) override {
    if (modes_ != nullptr || filled_ != 0 || r != reactions || n != count)
      return mode_sink::take(modes, r, n, error);
    modes_ = modes;
    filled_ = n;
    return true;
  }
  bool finish(std::string* error) override {
    if (count == mode_count_unknown) count = filled_;
    if (filled_ != count) {
      *error = "fewer modes written than announced";
      return false;
    }
    return true;
  }

 private:
  bool allocate(std::string* error) {
    const std::uint64_t bytes = reactions * count * sizeof(std::int64_t);
    modes_ = static_cast<std::int64_t*>(std::malloc(static_cast<std::size_t>(bytes > 0 ? bytes : 1)));
    if (modes_ == nullptr) {
      *error = "out of memory for the modes (" + std::to_string(bytes) + " bytes)";
      return false;
    }
    return true;
  }
  bool grow(std::uint64_t least, std::string* error) {
    const std::uint64_t want = least > 2 * capacity_ ? least : 2 * capacity_;
    void* p = std::realloc(static_cast<void*>(modes_), static_cast<std::size_t>(want * reactions * sizeof(std::int64_t) + 1));
    if (p == nullptr) {
      *error = "out of memory for the modes (" + std::to_string(want * reactions * sizeof(std::int64_t)) + " bytes)";
      return false;
    }
    modes_ = static_cast<std::int64_t*>(p);
    capacity_ = want;
    return true;
  }
  std::int64_t* modes_ = nullptr;
  std::uint64_t filled_ = 0, capacity_ = 0;
};

// The modes as text in the file `path`: one mode per line, its entries
// (one per reaction) separated by single spaces. Written to path.partial and
// renamed to path at the end, so a run that fails or is stopped never leaves
// a file under the name that looks complete (and removes the partial one
// where it can, unless told to keep it).
class text_file_sink : public mode_sink {
 public:
  explicit text_file_sink(std::string path) : path_(std::move(path)), partial_(path_ + ".partial") {}
  bool any_order() const override { return true; }
  ~text_file_sink() override {
    if (file_ != nullptr) {
      std::fclose(file_);
      std::remove(partial_.c_str());
    }
  }
  void keep_partial() override {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
  }
  // Opens the partial file, so that a caller can find an unwritable name
  // before the run (begin opens it otherwise).
  bool open(std::string* error) {
    if (file_ == nullptr) file_ = std::fopen(partial_.c_str(), "wb");
    return file_ != nullptr || fail(error);
  }
  bool begin(std::uint64_t reactions, std::uint64_t, std::string* error) override {
    reactions_ = reactions;
    return open(error);
  }
  bool write(const std::int64_t* modes, std::uint64_t count, std::string* error) override {
    std::string line;
    for (std::uint64_t k = 0; k < count; ++k) {
      line.clear();
      for (std::uint64_t r = 0; r < reactions_; ++r) {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, modes[k * reactions_ + r]).ptr;
        if (r > 0) line += ' ';
        line.append(digits, end);
      }
      line += '\n';
      if (std::fwrite(line.data(), 1, line.size(), file_) != line.size()) return fail(error);
    }
    return true;
  }
  bool finish(std::string* error) override {
    if (std::fflush(file_) != 0 || std::ferror(file_)) return fail(error);
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0 || std::rename(partial_.c_str(), path_.c_str()) != 0) {
      const int e = errno;
      std::remove(partial_.c_str());
      *error = "cannot write " + path_ + ": " + std::strerror(e);
      return false;
    }
    return true;
  }

 private:
  bool fail(std::string* error) {
    *error = "cannot write " + partial_ + ": " + std::strerror(errno);
    return false;
  }
  std::string path_, partial_;
  std::FILE* file_ = nullptr;
  std::uint64_t reactions_ = 0;
};

}  // namespace bits

#endif
