// IFC through assimp: tests/data/import/storey-ifc2x3.ifc, written by hand:
// a storey with a wall and three columns placing one representation map,
// the third crossing the wall.
#include <set>

#include "support/ImportSupport.h"

using namespace importtest;

TEST(ImportIfc, MappedColumnStaysOnePrototypeAndLaterSchemasAreRefused) {
  std::string error;
  DocRef doc(ImportAssembly(DataFile("import/storey-ifc2x3.ifc"), error));
  ASSERT_TRUE(doc) << error;
  std::map<SoKRN_ComponentKit*, int> uses;
  for (const auto& entry : Occurrences(doc.doc)) ++uses[entry.second.prototype];
  std::multiset<int> placed;
  for (const auto& entry : uses) placed.insert(entry.second);
  EXPECT_EQ(placed, (std::multiset<int>{1, 3})) << "the wall once, one column prototype three times";

  // The same file saying IFC4 is refused (assimp would drop what it does not know).
  TempDir dir;
  std::string bytes = ReadBytes(DataFile("import/storey-ifc2x3.ifc"));
  bytes.replace(bytes.find("IFC2X3"), 6, "IFC4");
  EXPECT_FALSE(DocRef(ImportAssembly(dir.Write("storey4.ifc", bytes), error)));
  EXPECT_NE(error.find("schema IFC4: only IFC2X3 is read"), std::string::npos) << error;
}
