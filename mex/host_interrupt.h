// Long runs that Ctrl-C stops. The run goes to a thread of its own; the
// calling thread, the only one that may call the host, waits for it: every
// 20 ms it prints the text the run has posted and asks the host whether
// the user has pressed Ctrl-C, and if so raises the flag that the run
// polls. The run then ends early, frees what it holds and returns, and the
// caller ends the call with an error. Nothing here calls the host from the
// run's thread, nor holds anything across the caller's error call.
#ifndef BITS_MEX_HOST_INTERRUPT_H
#define BITS_MEX_HOST_INTERRUPT_H

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include "mex/host_args.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#include <pthread.h>
#endif

namespace host {

// Whether the user has pressed Ctrl-C: MATLAB's utIsInterruptPending (in
// its libut, which MATLAB has loaded; the stand-in host has one too), or
// Octave's interrupt state. Both are looked up at run time, so the plug-in
// links nothing more; where neither is there, runs go on to their end.
// Calling thread only.
inline bool interrupt_pending() {
  typedef bool (*pending_fn)();
  static pending_fn pending = nullptr;
  static volatile std::sig_atomic_t* octave_state = nullptr;
  static bool looked = false;
  if (!looked) {
    looked = true;
#if defined(_WIN32)
    const char* const dlls[] = {"libut.dll", "libmex.dll"};
    for (const char* dll : dlls) {
      HMODULE module = GetModuleHandleA(dll);
      FARPROC f = module ? GetProcAddress(module, "utIsInterruptPending") : nullptr;
      if (f) {
        pending = reinterpret_cast<pending_fn>(reinterpret_cast<void*>(f));
        break;
      }
    }
#else
    pending = reinterpret_cast<pending_fn>(dlsym(RTLD_DEFAULT, "utIsInterruptPending"));
    if (!pending)
      octave_state = static_cast<volatile std::sig_atomic_t*>(dlsym(RTLD_DEFAULT, "octave_interrupt_state"));
#endif
  }
  if (pending) return pending();
  return octave_state != nullptr && *octave_state > 0;
}

// One run on a thread of its own: job(context), with OpenMP teams of
// `threads` (the team size is a setting of each thread). The job prints
// through post() and polls `stop`. (No standard strings or mutexes here:
// the release plug-ins link the C++ library statically, and those would
// bring in its parts that need a newer glibc than the plug-ins allow.)
struct interruptible_run {
  void (*job)(void* context) = nullptr;
  void* context = nullptr;
  unsigned threads = 1;
  // Work that only the calling thread may do for the job (making a host
  // array): serve(serve_context), called at every poll; null for none.
  void (*serve)(void* context) = nullptr;
  void* serve_context = nullptr;
  bool on_calling_thread = false;  // no thread could be started: the job runs here
  std::atomic<int> stop{0};
  std::atomic<int> done{0};
  std::atomic_flag busy = ATOMIC_FLAG_INIT;  // guards `posted`
  std::size_t used = 0;
  char posted[1 << 16];                      // text not yet printed
};

inline void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Text for the calling thread to print; from the run's thread. Waits while
// the text before it has not been printed yet.
inline void post(interruptible_run* run, const char* text) {
  std::size_t length = std::strlen(text);
  if (length >= sizeof run->posted) length = sizeof run->posted - 1;
  for (;;) {
    while (run->busy.test_and_set(std::memory_order_acquire)) sleep_ms(1);
    const bool room = run->used + length < sizeof run->posted;
    if (room) {
      std::memcpy(run->posted + run->used, text, length);
      run->used += length;
    }
    run->busy.clear(std::memory_order_release);
    if (room) return;
    sleep_ms(5);
  }
}

inline void print_posted(interruptible_run* run) {
  while (run->busy.test_and_set(std::memory_order_acquire)) sleep_ms(1);
  if (run->used > 0) {
    run->posted[run->used] = '\0';
    mexPrintf("%s", run->posted);
    run->used = 0;
  }
  run->busy.clear(std::memory_order_release);
}

inline void* run_job(void* r) {
  interruptible_run* run = static_cast<interruptible_run*>(r);
#ifdef _OPENMP
  omp_set_num_threads(static_cast<int>(run->threads));
#endif
  run->job(run->context);
  run->done.store(1);
  return nullptr;
}

// Runs `run` to its end or to Ctrl-C; true when Ctrl-C stopped it. Where no
// thread can be started, the job runs on the calling thread, uninterrupted.
// The caller checks interrupt_pending() itself before it starts: a Ctrl-C
// pressed before the call is the host's to handle.
inline bool run_interruptibly(interruptible_run* run) {
#if defined(_WIN32)
  std::thread worker(run_job, static_cast<void*>(run));
#else
  pthread_t worker;
  if (pthread_create(&worker, nullptr, run_job, run) != 0) {
    run->on_calling_thread = true;
    run_job(run);
    print_posted(run);
    return false;
  }
#endif
  while (!run->done.load()) {
    sleep_ms(20);
    print_posted(run);
    if (run->serve != nullptr) run->serve(run->serve_context);
    if (!run->stop.load() && interrupt_pending()) run->stop.store(1);
  }
#if defined(_WIN32)
  worker.join();
#else
  pthread_join(worker, nullptr);
#endif
  print_posted(run);
  return run->stop.load() != 0;
}

}  // namespace host

#endif
