// sbml_read as a host calls it, through the stand-in host: small SBML files
// written here (level 3 with fbc version 2, level 3 with fbc version 1,
// level 2), the messages of the checks, and nothing left behind. First the
// host calls it needs (cells, strings, logical matrices), in every build.
#include <cstdint>
#include <vector>

#include "tests/plugin_harness.h"

TEST(StandinCells, ElementsGoWithTheCellAndCopiesAreDeep) {
  const std::size_t before = standin::live_arrays();
  mxArray* cell = mxCreateCellMatrix(2, 1);
  EXPECT_EQ(mxGetClassID(cell), mxCELL_CLASS);
  mxSetCell(cell, 0, mxCreateString("R_\xC3\xA9"));  // UTF-8 of U+00E9
  mxSetCell(cell, 1, mxCreateString(""));
  mxArray* copy = mxDuplicateArray(cell);
  EXPECT_EQ(standin::live_arrays(), before + 6);
  mxArray* const* elements = static_cast<mxArray* const*>(mxGetData(copy));
  EXPECT_NE(elements[0], static_cast<mxArray* const*>(mxGetData(cell))[0]);
  EXPECT_EQ(harness::values<std::uint16_t>(elements[0]), (std::vector<std::uint16_t>{'R', '_', 0xE9}));
  EXPECT_EQ(standin::dims(elements[0]), (std::vector<std::size_t>{1, 3}));
  EXPECT_EQ(mxGetNumberOfElements(elements[1]), 0u);
  mxArray* flags = mxCreateLogicalMatrix(1, 3);
  EXPECT_EQ(mxGetClassID(flags), mxLOGICAL_CLASS);
  EXPECT_EQ(harness::values<std::uint8_t>(flags), (std::vector<std::uint8_t>{0, 0, 0}));
  standin::destroy(flags);
  standin::destroy(copy);
  standin::destroy(cell);
  EXPECT_EQ(standin::live_arrays(), before);
}

#ifdef BITS_HAVE_SBML_READ

// Our declarations of libsbml's C API beside libsbml's own: a declaration
// that differs is a conflicting declaration of a C function, and this file
// does not compile.
#include <sbml/SBMLTypes.h>
#include <sbml/packages/fbc/common/FbcExtensionTypes.h>
#include "mex/sbml_c_api.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

using harness::array_ptr;

// A file in a private temporary folder, removed with it at the end.
class temp_files {
 public:
  temp_files() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/sbml_read_XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data())) dir_ = buf.data();
  }
  ~temp_files() {
    for (const std::string& f : files_) std::remove(f.c_str());
    if (!dir_.empty()) rmdir(dir_.c_str());
  }
  std::string write(const std::string& name, const std::string& text) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    files_.push_back(path);
    return path;
  }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
  std::vector<std::string> files_;
};

array_ptr char_row(const std::string& s) { return harness::text(std::u16string(s.begin(), s.end())); }

// The text of a char array (ASCII).
std::string text_of(const mxArray* a) {
  std::string s;
  for (std::uint16_t c : harness::values<std::uint16_t>(a)) s += static_cast<char>(c);
  return s;
}

// The texts of a column of cells.
std::vector<std::string> cell_texts(const mxArray* cells) {
  std::vector<std::string> out;
  EXPECT_EQ(mxGetClassID(cells), mxCELL_CLASS);
  const std::size_t n = mxGetNumberOfElements(cells);
  EXPECT_EQ(standin::dims(cells), (std::vector<std::size_t>{n, 1}));
  mxArray* const* elements = static_cast<mxArray* const*>(mxGetData(cells));
  for (std::size_t k = 0; k < n; ++k) {
    EXPECT_EQ(mxGetClassID(elements[k]), mxCHAR_CLASS);
    EXPECT_EQ(mxGetM(elements[k]), 1u);
    out.push_back(text_of(elements[k]));
  }
  return out;
}

const char* const level3_fbc2 = R"(<?xml version="1.0" encoding="UTF-8"?>
<sbml xmlns="http://www.sbml.org/sbml/level3/version1/core" level="3" version="1"
      xmlns:fbc="http://www.sbml.org/sbml/level3/version1/fbc/version2" fbc:required="false">
  <model id="small" fbc:strict="true">
    <listOfCompartments>
      <compartment id="c" constant="true"/>
    </listOfCompartments>
    <listOfSpecies>
      <species id="A_ext" compartment="c" hasOnlySubstanceUnits="false" boundaryCondition="true" constant="false"/>
      <species id="A" compartment="c" hasOnlySubstanceUnits="false" boundaryCondition="false" constant="false"/>
      <species id="B" compartment="c" hasOnlySubstanceUnits="false" boundaryCondition="false" constant="false"/>
      <species id="C" compartment="c" hasOnlySubstanceUnits="false" boundaryCondition="false" constant="false"/>
    </listOfSpecies>
    <listOfParameters>
      <parameter id="zero" value="0" constant="true"/>
      <parameter id="minus" value="-1000" constant="true"/>
      <parameter id="plus" value="1000" constant="true"/>
    </listOfParameters>
    <listOfReactions>
      <reaction id="R_in" reversible="false" fast="false" fbc:lowerFluxBound="zero" fbc:upperFluxBound="plus">
        <listOfReactants>
          <speciesReference species="A_ext" stoichiometry="1" constant="true"/>
        </listOfReactants>
        <listOfProducts>
          <speciesReference species="A" stoichiometry="1" constant="true"/>
        </listOfProducts>
      </reaction>
      <reaction id="R_rev" reversible="true" fast="false" fbc:lowerFluxBound="zero" fbc:upperFluxBound="plus">
        <listOfReactants>
          <speciesReference species="A" stoichiometry="2" constant="true"/>
        </listOfReactants>
        <listOfProducts>
          <speciesReference species="B" stoichiometry="0.5" constant="true"/>
        </listOfProducts>
      </reaction>
      <reaction id="R_bound" reversible="false" fast="false" fbc:lowerFluxBound="minus" fbc:upperFluxBound="plus">
        <listOfReactants>
          <speciesReference species="B" constant="true"/>
          <speciesReference species="C" stoichiometry="3" constant="true"/>
        </listOfReactants>
        <listOfProducts>
          <speciesReference species="C" stoichiometry="1" constant="true"/>
        </listOfProducts>
      </reaction>
    </listOfReactions>
  </model>
</sbml>
)";

const char* const level3_fbc1 = R"(<?xml version="1.0" encoding="UTF-8"?>
<sbml xmlns="http://www.sbml.org/sbml/level3/version1/core" level="3" version="1"
      xmlns:fbc="http://www.sbml.org/sbml/level3/version1/fbc/version1" fbc:required="false">
  <model id="bounds">
    <listOfCompartments>
      <compartment id="c" constant="true"/>
    </listOfCompartments>
    <listOfSpecies>
      <species id="X" compartment="c" hasOnlySubstanceUnits="false" boundaryCondition="false" constant="false"/>
      <species id="Y" compartment="c" hasOnlySubstanceUnits="false" boundaryCondition="false" constant="false"/>
    </listOfSpecies>
    <fbc:listOfFluxBounds>
      <fbc:fluxBound fbc:id="b1" fbc:reaction="F1" fbc:operation="greaterEqual" fbc:value="0"/>
      <fbc:fluxBound fbc:id="b2" fbc:reaction="F2" fbc:operation="greaterEqual" fbc:value="-10"/>
      <fbc:fluxBound fbc:id="b3" fbc:reaction="F3" fbc:operation="lessEqual" fbc:value="-1"/>
      <fbc:fluxBound fbc:id="b4" fbc:reaction="F4" fbc:operation="equal" fbc:value="-2"/>
      <fbc:fluxBound fbc:id="b5" fbc:reaction="F1" fbc:operation="lessEqual" fbc:value="5"/>
    </fbc:listOfFluxBounds>
    <listOfReactions>
      <reaction id="F1" reversible="false" fast="false">
        <listOfReactants><speciesReference species="X" stoichiometry="1" constant="true"/></listOfReactants>
        <listOfProducts><speciesReference species="Y" stoichiometry="1" constant="true"/></listOfProducts>
      </reaction>
      <reaction id="F2" reversible="false" fast="false">
        <listOfReactants><speciesReference species="Y" stoichiometry="1" constant="true"/></listOfReactants>
      </reaction>
      <reaction id="F3" reversible="false" fast="false">
        <listOfProducts><speciesReference species="X" stoichiometry="1" constant="true"/></listOfProducts>
      </reaction>
      <reaction id="F4" reversible="false" fast="false">
        <listOfProducts><speciesReference species="X" stoichiometry="1" constant="true"/></listOfProducts>
      </reaction>
    </listOfReactions>
  </model>
</sbml>
)";

const char* const level2 = R"(<?xml version="1.0" encoding="UTF-8"?>
<sbml xmlns="http://www.sbml.org/sbml/level2/version4" level="2" version="4">
  <model id="two">
    <listOfCompartments>
      <compartment id="c"/>
    </listOfCompartments>
    <listOfSpecies>
      <species id="P" compartment="c"/>
      <species id="Q" compartment="c" boundaryCondition="true"/>
      <species id="R" compartment="c"/>
    </listOfSpecies>
    <listOfReactions>
      <reaction id="v1">
        <listOfReactants>
          <speciesReference species="P"/>
        </listOfReactants>
        <listOfProducts>
          <speciesReference species="R" stoichiometry="2"/>
        </listOfProducts>
      </reaction>
      <reaction id="v2" reversible="false">
        <listOfReactants>
          <speciesReference species="R"/>
        </listOfReactants>
        <listOfProducts>
          <speciesReference species="Q"/>
        </listOfProducts>
      </reaction>
    </listOfReactions>
  </model>
</sbml>
)";

class SbmlRead : public harness::PluginTest {
 protected:
  SbmlRead() : PluginTest("sbml_read") {}
  temp_files files_;
};

TEST_F(SbmlRead, Level3WithFbcVersion2) {
  array_ptr file = char_row(files_.write("small.xml", level3_fbc2));
  const auto o = call(4, file.get());
  ASSERT_FALSE(o.failed) << o.message;
  // Rows A, B, C (A_ext is a boundary species); columns R_in, R_rev, R_bound.
  EXPECT_EQ(mxGetClassID(o.out(0)), mxDOUBLE_CLASS);
  EXPECT_EQ(standin::dims(o.out(0)), (std::vector<std::size_t>{3, 3}));
  EXPECT_EQ(harness::values<double>(o.out(0)),
            (std::vector<double>{1, 0, 0, -2, 0.5, 0, 0, -1, -2}));
  EXPECT_EQ(mxGetClassID(o.out(1)), mxLOGICAL_CLASS);
  EXPECT_EQ(standin::dims(o.out(1)), (std::vector<std::size_t>{1, 3}));
  EXPECT_EQ(harness::values<std::uint8_t>(o.out(1)), (std::vector<std::uint8_t>{0, 1, 1}));
  EXPECT_EQ(cell_texts(o.out(2)), (std::vector<std::string>{"R_in", "R_rev", "R_bound"}));
  EXPECT_EQ(cell_texts(o.out(3)), (std::vector<std::string>{"A", "B", "C"}));

  // Fewer outputs: the rest is not made, or reclaimed (the fixture checks).
  for (int nlhs = 0; nlhs <= 3; ++nlhs) {
    const auto fewer = call(nlhs, file.get());
    ASSERT_FALSE(fewer.failed) << fewer.message;
    EXPECT_EQ(fewer.outputs.size(), static_cast<std::size_t>(nlhs > 0 ? nlhs : 1));
    EXPECT_EQ(harness::values<double>(fewer.out(0)), harness::values<double>(o.out(0)));
  }
}

TEST_F(SbmlRead, Level3WithFbcVersion1FluxBounds) {
  array_ptr file = char_row(files_.write("bounds.xml", level3_fbc1));
  const auto o = call(4, file.get());
  ASSERT_FALSE(o.failed) << o.message;
  EXPECT_EQ(harness::values<double>(o.out(0)), (std::vector<double>{-1, 1, 0, -1, 1, 0, 1, 0}));
  // F1 >= 0 and <= 5; F2 >= -10; F3 <= -1; F4 = -2.
  EXPECT_EQ(harness::values<std::uint8_t>(o.out(1)), (std::vector<std::uint8_t>{0, 1, 1, 1}));
  EXPECT_EQ(cell_texts(o.out(2)), (std::vector<std::string>{"F1", "F2", "F3", "F4"}));
  EXPECT_EQ(cell_texts(o.out(3)), (std::vector<std::string>{"X", "Y"}));
}

TEST_F(SbmlRead, Level2) {
  array_ptr file = char_row(files_.write("two.xml", level2));
  const auto o = call(4, file.get());
  ASSERT_FALSE(o.failed) << o.message;
  // Rows P, R; v1 reversible by level 2's default.
  EXPECT_EQ(standin::dims(o.out(0)), (std::vector<std::size_t>{2, 2}));
  EXPECT_EQ(harness::values<double>(o.out(0)), (std::vector<double>{-1, 2, 0, -1}));
  EXPECT_EQ(harness::values<std::uint8_t>(o.out(1)), (std::vector<std::uint8_t>{1, 0}));
  EXPECT_EQ(cell_texts(o.out(2)), (std::vector<std::string>{"v1", "v2"}));
  EXPECT_EQ(cell_texts(o.out(3)), (std::vector<std::string>{"P", "R"}));
}

TEST_F(SbmlRead, ArgumentChecksInOrder) {
  array_ptr file = char_row(files_.write("two.xml", level2));
  array_ptr number = harness::f64(1, 1, {1.0});
  array_ptr as_column(standin::create_char(u"two.xml", true));
  array_ptr empty = char_row("");
  array_ptr with_nul = harness::text(std::u16string(u"two.xml\0x", 9));
  expect_error("One input argument required . . .", 1);
  expect_error("One input argument required . . .", 1, file.get(), file.get());
  expect_error("At most four output arguments allowed . . .", 5, file.get());
  expect_error("file must be a file name (a char row) . . .", 1, number.get());
  expect_error("file must be a file name (a char row) . . .", 1, as_column.get());
  expect_error("file must be a file name (a char row) . . .", 1, empty.get());
  expect_error("file must be a file name (a char row) . . .", 1, with_nul.get());
}

TEST_F(SbmlRead, FilesThatHoldNoNetwork) {
  const std::string missing = files_.dir() + "/missing.xml";
  array_ptr a = char_row(missing);
  expect_error("Cannot read the file '" + missing + "' . . .", 1, a.get());
  array_ptr folder = char_row(files_.dir());
  expect_error("Cannot read the file '" + files_.dir() + "' . . .", 1, folder.get());

  const std::string not_xml = files_.write("text.xml", "hello, world\n");
  array_ptr b = char_row(not_xml);
  const auto o = call(1, b.get());
  EXPECT_TRUE(o.failed);
  EXPECT_EQ(o.message.rfind("The file '" + not_xml + "' is not readable SBML (line ", 0), 0u) << o.message;
  EXPECT_EQ(o.message.substr(o.message.size() - 6), " . . .");

  const std::string not_sbml = files_.write("other.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<notes><a/></notes>\n");
  array_ptr c = char_row(not_sbml);
  const auto p = call(1, c.get());
  EXPECT_TRUE(p.failed);
  EXPECT_EQ(p.message.rfind("The file '" + not_sbml + "' is not readable SBML (line ", 0), 0u) << p.message;

  const std::string no_model = files_.write(
      "nomodel.xml",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<sbml xmlns=\"http://www.sbml.org/sbml/level3/version1/core\" level=\"3\" version=\"1\"/>\n");
  array_ptr d = char_row(no_model);
  expect_error("The SBML file '" + no_model + "' holds no model . . .", 1, d.get());

  const std::string no_reactions = files_.write(
      "noreactions.xml",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<sbml xmlns=\"http://www.sbml.org/sbml/level3/version1/core\" level=\"3\" version=\"1\">\n"
      "  <model id=\"empty\">\n"
      "    <listOfCompartments><compartment id=\"c\" constant=\"true\"/></listOfCompartments>\n"
      "    <listOfSpecies><species id=\"A\" compartment=\"c\" hasOnlySubstanceUnits=\"false\" "
      "boundaryCondition=\"false\" constant=\"false\"/></listOfSpecies>\n"
      "  </model>\n</sbml>\n");
  array_ptr e = char_row(no_reactions);
  expect_error("The model has no reactions . . .", 1, e.get());

  // A reaction on a species that the model does not declare.
  std::string undeclared = level2;
  undeclared.replace(undeclared.find("species=\"P\""), 11, "species=\"Z\"");
  array_ptr f = char_row(files_.write("undeclared.xml", undeclared));
  expect_error("Reaction 'v1' refers to the species 'Z', which the model does not declare . . .", 1, f.get());
}

}  // namespace

#endif
