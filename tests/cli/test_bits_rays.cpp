// The command-line program against lrs and cddlib on the same files, the
// files it writes read back by them, and its MPI version under 1, 2 and 4
// processes. Peers and mpirun that are not installed skip their part, but
// in the full test run (BITS_FULL_TEST), which installs them all, where a
// missing one fails the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/polyhedron_file.h"
#include "tests/cli/run_program.h"
#ifdef BITS_GMP
#include "tests/cli/ext_rays.h"
#endif

namespace {

using run_program::have;
using run_program::read_text;
using run_program::run;
using run_program::temp_path;
using run_program::write;

typedef std::vector<std::vector<std::int64_t>> rows_t;

// The rows of a polyhedron file, each scaled to coprime integers, sorted,
// without repeats; of the last representation in it (lrs starts again with
// wider integers when its own overflow) and without the apex of a cone,
// which cddlib leaves out.
rows_t canonical(std::string text) {
  text = bits::last_representation(text);
  bits::polyhedron_file f;
  bits::file_error e;
  EXPECT_TRUE(bits::read_polyhedron_file(text, &f, &e)) << e.line << ": " << e.message << "\n" << text;
  rows_t rows(f.m, std::vector<std::int64_t>(f.n));
  for (std::uint64_t r = 0; r < f.m; ++r) EXPECT_TRUE(bits::integer_row(f, r, rows[r].data()));
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  std::vector<std::int64_t> apex(f.n, 0);
  if (f.n > 0) apex[0] = 1;
  bool cone = f.v_representation;
  for (const auto& r : rows) cone = cone && (r == apex || r[0] == 0);
  if (cone) rows.erase(std::remove(rows.begin(), rows.end(), apex), rows.end());
  return rows;
}

std::string ine(const rows_t& A, const std::vector<int>& linearity = {}) {
  std::string s = "test\nH-representation\n";
  if (!linearity.empty()) {
    s += "linearity " + std::to_string(linearity.size());
    for (int r : linearity) s += " " + std::to_string(r);
    s += "\n";
  }
  s += "begin\n" + std::to_string(A.size()) + " " + std::to_string(A[0].size()) + " integer\n";
  for (const auto& row : A) {
    for (std::int64_t v : row) s += " " + std::to_string(v);
    s += "\n";
  }
  return s + "end\n";
}

// Cones {x : A x >= 0} of the benchmark families, as rows 0 a.
rows_t semimetric(int points) {
  std::vector<std::vector<int>> index(points, std::vector<int>(points));
  int e = 0;
  for (int i = 0; i < points; ++i)
    for (int j = i + 1; j < points; ++j) index[i][j] = index[j][i] = 1 + e++;
  rows_t A;
  for (int i = 0; i < points; ++i)
    for (int j = 0; j < points; ++j)
      for (int k = j + 1; k < points; ++k)
        if (i != j && i != k) {
          std::vector<std::int64_t> row(e + 1, 0);
          row[index[i][j]] = row[index[i][k]] = 1;
          row[index[j][k]] = -1;
          A.push_back(row);
        }
  return A;
}

rows_t cut_vectors(int nodes) {
  rows_t A;
  for (int s = 1; s < (1 << (nodes - 1)); ++s) {
    std::vector<std::int64_t> row(1, 0);
    for (int i = 0; i < nodes; ++i)
      for (int j = i + 1; j < nodes; ++j) row.push_back(((s >> i) & 1) != ((s >> j) & 1));
    A.push_back(row);
  }
  return A;
}

rows_t cyclic_dual(int points, int degree) {
  rows_t A;
  for (int t = 1; t <= points; ++t) {
    std::vector<std::int64_t> row(1, 0);
    std::int64_t power = 1;
    for (int k = 0; k <= degree; ++k, power *= t) row.push_back(power);
    A.push_back(row);
  }
  return A;
}

rows_t random_cone(int m, int n, unsigned seed) {
  std::mt19937 rng(seed);
  rows_t A;
  for (int i = 0; i < n; ++i) {  // the orthant keeps the cone pointed
    std::vector<std::int64_t> row(n + 1, 0);
    row[i + 1] = 1;
    A.push_back(row);
  }
  for (int r = n; r < m; ++r) {
    std::vector<std::int64_t> row(1, 0);
    for (int c = 0; c < n; ++c) row.push_back(static_cast<std::int64_t>(rng() % 14) - 4);
    A.push_back(row);
  }
  return A;
}

struct named_file {
  std::string name, text;
};

std::vector<named_file> benchmark_files() {
  return {{"semimetric5", ine(semimetric(5))},
          {"semimetric6", ine(semimetric(6))},
          {"cut6", ine(cut_vectors(6))},
          {"cyclic24_6", ine(cyclic_dual(24, 6))},
          {"random40x10", ine(random_cone(40, 10, 7))}};
}

// A polyhedron with points and a ray, an equation and rational entries:
// 0 <= x1 <= 1, x2 >= 0, x3 >= 1/3, x1 + x2 - x3 = 1/2.
const char* polyhedron_text =
    "polyhedron\nH-representation\nlinearity 1 5\nbegin\n5 4 rational\n"
    "0 1 0 0\n1 -1 0 0\n0 0 1 0\n-1/3 0 0 1\n-1/2 1 1 -1\nend\n";

const std::string program = BITS_RAYS;

TEST(BitsRaysProgram, AgreesWithLrsAndCddAndTheyReadItsFiles) {
  std::vector<named_file> files = benchmark_files();
  files.push_back({"polyhedron", polyhedron_text});
  const bool lrs = have("lrs"), cdd = have("cddexec_gmp");
  const struct {
    bool installed;
    std::string command;  // followed by the file to read
  } peers[] = {{lrs, "lrs "}, {cdd, "cddexec_gmp --rep < "}};
  for (const named_file& f : files) {
    SCOPED_TRACE(f.name);
    const std::string in = write(f.name + ".ine", f.text);
    std::string ours, theirs;
    ASSERT_EQ(run(program + " -t 2 " + in, &ours), 0);
    const rows_t rays = canonical(ours);
    if (f.name == "polyhedron") {  // points (1,0,1/2), (5/6,0,1/3), (0,5/6,1/3) and ray (0,1,1)
      EXPECT_EQ(rays, (rows_t{{0, 0, 1, 1}, {2, 2, 0, 1}, {6, 0, 5, 2}, {6, 5, 0, 2}}));
    }
    const std::string out = write(f.name + ".ext", ours);
    // The peers read our files (the small ones: facets from rays take lrs
    // long): their facets give our rays back.
    const bool back = f.name == "polyhedron" || f.name == "semimetric5";
    for (const auto& peer : peers) {
      if (!peer.installed) continue;
      ASSERT_EQ(run(peer.command + in, &theirs), 0) << peer.command;
      EXPECT_EQ(canonical(theirs), rays) << peer.command;
      if (!back) continue;
      ASSERT_EQ(run(peer.command + out, &theirs), 0) << peer.command;
      const std::string facets = write(f.name + "_facets.ine", theirs);
      ASSERT_EQ(run(program + " " + facets, &theirs), 0);
      EXPECT_EQ(canonical(theirs), rays) << peer.command;
      std::remove(facets.c_str());
    }
    std::remove(in.c_str());
    std::remove(out.c_str());
  }
  if (!lrs || !cdd) std::printf("[  NOTE    ] compared without%s%s: not installed\n", lrs ? "" : " lrs", cdd ? "" : " cddlib");
}

TEST(BitsRaysProgram, BadInputEndsWithTheLine) {
  const std::string in = write("bad.ine", "bad\nbegin\n2 3 integer\n0 1 2\n0 1 x\nend\n");
  std::string out;
  const std::string err = temp_path("err");
  EXPECT_NE(std::system((program + " " + in + " > /dev/null 2> " + err).c_str()), 0);
  EXPECT_NE(read_text(err).find(in + ":5: 'x' is not an integer or rational number"), std::string::npos)
      << read_text(err);
  // A cone with a line, and options that do not parse.
  const std::string line = write("line.ine", ine({{0, 1, 0}, {0, -1, 0}}));
  EXPECT_NE(std::system((program + " " + line + " > /dev/null 2> " + err).c_str()), 0);
  EXPECT_NE(read_text(err).find("has a line"), std::string::npos) << read_text(err);
  EXPECT_NE(run(program + " --order sideways " + line, &out), 0);
  EXPECT_NE(run(program + " -t 0 " + line, &out), 0);
  for (const std::string& f : {in, line, err}) std::remove(f.c_str());
}

// lrs's options in the file: `nonnegative` is honoured, as lrs does, and
// an option of lrs's output only is skipped with a warning. Knapsack rows
// b - a x >= 0 over x >= 0, as lrslib's kq20_11.ine has them.
TEST(BitsRaysProgram, NonnegativeAgreesWithLrs) {
  if (!have("lrs")) GTEST_SKIP() << "lrs not installed";
  std::mt19937_64 rng(11);
  std::string text = "kq7_9\nnonnegative\nH-representation\nbegin\n9 8 integer\n";
  for (int r = 0; r < 9; ++r) {
    text += std::to_string(20 + rng() % 30);
    for (int c = 0; c < 7; ++c) text += " -" + std::to_string(1 + rng() % 9);
    text += "\n";
  }
  text += "end\n";
  const std::string theirs_in = write("kq.ine", text), ours_in = write("kq_ours.ine", text + "printcobasis 10\n");
  const std::string err = temp_path("kq.err");
  std::string ours, theirs;
  ASSERT_EQ(std::system((program + " " + ours_in + " > " + err + ".out 2> " + err).c_str()), 0) << read_text(err);
  ours = read_text(err + ".out");
  EXPECT_NE(read_text(err).find(ours_in + ": warning: line 16: lrs's option 'printcobasis'"), std::string::npos)
      << read_text(err);
  ASSERT_EQ(run("lrs " + theirs_in, &theirs), 0);
  const rows_t vertices = canonical(ours);
  EXPECT_GT(vertices.size(), 8u);
  EXPECT_EQ(vertices, canonical(theirs));
  for (const std::string& f : {theirs_in, ours_in, err, err + ".out"}) std::remove(f.c_str());
}

#ifdef BITS_GMP
ext_rays::row_set canonical_big(const std::string& text) {
  ext_rays::row_set rows;
  std::string why;
  EXPECT_TRUE(ext_rays::canonical(text, &rows, &why)) << why << "\n" << text;
  return rows;
}

// Rows b a as text, b = 0 unless given.
std::string big_ine(const std::vector<std::vector<std::string>>& A) {
  std::string s = "big\nH-representation\nbegin\n" + std::to_string(A.size()) + " " +
                  std::to_string(A[0].size()) + " rational\n";
  for (const auto& row : A) {
    for (const std::string& v : row) s += " " + v;
    s += "\n";
  }
  return s + "end\n";
}

TEST(BitsRaysProgram, IntegersOfAnySizeAgreeWithLrs) {
  if (!have("lrs")) GTEST_SKIP() << "lrs not installed";
  // Moment curve (1, t, ..., t^7) at t = 10^9 + 1 .. 10^9 + 14: rows beyond
  // int64 and rays of about 220 bits, so the entries widen twice.
  std::vector<std::vector<std::string>> moment;
  for (int t = 1; t <= 14; ++t) {
    moment.push_back({"0"});
    bits::big_int x;
    mpz_set_ui(x.v, 1);
    char digits[100];
    for (int k = 0; k <= 7; ++k) {
      moment.back().push_back(mpz_get_str(digits, 10, x.v));
      mpz_mul_ui(x.v, x.v, 1000000000u + t);
    }
  }
  const std::vector<named_file> files = {
      {"moment", big_ine(moment)},
      // Rows within int64 whose rays are not: (1, 2^40, 2^80) is one.
      {"int64_rows", ine({{0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}, {0, 1099511627776, -1, 0},
                          {0, 0, 1099511627776, -1}})},
      // A polyhedron: a large bound, fractions and an equation.
      {"polyhedron", "p\nH-representation\nlinearity 1 4\nbegin\n4 4 rational\n"
                     "123456789012345678901234567 -1 0 0\n0 1 0 0\n0 0 1 0\n"
                     "-5/3 0 98765432109876543210/7 -1\nend\n"}};
  for (const named_file& f : files) {
    SCOPED_TRACE(f.name);
    const std::string in = write(f.name + ".ine", f.text);
    std::string ours, fewest, theirs;
    ASSERT_EQ(run(program + " -t 2 " + in, &ours), 0);
    ASSERT_EQ(run(program + " -t 1 --order fewestpairs " + in, &fewest), 0);
    ASSERT_EQ(run("lrs " + in, &theirs), 0);
    const auto rays = canonical_big(ours);
    EXPECT_FALSE(rays.empty());
    EXPECT_EQ(rays, canonical_big(theirs));
    EXPECT_EQ(canonical_big(fewest), rays);
    if (f.name == "int64_rows") {
      EXPECT_NE(ours.find(" 0 1 1099511627776 1208925819614629174706176\n"), std::string::npos) << ours;
    }
    std::remove(in.c_str());
  }
}
#endif

TEST(BitsRaysProgram, MpiRunsWriteTheSameFileForAnyProcessCount) {
  const std::string mpi = BITS_RAYS_MPI;
#ifdef BITS_FULL_TEST
  ASSERT_FALSE(mpi.empty()) << "bits_rays_mpi was not built, and the full test run needs it";
#endif
  if (mpi.empty() || !have("mpirun")) GTEST_SKIP() << "bits_rays_mpi or mpirun not built/installed";
  const std::string& mpirun = run_program::mpirun;
  std::vector<named_file> files = benchmark_files();
  files.push_back({"polyhedron", polyhedron_text});
#ifdef BITS_GMP
  // Rays beyond int64: the run with integers of any size shares its steps too.
  files.push_back({"int64_rows", ine({{0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}, {0, 1099511627776, -1, 0},
                                      {0, 0, 1099511627776, -1}})});
#endif
  for (const named_file& f : files) {
    SCOPED_TRACE(f.name);
    const std::string in = write(f.name + ".ine", f.text);
    std::string one, many;
    ASSERT_EQ(run(program + " -t 1 " + in, &one), 0);
    for (int np : {1, 2, 4}) {
      ASSERT_EQ(run(mpirun + " -np " + std::to_string(np) + " " + mpi + " -t 1 " + in, &many), 0) << np;
      EXPECT_EQ(many, one) << np << " processes";
    }
    std::remove(in.c_str());
  }
}

}  // namespace
