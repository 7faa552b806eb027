// The structural scan of STEP files: good files pass. The damaged ones, one
// damage per file, each built to be missed when its rule is dropped, are the
// step_*.step files of the bad-file corpus (tests/data/bad-reasons.tsv).
#include <gtest/gtest.h>

#include "tools/StepFileScan.h"

namespace {

const std::string kHead =
    "ISO-10303-21;\nHEADER;\nFILE_NAME('a;b=(', '2026', ('x'), (''), '', '', '');\n"
    "FILE_SCHEMA(('AUTOMOTIVE_DESIGN'));\nENDSEC;\n";

std::string File(const std::string& data) { return kHead + "DATA;\n" + data + "ENDSEC;\nEND-ISO-10303-21;\n"; }

}  // namespace

TEST(StepFileScan, GoodFilesPass) {
  const std::string point = "#1 = CARTESIAN_POINT('it''s ; = (', (0., 1.E-3, -2.));\n";
  // Semicolons, equals signs and parentheses inside strings and comments,
  // complex entities, user-defined ones, several DATA sections, a byte order mark.
  for (const std::string& text :
       {File(point + "#2 = /* a ; comment */ VERTEX_POINT('', #1);\n"
                     "#3 = ( NAMED_UNIT(*) SI_UNIT($, .METRE.) LENGTH_UNIT() );\n#4 = !USER_DEF(\"0F\", #3);\n"),
        kHead + "DATA;\n" + point + "ENDSEC;\nDATA;\n#2 = VERTEX_POINT('', #1);\nENDSEC;\nEND-ISO-10303-21;\n",
        "\xEF\xBB\xBF" + File(point)}) {
    std::string reason;
    EXPECT_TRUE(stepscan::CheckExchangeStructure(text, reason)) << reason << "\n" << text;
  }
}
