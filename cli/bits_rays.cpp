// bits_rays: the vertices and extreme rays of a polyhedron given by an
// H-representation in the file format of lrs and cddlib (.ine), written as a
// V-representation (.ext), by the double description method of the toolbox
// (core/double_description.h), exactly.
//
// Built with BITS_MPI (as bits_rays_mpi), the same run is shared by the
// processes of an MPI job: every process keeps every ray's pattern and the
// pattern trees, but the entries of its own rays only; the screening of a
// step's candidate pairs is divided among them, the adjacent pairs found
// are gathered by all (8 bytes a pair), and each process makes an equal run
// of the new rays, fetching the entries of others' rays its pairs use (see
// dd_partition). Process 0 reads the file, sends it to the others, prints
// the progress and writes the result, merging the processes' sorted rays as
// it writes; the output does not depend on the number of processes. The run
// with integers of any size divides the screening only.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include <unistd.h>

#include "cli/cli_common.h"
#include "core/cone_setup.h"
#include "core/double_description.h"
#include "core/polyhedron_file.h"
#include "core/simd.h"
#ifdef BITS_GMP
#include "core/big_rays.h"
#endif

#ifdef BITS_MPI
#include <mpi.h>
#endif

namespace {

using cli_common::physical_memory;
using cli_common::print_step;
using cli_common::read_all;

#ifdef BITS_MPI
const char* program = "bits_rays_mpi";
#else
const char* program = "bits_rays";
#endif
int rank = 0, ranks = 1;

void usage(FILE* to) {
  std::fprintf(to,
               "usage: %s [options] [FILE.ine]\n"
               "The vertices and extreme rays of the polyhedron of FILE (or standard input),\n"
               "an H-representation in the format of lrs and cddlib, written to standard output\n"
               "as a V-representation.\n"
               "  -t, --threads N   threads%s (default: the cores%s)\n"
               "  --order ORDER     order of the rows: lexmin (default), lexmax, input, fewestpairs\n"
               "  --progress        one line per step on standard error\n"
               "  --memory BYTES    memory budget of a process (suffix k, M or G; default 90%% of\n"
               "                    the machine's memory%s)\n"
               "  -o FILE           write to FILE instead of standard output\n"
               "  -h, --help        this text\n",
               program, ranks > 1 || rank > 0 ? " per process" : "",
#ifdef BITS_MPI
               " of the machine shared by its processes",
               ", shared by the processes on the machine"
#else
               "", ""
#endif
  );
}

// Ends the program with a message. Every process of a job comes here alike,
// but for a failure of this process alone (`alone`), which ends the job.
[[noreturn]] void die(const std::string& message, bool alone = false) {
  if (rank == 0 || alone) std::fprintf(stderr, "%s: %s\n", program, message.c_str());
#ifdef BITS_MPI
  if (alone && ranks > 1) MPI_Abort(MPI_COMM_WORLD, 1);
  MPI_Finalize();
#endif
  std::exit(1);
}

#ifdef BITS_MPI
// The pairs of every process to every process, in rounds of at most 2^26
// pairs from each, so that no count passed to MPI outgrows an int.
bool gather_pairs(void*, bits::dd_buffer<bits::dd_pair>* pairs, std::uint64_t* candidates,
                  std::uint64_t* adjacent, int* failure) {
  std::uint64_t sums[2] = {*candidates, *adjacent};
  int worst = *failure;
  if (MPI_Allreduce(MPI_IN_PLACE, sums, 2, MPI_UINT64_T, MPI_SUM, MPI_COMM_WORLD) != MPI_SUCCESS ||
      MPI_Allreduce(MPI_IN_PLACE, &worst, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD) != MPI_SUCCESS)
    return false;
  *candidates = sums[0];
  *adjacent = sums[1];
  *failure = worst;
  if (worst != 0) return true;
  std::vector<std::uint64_t> size(ranks);
  std::uint64_t mine = pairs->size;
  if (MPI_Allgather(&mine, 1, MPI_UINT64_T, size.data(), 1, MPI_UINT64_T, MPI_COMM_WORLD) != MPI_SUCCESS)
    return false;
  std::uint64_t total = 0;
  for (std::uint64_t s : size) total += s;
  bits::dd_buffer<bits::dd_pair> all;
  if (!all.resize(total + 1)) {
    *failure = 1;  // every process sees the same total: they fail alike
    pairs->size = 0;
    return true;
  }
  all.size = total;
  const std::uint64_t round = std::uint64_t(1) << 26;
  std::vector<int> count(ranks), offset(ranks);
  std::vector<std::uint64_t> done(ranks, 0), start(ranks, 0);
  for (int r = 1; r < ranks; ++r) start[r] = start[r - 1] + size[r - 1];
  for (;;) {
    int sum = 0;
    for (int r = 0; r < ranks; ++r) {
      count[r] = static_cast<int>(std::min(round, size[r] - done[r]));
      offset[r] = sum;
      sum += count[r];
    }
    if (sum == 0) break;
    std::vector<bits::dd_pair> got(static_cast<std::size_t>(sum));
    if (MPI_Allgatherv(pairs->data + done[rank], count[rank], MPI_UINT64_T, got.data(), count.data(),
                       offset.data(), MPI_UINT64_T, MPI_COMM_WORLD) != MPI_SUCCESS)
      return false;
    for (int r = 0; r < ranks; ++r) {
      std::memcpy(all.data + start[r] + done[r], got.data() + offset[r], count[r] * sizeof(bits::dd_pair));
      done[r] += count[r];
    }
  }
  pairs->swap(all);
  return true;
}

// Sums over the processes, in place, in rounds that keep counts within an int.
template <typename T>
bool sum_over(void*, T* values, std::uint64_t count) {
  static_assert(std::is_same<T, std::int8_t>::value || std::is_same<T, std::uint64_t>::value, "int8 or uint64");
  const MPI_Datatype type = sizeof(T) == 1 ? MPI_INT8_T : MPI_UINT64_T;
  for (std::uint64_t at = 0; at < count; at += std::uint64_t(1) << 26)
    if (MPI_Allreduce(MPI_IN_PLACE, values + at, static_cast<int>(std::min<std::uint64_t>(count - at, 1 << 26)), type,
                      MPI_SUM, MPI_COMM_WORLD) != MPI_SUCCESS)
      return false;
  return true;
}

// Items of item_bytes bytes from every process to every process. Where a
// count or an offset (in items) would outgrow an int, every process learns
// it first and none starts the exchange.
bool exchange_items(void*, const void* send, const std::uint64_t* send_counts, void* recv,
                    const std::uint64_t* recv_counts, std::uint64_t item_bytes) {
  std::vector<int> sc(ranks), sd(ranks), rc(ranks), rd(ranks);
  std::uint64_t so = 0, ro = 0;
  int fits = item_bytes <= INT_MAX;
  for (int k = 0; k < ranks; ++k) {
    fits = fits && so + send_counts[k] <= INT_MAX && ro + recv_counts[k] <= INT_MAX;
    sc[k] = static_cast<int>(send_counts[k]);
    sd[k] = static_cast<int>(so);
    rc[k] = static_cast<int>(recv_counts[k]);
    rd[k] = static_cast<int>(ro);
    so += send_counts[k];
    ro += recv_counts[k];
  }
  if (MPI_Allreduce(MPI_IN_PLACE, &fits, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD) != MPI_SUCCESS || !fits) return false;
  MPI_Datatype item;
  if (MPI_Type_contiguous(static_cast<int>(item_bytes), MPI_BYTE, &item) != MPI_SUCCESS) return false;
  MPI_Type_commit(&item);
  const bool ok = MPI_Alltoallv(send, sc.data(), sd.data(), item, recv, rc.data(), rd.data(), item,
                                MPI_COMM_WORLD) == MPI_SUCCESS;
  MPI_Type_free(&item);
  return ok;
}

// Waits until every process is here, sleeping between polls: rank 0 writes
// the file after the run while the others wait, and MPI's own wait (as in
// MPI_Finalize) spins, taking a shared core from the writer.
void wait_for_all() {
  MPI_Request request;
  if (MPI_Ibarrier(MPI_COMM_WORLD, &request) != MPI_SUCCESS) return;
  int done = 0;
  while (MPI_Test(&request, &done, MPI_STATUS_IGNORE) == MPI_SUCCESS && !done)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}
#endif

// The rays of every process in the output's order, for process 0 to write:
// each process's own rays are sorted (idx), and process 0 merges them,
// taking the others' a block at a time as it needs them, so that no process
// holds every ray.
class sorted_rays {
 public:
  sorted_rays(const std::int64_t* X, const std::vector<std::uint64_t>& idx, std::uint64_t n, std::uint64_t count)
      : X_(X), idx_(idx), n_(n), count_(count), from_(static_cast<std::size_t>(ranks)) {
    from_[0].left = count;
  }
#ifdef BITS_MPI
  // The counts of the others to process 0.
  bool start() {
    std::vector<std::uint64_t> counts(static_cast<std::size_t>(ranks));
    if (MPI_Gather(&count_, 1, MPI_UINT64_T, counts.data(), 1, MPI_UINT64_T, 0, MPI_COMM_WORLD) != MPI_SUCCESS)
      return false;
    for (int k = 1; k < ranks && rank == 0; ++k) from_[k].left = counts[k];
    return true;
  }
  // On the other processes: their rays in order, a block at a time, to process 0.
  void serve() {
    std::vector<std::int64_t> block;
    for (std::uint64_t first = 0; first < count_; first += block_rays) {
      const std::uint64_t c = std::min(block_rays, count_ - first);
      block.resize(c * n_);
      for (std::uint64_t k = 0; k < c; ++k)
        std::memcpy(block.data() + k * n_, X_ + idx_[first + k] * n_, n_ * 8);
      if (MPI_Send(block.data(), static_cast<int>(c * n_), MPI_INT64_T, 0, 1, MPI_COMM_WORLD) != MPI_SUCCESS)
        die("cannot send the rays to process 0", true);
    }
  }
#else
  void serve() {}
#endif
  // On process 0: the next ray of them all in the order `before`.
  template <typename before_fn>
  const std::int64_t* next(before_fn before) {
    int best = -1;
    for (int k = 0; k < ranks; ++k) {
      if (from_[k].left == 0) continue;
      if (k > 0 && from_[k].at == from_[k].size) fill(k);
      if (best < 0 || before(head(k), head(best))) best = k;
    }
    const std::int64_t* x = head(best);
    ++from_[best].at;
    --from_[best].left;
    return x;
  }

 private:
  static constexpr std::uint64_t block_rays = 4096;
  struct source {
    std::vector<std::int64_t> block;
    std::uint64_t at = 0, size = 0, left = 0;
  };
  const std::int64_t* head(int k) const {
    return k == 0 ? X_ + idx_[from_[0].at] * n_ : from_[k].block.data() + from_[k].at * n_;
  }
  void fill(int k) {
#ifdef BITS_MPI
    source& f = from_[k];
    f.size = std::min(block_rays, f.left);
    f.block.resize(f.size * n_);
    f.at = 0;
    if (MPI_Recv(f.block.data(), static_cast<int>(f.size * n_), MPI_INT64_T, k, 1, MPI_COMM_WORLD,
                 MPI_STATUS_IGNORE) != MPI_SUCCESS)
      die("cannot receive the rays of process " + std::to_string(k), true);
#else
    (void)k;
#endif
  }
  const std::int64_t* X_;
  const std::vector<std::uint64_t>& idx_;
  std::uint64_t n_, count_;
  std::vector<source> from_;
};

// Writes the V-representation: `count` rays, of which `points` have x0 > 0
// (for a polyhedron); line(k) gives the k-th line of the body, in order.
template <typename line_fn>
void write_ext(const char* output, const std::string& name, std::uint64_t cols, bool cone, std::uint64_t count,
               std::uint64_t points, line_fn line) {
  FILE* out = output ? std::fopen(output, "wb") : stdout;
  if (out == nullptr) die(std::string("cannot write ") + output + ": " + std::strerror(errno), true);
  // A cone's one point is its apex, the origin; a polyhedron without
  // points is empty.
  const std::uint64_t lines = cone ? count + 1 : (points > 0 ? count : 0);
  std::string body = name.empty() ? "" : name + "\n";
  body += "V-representation\nbegin\n" + std::to_string(lines) + " " + std::to_string(cols) + " rational\n";
  if (cone) {
    body += " 1";
    for (std::uint64_t c = 1; c < cols; ++c) body += " 0";
    body += "\n";
  }
  std::fputs(body.c_str(), out);
  for (std::uint64_t k = 0; k < count && lines > 0; ++k) std::fputs((line(k) + "\n").c_str(), out);
  std::fputs("end\n", out);
  if (!cone && points == 0) std::fputs("*the polyhedron is empty\n", out);
  if (std::fflush(out) != 0 || std::ferror(out) || (out != stdout && std::fclose(out) != 0))
    die(std::string("cannot write ") + (output ? output : "standard output"), true);
}

void report(const bits::dd_statistics& stats, std::uint64_t count) {
  std::fprintf(stderr, "%s: %llu rays, %llu candidate pairs, %llu adjacent, %.2f s\n", program,
               static_cast<unsigned long long>(count), static_cast<unsigned long long>(stats.candidates),
               static_cast<unsigned long long>(stats.adjacent), stats.seconds);
}

void header(std::uint64_t m, std::uint64_t p, std::uint64_t n, bool cone, std::uint64_t steps,
            std::uint64_t threads, const char* kind) {
  std::fprintf(stderr, "%s: %llu rows (%llu equations) in %llu dimensions%s, %llu steps, %d process%s, %llu thread%s each%s\n",
               program, static_cast<unsigned long long>(m), static_cast<unsigned long long>(p),
               static_cast<unsigned long long>(n), cone ? " (a cone)" : "", static_cast<unsigned long long>(steps),
               ranks, ranks == 1 ? "" : "es", static_cast<unsigned long long>(threads), threads == 1 ? "" : "s", kind);
}

bits::dd_partition partition() {
  bits::dd_partition part;
#ifdef BITS_MPI
  part.rank = static_cast<std::uint64_t>(rank);
  part.ranks = static_cast<std::uint64_t>(ranks);
  part.gather = gather_pairs;
#endif
  return part;
}

// The same, the rays' entries shared out among the processes as well (the
// run with int64 entries).
bits::dd_partition shared_partition() {
  bits::dd_partition part = partition();
#ifdef BITS_MPI
  part.sum = sum_over<std::uint64_t>;
  part.sum_signs = sum_over<std::int8_t>;
  part.exchange = exchange_items;
#endif
  return part;
}

// The rows b + a x >= 0 of f (`rows`, f.n entries each, scaled to
// integers) as the cone's inequalities A and equations B: without b when
// every b is 0 (a cone), else with x0 >= 0 added as the row `one` sets to
// (1, 0, ..., 0). Returns the entries per ray.
template <typename T, typename one_fn>
std::uint64_t cone_rows(const bits::polyhedron_file& f, const std::vector<T>& rows, bool cone, std::vector<T>* A,
                        std::vector<T>* B, one_fn one) {
  const std::uint64_t cols = f.n, n = cone ? cols - 1 : cols, skip = cone ? 1 : 0;
  for (std::uint64_t r = 0; r < f.m; ++r)
    (f.linearity[r] ? B : A)->insert((f.linearity[r] ? B : A)->end(), rows.begin() + r * cols + skip,
                                     rows.begin() + (r + 1) * cols);
  if (!cone) {
    A->resize(A->size() + n);
    one(&(*A)[A->size() - n]);
  }
  return n;
}

#ifdef BITS_GMP
// The run with integers of any size (core/big_rays.h): for files with
// entries beyond int64, and for polyhedra whose rays outgrow it. The same
// steps, start and output as the int64 run.
void big_run(const bits::polyhedron_file& f, const std::string& where, bits::row_order order,
             std::uint64_t threads, std::uint64_t budget, bool progress, const char* output) {
  const std::uint64_t cols = f.n;
  std::vector<bits::big_int> rows;
  bits::file_rows(f, &rows);  // the reader has checked every entry's form
  std::vector<bits::big_int> A, B;
  bool cone = true;
  for (std::uint64_t r = 0; r < f.m && cone; ++r) cone = mpz_sgn(rows[r * cols].v) == 0;
  const std::uint64_t n = cone_rows(f, rows, cone, &A, &B, [](bits::big_int* one) { mpz_set_ui(one->v, 1); });
  const std::uint64_t m = n == 0 ? 0 : A.size() / n, p = n == 0 ? 0 : B.size() / n;
  bits::big_start start;
  bits::dd_statistics stats;
  bits::dd_result result;
  std::uint64_t limbs = 1;
  if (n > 0) {
    if (bits::big_setup(A, m, B, p, n, order, &start) != bits::cone_setup_status::ok)
      die(where + ": the polyhedron has a line (its rows have rank " + std::to_string(start.rank) + ", not " +
          std::to_string(n) + "); this program needs a pointed one");
    if (progress && rank == 0)
      header(m, p, n, cone, start.d > 0 ? m - start.d : 0, threads, ", integers of any size");
    if (start.d > 0) {
      const bits::dd_partition part = partition();
      const bits::dd_problem problem{nullptr, m, n, nullptr, start.d, start.sequence.data(),
                                     nullptr, order == bits::row_order::fewestpairs, 64, budget,
                                     bits::best_simd_isa(), bits::dd_parallel_work,
                                     progress && rank == 0 ? print_step : nullptr, nullptr, &part};
      bits::big_entries store{&problem, start.A.data(), start.X0.data(), 1,
                              std::uint64_t(1) << 20, 0, {}};
      const bits::dd_status status = bits::run_double_description_with(problem, store, &result, &stats);
      if (status != bits::dd_status::ok) {
        char message[400];
        bits::describe_failure(status, stats, budget, message, sizeof message);
        die(where + ": " + message, status == bits::dd_status::out_of_memory);
      }
      limbs = store.limbs;
    }
  }
  if (rank == 0) {
    const bits::big_ray_set rays{result.X, result.count, n, limbs};
    std::vector<std::uint64_t> idx = rays.sorted();
    auto x0 = [&](std::uint64_t k) { return rays.entry(k, 0)[0]; };  // sign of x0 as its limb count
    std::uint64_t points = 0;
    if (!cone) {
      std::stable_partition(idx.begin(), idx.end(), [&](std::uint64_t k) { return x0(k) > 0; });
      for (std::uint64_t k : idx) points += x0(k) > 0;
    }
    std::vector<char> digits;
    auto decimal = [&](std::uint64_t k, std::uint64_t c) {
      digits.resize(rays.decimal_size(k, c));
      rays.decimal(k, c, digits.data());
      return std::string(digits.data());
    };
    mpq_t v;
    mpq_init(v);
    write_ext(output, f.name, cols, cone, rays.count, points, [&](std::uint64_t i) {
      const std::uint64_t k = idx[i];
      std::string line = cone || x0(k) <= 0 ? " 0" : " 1";
      for (std::uint64_t c = cone ? 0 : 1; c < n; ++c) {
        if (cone || x0(k) <= 0) {
          line += " " + decimal(k, c);
          continue;
        }
        mpz_t a, b;
        mpz_set(mpq_numref(v), bits::big_entries::view(a, rays.entry(k, c)));
        mpz_set(mpq_denref(v), bits::big_entries::view(b, rays.entry(k, 0)));
        mpq_canonicalize(v);
        std::vector<char> s(mpz_sizeinbase(mpq_numref(v), 10) + mpz_sizeinbase(mpq_denref(v), 10) + 3);
        mpq_get_str(s.data(), 10, v);
        line += " " + std::string(s.data());
      }
      return line;
    });
    mpq_clear(v);
    if (progress) report(stats, rays.count);
  }
  result.free_rays();
}
#endif

// "p" or "p/q" for x / y0 in lowest terms.
std::string fraction(std::int64_t x, std::int64_t y0) {
  const std::uint64_t g = bits::gcd_u64(bits::magnitude(x), static_cast<std::uint64_t>(y0));
  const std::string p = std::to_string(x / static_cast<std::int64_t>(g == 0 ? 1 : g));
  const std::int64_t q = y0 / static_cast<std::int64_t>(g == 0 ? 1 : g);
  return q == 1 ? p : p + "/" + std::to_string(q);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef BITS_MPI
  MPI_Init(&argc, &argv);
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &ranks);
  int local_ranks = 1;
  {
    MPI_Comm node;
    MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, 0, MPI_INFO_NULL, &node);
    MPI_Comm_size(node, &local_ranks);
    MPI_Comm_free(&node);
  }
#else
  const int local_ranks = 1;
#endif
  std::uint64_t threads = 0, budget = 0;
  bits::row_order order = bits::row_order::lexmin;
  bool progress = false;
  const char* input = nullptr;
  const char* output = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) die("option " + a + " needs a value");
      return argv[++i];
    };
    if (a == "-h" || a == "--help") {
      if (rank == 0) usage(stdout);
#ifdef BITS_MPI
      MPI_Finalize();
#endif
      return 0;
    } else if (a == "-t" || a == "--threads") {
      std::string message;
      if (!cli_common::thread_option(value(), &threads, &message)) die(message);
    } else if (a == "--order") {
      const std::string v = value();
      if (v == "lexmin") order = bits::row_order::lexmin;
      else if (v == "lexmax") order = bits::row_order::lexmax;
      else if (v == "input") order = bits::row_order::input;
      else if (v == "fewestpairs") order = bits::row_order::fewestpairs;
      else die("order must be lexmin, lexmax, input or fewestpairs, not '" + v + "'");
    } else if (a == "--progress") {
      progress = true;
    } else if (a == "--memory") {
      std::string message;
      if (!cli_common::memory_option(value(), &budget, &message)) die(message);
    } else if (a == "-o") {
      output = value();
    } else if (a.size() > 1 && a[0] == '-') {
      die("unknown option " + a + " (--help lists them)");
    } else if (input == nullptr) {
      input = argv[i];
    } else {
      die("one input file only");
    }
  }
  const std::string where = input ? input : "(standard input)";

  // Process 0 reads the file; the others get its text.
  std::string text;
  int read_ok = 1, read_errno = 0;
  if (rank == 0) {
    errno = 0;
    FILE* in = input ? std::fopen(input, "rb") : stdin;
    read_ok = in != nullptr && read_all(in, &text);
    read_errno = errno;
    if (in != nullptr && in != stdin) std::fclose(in);
  }
#ifdef BITS_MPI
  MPI_Bcast(&read_ok, 1, MPI_INT, 0, MPI_COMM_WORLD);
#endif
  if (!read_ok) die("cannot read " + where + (read_errno ? std::string(": ") + std::strerror(read_errno) : ""));
#ifdef BITS_MPI
  {
    unsigned long long length = text.size();
    MPI_Bcast(&length, 1, MPI_UNSIGNED_LONG_LONG, 0, MPI_COMM_WORLD);
    text.resize(length);
    for (unsigned long long at = 0; at < length; at += 1 << 30)
      MPI_Bcast(&text[at], static_cast<int>(std::min<unsigned long long>(1 << 30, length - at)), MPI_CHAR, 0,
                MPI_COMM_WORLD);
  }
#endif

  bits::polyhedron_file f;
  bits::file_error error;
#ifdef BITS_GMP
  const bool any_size = true;
#else
  const bool any_size = false;
#endif
  if (!bits::read_polyhedron_file(text, &f, &error, any_size))
    die(where + (error.line ? ":" + std::to_string(error.line) : "") + ": " + error.message);
  if (rank == 0)
    for (const std::string& w : f.warnings) std::fprintf(stderr, "%s: %s: warning: %s\n", program, where.c_str(), w.c_str());
  if (f.v_representation)
    die(where + ": a V-representation; this program reads H-representations (rows b + a x >= 0)");

  // Rows b + a x >= 0 as integer rows. When every b is 0 the polyhedron is
  // a cone and its rays are found in the columns of a alone; otherwise in
  // (x0, x) with x0 >= 0 added, points being the rays with x0 > 0.
  threads = cli_common::use_threads(threads, local_ranks);
  if (budget == 0) budget = physical_memory() / 10 * 9 / static_cast<std::uint64_t>(local_ranks);
  // Integers beyond int64, in the file or on the way: the run with integers
  // of any size where it is built, else an error naming what does not fit.
  auto beyond_int64 = [&](const std::string& what) {
#ifdef BITS_GMP
    (void)what;
    big_run(f, where, order, threads, budget, progress, output);
#ifdef BITS_MPI
    wait_for_all();
    MPI_Finalize();
#endif
    std::exit(0);
#else
    die(what);
#endif
  };
  if (f.big) beyond_int64(where + ": entries beyond the int64 range");
  const std::uint64_t cols = f.n;
  std::vector<std::int64_t> rows(f.m * cols);
  for (std::uint64_t r = 0; r < f.m; ++r)
    if (!bits::integer_row(f, r, rows.data() + r * cols))
      beyond_int64(where + ":" + std::to_string(f.row_line[r]) +
                   ": this row, scaled to integers, has entries beyond the int64 range");
  bool cone = true;
  for (std::uint64_t r = 0; r < f.m && cone; ++r) cone = rows[r * cols] == 0;
  std::vector<std::int64_t> A, B;
  const std::uint64_t n = cone_rows(f, rows, cone, &A, &B, [](std::int64_t* one) { *one = 1; });
  const std::uint64_t m = n == 0 ? 0 : A.size() / n, p = n == 0 ? 0 : B.size() / n;

  bits::dd_result result;  // this process's rays (n x count, kept from the run, not copied)
  bits::dd_statistics stats;
  if (n > 0) {
    bits::cone_start start;
    const bits::cone_setup_status st = bits::setup_cone(A.data(), m, B.data(), p, n, order, &start);
    if (st == bits::cone_setup_status::overflow)
      beyond_int64(where + ": the initial rays need integers beyond the int64 range");
    if (st == bits::cone_setup_status::not_pointed)
      die(where + ": the polyhedron has a line (its rows have rank " + std::to_string(start.rank) + ", not " +
          std::to_string(n) + "); this program needs a pointed one");
    if (progress && rank == 0) header(m, p, n, cone, start.d > 0 ? m - start.d : 0, threads, "");
    if (start.d > 0) {
      const bits::dd_partition part = shared_partition();
      const bits::dd_problem problem{start.A.data(), m, n, start.X0.data(), start.d, start.sequence.data(),
                                     nullptr, order == bits::row_order::fewestpairs, 64, budget,
                                     bits::best_simd_isa(), bits::dd_parallel_work,
                                     progress && rank == 0 ? print_step : nullptr, nullptr, &part};
      const bits::dd_status status = bits::run_double_description(problem, &result, &stats);
      if (status == bits::dd_status::int64_overflow) {
        result.free_rays();
        beyond_int64(where + ": a new ray has entries beyond the int64 range");
      }
      if (status != bits::dd_status::ok) {
        char message[400];
        bits::describe_failure(status, stats, budget, message, sizeof message);
        // Running out of memory can befall one process of a job alone.
        die(where + ": " + message, status == bits::dd_status::out_of_memory);
      }
    }
  }
  const std::uint64_t count = result.count, total = result.total;

  // Points first, then rays, each in lexicographic order of their coprime
  // integer coordinates: each process sorts its own rays, and process 0
  // merges them as it writes.
  std::vector<std::uint64_t> idx(count);
  for (std::uint64_t k = 0; k < count; ++k) idx[k] = k;
  const std::int64_t* X = result.X;
  auto before = [&](const std::int64_t* x, const std::int64_t* y) {
    if (!cone && (x[0] > 0) != (y[0] > 0)) return x[0] > 0;
    return std::lexicographical_compare(x, x + n, y, y + n);
  };
  std::sort(idx.begin(), idx.end(), [&](std::uint64_t a, std::uint64_t b) { return before(X + a * n, X + b * n); });
  std::uint64_t points = 0;
  for (std::uint64_t k = 0; k < count && !cone; ++k) points += X[k * n] > 0;
  sorted_rays merge(X, idx, n, count);
#ifdef BITS_MPI
  MPI_Allreduce(MPI_IN_PLACE, &points, 1, MPI_UINT64_T, MPI_SUM, MPI_COMM_WORLD);
  if (!merge.start()) die("cannot exchange the rays' counts between the processes", true);
#endif
  if (rank == 0) {
    write_ext(output, f.name, cols, cone, total, points, [&](std::uint64_t) {
      const std::int64_t* x = merge.next(before);
      std::string line;
      if (cone) {
        line = " 0";
        for (std::uint64_t c = 0; c < n; ++c) line += " " + std::to_string(x[c]);
      } else if (x[0] > 0) {
        line = " 1";
        for (std::uint64_t c = 1; c < n; ++c) line += " " + fraction(x[c], x[0]);
      } else {
        line = " 0";
        for (std::uint64_t c = 1; c < n; ++c) line += " " + std::to_string(x[c]);
      }
      return line;
    });
    if (progress) report(stats, total);
  } else if (cone || points > 0) {  // (an empty polyhedron's file lists no rays)
    merge.serve();
  }
  result.free_rays();
#ifdef BITS_MPI
  wait_for_all();
  MPI_Finalize();
#endif
  return 0;
}
