// The reader of lrs/cddlib polyhedron files: what it takes, and where it
// says a faulty file goes wrong.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/polyhedron_file.h"

namespace {

TEST(PolyhedronFile, ReadsRationalRowsLinearityAndLrsOutput) {
  bits::polyhedron_file f;
  bits::file_error e;
  const std::string ine =
      "* a comment\nsome cone\nH-representation\nlinearity 1 2\nbegin\n 3 3 rational\n"
      "0 1 -2/4\n0 -3/6 +7 * trailing comment\n\n1/3 0 -9223372036854775807\nend\nmaxdepth 3\n";
  ASSERT_TRUE(bits::read_polyhedron_file(ine, &f, &e)) << e.line << ": " << e.message;
  EXPECT_EQ(f.name, "some cone");
  EXPECT_FALSE(f.v_representation);
  EXPECT_EQ(f.m, 3u);
  EXPECT_EQ(f.n, 3u);
  EXPECT_EQ(f.num, (std::vector<std::int64_t>{0, 1, -1, 0, -1, 7, 1, 0, -9223372036854775807}));
  EXPECT_EQ(f.den, (std::vector<std::int64_t>{1, 1, 2, 1, 2, 1, 3, 1, 1}));
  EXPECT_EQ(f.linearity, (std::vector<std::uint8_t>{0, 1, 0}));
  EXPECT_EQ(f.row_line, (std::vector<std::uint64_t>{7, 8, 10}));
  std::vector<std::int64_t> row(3);
  ASSERT_TRUE(bits::integer_row(f, 1, row.data()));
  EXPECT_EQ(row, (std::vector<std::int64_t>{0, -1, 14}));
  EXPECT_FALSE(bits::integer_row(f, 2, row.data()));  // 3 * (2^63 - 1)

  // lrs writes its row count as "*****" and the rows run to 'end'.
  const std::string ext = "name\nV-representation\nbegin\n***** 3 rational\n 1 1/2 0\n* note\n 0 0 1\nend\n";
  ASSERT_TRUE(bits::read_polyhedron_file(ext, &f, &e)) << e.line << ": " << e.message;
  EXPECT_TRUE(f.v_representation);
  EXPECT_EQ(f.m, 2u);
  EXPECT_EQ(f.num, (std::vector<std::int64_t>{1, 1, 0, 0, 0, 1}));
}

TEST(PolyhedronFile, FaultsNameTheirLine) {
  const std::string head = "c\nH-representation\nbegin\n2 2 integer\n";
  const struct {
    std::string text;
    std::uint64_t line;
    const char* says;
  } cases[] = {
      {"c\nH-representation\n2 2 integer\n", 3, "not expected before 'begin'"},
      {"H-representation\n", 0, "no 'begin'"},
      {"c\nbegin\n2 x integer\n", 3, "rows, columns and a number type"},
      {"c\nbegin\n2 2 real\n", 3, "floating-point"},
      {"c\nbegin\n2 2 complex\n", 3, "unknown number type"},
      {head + "0 1\n0 1.5\nend\n", 6, "'1.5' is not an integer or rational"},
      {head + "0 1\n0 1/2\nend\n", 6, "not an integer"},
      {head + "0 1\n0 99999999999999999999\nend\n", 6, "beyond the int64 range"},
      {head + "0 9223372036854775808\n0 1\nend\n", 5, "beyond the int64 range"},
      {head + "0 1\n0 99999999999999999999/7x\nend\n", 6, "is not an integer or rational"},
      {"c\nbegin\n1 2 rational\n1 2/0\nend\n", 4, "zero denominator"},
      {head + "0 1\n0 1 2\nend\n", 6, "more entries"},
      {head + "0\n1 0\nend\n", 5, "a row must end its line"},
      {head + "0 1\nend\n", 6, "'end' after 1 rows; 2 were announced"},
      {head + "0 1\n0 2\n", 7, "no 'end'"},
      {head + "0 1\n", 6, "ends after 1 of 2 rows"},
      {head + "0 1\n0 2\n0 3\nend\n", 7, "'end' expected"},
      {"c\nlinearity 2 1\nbegin\n1 2 integer\n0 1\nend\n", 2, "'linearity' must be followed"},
      {"c\nlinearity 1 3\nbegin\n1 2 integer\n0 1\nend\n", 2, "linearity names row 3 of 1"},
      {"c\nbegin\n1 0 integer\nend\n", 3, "at least one column"},
      // lrs's options that change the answer are refused by name.
      {"c\nvoronoi\nbegin\n1 2 integer\n0 1\nend\n", 2, "'voronoi' is not expected before 'begin'"},
      {head + "0 1\n0 2\nend\nproject 1\n", 8, "'project' after 'end' is not an option"},
      {"c\nV-representation\nnonnegative\nbegin\n1 2 integer\n1 1\nend\n", 3, "applies to an H-representation"},
  };
  for (const auto& c : cases) {
    bits::polyhedron_file f;
    bits::file_error e;
    EXPECT_FALSE(bits::read_polyhedron_file(c.text, &f, &e)) << c.text;
    EXPECT_EQ(e.line, c.line) << c.text << "\n" << e.message;
    EXPECT_NE(e.message.find(c.says), std::string::npos) << c.text << "\n" << e.message;
  }
}

TEST(PolyhedronFile, NonnegativeAddsRowsAndOutputOptionsWarn) {
  // As lrslib's kq20_11.ine starts: a name, then the option.
  const std::string text = "kq\nnonnegative\nH-representation\nbegin\n1 3 integer\n4 -1 -2\nend\nprintcobasis 5\n";
  bits::polyhedron_file f;
  bits::file_error e;
  ASSERT_TRUE(bits::read_polyhedron_file(text, &f, &e)) << e.line << ": " << e.message;
  EXPECT_EQ(f.name, "kq");
  EXPECT_EQ(f.m, 3u);
  EXPECT_EQ(f.num, (std::vector<std::int64_t>{4, -1, -2, 0, 1, 0, 0, 0, 1}));
  EXPECT_EQ(f.text.size(), 9u);
  EXPECT_EQ(f.linearity, (std::vector<std::uint8_t>{0, 0, 0}));
  EXPECT_EQ(f.row_line, (std::vector<std::uint64_t>{6, 2, 2}));
  ASSERT_EQ(f.warnings.size(), 1u);
  EXPECT_NE(f.warnings[0].find("line 8: lrs's option 'printcobasis'"), std::string::npos) << f.warnings[0];
}

TEST(PolyhedronFile, EntriesOfAnySizeAreKeptAsText) {
  const std::string text = "c\nbegin\n2 2 rational\n0 99999999999999999999/7\n1 -5/3\nend\n";
  bits::polyhedron_file f;
  bits::file_error e;
  ASSERT_TRUE(bits::read_polyhedron_file(text, &f, &e, true)) << e.message;
  EXPECT_TRUE(f.big);
  EXPECT_EQ(f.text, (std::vector<std::string>{"0", "99999999999999999999/7", "1", "-5/3"}));
  EXPECT_EQ(f.num[3], -5);
  EXPECT_EQ(f.den[3], 3);
  EXPECT_FALSE(bits::read_polyhedron_file("c\nbegin\n1 2 rational\n0 99999999999999999999/0\nend\n", &f, &e, true));
  EXPECT_NE(e.message.find("zero denominator"), std::string::npos) << e.message;
}

}  // namespace
