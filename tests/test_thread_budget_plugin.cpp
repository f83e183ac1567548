// The OpenMP thread count that a call of an OpenMP plug-in leaves in force on
// the calling thread: the request, at most the processor count, at least one
// (a request of 0 runs on one thread). It is set right after the thread
// request is read, so a call that ends in a later argument error leaves it
// too. Read back from the runtime the plug-in itself uses: on Linux the
// shared one, found through the plug-in's own dependencies. A Windows
// plug-in carries a private runtime that the host cannot ask: skipped there.
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

#include "tests/plugin_harness.h"

namespace {

using harness::array_ptr;
using harness::f64;
using harness::make;
using harness::u16_scalar;
using harness::u32;

#if !defined(_WIN32)
// The OpenMP runtime of a loaded plug-in, as its calling thread sees it.
class plugin_openmp {
 public:
  explicit plugin_openmp(const std::string& name)
      : handle_(dlopen(harness::plugin_path(name).c_str(), RTLD_LAZY | RTLD_NOLOAD)) {
    if (!handle_) return;
    max_threads = reinterpret_cast<int (*)()>(dlsym(handle_, "omp_get_max_threads"));
    set_threads = reinterpret_cast<void (*)(int)>(dlsym(handle_, "omp_set_num_threads"));
    procs = reinterpret_cast<int (*)()>(dlsym(handle_, "omp_get_num_procs"));
  }
  ~plugin_openmp() {
    if (handle_) dlclose(handle_);
  }
  plugin_openmp(const plugin_openmp&) = delete;
  plugin_openmp& operator=(const plugin_openmp&) = delete;
  bool found() const { return max_threads && set_threads && procs; }

  int (*max_threads)() = nullptr;
  void (*set_threads)(int) = nullptr;
  int (*procs)() = nullptr;

 private:
  void* handle_;
};
#endif

// Calls the plug-in `name` with each argument list followed by a thread
// request, for several requests, and checks what each call ends with ("" for
// a result) and the thread count it leaves behind.
void expect_thread_budget(const char* name, const std::vector<std::vector<const mxArray*>>& args,
                          const std::vector<std::string>& endings) {
#if defined(_WIN32)
  (void)name, (void)args, (void)endings;
  GTEST_SKIP() << "the plug-in's OpenMP runtime is its own";
#else
  harness::loaded_plugin plugin(name);
  const plugin_openmp omp(name);
  ASSERT_TRUE(omp.found()) << "no OpenMP runtime found through " << harness::plugin_path(name);
  const int procs = omp.procs();
  for (int request : {0, 1, 2, procs, procs + 3, 65535}) {
    const int expected = request < 1 ? 1 : request < procs ? request : procs;
    array_ptr threads = u16_scalar(static_cast<std::uint16_t>(request));
    for (std::size_t k = 0; k < args.size(); ++k) {
      omp.set_threads(procs + 7);  // a count that no call leaves
      std::vector<const mxArray*> in = args[k];
      in.push_back(threads.get());
      const harness::outcome o = plugin.call(1, in);
      EXPECT_EQ(o.failed ? o.message : "", endings[k]) << name << " " << k;
      EXPECT_EQ(omp.max_threads(), expected) << name << " " << k << ", request " << request;
    }
  }
#endif
}

TEST(ThreadBudget, BitsWithinLeavesItAfterAResultAndAfterTheIndexClassError) {
  array_ptr S = u32(2, 3, {1, 0, 3, 0, 4, 0}), R = u32(2, 2, {3, 0, 5, 0});
  array_ptr idx = u32(1, 2, {0, 1});
  array_ptr bad_idx = make<std::int32_t>(mxINT32_CLASS, {1, 2}, {0, 1});
  expect_thread_budget("bits_within", {{S.get(), R.get(), idx.get()}, {S.get(), R.get(), bad_idx.get()}},
                       {"", "i_perm should be of type 'uint32' or 'double' . . ."});
}

TEST(ThreadBudget, PairScreenLeavesItAfterAResultAndAfterTheClassErrors) {
  array_ptr R = u32(1, 3, {1, 2, 3}), Rd = f64(1, 3, {1, 2, 3});
  array_ptr T = u32(1, 1), nodes = u32(1, 1, {1});
  array_ptr leaves = make<std::uint64_t>(mxUINT64_CLASS, {2, 1}, {0, 2});
  array_ptr pairs = u32(2, 1, {0, 1}), bad_pairs = make<float>(mxSINGLE_CLASS, {2, 1}, {0, 1});
  expect_thread_budget("pair_screen",
                       {{R.get(), pairs.get(), T.get(), nodes.get(), leaves.get()},
                        {R.get(), bad_pairs.get(), T.get(), nodes.get(), leaves.get()},
                        {Rd.get(), pairs.get(), T.get(), nodes.get(), leaves.get()}},
                       {"", "j_comb should be of type 'uint32' or 'double' . . .",
                        "R and R_tree must be real uint32 matrices . . ."});
}

}  // namespace
