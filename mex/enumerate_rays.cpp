// [X, info] = enumerate_rays(A, X0, sequence, reversible, n_threads, settings)
// [VX, info] = enumerate_rays(A, X0, sequence, reversible, n_threads, settings, V)
//
// The whole double description method in one call (core/double_description.h):
// the extreme rays of the cone of the rows of A inside the span of the
// initial rays X0, or, with reversible rows, its support-minimal vectors
// (elementary flux modes). Candidate pairs are screened as they are found,
// never stored; OpenMP threads share each step's pairs. Every argument is
// checked before anything is allocated. The run goes to a thread of its
// own (mex/host_interrupt.h) while the calling thread prints its progress
// and watches for Ctrl-C, which stops it within milliseconds: its memory
// freed, the call ends with an error.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mex/host_args.h"
#include "mex/host_interrupt.h"
#include "core/double_description.h"


namespace {

// On the run's thread: the line goes to the calling thread to print.
void print_step(void* run, const bits::dd_step_report& r) {
  char line[400];
  bits::describe_step(r, line, sizeof line);
  host::post(static_cast<host::interruptible_run*>(run), line);
}

struct dd_job {
  bits::dd_problem problem;
  bits::dd_result result;
  bits::dd_statistics stats;
  bits::dd_status status = bits::dd_status::ok;
};

void run_dd_job(void* context) {
  dd_job* job = static_cast<dd_job*>(context);
  job->status = bits::run_double_description(job->problem, &job->result, &job->stats);
}

// Row numbers of `sequence` (uint32 or double), checked to be a permutation
// of 0 .. m-1; false when not.
bool read_sequence(const mxArray* a, std::uint64_t m, std::uint64_t* out, std::uint8_t* seen) {
  const bool is_uint32 = mxGetClassID(a) == mxUINT32_CLASS;
  for (std::uint64_t r = 0; r < m; ++r) seen[r] = 0;
  for (std::uint64_t k = 0; k < m; ++k) {
    std::uint64_t r;
    if (is_uint32) {
      r = host::data<std::uint32_t>(a)[k];
    } else {
      const double v = host::data<double>(a)[k];
      if (!(v >= 0.0) || v != static_cast<double>(static_cast<std::uint64_t>(v < 1e19 ? v : 0))) return false;
      r = static_cast<std::uint64_t>(v);
    }
    if (r >= m || seen[r]) return false;
    seen[r] = 1;
    out[k] = r;
  }
  return true;
}

}  // namespace

BITS_MEX_ENTRY(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  host::pin_openmp_runtime();
  if (nrhs != 6 && nrhs != 7) host::fail("Six or seven input arguments required . . .");
  if (nlhs < 1 || nlhs > 2) host::fail("One or two output arguments required . . .");
  const mxArray* A = prhs[0];
  const mxArray* X0 = prhs[1];
  const mxArray* sequence = prhs[2];
  const mxArray* reversible = prhs[3];
  const mxArray* n_threads = prhs[4];
  const mxArray* settings = prhs[5];
  const mxArray* V = nrhs == 7 ? prhs[6] : nullptr;  // rows to return the rays' values on

  if (!host::is_real_full_of(A, mxINT64_CLASS) || !host::is_real_full_of(X0, mxINT64_CLASS))
    host::fail("A and X0 must be real int64 matrices . . .");
  const std::uint64_t m = host::rows(A), n = host::columns(A), d = host::columns(X0);
  if (host::rows(X0) != n) host::fail("X0 must have one row per column of A . . .");
  if (n >= bits::max_ray_length) host::fail("Rays must have fewer than 2^20 entries . . .");
  if (d < 1 || d > m || d > n)
    host::fail("X0 must have at least one column and no more than A has rows or columns . . .");
  const mxClassID sc = mxGetClassID(sequence);
  if ((sc != mxUINT32_CLASS && sc != mxDOUBLE_CLASS) || !host::is_real_full(sequence) ||
      host::elements(sequence) != m)
    host::fail("sequence must be a uint32 or double array with one element per row of A . . .");
  const mxClassID rc = mxGetClassID(reversible);
  if ((rc != mxLOGICAL_CLASS && rc != mxDOUBLE_CLASS) || !host::is_real_full(reversible) ||
      host::elements(reversible) != m)
    host::fail("reversible must be a logical or double array with one element per row of A . . .");
  const unsigned threads = host::thread_request(n_threads);
  if (!host::is_real_full_of(settings, mxDOUBLE_CLASS) || host::elements(settings) > 4)
    host::fail("settings must be a real double array of at most four elements . . .");
  // settings: leaf size, dynamic order, progress, memory budget in bytes.
  double setting[4] = {64, 0, 0, 0};
  for (std::uint64_t k = 0; k < host::elements(settings); ++k) setting[k] = host::data<double>(settings)[k];
  if (!(setting[0] >= 1 && setting[0] <= 1e9) || !(setting[3] >= 0 && setting[3] < 1.8e19))
    host::fail("settings must hold a leaf size from 1 and a memory budget of 0 or more bytes . . .");

  if (V != nullptr && (!host::is_real_full_of(V, mxINT64_CLASS) || host::columns(V) != n))
    host::fail("V must be a real int64 matrix with one column per column of A . . .");

  std::uint64_t* order = static_cast<std::uint64_t*>(mxCalloc(m, sizeof(std::uint64_t)));
  std::uint8_t* seen = static_cast<std::uint8_t*>(mxCalloc(m, 1));
  if (!read_sequence(sequence, m, order, seen))
    host::fail("sequence must hold every row of A once, as 0-based row numbers . . .");
  std::uint8_t* rev = seen;  // reused: the reversible flags
  for (std::uint64_t r = 0; r < m; ++r)
    rev[r] = rc == mxLOGICAL_CLASS ? host::data<std::uint8_t>(reversible)[r] != 0
                                   : host::data<double>(reversible)[r] != 0.0;

  // X0: a_i . x0_j zero for i != j and positive for i == j (rows in sequence).
  const std::int64_t* a = host::data<std::int64_t>(A);
  const std::int64_t* x0 = host::data<std::int64_t>(X0);
  for (std::uint64_t i = 0; i < d; ++i)
    for (std::uint64_t j = 0; j < d; ++j) {
      const int s = bits::dot_sign(a + order[i], m, x0 + j * n, n);
      if (i == j ? s <= 0 : s != 0)
        host::fail("X0 must hold the initial rays of the first rows of the sequence: "
                   "a_i x0_j = 0 for i ~= j and > 0 for i == j . . .");
    }

  std::uint64_t budget = static_cast<std::uint64_t>(setting[3]);
  if (budget == 0) budget = host::physical_memory() / 10 * 9;
  host::set_thread_budget(threads);
  // The run's thread and its hand-over live in this scope alone, so that
  // nothing of theirs is held when the call ends with an error.
  bits::dd_status status;
  bits::dd_result result;
  bits::dd_statistics stats;
  {
    host::interruptible_run run;
    dd_job job{};
    job.problem = {a, m, n, x0, d, order, rev, setting[1] == 2 ? 2 : setting[1] != 0,
                   static_cast<std::uint64_t>(setting[0]), budget, bits::best_simd_isa(), bits::dd_parallel_work,
                   setting[2] != 0 ? print_step : nullptr, &run};
    job.problem.stop = &run.stop;
    run.job = run_dd_job;
    run.context = &job;
#ifdef _OPENMP
    run.threads = static_cast<unsigned>(omp_get_max_threads());
#endif
    host::run_interruptibly(&run);
    status = job.status;
    result = job.result;
    stats = job.stats;
  }

  if (status != bits::dd_status::ok) {
    result.free_rays();
    char message[400];
    bits::describe_failure(status, stats, budget, message, sizeof message - 8);
    std::strcat(message, " . . .");
    host::fail(message);
  }

  const std::uint64_t p = V != nullptr ? host::rows(V) : n;
  // Every element is written below.
  mxArray* out = host::result_int64(p, result.count);
  if (out == nullptr) {
    result.free_rays();
    host::fail("The rays found need more memory than is at hand for the result . . .");
  }
  if (V != nullptr) {
    if (!bits::row_values(host::data<std::int64_t>(V), p, n, result.X, result.count,
                          static_cast<std::int64_t*>(mxGetData(out)))) {
      result.free_rays();
      host::fail("A ray's value on a row of V is beyond the int64 range . . .");
    }
  } else if (result.count > 0) {
    std::memcpy(mxGetData(out), result.X, static_cast<std::size_t>(n * result.count * sizeof(std::int64_t)));
  }
  result.free_rays();
  plhs[0] = out;
  if (nlhs > 1) {
    mxArray* info = mxCreateNumericMatrix(1, 8, mxDOUBLE_CLASS, mxREAL);
    double* v = static_cast<double*>(mxGetData(info));
    v[0] = static_cast<double>(stats.steps);
    v[1] = static_cast<double>(stats.candidates);
    v[2] = static_cast<double>(stats.adjacent);
    v[3] = static_cast<double>(stats.rejected);
    v[4] = static_cast<double>(stats.largest);
    v[5] = static_cast<double>(stats.max_rays);
    v[6] = static_cast<double>(stats.peak_bytes);
    v[7] = stats.seconds;
    plhs[1] = info;
  }
}
