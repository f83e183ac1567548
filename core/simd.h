// Instruction sets of the vector kernels, and the choice among them at run
// time.
//
// The vector code is compiled for AVX2 and AVX-512 with target attributes, so
// a build without -march runs it where the processor has it and never
// reaches it where it does not. The processor is asked once per process; the
// environment variable BITS_SIMD (scalar, avx2 or avx512), read once per
// process too, caps the path: it can narrow it, never widen it past what the
// processor runs. A build with BITS_SCALAR_ONLY defined (the CMake option
// BITS_SIMD_KERNELS=OFF) has no vector code at all.
//
// Nothing here allocates, fails or calls the host.
#ifndef BITS_CORE_SIMD_H
#define BITS_CORE_SIMD_H

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <type_traits>

// Run-time dispatch needs GCC or Clang target attributes and
// __builtin_cpu_supports on x86. MinGW GCC cannot realign the stack to 32 or
// 64 bytes (GCC bug 54412), so it spills vector registers with aligned moves
// at 16-byte aligned addresses; there the vector paths are taken only when the
// assembler rewrites aligned moves (-Wa,-muse-unaligned-vector-move), which
// the build says by defining BITS_UNALIGNED_VECTOR_MOVES.
#if !defined(BITS_SCALAR_ONLY) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(_MSC_VER) && (defined(__x86_64__) || defined(__i386__)) &&        \
    (!defined(_WIN32) || defined(__clang__) || defined(BITS_UNALIGNED_VECTOR_MOVES))
#define BITS_SIMD_DISPATCH 1
#include <immintrin.h>
#define BITS_TARGET_AVX2 __attribute__((target("avx2")))
#define BITS_TARGET_AVX512 __attribute__((target("avx512f")))
#else
#define BITS_SIMD_DISPATCH 0
#endif

namespace bits {

// Ordered from narrow to wide: a path runs wherever a wider one does.
enum class simd_isa { scalar = 0, avx2 = 1, avx512 = 2 };

inline const char* simd_isa_name(simd_isa isa) {
  switch (isa) {
    case simd_isa::avx512: return "avx512";
    case simd_isa::avx2: return "avx2";
    default: return "scalar";
  }
}

// True, with *isa set, when `text` names a path as BITS_SIMD does:
// "scalar", "avx2" or "avx512".
inline bool parse_simd_isa(const char* text, simd_isa* isa) {
  if (text == nullptr) return false;
  for (simd_isa each : {simd_isa::scalar, simd_isa::avx2, simd_isa::avx512})
    if (std::strcmp(text, simd_isa_name(each)) == 0) {
      *isa = each;
      return true;
    }
  return false;
}

// The path for a processor that runs `cpu` when BITS_SIMD holds `request`
// (null when unset): the narrower of the two. Anything but a path name
// leaves the processor's choice.
inline simd_isa capped_simd_isa(simd_isa cpu, const char* request) {
  simd_isa cap;
  if (!parse_simd_isa(request, &cap) || cap >= cpu) return cpu;
  return cap;
}

// An answer about the process (what the processor runs, what BITS_SIMD
// asks for), worked out by `find` (a value >= 0) the first time and kept in
// `slot`, which starts at -1. An atomic rather than a static with a run-time
// initializer: such a static needs the C++ runtime's guard functions, and
// the release plug-ins link no C++ runtime. Threads that ask at the same time
// before the first answer is kept each work it out, and come to the same one.
template <typename find_t>
inline int kept_answer(std::atomic<int>& slot, find_t find) {
  int answer = slot.load(std::memory_order_relaxed);
  if (answer < 0) {
    answer = find();
    slot.store(answer, std::memory_order_relaxed);
  }
  return answer;
}

// The widest instruction set that this processor and its operating system
// run (the builtin checks that the OS saves the vector registers, too), found
// once per process. Always scalar in a build without vector code.
inline simd_isa cpu_simd_isa() {
#if BITS_SIMD_DISPATCH
  static std::atomic<int> detected{-1};
  return static_cast<simd_isa>(kept_answer(detected, [] {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return static_cast<int>(simd_isa::avx512);
    if (__builtin_cpu_supports("avx2")) return static_cast<int>(simd_isa::avx2);
    return static_cast<int>(simd_isa::scalar);
  }));
#else
  return simd_isa::scalar;
#endif
}

// The path the kernels take in this process: the processor's, capped by
// BITS_SIMD. The entries ask once per call and hand it to the kernels.
inline simd_isa best_simd_isa() {
  static std::atomic<int> chosen{-1};
  return static_cast<simd_isa>(kept_answer(chosen, [] {
    return static_cast<int>(capped_simd_isa(cpu_simd_isa(), std::getenv("BITS_SIMD")));
  }));
}

// The run-time choice of a kernel, made once per call: runs
// body(std::integral_constant<simd_isa, isa>{}) for a vector path, so that
// the body is compiled once per instruction set, and returns true; returns
// false for the scalar path (and always in a build without vector code),
// which the caller then runs itself.
template <typename body_t>
bool run_vector_path(simd_isa isa, body_t&& body) {
#if BITS_SIMD_DISPATCH
  switch (isa) {
    case simd_isa::avx512: body(std::integral_constant<simd_isa, simd_isa::avx512>{}); return true;
    case simd_isa::avx2: body(std::integral_constant<simd_isa, simd_isa::avx2>{}); return true;
    default: return false;
  }
#else
  (void)isa;
  (void)body;
  return false;
#endif
}

}  // namespace bits

#endif
