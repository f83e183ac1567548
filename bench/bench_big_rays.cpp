// Cones that need integers beyond int64: bits_rays (the kernels of
// extreme_rays and big_rays, one thread) against lrs and cddlib's
// cddexec_gmp on the same .ine files, in one run. Each program runs as a
// whole command under /usr/bin/time (wall and CPU seconds, peak memory) and
// `timeout`; the ray sets of all that finish are compared exactly. Prints a
// table and, given a RESULTS.md, writes it between the markers
// <!-- big:begin --> and <!-- big:end -->.
//
//   bench_big_rays BITS_RAYS [RESULTS.md] [TIMEOUT_SECONDS]
#include <gmp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/ext_rays.h"

namespace {

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string decimal(const mpz_t x) {
  std::vector<char> d(mpz_sizeinbase(x, 10) + 2);
  return mpz_get_str(d.data(), 10, x);
}

// The cone {x : A x >= 0} as an .ine file, rows given as text.
std::string ine(const std::vector<std::vector<std::string>>& A) {
  std::string s = "big\nH-representation\nbegin\n" + std::to_string(A.size()) + " " +
                  std::to_string(A[0].size() + 1) + " integer\n";
  for (const auto& row : A) {
    s += "0";
    for (const std::string& v : row) s += " " + v;
    s += "\n";
  }
  return s + "end\n";
}

// Rows (1, t, ..., t^degree) for t = shift + 1 .. shift + points: the dual
// of a cyclic polytope.
std::vector<std::vector<std::string>> moment_curve(int points, int degree, unsigned long shift) {
  std::vector<std::vector<std::string>> A;
  mpz_t x;
  mpz_init(x);
  for (int t = 1; t <= points; ++t) {
    A.emplace_back();
    mpz_set_ui(x, 1);
    for (int k = 0; k <= degree; ++k) {
      A.back().push_back(decimal(x));
      mpz_mul_ui(x, x, shift + static_cast<unsigned long>(t));
    }
  }
  mpz_clear(x);
  return A;
}

// The orthant of dimension n and m - n rows of `digits`-digit random
// integers (either sign).
std::vector<std::vector<std::string>> random_cone(int m, int n, int digits, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::vector<std::string>> A;
  for (int i = 0; i < n; ++i) {
    A.emplace_back(n, "0");
    A.back()[i] = "1";
  }
  for (int r = n; r < m; ++r) {
    A.emplace_back();
    for (int c = 0; c < n; ++c) {
      std::string v = rng() % 3 == 0 ? "-" : "";
      v += static_cast<char>('1' + rng() % 9);
      for (int k = 1; k < digits; ++k) v += static_cast<char>('0' + rng() % 10);
      A.back().push_back(v);
    }
  }
  return A;
}

struct timing {
  bool done = false;
  double wall = 0, cpu = 0, mb = 0;
  ext_rays::row_set rays;
};

// Runs `command` (its standard output to `out`) under time and timeout.
timing measure(const std::string& command, const std::string& out, int timeout) {
  const std::string times = out + ".time";
  const std::string line = "timeout " + std::to_string(timeout) + " /usr/bin/time -f '%e %U %S %M' -o " + times +
                           " sh -c '" + command + "' > " + out + " 2> /dev/null";
  timing t;
  const int status = std::system(line.c_str());
  double user = 0, sys = 0, kb = 0;
  if (status == 0 && std::sscanf(read_text(times).c_str(), "%lf %lf %lf %lf", &t.wall, &user, &sys, &kb) == 4) {
    std::string why;
    t.done = ext_rays::canonical(read_text(out), &t.rays, &why);
    t.cpu = user + sys;
    t.mb = kb / 1024;
  }
  std::remove(times.c_str());
  std::remove(out.c_str());
  return t;
}

std::string cell(const timing& t, int timeout) {
  char b[80];
  if (!t.done) {
    std::snprintf(b, sizeof b, "> %d s", timeout);
    return b;
  }
  std::snprintf(b, sizeof b, "%.2f s, %.0f MB", t.cpu, t.mb);
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_big_rays BITS_RAYS [RESULTS.md] [TIMEOUT_SECONDS]\n");
    return 2;
  }
  const std::string program = argv[1];
  const char* results = argc > 2 ? argv[2] : nullptr;
  const int timeout = argc > 3 ? std::atoi(argv[3]) : 600;
  const char* tmp = std::getenv("TMPDIR");
  const std::string dir = std::string(tmp ? tmp : "/tmp") + "/bench_big_rays_" + std::to_string(::getpid());
  const struct {
    const char* name;
    std::vector<std::vector<std::string>> A;
  } cones[] = {
      {"moment curve, t = 10^6 + 1 .. 10^6 + 40, degree 6", moment_curve(40, 6, 1000000)},
      {"moment curve, t = 1 .. 40, degree 12", moment_curve(40, 12, 0)},
      {"random 30 x 8, 20-digit entries", random_cone(30, 8, 20, 1)},
  };
  std::string table =
      "| cone | rays | largest entry | bits_rays -t 1 (CPU, peak) | lrs | cddexec_gmp | lrs / ours | cdd / ours | "
      "ray sets |\n|---|---|---|---|---|---|---|---|---|\n";
  std::printf("%s", table.c_str());
  for (const auto& cone : cones) {
    const std::string in = dir + ".ine";
    std::ofstream(in, std::ios::binary) << ine(cone.A);
    const timing ours = measure(program + " -t 1 " + in, dir + ".ours", timeout);
    const timing lrs = measure("lrs " + in, dir + ".lrs", timeout);
    const timing cdd = measure("cddexec_gmp --rep < " + in, dir + ".cdd", timeout);
    std::remove(in.c_str());
    std::size_t bits = 0;
    for (const auto& row : ours.rays)
      for (const std::string& v : row) {
        mpz_t x;
        mpz_init_set_str(x, v.c_str(), 10);
        bits = std::max(bits, mpz_sizeinbase(x, 2));
        mpz_clear(x);
      }
    std::string same = ours.done ? "" : "ours did not finish";
    if (ours.done) {
      if (lrs.done) same += lrs.rays == ours.rays ? "= lrs" : "DIFFER from lrs";
      if (cdd.done) same += std::string(same.empty() ? "" : ", ") + (cdd.rays == ours.rays ? "= cdd" : "DIFFER from cdd");
    }
    char ratio[2][32];
    for (int k = 0; k < 2; ++k) {
      const timing& p = k == 0 ? lrs : cdd;
      if (!ours.done)
        std::snprintf(ratio[k], sizeof ratio[k], "-");
      else if (p.done)
        std::snprintf(ratio[k], sizeof ratio[k], "%.2f", p.cpu / ours.cpu);
      else
        std::snprintf(ratio[k], sizeof ratio[k], "> %.0f", timeout / ours.cpu);
    }
    char row[600];
    std::snprintf(row, sizeof row, "| %s | %zu | %zu bits | %s | %s | %s | %s | %s | %s |\n", cone.name,
                  ours.rays.size(), bits, cell(ours, timeout).c_str(), cell(lrs, timeout).c_str(),
                  cell(cdd, timeout).c_str(), ratio[0], ratio[1], same.c_str());
    std::printf("%s", row);
    std::fflush(stdout);
    table += row;
  }
  if (results != nullptr) {
    std::string text = read_text(results);
    const std::string begin = "<!-- big:begin -->", end = "<!-- big:end -->";
    const std::size_t b = text.find(begin), e = text.find(end);
    if (b == std::string::npos || e == std::string::npos || e < b) {
      std::fprintf(stderr, "%s has no %s ... %s markers\n", results, begin.c_str(), end.c_str());
      return 1;
    }
    text = text.substr(0, b + begin.size()) + "\n" + table + text.substr(e);
    std::ofstream(results, std::ios::binary) << text;
  }
  return 0;
}
