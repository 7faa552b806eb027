// The structural scan of STEP files: one damage per case, each built to be
// missed when its rule is dropped; good files pass.
#include <gtest/gtest.h>

#include "tools/StepFileScan.h"

namespace {

const std::string kHead =
    "ISO-10303-21;\nHEADER;\nFILE_NAME('a;b=(', '2026', ('x'), (''), '', '', '');\n"
    "FILE_SCHEMA(('AUTOMOTIVE_DESIGN'));\nENDSEC;\n";

std::string File(const std::string& data) { return kHead + "DATA;\n" + data + "ENDSEC;\nEND-ISO-10303-21;\n"; }

}  // namespace

TEST(StepFileScan, DamageIsNamedAndGoodFilesPass) {
  const std::string point = "#1 = CARTESIAN_POINT('it''s ; = (', (0., 1.E-3, -2.));\n";
  const struct {
    std::string text;
    const char* reason;  // null: passes
  } cases[] = {
      {File(point + "#2 = /* a ; comment */ VERTEX_POINT('', #1);\n"
                    "#3 = ( NAMED_UNIT(*) SI_UNIT($, .METRE.) LENGTH_UNIT() );\n#4 = !USER_DEF(\"0F\", #3);\n"),
       nullptr},
      {kHead + "DATA;\n" + point + "ENDSEC;\nDATA;\n#2 = VERTEX_POINT('', #1);\nENDSEC;\nEND-ISO-10303-21;\n", nullptr},
      {"\xEF\xBB\xBF" + File(point), nullptr},
      {File(point + point), "entity #1: defined twice"},
      {File(point + "#2 = VERTEX_POINT('', #7);\n"), "entity #2: refers to #7, which is not in the file"},
      {File("#1 CARTESIAN_POINT('', (0., 0., 0.));\n"), "entity #1: expected '=' after the entity number"},
      {File("#1 = CARTESIAN_.OINT('', (0., 0., 0.));\n"), "entity #1: expected '(' opening the parameters"},
      {File("#1 = CARTESIAN_POINT('', (0., 0., 0.);\n#2 = VERTEX_POINT('', #1);\n"), "entity #1: ';' inside"},
      {File("#1 = CARTESIAN_POINT('', (0., 0., 0.));\n#2 = ( = LINE('', #1, #1));\n"), "entity #2: expected an entity name"},
      {File("#1 = CARTESIAN_POINT('unclosed, (0., 0., 0.));\n"), "entity #1: string not closed"},
      {File("#1 = VERTEX_POINT('', #);\n"), "entity #1: '#' without an entity number"},
      {File("#1 = VERTEX_POINT('', #1) /* open\n"), "comment not closed"},
      {kHead + "#1 = VERTEX_POINT('', #1);\nEND-ISO-10303-21;\n", "entity outside a DATA section"},
      {kHead + "END-ISO-10303-21;\n", "no DATA section"},
      {"ISO-10303-21;\nHEADER;\nENDSEC;\nDATA;\n" + point, "no END-ISO-10303-21"},
      {"PK\x03\x04", "no ISO-10303-21 header"},
  };
  for (const auto& c : cases) {
    std::string reason;
    const bool ok = stepscan::CheckExchangeStructure(c.text, reason);
    if (!c.reason) {
      EXPECT_TRUE(ok) << reason << "\n" << c.text;
    } else {
      EXPECT_FALSE(ok) << c.text;
      EXPECT_NE(reason.find(c.reason), std::string::npos) << reason << " (want " << c.reason << ")";
    }
  }
}
