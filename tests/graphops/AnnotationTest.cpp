// Annotations, views, magnetic lines and welds on the shared-sub-assembly
// document: serial numbering, collectors, deletion with relations, welds,
// picture annotations read through Coin's image reader.
#include <string>
#include <vector>

#include <Inventor/SbViewportRegion.h>
#include <Inventor/nodes/SoSelection.h>

#include "host/SoKRN_FdtKit.h"
#include "host/SoKRN_FeatureKit.h"
#include "host/SoKRN_MagneticLineKit.h"
#include "host/SoKRN_ModelDisplay.h"
#include "host/SoKRN_NodeKit.h"
#include "host/SoKRN_WeldKit.h"
#include "host/TpxProductData.h"
#include "support/TestAssembly.h"

namespace {

class AnnotationTest : public AssemblyTest {
protected:
  // A serial-number annotation of type 5 under `root`: one composite text,
  // a value text and (when `suffix` is not null) a suffix text.
  SoKRN_NodeKit* Serial(SoKRN_NodeKit* root, const wchar_t* value, const wchar_t* suffix) {
    auto* proto = dynamic_cast<Tpx_ProtoType*>(top->getTpxObjCache());
    auto* pmi = new Tpx_PMI(proto, 5);
    pmi->RegisterID(0);
    proto->AddPMI(pmi);
    std::vector<Tpx_Text> texts(suffix ? 2 : 1);
    texts[0].text = value, texts[0].charHeight = 3.5f;
    if (suffix) texts[1].text = suffix, texts[1].usageType = 7;
    pmi->GetComText().resize(1);
    pmi->GetComText()[0].SetTexts(texts);
    return SoKRN_NodeKit::createNode(SoKRN_NodeKit::ANNOTATION, root, pmi->GetNode(), 0);
  }
  static Tpx_PMI* PMIOf(SoKRN_NodeKit* kit) { return static_cast<SoKRN_FdtKit*>(kit->getNodeEnt())->getAttchTpxPMI(); }
};

}  // namespace

TEST_F(AnnotationTest, SerialNumbersPerSuffix) {
  SoKRN_NodeKit* root = top->getRootNode();
  std::vector<SoKRN_NodeKit*> none;
  EXPECT_EQ(CGraphOperation::AllocateSNPMI(none, L"A"), 1);
  std::vector<SoKRN_NodeKit*> kits = {Serial(root, L"3-A", L"A"), Serial(root, L"7-A", L"A"),
                                      Serial(root, L"9-B", L"B"), Serial(root, L"12", L"*")};
  EXPECT_EQ(CGraphOperation::AllocateSNPMI(kits, L"A"), 8);
  EXPECT_EQ(CGraphOperation::AllocateSNPMI(kits, L"B"), 10);
  EXPECT_EQ(CGraphOperation::AllocateSNPMI(kits, L"*"), 13) << "the star is never written after the number";

  std::wstring value, suffix;
  CGraphOperation::GetSNPMIValueAndSuffix(static_cast<SoKRN_FdtKit*>(kits[1]->getNodeEnt()), value, suffix);
  EXPECT_EQ(value, L"7");
  EXPECT_EQ(suffix, L"A");

  // Numbering an annotation without a suffix text: it gets the next number
  // for "B" and a suffix text (usage 7, spacing 1.1, the value's size).
  CGraphOperation::SetActiveMainDocKit(doc);
  SoKRN_NodeKit* fresh = Serial(root, L"1", nullptr);
  ASSERT_EQ(CGraphOperation::AddSuffix(PMIOf(fresh), L"B", doc, false), 0);
  const std::vector<Tpx_Text>& texts = PMIOf(fresh)->GetComText()[0].GetTexts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].text, L"10-B");
  EXPECT_EQ(texts[1].usageType, 7);
  EXPECT_FLOAT_EQ(texts[1].charSpacing, 1.1f);
  EXPECT_FLOAT_EQ(texts[1].charHeight, 3.5f) << "the value's size";
  // With a suffix text: the new suffix goes after it unless kept.
  ASSERT_EQ(CGraphOperation::AddSuffix(PMIOf(kits[0]), L"X", doc, false), 0);
  EXPECT_EQ(PMIOf(kits[0])->GetComText()[0].GetTexts()[0].text, L"1-AX");
  EXPECT_EQ(CGraphOperation::AddSuffix(PMIOf(kits[2]), std::wstring(128, L'x'), doc, false), -2) << "B + 128";
  EXPECT_EQ(CGraphOperation::AddSuffix(nullptr, L"A", doc, false), -1);
}

TEST_F(AnnotationTest, CollectorsLookupsAndDeletionWithRelations) {
  SoKRN_NodeKit* root = sub->getRootNode();
  SoKRN_NodeKit* note = Serial(root, L"1", nullptr);
  SoKRN_NodeKit* folder = SoKRN_NodeKit::createNode(SoKRN_NodeKit::GROUP, root, nullptr, 0);
  SoKRN_NodeKit* inner = SoKRN_NodeKit::createNode(SoKRN_NodeKit::ANNOTATION, folder, nullptr, 0);
  SoKRN_NodeKit* view = SoKRN_NodeKit::createNode(SoKRN_NodeKit::MODEL_DISPLAY, folder, nullptr, 0);
  auto* viewData = new Tpx_View(dynamic_cast<Tpx_ProtoType*>(sub->getTpxObjCache()));
  view->getNodeEnt()->setTpxObjCache(viewData);
  std::vector<SoKRN_NodeKit*> out;
  CGraphOperation::GetAllPMINodeKit(root, out);
  EXPECT_EQ(out, (std::vector<SoKRN_NodeKit*>{note, inner})) << "folders searched, depth first";
  out.clear();
  CGraphOperation::GetPMINodeKitByType(root, 5, out);
  EXPECT_EQ(out, std::vector<SoKRN_NodeKit*>{note}) << "the inner one has no PMI attached";
  out.clear();
  CGraphOperation::GetAllViewNodeKit(root, out);
  EXPECT_EQ(out, std::vector<SoKRN_NodeKit*>{view});

  // Both instances of Sub show the annotation; its lookups go by either.
  EXPECT_EQ(CGraphOperation::GetPMIById(doc, "PATH|0|3", note->getID()), note->getNodeEnt());
  auto* fdt = static_cast<SoKRN_FdtKit*>(note->getNodeEnt());
  std::wstring where;
  CGraphOperation::GetPMIPlcPathByNode(doc, fdt, where);
  EXPECT_EQ(where, L"PATH|0|3");
  SoKRN_FdtKit* stray = new SoKRN_FdtKit;
  stray->ref();
  CGraphOperation::GetPMIPlcPathByNode(doc, stray, where);
  EXPECT_EQ(where, L"PATH|0");
  stray->unref();

  // Relations: the view points at the annotation, a magnetic line of the
  // active component links it.
  view->createNodeConnector(note->getID(), SoKRN_FdtKit::getClassTypeId(), "");
  view->createNodeConnector(note->getID(), SoKRN_ModelDisplay::getClassTypeId(), "");
  auto* link = new Tpx_NodeConnector(viewData->GetProtoType(), 10, 900);
  link->SetLinkNode(note->getID());
  viewData->AddNodeConnector(link);
  CGraphOperation::SetActiveMainDocKit(doc);
  doc->setActiveComp(sub);
  auto* line = new SoKRN_MagneticLineKit;
  line->addPMIRelation(L"PATH|0|3");
  auto* feature = new SoKRN_FeatureKit;
  feature->setMagneticLineKit(line);
  SoKRN_NodeKit* holder = SoKRN_NodeKit::createNode(SoKRN_NodeKit::GROUP, root, nullptr, 0);
  holder->setNodeFeat(feature);
  EXPECT_FALSE(CGraphOperation::MagLineUnderRootNode(doc, line)) << "under Sub, not under the top prototype";

  const int before = root->getNumChildren();
  CGraphOperation::DelPMI(doc, SbViewportRegion(), nullptr, "PATH|0|3", note->getID());
  EXPECT_EQ(root->getNumChildren(), before - 1);
  ASSERT_EQ(view->getNumNodeConnector(), 1) << "only the relation to the annotation goes";
  EXPECT_EQ(view->getNodeConnector(0)->getPointedType(), SoKRN_ModelDisplay::getClassTypeId());
  EXPECT_EQ(viewData->GetNumNodeConnector(), 0);
  EXPECT_TRUE(line->getPMIRelations().empty());
  CGraphOperation::DelMagneticLine(doc, holder->getID());
  EXPECT_EQ(root->getNumChildren(), before - 2);
  doc->setActiveComp(nullptr);
}

TEST_F(AnnotationTest, WeldsByIdAndTheirHighlight) {
  std::vector<SoKRN_WeldKit*> welds;
  for (uint32_t id : {1u, 2u, 2u}) {
    welds.push_back(new SoKRN_WeldKit);
    welds.back()->weldId = id;
    top->addWeld(welds.back());
  }
  CGraphOperation::SetWeldsVisibity(2, doc, 0);
  EXPECT_TRUE(welds[0]->isVisible() && !welds[1]->isVisible() && !welds[2]->isVisible()) << "id 2 hidden";

  SoSelection* selection = doc->getSelectionNode();
  CGraphOperation::SetActiveSceneGraph(selection);
  CGraphOperation::HeightLightHandOrder(nullptr, doc, "", 2, 1);
  ASSERT_EQ(selection->getNumSelected(), 1) << "the first weld with that id";
  EXPECT_EQ(static_cast<SoFullPath*>(selection->getPath(0))->getTail(), welds[1]);
  CGraphOperation::HeightLightHandOrder(selection, doc, "", 0, 0);
  EXPECT_EQ(selection->getNumSelected(), 3) << "all welds, without deselecting first";
  CGraphOperation::SetActiveSceneGraph(nullptr);
}

TEST_F(AnnotationTest, PictureAnnotationsLinkedOrEmbedded) {
  SbVec2f at(4, 5);
  const std::wstring file = CGraphOperation::StringToWString(VX_TEST_DATA_DIR "/image/logo.png");
  SoKRN_NodeKit* linked = CGraphOperation::CreateImageNode(doc, at, file, L"Logo", 30, 20, 1.5, false);
  SoKRN_NodeKit* embedded = CGraphOperation::CreateImageNode(doc, at, file, L"Logo", 30, 20, 1.5, true);
  ASSERT_TRUE(linked && embedded);
  auto* proto = dynamic_cast<Tpx_ProtoType*>(top->getTpxObjCache());
  ASSERT_EQ(proto->GetNumPMI(), 1) << "only the embedded one is the prototype's";
  for (SoKRN_NodeKit* kit : {linked, embedded}) {
    Tpx_PMI* pmi = PMIOf(kit);
    ASSERT_NE(pmi, nullptr);
    EXPECT_EQ(pmi->GetType(), 33);
    ASSERT_EQ(pmi->GetPictures().size(), 1u);
    EXPECT_EQ(pmi->GetPictures()[0].type, 3) << "a PNG";
    EXPECT_FLOAT_EQ(pmi->GetPictures()[0].scaleY, 1.5f);
  }
  EXPECT_EQ(PMIOf(linked)->GetNode(), nullptr) << "detached";
  const Tpx_Picture& pixels = PMIOf(embedded)->GetPictures()[0];
  EXPECT_EQ(pixels.saveStyle, 1);
  ASSERT_EQ(pixels.actualWidth, 3) << "Coin's image reader needs libsimage";
  EXPECT_EQ(pixels.components, 3);
  ASSERT_EQ(pixels.data.size(), 20u) << "18 bytes rounded up to a multiple of 4";
  // Bottom row first: red, red, blue; then red, green, red.
  EXPECT_EQ(pixels.data[6], 0);
  EXPECT_EQ(pixels.data[8], 255);
  EXPECT_EQ(pixels.data[13], 255);

  SoKRN_NodeKit* bmp = CGraphOperation::CreateImageNode(doc, at, L"logo.bmp", L"", 1, 1, 1, false);
  EXPECT_EQ(PMIOf(bmp)->GetPictures()[0].type, 1);
  EXPECT_EQ(CGraphOperation::CreateImageNode(nullptr, at, file, L"", 1, 1, 1, false), nullptr);
}
