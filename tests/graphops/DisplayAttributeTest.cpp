// Display attributes on the shared-sub-assembly document: type selectors,
// visibility inheritance and isolation, colour overrides per occurrence and
// on annotations, deletion after the yes/no question.
#include <set>
#include <string>

#include <Inventor/nodes/SoMaterial.h>

#include "host/SoKRN_FdtKit.h"
#include "host/SoKRN_NodeKit.h"
#include "host/SoKRN_State.h"
#include "platform/Platform.h"
#include "support/TestAssembly.h"

namespace {

class DisplayTest : public AssemblyTest {
protected:
  void SetUp() override {
    AssemblyTest::SetUp();
    // Annotation 0xa of the Sub prototype: shown by both SubL and SubR.
    note = SoKRN_NodeKit::createNode(SoKRN_NodeKit::ANNOTATION, sub->getRootNode(), nullptr, 0);
    note->nodeId = 0xa;
  }

  // Occurrences that read visible in the document state.
  std::set<std::string> Visible() {
    std::set<std::string> out;
    hosttest::ForEachOccurrence(doc, [&](const std::string& plc, SoKRN_ComponentKit*) {
      PathRef p(Resolve(plc.c_str()));
      if (doc->getKRNState()->getDocEleVisible(p.path) != 0) out.insert(plc);
    });
    return out;
  }

  void Select(const char* plc) { doc->select(Resolve(plc)); }

  SoKRN_NodeKit* note = nullptr;
};

const std::set<std::string> kAll = {"3", "3|1", "3|1a", "0", "0|1", "0|1a", "ff", "deadbeef"};

}  // namespace

TEST_F(DisplayTest, SelectorsPickTheInstanceOrOneOfItsAnnotations) {
  struct Case {
    const char* selector;
    bool instanceHidden, noteHidden;
  } cases[] = {
      {nullptr, true, false}, {"", true, false},       {"PMI|a", false, true},
      {"PMI_a", false, true}, {"XYZ|a", false, false},  // not an annotation selector: nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.selector ? c.selector : "(null)");
    CGraphOperation::SetVisibilityByPlcPath(doc, "PATH|0|3", c.selector, 0);
    EXPECT_EQ(Visible().count("3") == 0, c.instanceHidden);
    EXPECT_EQ(Visible().count("3|1a") == 0, c.instanceHidden) << "the subtree inherits";
    EXPECT_EQ(!note->isVisible(), c.noteHidden);
    CGraphOperation::SetVisibilityByPlcPath(doc, "PATH|0|3", c.selector, 1);
    EXPECT_EQ(Visible(), kAll);
    EXPECT_TRUE(note->isVisible());
  }
}

TEST_F(DisplayTest, IsolateKeepsTheSelectionItsAncestorsAndItsSubtree) {
  CGraphOperation::SetInsIsolate(doc);
  EXPECT_EQ(Visible(), kAll) << "nothing selected: nothing happens";
  Select("3|1a");
  CGraphOperation::SetInsIsolate(doc);
  EXPECT_EQ(Visible(), (std::set<std::string>{"3", "3|1a"}));
  CGraphOperation::SetInsVisibility(doc, 1);
  EXPECT_EQ(Visible(), kAll);
  // Hiding the selection recursively and deselecting, also when a selected
  // path is no instance (the document's root).
  doc->select(Resolve(""));
  CGraphOperation::SetSelectedInsVisibility(doc, 0);
  EXPECT_EQ(doc->getNumSelected(), 0);
  std::set<std::string> rest = kAll;
  rest.erase("3|1a");
  EXPECT_EQ(Visible(), rest);
}

TEST_F(DisplayTest, ColourOverridesPerOccurrenceAndOnAnnotations) {
  SoKRN_State* state = doc->getKRNState();
  SoKRN_State::InsLook look;
  auto lookOf = [&](const char* plc) {
    PathRef p(Resolve(plc));
    look = SoKRN_State::InsLook();
    return state->getInsLook(p.path, look);
  };
  CGraphOperation::SetColorByPlcPath(doc, "PATH|0|3|1", nullptr, SbVec3f(0, 0, 0));
  ASSERT_TRUE(lookOf("3|1"));
  EXPECT_TRUE(look.hasColor);
  EXPECT_EQ(look.color, SbColor(0, 0, 0)) << "black is a colour";
  EXPECT_FALSE(lookOf("0|1")) << "the twin occurrence of the same kit";
  CGraphOperation::SetColorByPlcPath(doc, "3|1", nullptr, SbVec3f(-1, 0, 0));
  EXPECT_FALSE(lookOf("3|1")) << "a negative component removes the override";

  unsigned long packed = 0x00ff8000;  // red 0, green 0x80, blue 0xff
  Select("ff");
  CGraphOperation::SetSelectedInsColor(doc, &packed);
  CGraphOperation::SetSelectedInsTrans(doc, 0.25f);
  ASSERT_TRUE(lookOf("ff"));
  EXPECT_EQ(look.color, SbColor(0, 128 / 255.0f, 1));
  EXPECT_FLOAT_EQ(look.transparency, 0.25f);

  // An annotation without a material gets the default one, overriding.
  auto* fdt = static_cast<SoKRN_FdtKit*>(note->getNodeEnt());
  ASSERT_EQ(fdt->getMaterial(), nullptr);
  CGraphOperation::SetColorByPlcPath(doc, "PATH|0|0", "PMI|a", SbVec3f(0, 1, 0));
  SoMaterial* m = fdt->getMaterial();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->diffuseColor[0], SbColor(0, 1, 0));
  EXPECT_EQ(m->specularColor[0], SbColor(0.7f, 0.7f, 0.7f));
  EXPECT_TRUE(m->isOverride());
}

namespace {

struct Answer {
  vx::platform::MessageAnswer answer;
  std::vector<std::wstring> asked;
};

vx::platform::MessageAnswer Reply(const std::wstring& text, vx::platform::MessageKind kind, void* data) {
  auto* a = static_cast<Answer*>(data);
  a->asked.push_back(text);
  return kind == vx::platform::MessageKind::YesNoQuestion ? a->answer : vx::platform::MessageAnswer::Ok;
}

}  // namespace

TEST_F(DisplayTest, DeleteAsksFirstAndRemovesFromThePrototype) {
  Answer a{vx::platform::MessageAnswer::No, {}};
  vx::platform::SetMessageHandler(&Reply, &a);
  Select("ff");
  Select("3|1");
  CGraphOperation::DelSelectedIns(doc);
  EXPECT_EQ(a.asked.size(), 1u);
  EXPECT_EQ(top->getNumEleChildren(), 4) << "answered no";
  a.answer = vx::platform::MessageAnswer::Yes;
  CGraphOperation::DelSelectedIns(doc);
  vx::platform::SetMessageHandler(nullptr, nullptr);
  EXPECT_EQ(top->findEleChildByPLCID(0xff), nullptr);
  // BoxA went from the Sub prototype: from both of its occurrences.
  EXPECT_EQ(sub->findEleChildByPLCID(1), nullptr);
  // Without a handler the default one answers: it never says yes.
  Select("0");
  CGraphOperation::DelSelectedIns(doc);
  EXPECT_NE(top->findEleChildByPLCID(0), nullptr) << "deleted without a yes";
  doc->deselectAll(TRUE);
  char single[] = "deadbeef";  // one id: a child of the active component
  CGraphOperation::DelInsByPlcPath(doc, single);
  EXPECT_EQ(top->getNumEleChildren(), 2);
}
