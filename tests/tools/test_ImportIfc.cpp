// IFC through assimp: tests/data/import/storey-ifc2x3.ifc, written by hand.
// A storey (millimetres) with a wall 4000 x 200 x 3000 centred at
// (2000, 100) and three columns 300 x 300 x 3000 placing one representation
// map: at (0, 1000), (4000, 1000), and (3900, 100) raised by 500, where it
// crosses the wall. assimp turns the file into metres with Y up.
#include <climits>

#include "test_ImportSupport.h"

using namespace importtest;

TEST(ImportIfc, StoreyKeepsTheMappedColumnAsOnePrototype) {
  std::string error;
  ImportStats stats;
  DocRef doc(ImportAssembly(DataFile("import/storey-ifc2x3.ifc"), error, &stats));
  ASSERT_TRUE(doc) << error;
  const auto occurrences = Occurrences(doc.doc);
  ASSERT_EQ(occurrences.size(), 4u);
  std::map<SoKRN_ComponentKit*, int> uses;
  for (const auto& entry : occurrences) ++uses[entry.second.prototype];
  EXPECT_EQ(uses.size(), 2u) << "the wall and one column prototype";
  // World box of the crossing column: x 3.75..4.05, height 0.5..3.5,
  // depth (minus the file's y) -0.25..0.05.
  int crossing = 0;
  for (const auto& [path, occ] : occurrences) {
    if (uses[occ.prototype] != 3) continue;
    long long lo[3] = {LLONG_MAX, LLONG_MAX, LLONG_MAX}, hi[3] = {LLONG_MIN, LLONG_MIN, LLONG_MIN};
    for (const WorldTri& t : occ.tris)
      for (const Corner& c : t)
        for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], c[k]), hi[k] = std::max(hi[k], c[k]);
    if (lo[0] != 37500) continue;  // the other two columns
    ++crossing;
    EXPECT_EQ(std::vector<long long>(lo, lo + 3), (std::vector<long long>{37500, 5000, -2500})) << path;
    EXPECT_EQ(std::vector<long long>(hi, hi + 3), (std::vector<long long>{40500, 35000, 500})) << path;
  }
  EXPECT_EQ(crossing, 1);
}

TEST(ImportIfc, LaterSchemasAreRefusedWithTheWayOut) {
  TempDir dir;
  std::string bytes = ReadBytes(DataFile("import/storey-ifc2x3.ifc"));
  bytes.replace(bytes.find("IFC2X3"), 6, "IFC4");
  std::string error;
  DocRef doc(ImportAssembly(dir.Write("storey4.ifc", bytes), error));
  EXPECT_FALSE(doc);
  EXPECT_NE(error.find("schema IFC4: only IFC2X3 is read"), std::string::npos) << error;
}
