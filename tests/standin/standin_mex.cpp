// libmex of the stand-in host: errors, exit handlers, and the host's side of
// a call (load, call, unwind, reclaim, unload).
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "tests/standin/standin.h"
#include "tests/standin/standin_internal.h"

namespace standin {

struct plugin {
  void* handle;
  mex_function_t fn;
  std::vector<void (*)(void)> at_exit;
};

namespace {
plugin* calling = nullptr;  // the plug-in whose mexFunction is running
std::atomic<bool> interrupt{false};  // Ctrl-C pressed and not yet handled

void* open_library(const std::string& path, std::string* error) {
#if defined(_WIN32)
  HMODULE h = LoadLibraryA(path.c_str());
  if (!h && error) *error = "LoadLibrary failed with code " + std::to_string(GetLastError());
  return reinterpret_cast<void*>(h);
#else
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h && error) *error = dlerror();
  return h;
#endif
}

void* find_symbol(void* handle, const char* name) {
#if defined(_WIN32)
  return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
#else
  return dlsym(handle, name);
#endif
}

void close_library(void* handle) {
#if defined(_WIN32)
  FreeLibrary(reinterpret_cast<HMODULE>(handle));
#else
  dlclose(handle);
#endif
}
}  // namespace

plugin* load(const std::string& path, std::string* error) {
  void* h = open_library(path, error);
  if (!h) return nullptr;
  void* fn = find_symbol(h, "mexFunction");
  if (!fn) {
    if (error) *error = "no mexFunction in " + path;
    close_library(h);
    return nullptr;
  }
  return new plugin{h, reinterpret_cast<mex_function_t>(fn), {}};
}

void unload(plugin* p) {
  if (!p) return;
  for (auto it = p->at_exit.rbegin(); it != p->at_exit.rend(); ++it) (*it)();
  close_library(p->handle);
  delete p;
}

mex_function_t entry(plugin* p) { return p->fn; }

std::string& printed_text() {
  static std::string text;
  return text;
}

call_result call(plugin* p, int nlhs, const std::vector<const mxArray*>& inputs) {
  call_result result;
  // MATLAB always offers at least one output slot (for ans).
  std::vector<mxArray*> plhs(nlhs > 0 ? nlhs : 1, nullptr);
  std::vector<const mxArray*> prhs(inputs);
  internal::begin_call();
  calling = p;
  try {
    p->fn(nlhs, plhs.data(), static_cast<int>(prhs.size()), prhs.empty() ? nullptr : prhs.data());
    for (int k = 0; k < nlhs; ++k)
      if (plhs[k] == nullptr || !internal::is_live(plhs[k]))
        internal::host_fail("One or more output arguments not assigned during call.");
  } catch (const internal::host_error& e) {
    calling = nullptr;
    interrupt.store(false);  // the host has answered Ctrl-C by ending the call
    internal::end_call({});
    result.failed = true;
    result.message = e.what();
    return result;
  }
  calling = nullptr;
  interrupt.store(false);
  std::vector<mxArray*> kept;
  for (int k = 0; k < nlhs; ++k) kept.push_back(plhs[k]);
  // With no output requested, an assigned first slot would become ans.
  if (nlhs == 0 && plhs[0] != nullptr) kept.push_back(plhs[0]);
  internal::end_call(kept);
  result.outputs = kept;
  return result;
}

}  // namespace standin

extern "C" {

void mexErrMsgTxt(const char* message) { standin::internal::host_fail(message); }

// Text printed by the plug-ins goes to standard output and is kept for the
// tests (standin::printed).
int mexPrintf(const char* format, ...) {
  char buffer[4096];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  std::fputs(buffer, stdout);
  standin::printed_text() += buffer;
  return n;
}

// MATLAB's interrupt flag (libut): set by Ctrl-C, cleared by the host once
// the call that was running has ended. Plug-ins look it up at run time;
// tests set it to press Ctrl-C.
bool utIsInterruptPending(void) { return standin::interrupt.load(); }
bool utSetInterruptPending(bool pending) { return standin::interrupt.exchange(pending); }

int mexAtExit(void (*exit_function)(void)) {
  if (standin::calling) standin::calling->at_exit.assign(1, exit_function);  // one handler per plug-in
  return 0;
}

}  // extern "C"
