// Placement paths, their conversion to and from Coin paths, and instance
// addressing on an assembly with a repeated sub-assembly.
#include <cstring>

#include <Inventor/nodes/SoSelection.h>
#include <Inventor/nodes/SoSeparator.h>

#include "TestAssembly.h"
#include "host/OmbrelTools.h"

using CGO = CGraphOperation;

namespace {
// Read during static initialisation, before any test can set them.
const bool kFrameEmptyAtLoad = CGO::GetActiveMainDocKit() == nullptr &&
                               CGO::GetActiveSceneGraph() == nullptr &&
                               CGO::GetInitCameraHeight() == 0.0f;
}  // namespace

TEST(GraphFrame, StartsEmptyAndKeepsWhatTheHostSets) {
  EXPECT_TRUE(kFrameEmptyAtLoad);
  SoSeparator* root = new SoSeparator;
  root->ref();
  CGO::SetActiveSceneGraph(root);
  CGO::SetInitCameraHeight(12.5f);
  EXPECT_EQ(root, CGO::GetActiveSceneGraph());
  EXPECT_EQ(12.5f, CGO::GetInitCameraHeight());
  EXPECT_EQ(1, root->getRefCount());  // plain pointer, no reference taken
  CGO::SetActiveSceneGraph(nullptr);
  CGO::SetInitCameraHeight(0.0f);
  root->unref();
}

TEST(PlcPathConvert, FullAndRelativeForms) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"PATH|0|3|1a", "3|1a"}, {"PATH|0", ""},   {"0", ""},         {"3|1a", "3|1a"},
      {"", ""},                {"PATH|0|0", "0"}, {"0|0", "0|0"},    {"PATH|0|ff|0", "ff|0"},
      {"ff", "ff"},
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
  EXPECT_TRUE(CGO::IsSameIns(nullptr, nullptr));
  EXPECT_FALSE(CGO::IsSameIns(nullptr, path.full()));  // "" vs "PATH|0"
}

TEST_F(AssemblyTest, PlacementPathsRoundTrip) {
  const struct {
    const char* relative;
    SoKRN_ComponentKit* kit;
  } cases[] = {{"3", subL},     {"3|1", boxA}, {"3|1a", boxB}, {"0", subR},
               {"0|1", boxA},   {"0|1a", boxB}, {"ff", loose}, {"deadbeef", big}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.relative);
    const std::string full = std::string("PATH|0|") + c.relative;
    PathRef fromDoc(Resolve(c.relative));
    PathRef fromTop(Resolve(c.relative, top));
    ASSERT_TRUE(fromDoc.path && fromTop.path);
    EXPECT_EQ(c.kit, fromDoc.full()->getTail());
    EXPECT_EQ(c.kit, fromTop.full()->getTail());
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

TEST_F(AssemblyTest, IdZeroIsAnInstanceNotTheRoot) {
  EXPECT_EQ(subR, CGO::GetNodeByPlcPath(doc, "PATH|0|0"));
  EXPECT_EQ(doc, CGO::GetNodeByPlcPath(doc, "PATH|0"));
  // The lone relative text "0" is read as the root, like "PATH|0".
  EXPECT_EQ(doc, CGO::GetNodeByPlcPath(doc, "0"));
  EXPECT_EQ(subR, CGO::GetChildByPath(doc, "0"));  // taken as given, not converted
}

TEST_F(AssemblyTest, RepeatedPrototypeGivesDistinctOccurrences) {
  PathRef left(Resolve("3|1a")), right(Resolve("0|1a"));
  ASSERT_TRUE(left.path && right.path);
  EXPECT_EQ(left.full()->getTail(), right.full()->getTail());  // one shared kit
  EXPECT_FALSE(OmbrelTools::IsPathEqual(left.path, right.path));
  EXPECT_FALSE(CGO::IsSameIns(left.full(), right.full()));
  EXPECT_NE(PlcText(left.path), PlcText(right.path));
}

TEST_F(AssemblyTest, UnresolvedAndMissingDocuments) {
  EXPECT_EQ(nullptr, Resolve("77"));
  EXPECT_EQ(nullptr, Resolve("3|2"));
  EXPECT_EQ(nullptr, Resolve("ff|1"));  // a part has no child instances
  EXPECT_EQ(nullptr, CGO::GetNodeSoPathByPlcPath(nullptr, "3"));
  EXPECT_EQ(nullptr, CGO::GetNodeByPlcPath(doc, "PATH|0|77"));
  EXPECT_EQ(nullptr, CGO::GetChildByPath(doc, "77"));

  // No document and no active one: empty results.
  EXPECT_EQ(nullptr, CGO::GetNodeByPlcPath(nullptr, "PATH|0|3"));
  EXPECT_EQ(nullptr, CGO::GetRootInsNode(nullptr));
  CGO::SetActiveMainDocKit(doc);
  EXPECT_EQ(subL, CGO::GetNodeByPlcPath(nullptr, "PATH|0|3"));
  EXPECT_EQ(top, CGO::GetRootInsNode(nullptr));
  EXPECT_EQ(nullptr, CGO::GetChildByPath(nullptr, "3"));  // no fallback here
}

TEST_F(AssemblyTest, EmptyTextAddressesTheActiveComponent) {
  EXPECT_EQ(doc->getActiveComp(), CGO::GetChildByPath(doc, ""));
  doc->setActiveComp(sub);
  EXPECT_EQ(sub, CGO::GetChildByPath(doc, ""));
  doc->setActiveComp(nullptr);
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
  CGO::GetInsName(nullptr, name);
  EXPECT_EQ(L"kept", name);
  CGO::GetInsPathName(plain.path, name);
  EXPECT_EQ(L"", name);
  EXPECT_EQ(nullptr, CGO::GetAssyNodeFromFullPath(plain.full()));
}

TEST_F(AssemblyTest, SelectionNode) {
  SoSelection* selection = CGO::GetSelection(doc);
  EXPECT_NE(nullptr, selection);
  EXPECT_EQ(doc->getSelectionNode(), selection);
  EXPECT_EQ(nullptr, CGO::GetSelection(top));  // not a document
  EXPECT_EQ(nullptr, CGO::GetSelection(nullptr));
}

TEST_F(AssemblyTest, ChildInstancesCarryOneReferenceEach) {
  PathRef subLPath(Resolve("3"));
  std::vector<SoFullPath*> out;
  CGO::GetAllChildIns(doc, subLPath.full(), out, false);
  ASSERT_EQ(2u, out.size());
  EXPECT_EQ("PATH|0|3|1", PlcText(out[0]));
  EXPECT_EQ("PATH|0|3|1a", PlcText(out[1]));
  for (SoFullPath* p : out) {
    EXPECT_EQ(1, p->getRefCount());
    EXPECT_EQ(doc, p->getHead());  // insPath's nodes come first
    PathRef resolved(Resolve(PlcText(p).c_str() + 7));
    EXPECT_TRUE(OmbrelTools::IsPathEqual(p, resolved.path));
    p->unref();
  }
  EXPECT_EQ(1, subLPath.path->getRefCount());
}

TEST_F(AssemblyTest, RecursiveChildListingGivesLeavesDepthFirst) {
  PathRef rootPath(Resolve("", top));  // [top prototype]
  ASSERT_TRUE(rootPath.path);
  std::vector<SoFullPath*> out;
  CGO::GetAllChildIns(doc, rootPath.full(), out, true);
  // SubL and SubR are intermediate; Big's prototype has no children, so it
  // is a leaf like the parts.
  const std::vector<std::string> leaves = {"PATH|0|3|1",  "PATH|0|3|1a", "PATH|0|0|1",
                                           "PATH|0|0|1a", "PATH|0|ff",   "PATH|0|deadbeef"};
  std::vector<std::string> texts;
  for (SoFullPath* p : out) {
    texts.push_back(PlcText(p));
    EXPECT_EQ(1, p->getRefCount());
    p->unref();
  }
  EXPECT_EQ(leaves, texts);

  out.clear();
  CGO::GetAllChildIns(doc, rootPath.full(), out, false);
  texts.clear();
  for (SoFullPath* p : out) {
    texts.push_back(PlcText(p));
    p->unref();
  }
  EXPECT_EQ((std::vector<std::string>{"PATH|0|3", "PATH|0|0", "PATH|0|ff", "PATH|0|deadbeef"}),
            texts);
}

TEST_F(AssemblyTest, ChildlessInstanceYieldsItselfWithoutReference) {
  for (const char* relative : {"ff", "deadbeef", "0|1a"}) {
    SCOPED_TRACE(relative);
    PathRef path(Resolve(relative));
    for (bool recursive : {false, true}) {
      std::vector<SoFullPath*> out;
      CGO::GetAllChildIns(doc, path.full(), out, recursive);
      ASSERT_EQ(1u, out.size());
      EXPECT_EQ(path.full(), out[0]);
      EXPECT_EQ(1, path.path->getRefCount());  // still only ours
    }
  }
}

TEST_F(AssemblyTest, ChildListingIgnoresBadInputs) {
  std::vector<SoFullPath*> out;
  CGO::GetAllChildIns(doc, nullptr, out, true);
  PathRef docOnly(Resolve(""));  // [document]: not a component kit
  CGO::GetAllChildIns(doc, docOnly.full(), out, true);
  PathRef subLPath(Resolve("3"));
  CGO::GetAllChildIns(nullptr, subLPath.full(), out, true);  // no document at all
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

TEST(StringToWString, Utf8UpToTheFirstNul) {
  EXPECT_EQ(L"Bolt_\u87BA\u6813", CGO::StringToWString("Bolt_\xE8\x9E\xBA\xE6\xA0\x93"));
  EXPECT_EQ(L"ab", CGO::StringToWString(std::string("ab\0cd", 5)));
  EXPECT_EQ(L"", CGO::StringToWString(""));
}
