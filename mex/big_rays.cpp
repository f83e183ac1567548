// [X, info, scaled] = big_rays(A, B, n_threads, settings)
//
// The extreme rays of the pointed cone {x : A x >= 0, B x = 0} with integers
// of any size (GMP, core/big_rays.h): rows given as int64, uint64 or
// integer-valued double matrices, or as cell arrays of decimal integers and
// fractions p/q; rays returned as int64 when every entry fits, else as a cell
// array of decimal strings, and as doubles scaled to unit maximum norm. Every
// argument is checked before the run. The run (reading the text entries
// too) goes to a thread of its own (mex/host_interrupt.h) while the calling
// thread prints its progress and watches for Ctrl-C, which stops it; every
// object of GMP is gone before the host is called to fail or to make the
// results.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "mex/host_args.h"
#include "mex/host_interrupt.h"
#include "core/big_rays.h"

#include "mex/cxx_runtime.h"

namespace {

// A matrix argument as the run reads it: numbers in place, or the text of
// each entry in one block (entry k from text + start[k], zero-terminated).
struct rows_arg {
  mxClassID cls = mxDOUBLE_CLASS;
  std::uint64_t m = 0, n = 0;
  const void* numbers = nullptr;
  const char* text = nullptr;
  const std::uint64_t* start = nullptr;
};

// What the run leaves for the host: plain memory only.
struct outcome {
  int error = 0;                 // 0 none; 1 bad entry; 2 not pointed; 3 failed run
  std::uint64_t which = 0, row = 0, col = 0;  // bad entry: 0 A, 1 B; its row and column
  std::uint64_t rank = 0;
  bits::dd_status status = bits::dd_status::ok;
  bits::dd_statistics stats;
  bits::dd_result run;           // its rays: count x (n entries of limbs + 1 words)
  std::uint64_t count = 0, limbs = 0, d = 0;
};

// On the run's thread: the line goes to the calling thread to print.
void print_step(void* run, const bits::dd_step_report& r) {
  char line[400];
  bits::describe_step(r, line, sizeof line);
  host::post(static_cast<host::interruptible_run*>(run), line);
}

// The rows of `a` as coprime integers, row-major; false (and *row, *col)
// at an entry that is not a number.
bool read_rows(const rows_arg& a, std::vector<bits::big_int>* out, std::uint64_t* row, std::uint64_t* col) {
  const std::uint64_t m = a.m, n = a.n;
  out->resize(m * n);
  std::vector<mpq_t> q(n);
  for (auto& v : q) mpq_init(v);
  bool ok = true;
  for (std::uint64_t r = 0; r < m && ok; ++r) {
    for (std::uint64_t c = 0; c < n && ok; ++c) {
      const std::uint64_t k = r + c * m;
      switch (a.cls) {
        case mxINT64_CLASS: {
          const std::int64_t v = static_cast<const std::int64_t*>(a.numbers)[k];
          mpz_set_si(mpq_numref(q[c]), v);
          mpz_set_ui(mpq_denref(q[c]), 1);
          break;
        }
        case mxUINT64_CLASS:
          mpz_set_ui(mpq_numref(q[c]), static_cast<const std::uint64_t*>(a.numbers)[k]);
          mpz_set_ui(mpq_denref(q[c]), 1);
          break;
        case mxDOUBLE_CLASS:
          mpq_set_d(q[c], static_cast<const double*>(a.numbers)[k]);  // checked to be an integer
          break;
        default:
          ok = bits::parse_rational(a.text + a.start[k], std::strlen(a.text + a.start[k]), q[c]);
          break;
      }
      if (!ok) {
        *row = r;
        *col = c;
      }
    }
    if (ok) bits::primitive_row(q.data(), n, out->data() + r * n);
  }
  for (auto& v : q) mpq_clear(v);
  return ok;
}

void run(const rows_arg& A, const rows_arg& B, const double* setting, std::uint64_t budget,
         host::interruptible_run* progress, outcome* o) {
  std::vector<bits::big_int> a, b;
  if (!read_rows(A, &a, &o->row, &o->col)) {
    o->error = 1;
    return;
  }
  if (!read_rows(B, &b, &o->row, &o->col)) {
    o->error = 1;
    o->which = 1;
    return;
  }
  const int code = static_cast<int>(setting[1]);
  const bits::row_order order = code == 1   ? bits::row_order::lexmax
                                : code == 2 ? bits::row_order::input
                                            : bits::row_order::lexmin;
  bits::big_start start;
  if (bits::big_setup(a, A.m, b, B.m, A.n, order, &start) != bits::cone_setup_status::ok) {
    o->error = 2;
    o->rank = start.rank;
    return;
  }
  o->d = start.d;
  o->limbs = 1;
  if (start.d == 0) return;  // B alone has full rank: the cone is the origin, no rays
  bits::dd_problem problem{nullptr, start.m, start.n, nullptr, start.d, start.sequence.data(), nullptr,
                           code == 3, static_cast<std::uint64_t>(setting[0]), budget,
                           bits::best_simd_isa(), bits::dd_parallel_work,
                           setting[2] != 0 ? print_step : nullptr, progress};
  problem.stop = &progress->stop;
  bits::big_entries store{&problem, start.A.data(), start.X0.data(), 1,
                          std::uint64_t(1) << 20, 0, {}};
  o->status = bits::run_double_description_with(problem, store, &o->run, &o->stats);
  if (o->status != bits::dd_status::ok) {
    o->error = 3;
    return;
  }
  o->count = o->run.count;
  o->limbs = store.limbs;
}

// Reads argument `a` into *out; text entries are copied
// into host memory. Ends the call with `message` when it is not a matrix of
// numbers or text.
void take_rows(const mxArray* a, const char* message, rows_arg* out) {
  out->cls = mxGetClassID(a);
  out->m = host::rows(a);
  out->n = host::columns(a);
  if (out->cls == mxINT64_CLASS || out->cls == mxUINT64_CLASS || out->cls == mxDOUBLE_CLASS) {
    if (!host::is_real_full(a)) host::fail(message);
    out->numbers = mxGetData(a);
    if (out->cls == mxDOUBLE_CLASS)
      for (std::uint64_t k = 0; k < out->m * out->n; ++k) {
        const double v = static_cast<const double*>(out->numbers)[k];
        // An integer: beyond 2^52 every finite double is one.
        const bool whole = v == v && ((v >= 4503599627370496.0 || v <= -4503599627370496.0)
                                          ? v - v == 0.0
                                          : v == static_cast<double>(static_cast<std::int64_t>(v)));
        if (!whole) host::fail(message);
      }
    return;
  }
  if (out->cls != mxCELL_CLASS) host::fail(message);
  const std::uint64_t count = out->m * out->n;
  std::uint64_t bytes = 0;
  for (std::uint64_t k = 0; k < count; ++k) {
    const mxArray* e = mxGetCell(a, static_cast<mwIndex>(k));
    if (e == nullptr || !mxIsChar(e) || host::rows(e) > 1) host::fail(message);
    bytes += 4 * host::elements(e) + 1;  // UTF-8 of each character, and the end
  }
  char* text = static_cast<char*>(mxCalloc(bytes + 1, 1));
  std::uint64_t* start = static_cast<std::uint64_t*>(mxCalloc(count + 1, sizeof(std::uint64_t)));
  std::uint64_t at = 0;
  for (std::uint64_t k = 0; k < count; ++k) {
    const mxArray* e = mxGetCell(a, static_cast<mwIndex>(k));
    start[k] = at;
    const std::uint64_t room = 4 * host::elements(e) + 1;
    mxGetString(e, text + at, static_cast<mwSize>(room));
    at += room;
  }
  out->text = text;
  out->start = start;
}

}  // namespace

BITS_MEX_ENTRY(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  host::pin_openmp_runtime();
  if (nrhs != 4) host::fail("Four input arguments required . . .");
  if (nlhs < 1 || nlhs > 3) host::fail("One to three output arguments required . . .");
  rows_arg A, B;
  take_rows(prhs[0], "A must be an int64, uint64 or double matrix of integers, or a cell array of "
                     "decimal integers and fractions p/q . . .", &A);
  take_rows(prhs[1], "B must be an int64, uint64 or double matrix of integers, or a cell array of "
                     "decimal integers and fractions p/q . . .", &B);
  if (A.m < 1 || A.n < 1) host::fail("A must have at least one row and one column . . .");
  if (A.n >= bits::max_ray_length) host::fail("Rays must have fewer than 2^20 entries . . .");
  if (B.m > 0 && B.n != A.n) host::fail("B must have as many columns as A . . .");
  if (A.m >= (std::uint64_t(1) << 32)) host::fail("A must have fewer than 2^32 rows . . .");
  if (B.m == 0) B.n = A.n;
  const unsigned threads = host::thread_request(prhs[2]);
  const mxArray* settings = prhs[3];
  if (!host::is_real_full_of(settings, mxDOUBLE_CLASS) || host::elements(settings) > 4)
    host::fail("settings must be a real double array of at most four elements . . .");
  // settings: leaf size, row order (0 lexmin, 1 lexmax, 2 input, 3 fewest
  // pairs next), progress, memory budget in bytes.
  double setting[4] = {64, 0, 0, 0};
  for (std::uint64_t k = 0; k < host::elements(settings); ++k) setting[k] = host::data<double>(settings)[k];
  if (!(setting[0] >= 1 && setting[0] <= 1e9) || !(setting[3] >= 0 && setting[3] < 1.8e19) ||
      !(setting[1] == 0 || setting[1] == 1 || setting[1] == 2 || setting[1] == 3))
    host::fail("settings must hold a leaf size from 1, an order from 0 to 3 and a memory budget "
               "of 0 or more bytes . . .");
  std::uint64_t budget = static_cast<std::uint64_t>(setting[3]);
  if (budget == 0) budget = host::physical_memory() / 10 * 9;

  host::set_thread_budget(threads);
  outcome o;
  {
    struct job_t {
      const rows_arg *A, *B;
      const double* setting;
      std::uint64_t budget;
      host::interruptible_run* run;
      outcome* o;
    };
    host::interruptible_run r;
    job_t job{&A, &B, setting, budget, &r, &o};
    r.job = [](void* c) {
      const job_t* j = static_cast<const job_t*>(c);
      run(*j->A, *j->B, j->setting, j->budget, j->run, j->o);
    };
    r.context = &job;
#ifdef _OPENMP
    r.threads = static_cast<unsigned>(omp_get_max_threads());
#endif
    host::run_interruptibly(&r);
  }

  char message[400];
  switch (o.error) {
    case 1:
      std::snprintf(message, sizeof message, "%s(%llu,%llu) is not a decimal integer or fraction p/q . . .",
                    o.which ? "B" : "A", static_cast<unsigned long long>(o.row + 1),
                    static_cast<unsigned long long>(o.col + 1));
      host::fail(message);
    case 2:
      std::snprintf(message, sizeof message,
                    "The cone is not pointed: it contains a line (rank of [A; B] is %llu, not %llu) . . .",
                    static_cast<unsigned long long>(o.rank), static_cast<unsigned long long>(A.n));
      host::fail(message);
    case 3:
      bits::describe_failure(o.status, o.stats, budget, message, sizeof message - 8);
      std::strcat(message, " . . .");
      host::fail(message);
    default:
      break;
  }

  // The rays into host memory, so that nothing is left behind if the host
  // cannot make the results; in order of their entries.
  const std::uint64_t n = A.n, words = n * (o.limbs + 1);
  std::int64_t* X = static_cast<std::int64_t*>(mxCalloc(o.count * words + 1, sizeof(std::int64_t)));
  if (o.count > 0) std::memcpy(X, o.run.X, o.count * words * sizeof(std::int64_t));
  o.run.free_rays();
  const bits::big_ray_set rays{X, o.count, n, o.limbs};
  std::uint64_t* order = static_cast<std::uint64_t*>(mxCalloc(o.count + 1, sizeof(std::uint64_t)));
  {
    const std::vector<std::uint64_t> sorted = rays.sorted();
    std::copy(sorted.begin(), sorted.end(), order);
  }
  const mwSize rows = static_cast<mwSize>(n), cols = static_cast<mwSize>(o.count);
  if (rays.fits_int64()) {
    plhs[0] = mxCreateNumericMatrix(rows, cols, mxINT64_CLASS, mxREAL);
    std::int64_t* out = static_cast<std::int64_t*>(mxGetData(plhs[0]));
    for (std::uint64_t j = 0; j < o.count; ++j)
      for (std::uint64_t i = 0; i < n; ++i) out[j * n + i] = rays.int64_entry(order[j], i);
  } else {
    plhs[0] = mxCreateCellMatrix(rows, cols);
    char* digits = nullptr;
    std::uint64_t room = 0;
    for (std::uint64_t j = 0; j < o.count; ++j)
      for (std::uint64_t i = 0; i < n; ++i) {
        const std::uint64_t need = rays.decimal_size(order[j], i);
        if (need > room) {
          room = 2 * need;
          digits = static_cast<char*>(mxCalloc(room, 1));
        }
        rays.decimal(order[j], i, digits);
        mxSetCell(plhs[0], static_cast<mwIndex>(j * n + i), mxCreateString(digits));
      }
  }
  if (nlhs > 1) {
    mxArray* info = mxCreateNumericMatrix(1, 10, mxDOUBLE_CLASS, mxREAL);
    double* v = static_cast<double*>(mxGetData(info));
    v[0] = static_cast<double>(o.stats.steps);
    v[1] = static_cast<double>(o.stats.candidates);
    v[2] = static_cast<double>(o.stats.adjacent);
    v[3] = static_cast<double>(o.stats.rejected);
    v[4] = static_cast<double>(o.stats.largest);
    v[5] = static_cast<double>(o.stats.max_rays);
    v[6] = static_cast<double>(o.stats.peak_bytes);
    v[7] = o.stats.seconds;
    v[8] = static_cast<double>(o.d);
    v[9] = static_cast<double>(o.limbs);
    plhs[1] = info;
  }
  if (nlhs > 2) {
    plhs[2] = mxCreateNumericMatrix(rows, cols, mxDOUBLE_CLASS, mxREAL);
    double* out = static_cast<double*>(mxGetData(plhs[2]));
    const bool small = rays.fits_int64();
    for (std::uint64_t j = 0; j < o.count; ++j) {
      if (!small) {
        rays.scaled(order[j], out + j * n);
        continue;
      }
      // Within int64: the quotient of the two doubles.
      double top = 0;
      for (std::uint64_t i = 0; i < n; ++i) {
        const double v = static_cast<double>(rays.int64_entry(order[j], i));
        out[j * n + i] = v;
        top = v > top ? v : (-v > top ? -v : top);
      }
      if (top > 0)
        for (std::uint64_t i = 0; i < n; ++i) out[j * n + i] /= top;
    }
  }
}
