// Test-side helpers for calling the built plug-ins through the stand-in host:
// arrays owned by smart pointers, plug-ins loaded from the build folder, and
// a fixture that fails a test which leaves any array or mxCalloc block alive.
#ifndef BITS_TESTS_PLUGIN_HARNESS_H
#define BITS_TESTS_PLUGIN_HARNESS_H

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/standin/standin.h"

#ifndef BITS_PLUGIN_DIR
#define BITS_PLUGIN_DIR "."
#endif

namespace harness {

struct array_deleter {
  void operator()(mxArray* a) const { standin::destroy(a); }
};
using array_ptr = std::unique_ptr<mxArray, array_deleter>;

template <typename T>
array_ptr make(mxClassID class_id, std::vector<std::size_t> dims, const std::vector<T>& values = {}) {
  array_ptr a(standin::create(class_id, dims));
  if (!values.empty()) {
    EXPECT_EQ(values.size() * sizeof(T), mxGetNumberOfElements(a.get()) * standin::element_size(class_id));
    std::memcpy(mxGetData(a.get()), values.data(), values.size() * sizeof(T));
  }
  return a;
}

inline array_ptr u32(std::size_t m, std::size_t n, const std::vector<std::uint32_t>& v = {}) {
  return make(mxUINT32_CLASS, {m, n}, v);
}
// A uint32 matrix whose elements start 4 bytes past an 8-byte boundary, as
// the host passes a slice of a larger array without copying it.
inline array_ptr u32_misaligned(std::size_t m, std::size_t n, const std::vector<std::uint32_t>& v) {
  array_ptr a(standin::create_at_offset(mxUINT32_CLASS, {m, n}, 4));
  EXPECT_EQ(v.size(), m * n);
  if (!v.empty()) std::memcpy(mxGetData(a.get()), v.data(), v.size() * sizeof(std::uint32_t));
  return a;
}
inline array_ptr f64(std::size_t m, std::size_t n, const std::vector<double>& v = {}) {
  return make(mxDOUBLE_CLASS, {m, n}, v);
}
inline array_ptr u16_scalar(std::uint16_t v) { return make(mxUINT16_CLASS, {1, 1}, std::vector<std::uint16_t>{v}); }
inline array_ptr text(const std::u16string& s) { return array_ptr(standin::create_char(s)); }

template <typename T>
std::vector<T> values(const mxArray* a) {
  const T* p = static_cast<const T*>(mxGetData(a));
  return p ? std::vector<T>(p, p + mxGetNumberOfElements(a)) : std::vector<T>{};
}

struct outcome {
  bool failed = false;
  std::string message;
  std::vector<array_ptr> outputs;
  const mxArray* out(std::size_t k = 0) const { return outputs.at(k).get(); }
};

inline std::string plugin_path(const std::string& name) {
  const char* dir = std::getenv("BITS_PLUGIN_DIR");
#if defined(_WIN32)
  const char* suffix = ".mexw64";
#else
  const char* suffix = ".mexa64";
#endif
  return std::string(dir && *dir ? dir : BITS_PLUGIN_DIR) + "/" + name + suffix;
}

// A plug-in loaded for one test; unloaded (exit handlers first) at the end.
class loaded_plugin {
 public:
  explicit loaded_plugin(const std::string& name) {
    std::string error;
    p_ = standin::load(plugin_path(name), &error);
    if (!p_) ADD_FAILURE() << "cannot load " << plugin_path(name) << ": " << error;
  }
  ~loaded_plugin() { standin::unload(p_); }
  loaded_plugin(const loaded_plugin&) = delete;
  loaded_plugin& operator=(const loaded_plugin&) = delete;

  outcome call(int nlhs, const std::vector<const mxArray*>& inputs) const {
    outcome o;
    if (!p_) {
      o.failed = true;
      o.message = "plug-in not loaded";
      return o;
    }
    standin::call_result r = standin::call(p_, nlhs, inputs);
    o.failed = r.failed;
    o.message = r.message;
    for (mxArray* a : r.outputs) o.outputs.emplace_back(a);
    return o;
  }

 private:
  standin::plugin* p_ = nullptr;
};

// The outcome of call() while a user presses Ctrl-C (the stand-in host's
// interrupt flag) `ms` milliseconds after it starts.
template <typename Call>
outcome with_ctrl_c_after(int ms, Call call) {
  std::thread user([ms] {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    utSetInterruptPending(true);
  });
  outcome o = call();
  user.join();
  return o;
}

// Base fixture: the named plug-in, and a leak check after every test.
class PluginTest : public ::testing::Test {
 protected:
  explicit PluginTest(const std::string& name) : plugin_(name) {}
  // Arrays that the fixture itself holds are alive before and after.
  void SetUp() override { arrays_before_ = standin::live_arrays(); }
  void TearDown() override {
    EXPECT_EQ(standin::live_arrays(), arrays_before_) << "arrays left alive";
    EXPECT_EQ(standin::live_blocks(), 0u) << "mxCalloc blocks left alive";
  }
  template <typename... A>
  outcome call(int nlhs, A&&... inputs) const {
    return plugin_.call(nlhs, {static_cast<const mxArray*>(inputs)...});
  }
  // Expects the call to fail with exactly `message`, leaving nothing behind.
  template <typename... A>
  void expect_error(const std::string& message, int nlhs, A&&... inputs) const {
    const outcome o = call(nlhs, inputs...);
    EXPECT_TRUE(o.failed) << "expected: " << message;
    EXPECT_EQ(o.message, message);
    EXPECT_TRUE(o.outputs.empty());
  }
  loaded_plugin plugin_;
  std::size_t arrays_before_ = 0;
};

}  // namespace harness

#endif
