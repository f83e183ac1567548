// What the plug-ins flux_modes_pipeline and mode_file share: the reading of
// their common arguments (S, reversible, n_threads, settings), the run of
// core/flux_modes_pipeline.h on a thread of its own with progress and
// Ctrl-C (mex/host_interrupt.h), the host array that the modes go to
// directly, and the info row.
//
//   settings: up to five doubles, [leaf_size order progress memory compress]
//             (defaults 64, 4, 0, 0, 1): order 0 irreversiblefirst,
//             1 fewestpairs, 2 mostzeros, 3 input, 4 irreversiblezeros;
//             memory the budget of the double description in bytes (0: 90%
//             of the physical memory)
//   info:     1 x 16 doubles: modes, reactions, metabolites,
//             compressed_reactions, compressed_metabolites, reversible,
//             dimension, steps, pairs, adjacent, rejected, largest,
//             max_modes, peak_bytes, time (the whole run, s), dd_time (the
//             double description's own seconds)
#ifndef BITS_MEX_FLUX_MODES_HOST_H
#define BITS_MEX_FLUX_MODES_HOST_H

#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "mex/host_args.h"
#include "mex/host_interrupt.h"
#include "core/flux_modes_pipeline.h"

namespace flux_host {

constexpr int info_fields = 16;
constexpr std::size_t message_size = 1024;

// The checked arguments; the flags in host-managed memory (mxCalloc).
struct request {
  const double* S = nullptr;
  std::uint64_t m = 0, n = 0;
  std::uint8_t* reversible = nullptr;
  unsigned threads = 0;
  bits::flux_modes_options options;
};

// Reads S, reversible, n_threads and settings from args[0 .. 3]; ends the
// call with a message when one is not as it must be.
inline void read_request(const mxArray* const* args, request* r) {
  const mxArray *S = args[0], *reversible = args[1], *settings = args[3];
  if (!host::is_real_full_of(S, mxDOUBLE_CLASS))
    host::fail("S must be a real full double matrix . . .");
  r->m = host::rows(S);
  r->n = host::columns(S);
  if (r->n == 0) host::fail("S must have at least one column (reaction) . . .");
  if (r->n >= bits::max_ray_length) host::fail("S must have fewer than 2^20 columns . . .");
  const mxClassID rc = mxGetClassID(reversible);
  if ((rc != mxLOGICAL_CLASS && rc != mxDOUBLE_CLASS) || !host::is_real_full(reversible) ||
      host::elements(reversible) != r->n)
    host::fail("reversible must be a logical or double array with one element per column of S . . .");
  r->threads = host::thread_request(args[2]);
  if (!host::is_real_full_of(settings, mxDOUBLE_CLASS) || host::elements(settings) > 5)
    host::fail("settings must be a real double array of at most five elements . . .");
  double v[5] = {64, 4, 0, 0, 1};
  for (std::uint64_t k = 0; k < host::elements(settings); ++k) v[k] = host::data<double>(settings)[k];
  if (!(v[0] >= 1 && v[0] <= 1e9) || !(v[1] >= 0 && v[1] < bits::mode_orders && v[1] == static_cast<int>(v[1])) ||
      !(v[3] >= 0 && v[3] < 1.8e19))
    host::fail("settings must hold a leaf size from 1, an order from 0 to 4 and a memory budget of 0 or more "
               "bytes . . .");
  r->S = host::data<double>(S);
  r->reversible = static_cast<std::uint8_t*>(mxCalloc(r->n, 1));
  for (std::uint64_t j = 0; j < r->n; ++j)
    r->reversible[j] = rc == mxLOGICAL_CLASS ? host::data<std::uint8_t>(reversible)[j] != 0
                                             : host::data<double>(reversible)[j] != 0.0;
  bits::flux_modes_options& o = r->options;
  o.leaf_size = static_cast<std::uint64_t>(v[0]);
  o.order = static_cast<bits::mode_order>(static_cast<int>(v[1]));
  o.max_bytes = static_cast<std::uint64_t>(v[3]);
  if (o.max_bytes == 0) o.max_bytes = host::physical_memory() / 10 * 9;
  o.compress = v[4] != 0;
  o.piece = 4096;  // modes per piece expanded at once: a few MB at most
  if (v[2] != 0) {
    o.note = [](void* run, const char* line) {
      host::post(static_cast<host::interruptible_run*>(run), line);
      host::post(static_cast<host::interruptible_run*>(run), "\n");
    };
    o.step = [](void* run, const bits::dd_step_report& report) {
      char line[400];
      bits::describe_step(report, line, sizeof line);
      host::post(static_cast<host::interruptible_run*>(run), line);
    };
  }
}

// A sink in front of another that ends the run when Ctrl-C is pressed while
// the modes are written (the double description polls the flag itself).
class stoppable_sink : public bits::mode_sink {
 public:
  stoppable_sink(bits::mode_sink* inner, const std::atomic<int>* stop) : inner_(inner), stop_(stop) {}
  bool wants_modes() const override { return inner_->wants_modes(); }
  bool wants_block() const override { return inner_->wants_block(); }
  bool any_order() const override { return inner_->any_order(); }
  void keep_partial() override { inner_->keep_partial(); }
  std::int64_t* allocate_block(std::uint64_t reactions, std::uint64_t count) override {
    return inner_->allocate_block(reactions, count);
  }
  void free_block(std::int64_t* modes) override { inner_->free_block(modes); }
  bool take(std::int64_t* modes, std::uint64_t reactions, std::uint64_t count, std::string* error) override {
    return inner_->take(modes, reactions, count, error);
  }
  bool network(const bits::compressed_network& net, std::string* error) override {
    return inner_->network(net, error);
  }
  bool begin(std::uint64_t reactions, std::uint64_t count, std::string* error) override {
    return inner_->begin(reactions, count, error);
  }
  bool write(const std::int64_t* modes, std::uint64_t count, std::string* error) override {
    if (stop_->load() != 0) {
      *error = "Interrupted by Ctrl-C while the modes were written; the run stopped and freed its memory";
      return false;
    }
    return inner_->write(modes, count, error);
  }
  bool finish(std::string* error) override { return inner_->finish(error); }

 private:
  bits::mode_sink* inner_;
  const std::atomic<int>* stop_;
};

// The modes straight into an int64 host array (reactions x modes), which the
// calling thread makes when the run knows their number (the run's thread may
// not call the host): the run asks for it and waits; serve(), on the calling
// thread, makes it. The run expands, orients and orders the modes in that
// array itself (allocate_block, take), so it is the call's output and no copy
// of the modes is ever made; in front of a sink that takes them in pieces
// (compressed_modes.h) it gets them a piece at a time. The host ends the
// call when it has no memory for the array: the calling thread first asks the
// system for as many bytes, and the run fails with a message when it cannot
// have them.
class host_modes : public bits::mode_sink {
 public:
  explicit host_modes(host::interruptible_run* run) : run_(run) {}
  mxArray* array = nullptr;  // the output, once made

  bool wants_block() const override { return true; }
  std::int64_t* allocate_block(std::uint64_t reactions, std::uint64_t count) override {
    return ask(reactions, count) ? data_ : nullptr;
  }
  void free_block(std::int64_t* modes) override {
    if (modes != data_) std::free(modes);  // the host frees its array with the failed call
  }
  bool take(std::int64_t* modes, std::uint64_t reactions, std::uint64_t count, std::string* error) override {
    if (modes != data_) return mode_sink::take(modes, reactions, count, error);
    filled_ = count;
    return true;
  }
  bool begin(std::uint64_t reactions, std::uint64_t count, std::string* error) override {
    filled_ = 0;
    if (array != nullptr && reactions == rows_ && count == count_) return true;  // made for the block
    if (ask(reactions, count)) return true;
    *error = "the modes need " + std::to_string(reactions * count * 8) + " bytes (" + std::to_string(count) +
             " modes of " + std::to_string(reactions) + " reactions), more than the memory at hand";
    return false;
  }
  bool write(const std::int64_t* modes, std::uint64_t count, std::string* error) override {
    if (filled_ + count > count_) {
      *error = "more modes written than announced";
      return false;
    }
    std::memcpy(data_ + filled_ * rows_, modes, static_cast<std::size_t>(count * rows_ * sizeof(std::int64_t)));
    filled_ += count;
    return true;
  }
  bool finish(std::string* error) override {
    if (filled_ == count_) return true;
    *error = "fewer modes written than announced";
    return false;
  }
  // Calling thread: makes the array asked for, if any.
  void serve() {
    if (state_.load() != asked) return;
    const std::uint64_t bytes = rows_ * count_ * sizeof(std::int64_t);  // rows < 2^20, count < 2^32
    void* probe = std::malloc(static_cast<std::size_t>(bytes > 0 ? bytes : 1));
    if (probe != nullptr) {
      std::free(probe);
      array = host::result_int64(rows_, count_);
      if (array != nullptr) data_ = static_cast<std::int64_t*>(mxGetData(array));
    }
    state_.store(answered);
  }

 private:
  enum { idle, asked, answered };
  // Run's thread: asks the calling thread for the array and waits for it;
  // false when it could not be made.
  bool ask(std::uint64_t reactions, std::uint64_t count) {
    if (array != nullptr) return false;  // one array per call
    rows_ = reactions;
    count_ = count;
    state_.store(asked);
    if (run_->on_calling_thread) serve();
    while (state_.load() != answered) host::sleep_ms(1);
    return array != nullptr;
  }
  host::interruptible_run* run_;
  std::atomic<int> state_{idle};
  std::uint64_t rows_ = 0, count_ = 0, filled_ = 0;
  std::int64_t* data_ = nullptr;
};

namespace detail {

struct job {
  const request* r;
  bits::mode_sink* sink;
  bits::flux_modes_info info;
  bool ok = false;
  char message[message_size];
};

inline void run_job(void* context) {
  job* j = static_cast<job*>(context);
  std::string error;
  j->ok = bits::run_flux_modes(j->r->S, j->r->m, j->r->n, j->r->reversible, j->r->options, j->sink, &j->info,
                               &error);
  if (!j->ok) std::snprintf(j->message, sizeof j->message, "%s", error.c_str());
}

inline void serve(void* sink) { static_cast<host_modes*>(sink)->serve(); }

}  // namespace detail

// Runs the pipeline on `r` into `sink`, on a thread of its own under `run`
// (the caller's, so that the sinks can see its stop flag), serving
// `array_sink` (may be null) from the calling thread. True when it
// finished; else `message` holds the reason, ending " . . .".
inline bool run(host::interruptible_run* run, request* r, bits::mode_sink* sink, host_modes* array_sink,
                bits::flux_modes_info* info, char* message) {
  host::set_thread_budget(r->threads);
  stoppable_sink stoppable(sink, &run->stop);
  detail::job j{r, &stoppable, {}, false, {}};
  r->options.stop = &run->stop;
  r->options.context = run;
  run->job = detail::run_job;
  run->context = &j;
  if (array_sink != nullptr) {
    run->serve = detail::serve;
    run->serve_context = array_sink;
  }
#ifdef _OPENMP
  run->threads = static_cast<unsigned>(omp_get_max_threads());
#endif
  host::run_interruptibly(run);
  *info = j.info;
  if (j.ok) return true;
  j.message[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(j.message[0])));
  std::snprintf(message, message_size, "%.*s . . .", static_cast<int>(message_size - 8), j.message);
  return false;
}

// The info row (see the top).
inline mxArray* info_row(const bits::flux_modes_info& i) {
  mxArray* a = mxCreateNumericMatrix(1, info_fields, mxDOUBLE_CLASS, mxREAL);
  double* v = static_cast<double*>(mxGetData(a));
  const double values[info_fields] = {
      double(i.modes),         double(i.reactions),          double(i.metabolites), double(i.compressed_reactions),
      double(i.compressed_metabolites), double(i.reversible), double(i.dimension),   double(i.stats.steps),
      double(i.stats.candidates), double(i.stats.adjacent),  double(i.stats.rejected), double(i.stats.largest),
      double(i.stats.max_rays), double(i.stats.peak_bytes),  i.seconds,             i.stats.seconds};
  std::memcpy(v, values, sizeof values);
  return a;
}

}  // namespace flux_host

#endif
