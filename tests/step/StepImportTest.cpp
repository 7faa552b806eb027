// STEP import: files written here with Open CASCADE's own STEP writer, read
// back through ImportAssembly and the `vistrel` program.
//
// The machine written by WriteMachine (millimetres; Rz(a) a rotation about z):
//   Machine
//     Joint_0  Joint at identity
//     Joint_1  Joint at Rz(30 deg), then T(100,0,0)
//     Joint_2  Joint at Rx(90 deg), then T(0,100,0), instance colour green
//     Bracket  part "4711", a 10 mm cube, at T(26,16,2): overlaps Joint_0's
//              plate by 4x4x4 (a part named by a number keeps it)
//   Joint (assembly)
//     Plate_1  plate 60x40x6 with four 3.3 holes at (+-22, +-12), blue, top face sand
//     Bolts_R  BoltSet at T(22,0,0)
//     Bolts_L  BoltSet at Rz(180 deg), then T(-22,0,0)
//     Pin      sphere r 4 at T(0,0,12), no colour of its own
//   BoltSet (assembly): Bolt at T(0,12,0) and T(0,-12,0), both unnamed
//   Bolt: shank r 3 from z -5 to 11 and head r 5 to z 14, orange
// Every bolt sits in a hole with 0.3 clearance; the bracket is the one clash.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <map>
#include <random>
#include <set>

#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoMaterialBinding.h>

#include <BRepAlgoAPI_Cut.hxx>
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepBndLib.hxx>
#include <BRepGProp.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <Bnd_Box.hxx>
#include <GProp_GProps.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Message_PrinterOStream.hxx>
#include <Quantity_Color.hxx>
#include <STEPCAFControl_Writer.hxx>
#include <TDataStd_Name.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_ColorTool.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>

#include "host/DocumentBuilder.h"
#include "support/Files.h"
#include "support/ImportSupport.h"
#include "tools/StepImporter.h"

using namespace importtest;

namespace {

// Rotation by `degrees` about `axis` through the origin, then T(x,y,z).
gp_Trsf Placement(double x, double y, double z, double degrees = 0, const gp_Dir& axis = gp::DZ()) {
  gp_Trsf r, t;
  r.SetRotation(gp_Ax1(gp_Pnt(0, 0, 0), axis), degrees * M_PI / 180.0);
  t.SetTranslation(gp_Vec(x, y, z));
  return t.Multiplied(r);
}

struct Part {
  TopoDS_Shape shape;
  double volume = 0, area = 0;
};

struct Machine {
  TempDir dir;
  std::string file = dir.File("machine.step");
  std::map<std::string, Part> parts;        // by prototype name
  std::map<std::string, std::string> leaf;  // placement path -> part name
  std::map<std::string, gp_Trsf> world;     // placement path -> world placement
  double topFaceArea = 0;                   // the plate's top face

  Machine() { Write(); }
  void Write();
};

// Writes the machine above; the expected leaves go to `leaf` and `world`.
void Machine::Write() {
  Message::DefaultMessenger()->RemovePrinters(STANDARD_TYPE(Message_PrinterOStream));
  TopoDS_Shape plate = BRepPrimAPI_MakeBox(gp_Pnt(-30, -20, 0), 60, 40, 6).Shape();
  for (double x : {-22.0, 22.0})
    for (double y : {-12.0, 12.0})
      plate = BRepAlgoAPI_Cut(plate, BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(x, y, -1), gp::DZ()), 3.3, 8).Shape());
  const TopoDS_Shape bolt =
      BRepAlgoAPI_Fuse(BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(0, 0, -5), gp::DZ()), 3, 16).Shape(),
                       BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(0, 0, 11), gp::DZ()), 5, 3).Shape());
  const TopoDS_Shape shapes[4] = {plate, bolt, BRepPrimAPI_MakeSphere(4).Shape(),
                                  BRepPrimAPI_MakeBox(10, 10, 10).Shape()};
  const char* names[4] = {"Plate", "Bolt", "Pin", "4711"};

  Handle(TDocStd_Document) doc;
  XCAFApp_Application::GetApplication()->NewDocument("MDTV-XCAF", doc);
  Handle(XCAFDoc_ShapeTool) tool = XCAFDoc_DocumentTool::ShapeTool(doc->Main());
  Handle(XCAFDoc_ColorTool) colours = XCAFDoc_DocumentTool::ColorTool(doc->Main());
  auto colour = [&](const TDF_Label& l, double r, double g, double b, XCAFDoc_ColorType type = XCAFDoc_ColorGen) {
    colours->SetColor(l, Quantity_Color(r, g, b, Quantity_TOC_sRGB), type);
  };
  std::map<std::string, TDF_Label> labels;
  for (int i = 0; i < 4; ++i) {
    GProp_GProps v, a;
    BRepGProp::VolumeProperties(shapes[i], v);
    BRepGProp::SurfaceProperties(shapes[i], a);
    parts[names[i]] = {shapes[i], v.Mass(), a.Mass()};
    TDataStd_Name::Set(labels[names[i]] = tool->AddShape(shapes[i], Standard_False), names[i]);
  }
  colour(labels["Plate"], 0.2, 0.4, 0.8), colour(labels["Bolt"], 1.0, 0.5, 0.0);
  for (TopExp_Explorer f(plate, TopAbs_FACE); f.More(); f.Next()) {
    GProp_GProps props;
    BRepGProp::SurfaceProperties(f.Current(), props);
    if (std::fabs(props.CentreOfMass().Z() - 6) > 1e-9) continue;
    topFaceArea = props.Mass();
    colour(tool->AddSubShape(labels["Plate"], f.Current()), 0.9, 0.85, 0.6, XCAFDoc_ColorSurf);
  }

  auto add = [&](TDF_Label parent, TDF_Label child, const gp_Trsf& t, const char* name) {
    TDF_Label c = tool->AddComponent(parent, child, TopLoc_Location(t));
    if (name) TDataStd_Name::Set(c, name);
    return c;
  };
  const TDF_Label boltSet = tool->NewShape(), joint = tool->NewShape(), machine = tool->NewShape();
  for (const auto& [label, name] : {std::pair(boltSet, "BoltSet"), {joint, "Joint"}, {machine, "Machine"}})
    TDataStd_Name::Set(label, name);
  const gp_Trsf inSet[2] = {Placement(0, 12, 0), Placement(0, -12, 0)};
  for (const gp_Trsf& t : inSet) add(boltSet, labels["Bolt"], t, nullptr);
  const gp_Trsf inJoint[4] = {gp_Trsf(), Placement(22, 0, 0), Placement(-22, 0, 0, 180), Placement(0, 0, 12)};
  add(joint, labels["Plate"], inJoint[0], "Plate_1");
  add(joint, boltSet, inJoint[1], "Bolts_R");
  add(joint, boltSet, inJoint[2], "Bolts_L");
  add(joint, labels["Pin"], inJoint[3], "Pin");
  const gp_Trsf joints[3] = {gp_Trsf(), Placement(100, 0, 0, 30), Placement(0, 100, 0, 90, gp::DX())};
  for (int j = 0; j < 3; ++j) {
    const TDF_Label c = add(machine, joint, joints[j], ("Joint_" + std::to_string(j)).c_str());
    if (j == 2) colour(c, 0, 1, 0);
    const std::string base = "PATH|0|" + std::to_string(j) + "|";
    for (int k : {0, 3}) {
      leaf[base + std::to_string(k)] = k == 0 ? "Plate" : "Pin";
      world[base + std::to_string(k)] = joints[j].Multiplied(inJoint[k]);
    }
    for (int s : {1, 2})
      for (int b : {0, 1}) {
        const std::string path = base + std::to_string(s) + "|" + std::to_string(b);
        leaf[path] = "Bolt";
        world[path] = joints[j].Multiplied(inJoint[s]).Multiplied(inSet[b]);
      }
  }
  add(machine, labels["4711"], Placement(26, 16, 2), "Bracket");
  leaf["PATH|0|3"] = "4711";
  world["PATH|0|3"] = Placement(26, 16, 2);
  tool->UpdateAssemblies();

  STEPCAFControl_Writer writer;
  ASSERT_TRUE(writer.Transfer(doc, STEPControl_AsIs));
  ASSERT_EQ(writer.Write(file.c_str()), IFSelect_RetDone);
  XCAFApp_Application::GetApplication()->Close(doc);
}

// Written once for all tests, removed at exit.
const Machine& TheMachine() {
  static const Machine machine;
  return machine;
}

SoKRN_MainDoc* Import(const std::string& file, ImportStats* stats = nullptr) {
  std::string error;
  SoKRN_MainDoc* doc = ImportAssembly(file, error, stats);
  EXPECT_TRUE(doc) << error;
  return doc;
}

// The prototype's SoMaterial and SoMaterialBinding, each null when absent.
std::pair<SoMaterial*, SoMaterialBinding*> MaterialOf(SoKRN_ComponentKit* proto) {
  std::pair<SoMaterial*, SoMaterialBinding*> out{nullptr, nullptr};
  SoGroup* bodies = proto->getBodiesIfAny();
  for (int i = 0; bodies && i < bodies->getNumChildren(); ++i) {
    SoNode* n = bodies->getChild(i);
    if (n->isOfType(SoMaterial::getClassTypeId())) out.first = static_cast<SoMaterial*>(n);
    if (n->isOfType(SoMaterialBinding::getClassTypeId())) out.second = static_cast<SoMaterialBinding*>(n);
  }
  return out;
}

vxtest::ProgramRun RunVistrel(const std::vector<std::string>& args) {
  return vxtest::RunProgram(VX_VISTREL_BINARY, args);
}

}  // namespace

// Tree, names, placements, instancing and colours against what the writer wrote.
TEST(StepImport, AssemblyTreeNamesPlacementsInstancingAndColours) {
  const Machine& m = TheMachine();
  ImportStats stats;
  DocRef doc(Import(m.file, &stats));
  ASSERT_TRUE(doc);
  // Joint, BoltSet and Pin also come green (Joint_2's instance colour);
  // Plate and Bolt have colours of their own and stay shared.
  EXPECT_EQ(stats.prototypes, 9);
  EXPECT_EQ(stats.instances, 4 + 2 * (4 + 2));
  EXPECT_EQ(Name(doc->getTopPrototype()), L"Machine");
  const auto occurrences = Occurrences(doc.doc);
  ASSERT_EQ(occurrences.size(), m.leaf.size());
  std::map<std::string, std::set<SoKRN_ComponentKit*>> protosOf;
  for (const auto& [path, occ] : occurrences) {
    ASSERT_TRUE(m.leaf.count(path)) << "unexpected occurrence " << path;
    const std::string part = m.leaf.at(path);
    EXPECT_EQ(Name(occ.prototype), CGraphOperation::StringToWString(part)) << path;
    protosOf[part].insert(occ.prototype);
    // Unnamed bolts are numbered in their set. The writer leaves out the
    // names of components placed at identity (Plate_1), so those too.
    const std::wstring name = part == "Bolt"    ? (path.back() == '0' ? L"Bolt:1" : L"Bolt:2")
                              : part == "Plate" ? L"Plate:1"
                              : part == "4711"  ? L"Bracket"
                                                : L"Pin";
    EXPECT_EQ(occ.name, name) << path;
    // The placement Coin applies maps points as the writer's composed placement does.
    for (const gp_Pnt p : {gp_Pnt(0, 0, 0), gp_Pnt(10, 0, 0), gp_Pnt(0, 10, 0), gp_Pnt(0, 0, 10)}) {
      SbVec3f got;
      occ.world.multVecMatrix(SbVec3f(float(p.X()), float(p.Y()), float(p.Z())), got);
      const gp_Pnt want = p.Transformed(m.world.at(path));
      EXPECT_LT((got - SbVec3f(float(want.X()), float(want.Y()), float(want.Z()))).length(), 1e-4f) << path;
    }
  }
  EXPECT_EQ(protosOf["Bolt"].size(), 1u) << "12 bolts, one prototype";
  EXPECT_EQ(protosOf["Plate"].size(), 1u);
  EXPECT_EQ(protosOf["Pin"].size(), 2u) << "plain and green";
  for (const auto& [path, name] : std::map<std::string, std::wstring>{
           {"PATH|0|0", L"Joint:1"}, {"PATH|0|1", L"Joint_1"}, {"PATH|0|1|1", L"Bolts_R"}, {"PATH|0|2|2", L"Bolts_L"}})
    EXPECT_EQ(Name(static_cast<SoKRN_DocElementKit*>(CGraphOperation::GetNodeByPlcPath(doc.doc, path.c_str()))), name);

  // Colours: the plate's blue with its sand top face (per triangle), the
  // bolt's orange, and Joint_2's green on the pin that has none of its own.
  SoKRN_ComponentKit* plate = occurrences.at("PATH|0|0|0").prototype;
  const auto [material, binding] = MaterialOf(plate);
  ASSERT_TRUE(material && binding && binding->value.getValue() == SoMaterialBinding::PER_FACE);
  std::vector<float> xyz;
  std::vector<int> tris;
  vx::host::GetPrototypeMesh(plate, xyz, tris);
  ASSERT_EQ(material->diffuseColor.getNum() * 3, int(tris.size()));
  double sandArea = 0;
  for (int t = 0; t < material->diffuseColor.getNum(); ++t) {
    const SbVec3f a(&xyz[3 * size_t(tris[3 * t])]), b(&xyz[3 * size_t(tris[3 * t + 1])]),
        c(&xyz[3 * size_t(tris[3 * t + 2])]);
    if ((material->diffuseColor[t] - SbColor(0.9f, 0.85f, 0.6f)).length() < 1e-6f) {
      EXPECT_TRUE(a[2] == 6 && b[2] == 6 && c[2] == 6) << "sand triangle off the top face";
      sandArea += 0.5 * double((b - a).cross(c - a).length());
    } else {
      EXPECT_LT((material->diffuseColor[t] - SbColor(0.2f, 0.4f, 0.8f)).length(), 1e-6f);
    }
  }
  EXPECT_NEAR(sandArea, m.topFaceArea, 0.01 * m.topFaceArea);
  const auto bolt = MaterialOf(occurrences.at("PATH|0|2|1|0").prototype);
  ASSERT_TRUE(bolt.first && !bolt.second) << "one colour for the whole bolt";
  EXPECT_LT((bolt.first->diffuseColor[0] - SbColor(1, 0.5f, 0)).length(), 1e-6f);
  EXPECT_FALSE(MaterialOf(occurrences.at("PATH|0|0|3").prototype).first) << "the plain pin has no colour";
  const auto green = MaterialOf(occurrences.at("PATH|0|2|3").prototype);
  ASSERT_TRUE(green.first);
  EXPECT_EQ(green.first->diffuseColor[0], SbColor(0, 1, 0));

  // `vistrel info` lists the bolt as one prototype with 12 occurrences.
  const vxtest::ProgramRun info = RunVistrel({"info", m.file});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("Bolt  instances=4  occurrences=12"), std::string::npos) << info.out;
}

// Tessellated volumes stay within the deflection's reach of the exact B-rep
// volume (surface area x deflection bounds the gap), at the default and at
// set deflections; a coarser deflection gives a coarser sphere.
TEST(StepImport, TessellationWithinDeflection) {
  const Machine& m = TheMachine();
  const std::map<std::string, std::string> pathOf = {
      {"Plate", "PATH|0|0|0"}, {"Bolt", "PATH|0|0|1|0"}, {"Pin", "PATH|0|0|3"}, {"4711", "PATH|0|3"}};
  std::map<double, std::pair<size_t, double>> sphere;  // deflection -> triangles, largest deviation
  for (double deflection : {0.0, 0.05, 0.5}) {
    SetStepDeflection(deflection);
    DocRef doc(Import(m.file));
    ASSERT_TRUE(doc);
    const auto occurrences = Occurrences(doc.doc);
    for (const auto& [name, path] : pathOf) {
      const Part& part = m.parts.at(name);
      Bnd_Box box;
      BRepBndLib::Add(part.shape, box);
      const double d = deflection > 0 ? deflection : 1e-3 * std::sqrt(box.SquareExtent());
      std::vector<float> xyz;
      std::vector<int> tris;
      vx::host::GetPrototypeMesh(occurrences.at(path).prototype, xyz, tris);
      double volume = 0, deviation = 0;  // signed volume (divergence theorem); sphere only: centroid depth
      for (size_t t = 0; t < tris.size(); t += 3) {
        const SbVec3f a(&xyz[3 * size_t(tris[t])]), b(&xyz[3 * size_t(tris[t + 1])]), c(&xyz[3 * size_t(tris[t + 2])]);
        volume += double(a.dot(b.cross(c))) / 6.0;
        deviation = std::max(deviation, std::fabs(4.0 - double((a + b + c).length()) / 3.0));
      }
      EXPECT_LE(std::fabs(volume - part.volume), part.area * d + 1e-6 * part.volume)
          << name << " at deflection " << deflection << ": " << volume << " against " << part.volume;
      if (name != "Pin") continue;
      EXPECT_LE(deviation, d) << "sphere at deflection " << d;
      sphere[deflection] = {tris.size() / 3, deviation};
    }
  }
  SetStepDeflection(0);
  EXPECT_LT(sphere[0.5].first, sphere[0.05].first);
  EXPECT_GT(sphere[0.5].second, 0.05) << "the coarse setting was not applied";
}

// `vistrel check` finds the bracket in Joint_0's plate, and nothing else:
// the bolts stand in their holes with 0.3 to spare.
TEST(StepImport, CheckFindsTheDesignedClash) {
  const std::string json = TheMachine().dir.File("report.json");
  const vxtest::ProgramRun r = RunVistrel({"check", TheMachine().file, "--cut-faces", "--quiet", "--json", json});
  ASSERT_EQ(r.status, 1) << r.err;
  const vxtest::Json report = vxtest::ReadJsonFile(json);
  ASSERT_EQ(report["results"].items.size(), 1u) << r.out;
  const vxtest::Json& result = report["results"].items.at(0);
  EXPECT_EQ(result["kind"].s, "interference");
  EXPECT_EQ((std::set<std::string>{result["path1"].s, result["path2"].s}),
            (std::set<std::string>{"PATH|0|0|0", "PATH|0|3"}));
  EXPECT_NEAR(result["volume"].n, 64.0, 1e-3) << "the 4 x 4 x 4 overlap of two boxes";
}

// Damaged files: exit 2 with a reason, from the program; and seeded
// mutations of a good file through the importer, which must neither crash
// nor hand back a document without triangles.
TEST(StepImport, BadFilesFailCleanly) {
  const TempDir& dir = TheMachine().dir;
  const std::string good = ReadBytes(TheMachine().file);
  const size_t data = good.find("DATA;"), product = good.find("PRODUCT_DEFINITION(");
  ASSERT_TRUE(data != std::string::npos && product != std::string::npos);
  const size_t lineStart = good.rfind('\n', product) + 1, lineEnd = good.find('\n', product) + 1;
  const std::string cut = good.substr(0, good.size() / 2);
  const struct {
    const char* name;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"empty.step", "", "empty file"},
      {"garbage.stp", "PK\x03\x04 this is a zip, not STEP", "not a STEP file"},
      {"cut.step", cut, "cut off"},
      {"cut-closed.step", cut.substr(0, cut.rfind('\n') + 1) + "END-ISO-10303-21;\n", "damaged STEP file"},
      {"missing.step", good.substr(0, lineStart) + good.substr(lineEnd), "which is not in the file"},
      {"no-shapes.p21", good.substr(0, data) + "DATA;\nENDSEC;\nEND-ISO-10303-21;\n", "no shapes"},
  };
  for (const auto& c : cases) {
    const std::string file = dir.Write(c.name, c.bytes);
    const vxtest::ProgramRun r = RunVistrel({"info", file});
    EXPECT_EQ(r.status, 2) << c.name << ": " << r.err;
    EXPECT_EQ(r.err.rfind("vistrel: " + file + ": ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << c.name << ": " << r.err;
  }

  std::mt19937 random(19);
  for (int round = 0; round < 24; ++round) {
    std::string bytes = good;
    const size_t begin = data + 6, span = bytes.size() - begin - 40;  // keep the envelope
    for (int k = 0; k < 1 + round % 4; ++k) {
      const size_t at = begin + random() % span;
      switch (random() % 3) {
        case 0:
          bytes[at] = "#(),;'=0123456789.E-"[random() % 20];
          break;
        case 1:
          bytes.erase(at, 1 + random() % 40);
          break;
        default:
          bytes.insert(at, bytes.substr(begin + random() % span, 1 + random() % 60));
          break;
      }
    }
    std::string error;
    ImportStats stats;
    DocRef doc(ImportAssembly(dir.Write("mutant.step", bytes), error, &stats));
    EXPECT_TRUE(doc ? stats.placedTriangles > 0 : !error.empty()) << "round " << round;
  }
}
