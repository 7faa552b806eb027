// Placement paths, their conversion to and from Coin paths, and instance
// addressing on an assembly with a repeated sub-assembly.
#include <cstring>

#include <Inventor/nodes/SoSelection.h>
#include <Inventor/nodes/SoSeparator.h>

#include "host/OmbrelTools.h"
#include "support/TestAssembly.h"

using CGO = CGraphOperation;

TEST(PlcPathConvert, FullAndRelativeForms) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"PATH|0|3|1a", "3|1a"}, {"PATH|0", ""}, {"0", ""}, {"3|1a", "3|1a"}, {"", ""}, {"PATH|0|0", "0"}, {"0|0", "0|0"},
  };
  char out[1024];
  for (const auto& c : cases) {
    std::memset(out, 'x', sizeof(out));
    CGO::PlcPathConvert(c.in, out);
    EXPECT_STREQ(c.out, out) << "input \"" << c.in << "\"";
  }
  CGO::PlcPathConvert(nullptr, out);
  EXPECT_STREQ("", out);

  // An over-long text is cut to the buffer, terminator included.
  const std::string longPath = "PATH|0|" + std::string(3000, 'a');
  CGO::PlcPathConvert(longPath.c_str(), out);
  EXPECT_EQ(1023u, std::strlen(out));
}

TEST(GetNodePlcPath, PathsWithoutInstances) {
  std::string text = "stale";
  CGO::GetNodePlcPath(nullptr, text, true);
  EXPECT_EQ("", text);

  SoSeparator* sep = new SoSeparator;
  PathRef path(new SoPath(sep));
  path.path->ref();
  CGO::GetNodePlcPath(path.path, text, true);
  EXPECT_EQ("PATH|0", text);
  CGO::GetNodePlcPath(path.path, text, false);
  EXPECT_EQ("", text);
  EXPECT_FALSE(CGO::IsSameIns(nullptr, path.full()));  // "" vs "PATH|0"
}

TEST_F(AssemblyTest, PlacementPathsRoundTrip) {
  const struct {
    const char* relative;
    SoKRN_ComponentKit* kit;
  } cases[] = {{"3", subL},   {"3|1", boxA},  {"3|1a", boxB}, {"0", subR},
               {"0|1", boxA}, {"0|1a", boxB}, {"ff", loose},  {"deadbeef", big}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.relative);
    const std::string full = std::string("PATH|0|") + c.relative;
    PathRef fromDoc(Resolve(c.relative));
    PathRef fromTop(Resolve(c.relative, top));
    ASSERT_TRUE(fromDoc.path && fromTop.path);
    EXPECT_EQ(c.kit, fromDoc.full()->getTail());
    EXPECT_EQ(1, fromDoc.path->getRefCount());  // the caller's reference only

    // Only instance kits count: the document, prototypes and kit parts on
    // the longer path from the document add nothing.
    std::string text;
    CGO::GetNodePlcPath(fromDoc.path, text, true);
    EXPECT_EQ(full, text);
    CGO::GetNodePlcPath(fromDoc.path, text, false);
    EXPECT_EQ(c.relative, text);
    CGO::GetNodePlcPath(fromTop.path, text, true);
    EXPECT_EQ(full, text);

    // Different heads and internal nodes, same occurrence.
    EXPECT_FALSE(OmbrelTools::IsPathEqual(fromDoc.path, fromTop.path));
    EXPECT_TRUE(CGO::IsSameIns(fromDoc.full(), fromTop.full()));

    EXPECT_EQ(c.kit, CGO::GetNodeByPlcPath(doc, full.c_str()));
    EXPECT_EQ(c.kit, CGO::GetChildByPath(doc, c.relative));
    EXPECT_EQ(c.kit, CGO::GetAssyNodeFromFullPath(fromDoc.full()));
  }
}

TEST_F(AssemblyTest, IdZeroRepeatedPrototypeAndEmptyText) {
  EXPECT_EQ(subR, CGO::GetNodeByPlcPath(doc, "PATH|0|0"));
  EXPECT_EQ(doc, CGO::GetNodeByPlcPath(doc, "0"));  // the lone relative "0" is the root
  EXPECT_EQ(subR, CGO::GetChildByPath(doc, "0"));   // taken as given, not converted
  PathRef left(Resolve("3|1a")), right(Resolve("0|1a"));
  ASSERT_TRUE(left.path && right.path);
  EXPECT_EQ(left.full()->getTail(), right.full()->getTail());  // one shared kit
  EXPECT_FALSE(CGO::IsSameIns(left.full(), right.full()));
  doc->setActiveComp(sub);
  EXPECT_EQ(sub, CGO::GetChildByPath(doc, ""));  // the active component
  doc->setActiveComp(nullptr);
}

TEST_F(AssemblyTest, UnresolvedAndMissingDocuments) {
  // Ids are lower-case hex without padding; no empty steps, no blanks; a
  // part has no child instances.
  for (const char* text : {"2", "3|2", "ff|1", "3|1a|0", "x", "3||1a", "|3", "3|", "03", "FF", "-1", " 3"})
    EXPECT_EQ(nullptr, Resolve(text)) << '"' << text << '"';
  // Children added or removed after an earlier lookup are seen.
  SoKRN_ComponentKit* added = vx::host::PlaceInstance(doc, sub, box, SbMatrix::identity(), L"", 7);
  PathRef later(Resolve("3|7"));
  ASSERT_NE(later.path, nullptr);
  EXPECT_EQ(added, later.full()->getTail());
  ASSERT_TRUE(sub->removeInsChildViaPLCID(7));
  EXPECT_EQ(nullptr, Resolve("3|7"));
  EXPECT_EQ(nullptr, CGO::GetNodeSoPathByPlcPath(nullptr, "3"));
  EXPECT_EQ(nullptr, CGO::GetChildByPath(doc, "77"));

  // No document and no active one: empty results.
  EXPECT_EQ(nullptr, CGO::GetNodeByPlcPath(nullptr, "PATH|0|3"));
  CGO::SetActiveMainDocKit(doc);
  EXPECT_EQ(subL, CGO::GetNodeByPlcPath(nullptr, "PATH|0|3"));
  EXPECT_EQ(top, CGO::GetRootInsNode(nullptr));
  EXPECT_EQ(nullptr, CGO::GetChildByPath(nullptr, "3"));  // no fallback here
}

TEST_F(AssemblyTest, InstanceNames) {
  PathRef path(Resolve("3|1a"));
  std::wstring name;
  CGO::GetInsName(path.path, name);
  EXPECT_EQ(L"BoxB", name);
  CGO::GetInsPathName(path.path, name);
  EXPECT_EQ(L"Root/SubL/Sub/BoxB", name);  // prototypes on the way count too

  // An empty first name gets no separator after it.
  top->setKRNName(L"");
  CGO::GetInsPathName(path.path, name);
  EXPECT_EQ(L"SubL/Sub/BoxB", name);

  // No component kit on the path: GetInsName leaves the name alone.
  SoSeparator* sep = new SoSeparator;
  PathRef plain(new SoPath(sep));
  plain.path->ref();
  name = L"kept";
  CGO::GetInsName(plain.path, name);
  EXPECT_EQ(L"kept", name);
  CGO::GetInsPathName(plain.path, name);
  EXPECT_EQ(L"", name);
  EXPECT_EQ(nullptr, CGO::GetAssyNodeFromFullPath(plain.full()));
}

// Each listed path carries one reference for the caller, starts with the
// given path and equals the path its placement text resolves to. A childless
// instance yields its own path, with no reference added.
TEST_F(AssemblyTest, ChildListing) {
  const struct {
    const char* relative;  // nullptr: the top prototype
    bool recursive;
    std::vector<std::string> want;
  } cases[] = {
      {"3", false, {"PATH|0|3|1", "PATH|0|3|1a"}},
      // Big's prototype has no children: a leaf like the parts.
      {nullptr, true, {"PATH|0|3|1", "PATH|0|3|1a", "PATH|0|0|1", "PATH|0|0|1a", "PATH|0|ff", "PATH|0|deadbeef"}},
      {nullptr, false, {"PATH|0|3", "PATH|0|0", "PATH|0|ff", "PATH|0|deadbeef"}},
      {"deadbeef", true, {"PATH|0|deadbeef"}},
      {"0|1a", false, {"PATH|0|0|1a"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.relative ? c.relative : "top");
    PathRef from(c.relative ? Resolve(c.relative) : Resolve("", top));
    std::vector<SoFullPath*> out;
    CGO::GetAllChildIns(doc, from.full(), out, c.recursive);
    std::vector<std::string> texts;
    for (SoFullPath* p : out) {
      texts.push_back(PlcText(p));
      if (p == from.full()) continue;
      EXPECT_EQ(1, p->getRefCount());
      EXPECT_EQ(from.path->getHead(), p->getHead());  // the given path's nodes come first
      PathRef resolved(Resolve(texts.back().c_str() + 7, c.relative ? nullptr : top));
      EXPECT_TRUE(OmbrelTools::IsPathEqual(p, resolved.path));
      p->unref();
    }
    EXPECT_EQ(c.want, texts);
    EXPECT_EQ(1, from.path->getRefCount());
  }
  // Bad inputs add nothing.
  std::vector<SoFullPath*> out;
  CGO::GetAllChildIns(doc, nullptr, out, true);
  PathRef docOnly(Resolve(""));  // [document]: not a component kit
  CGO::GetAllChildIns(doc, docOnly.full(), out, true);
  PathRef subLPath(Resolve("3"));
  CGO::GetAllChildIns(nullptr, subLPath.full(), out, true);
  EXPECT_TRUE(out.empty());
}

TEST_F(AssemblyTest, SelectParentInsClimbsOneInstanceLevel) {
  CGO::SelectParentIns(doc);  // nothing selected: nothing happens
  EXPECT_EQ(0, doc->getNumSelected());

  PathRef older(Resolve("3|1")), newest(Resolve("0|1a"));
  doc->select(older.path);
  doc->select(newest.path);
  CGO::SelectParentIns(doc);
  ASSERT_EQ(1, doc->getNumSelected());
  SoPath* parent = doc->getPath(0);
  EXPECT_EQ("PATH|0|0", PlcText(parent));
  EXPECT_EQ(subR, static_cast<SoFullPath*>(parent)->getTail());
  EXPECT_EQ(doc, parent->getHead());
  EXPECT_EQ(1, parent->getRefCount());  // held by the selection alone
  EXPECT_EQ(1, newest.path->getRefCount());

  // A top-level instance has no instance above it: the selection stays.
  CGO::SetActiveMainDocKit(doc);
  CGO::SelectParentIns(nullptr);
  ASSERT_EQ(1, doc->getNumSelected());
  EXPECT_EQ(parent, doc->getPath(0));

  // Nor does an instance at the head: there is nothing above it to select.
  PathRef fromSubL(Resolve("1a", subL));  // [SubL, ..., BoxB]
  doc->deselectAll(TRUE);
  doc->select(fromSubL.path);
  CGO::SelectParentIns(doc);
  ASSERT_EQ(1, doc->getNumSelected());
  EXPECT_EQ(fromSubL.path, doc->getPath(0));
}
