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
#include <unistd.h>

#include <cmath>
#include <functional>
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
#include "support/MiniJson.h"
#include "tools/StepImporter.h"
#include "tools/test_ImportSupport.h"

using namespace importtest;

namespace {

gp_Trsf Move(double x, double y, double z) {
  gp_Trsf t;
  t.SetTranslation(gp_Vec(x, y, z));
  return t;
}

// Rotation by `degrees` about the axis through the origin, then T(x,y,z).
gp_Trsf RotateMove(const gp_Dir& axis, double degrees, double x, double y, double z) {
  gp_Trsf r;
  r.SetRotation(gp_Ax1(gp_Pnt(0, 0, 0), axis), degrees * M_PI / 180.0);
  return Move(x, y, z).Multiplied(r);
}

struct Part {
  TopoDS_Shape shape;
  double volume = 0, area = 0;
};

Part Measured(const TopoDS_Shape& shape) {
  GProp_GProps v, a;
  BRepGProp::VolumeProperties(shape, v);
  BRepGProp::SurfaceProperties(shape, a);
  return {shape, v.Mass(), a.Mass()};
}

struct Machine {
  std::map<std::string, Part> parts;        // by prototype name
  std::map<std::string, std::string> leaf;  // placement path -> part name
  std::map<std::string, gp_Trsf> world;    // placement path -> world placement
  double topFaceArea = 0;                    // the plate's top face
};

// Writes the machine above to `file`; the expected leaves go to `m`.
void WriteMachine(const std::string& file, Machine& m) {
  Message::DefaultMessenger()->RemovePrinters(STANDARD_TYPE(Message_PrinterOStream));
  TopoDS_Shape plate = BRepPrimAPI_MakeBox(gp_Pnt(-30, -20, 0), 60, 40, 6).Shape();
  for (double x : {-22.0, 22.0})
    for (double y : {-12.0, 12.0})
      plate = BRepAlgoAPI_Cut(plate, BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(x, y, -1), gp::DZ()), 3.3, 8).Shape())
                  .Shape();
  const TopoDS_Shape bolt =
      BRepAlgoAPI_Fuse(BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(0, 0, -5), gp::DZ()), 3, 16).Shape(),
                       BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(0, 0, 11), gp::DZ()), 5, 3).Shape())
          .Shape();
  m.parts = {{"Plate", Measured(plate)},
             {"Bolt", Measured(bolt)},
             {"Pin", Measured(BRepPrimAPI_MakeSphere(4).Shape())},
             {"4711", Measured(BRepPrimAPI_MakeBox(10, 10, 10).Shape())}};

  Handle(TDocStd_Document) doc;
  XCAFApp_Application::GetApplication()->NewDocument("MDTV-XCAF", doc);
  Handle(XCAFDoc_ShapeTool) shapes = XCAFDoc_DocumentTool::ShapeTool(doc->Main());
  Handle(XCAFDoc_ColorTool) colours = XCAFDoc_DocumentTool::ColorTool(doc->Main());
  std::map<std::string, TDF_Label> labels;
  for (const auto& [name, part] : m.parts) {
    labels[name] = shapes->AddShape(part.shape, Standard_False);
    TDataStd_Name::Set(labels[name], name.c_str());
  }
  colours->SetColor(labels["Plate"], Quantity_Color(0.2, 0.4, 0.8, Quantity_TOC_sRGB), XCAFDoc_ColorGen);
  colours->SetColor(labels["Bolt"], Quantity_Color(1.0, 0.5, 0.0, Quantity_TOC_sRGB), XCAFDoc_ColorGen);
  for (TopExp_Explorer f(plate, TopAbs_FACE); f.More(); f.Next()) {
    GProp_GProps props;
    BRepGProp::SurfaceProperties(f.Current(), props);
    if (std::fabs(props.CentreOfMass().Z() - 6) > 1e-9) continue;
    m.topFaceArea = props.Mass();
    colours->SetColor(shapes->AddSubShape(labels["Plate"], f.Current()),
                      Quantity_Color(0.9, 0.85, 0.6, Quantity_TOC_sRGB), XCAFDoc_ColorSurf);
  }

  auto assembly = [&](const char* name) {
    TDF_Label l = shapes->NewShape();
    TDataStd_Name::Set(l, name);
    return l;
  };
  auto add = [&](TDF_Label parent, TDF_Label child, const gp_Trsf& t, const char* name) {
    TDF_Label c = shapes->AddComponent(parent, child, TopLoc_Location(t));
    if (name) TDataStd_Name::Set(c, name);
    return c;
  };
  const TDF_Label boltSet = assembly("BoltSet"), joint = assembly("Joint"), machine = assembly("Machine");
  const gp_Trsf inSet[2] = {Move(0, 12, 0), Move(0, -12, 0)};
  for (const gp_Trsf& t : inSet) add(boltSet, labels["Bolt"], t, nullptr);
  const gp_Trsf inJoint[4] = {gp_Trsf(), Move(22, 0, 0), RotateMove(gp::DZ(), 180, -22, 0, 0), Move(0, 0, 12)};
  add(joint, labels["Plate"], inJoint[0], "Plate_1");
  add(joint, boltSet, inJoint[1], "Bolts_R");
  add(joint, boltSet, inJoint[2], "Bolts_L");
  add(joint, labels["Pin"], inJoint[3], "Pin");
  const gp_Trsf joints[3] = {gp_Trsf(), RotateMove(gp::DZ(), 30, 100, 0, 0), RotateMove(gp::DX(), 90, 0, 100, 0)};
  for (int j = 0; j < 3; ++j) {
    const TDF_Label c = add(machine, joint, joints[j], ("Joint_" + std::to_string(j)).c_str());
    if (j == 2) colours->SetColor(c, Quantity_Color(0, 1, 0, Quantity_TOC_sRGB), XCAFDoc_ColorGen);
    const std::string base = "PATH|0|" + std::to_string(j) + "|";
    const char* direct[2] = {"Plate", "Pin"};
    for (int k : {0, 3}) {
      m.leaf[base + std::to_string(k)] = direct[k == 3];
      m.world[base + std::to_string(k)] = joints[j].Multiplied(inJoint[k]);
    }
    for (int s : {1, 2})
      for (int b : {0, 1}) {
        const std::string path = base + std::to_string(s) + "|" + std::to_string(b);
        m.leaf[path] = "Bolt";
        m.world[path] = joints[j].Multiplied(inJoint[s]).Multiplied(inSet[b]);
      }
  }
  add(machine, labels["4711"], Move(26, 16, 2), "Bracket");
  m.leaf["PATH|0|3"] = "4711";
  m.world["PATH|0|3"] = Move(26, 16, 2);
  shapes->UpdateAssemblies();

  STEPCAFControl_Writer writer;
  ASSERT_TRUE(writer.Transfer(doc, STEPControl_AsIs));
  ASSERT_EQ(writer.Write(file.c_str()), IFSelect_RetDone);
  XCAFApp_Application::GetApplication()->Close(doc);
}

// Signed volume of a closed mesh (divergence theorem).
double MeshVolume(const std::vector<float>& xyz, const std::vector<int>& tris) {
  double v = 0;
  for (size_t t = 0; t < tris.size(); t += 3) {
    const float *a = &xyz[3 * size_t(tris[t])], *b = &xyz[3 * size_t(tris[t + 1])], *c = &xyz[3 * size_t(tris[t + 2])];
    v += (double(a[0]) * (double(b[1]) * c[2] - double(b[2]) * c[1]) -
          double(a[1]) * (double(b[0]) * c[2] - double(b[2]) * c[0]) +
          double(a[2]) * (double(b[0]) * c[1] - double(b[1]) * c[0])) /
         6.0;
  }
  return v;
}

SoMaterial* MaterialOf(SoKRN_ComponentKit* proto, SoMaterialBinding** binding = nullptr) {
  SoGroup* bodies = proto->getBodiesIfAny();
  SoMaterial* material = nullptr;
  for (int i = 0; bodies && i < bodies->getNumChildren(); ++i) {
    SoNode* n = bodies->getChild(i);
    if (n->isOfType(SoMaterial::getClassTypeId())) material = static_cast<SoMaterial*>(n);
    if (binding && n->isOfType(SoMaterialBinding::getClassTypeId())) *binding = static_cast<SoMaterialBinding*>(n);
  }
  return material;
}

struct ProgramRun {
  int status = -1;
  std::string out, err;
};

ProgramRun RunVistrel(const TempDir& dir, const std::vector<std::string>& args) {
  const std::string out = dir.File("stdout.txt"), err = dir.File("stderr.txt");
  const pid_t pid = fork();
  if (pid == 0) {
    if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr)) _exit(127);
    std::vector<char*> argv = {const_cast<char*>(VX_VISTREL_BINARY)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(VX_VISTREL_BINARY, argv.data());
    _exit(127);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -WTERMSIG(wstatus), ReadBytes(out), ReadBytes(err)};
}

class StepImport : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    s_dir = new TempDir;
    s_file = s_dir->File("machine.step");
    s_machine = new Machine;
    WriteMachine(s_file, *s_machine);
  }
  static void TearDownTestSuite() {
    delete s_machine;
    if (!getenv("VX_KEEP_STEP")) delete s_dir;  // set: the files stay for a look
  }
  void TearDown() override { SetStepDeflection(0); }

  static SoKRN_MainDoc* Import(const std::string& file, ImportStats* stats = nullptr) {
    std::string error;
    SoKRN_MainDoc* doc = ImportAssembly(file, error, stats);
    EXPECT_TRUE(doc) << error;
    return doc;
  }

  static TempDir* s_dir;
  static std::string s_file;
  static Machine* s_machine;
};
TempDir* StepImport::s_dir = nullptr;
std::string StepImport::s_file;
Machine* StepImport::s_machine = nullptr;

}  // namespace

// Tree, names, placements and instancing against what the writer placed.
TEST_F(StepImport, AssemblyTreeNamesPlacementsAndInstancing) {
  ImportStats stats;
  DocRef doc(Import(s_file, &stats));
  ASSERT_TRUE(doc);
  // Joint, BoltSet and Pin also come green (Joint_2's instance colour);
  // Plate and Bolt have colours of their own and stay shared.
  EXPECT_EQ(stats.prototypes, 9);
  EXPECT_EQ(stats.instances, 4 + 2 * (4 + 2));
  EXPECT_EQ(Name(doc->getTopPrototype()), L"Machine");

  const auto occurrences = Occurrences(doc.doc);
  ASSERT_EQ(occurrences.size(), s_machine->leaf.size());
  std::map<std::string, std::set<SoKRN_ComponentKit*>> protosOf;
  for (const auto& [path, occ] : occurrences) {
    ASSERT_TRUE(s_machine->leaf.count(path)) << "unexpected occurrence " << path;
    const std::string part = s_machine->leaf.at(path);
    EXPECT_EQ(Name(occ.prototype), CGraphOperation::StringToWString(part)) << path;
    protosOf[part].insert(occ.prototype);
    // Unnamed bolts are numbered in their set. The writer leaves out the
    // names of components placed at identity (Plate_1), so those too.
    const std::wstring expectedName = part == "Bolt"    ? (path.back() == '0' ? L"Bolt:1" : L"Bolt:2")
                                      : part == "Plate" ? L"Plate:1"
                                      : part == "4711"  ? L"Bracket"
                                                        : CGraphOperation::StringToWString(part);
    EXPECT_EQ(occ.name, expectedName) << path;
    // The placement Coin applies maps points as the writer's composed placement does.
    const gp_Trsf& world = s_machine->world.at(path);
    for (const gp_Pnt p : {gp_Pnt(0, 0, 0), gp_Pnt(10, 0, 0), gp_Pnt(0, 10, 0), gp_Pnt(0, 0, 10)}) {
      SbVec3f got;
      occ.world.multVecMatrix(SbVec3f(float(p.X()), float(p.Y()), float(p.Z())), got);
      const gp_Pnt want = p.Transformed(world);
      EXPECT_LT(std::max({std::fabs(got[0] - want.X()), std::fabs(got[1] - want.Y()), std::fabs(got[2] - want.Z())}),
                1e-4)
          << path;
    }
  }
  EXPECT_EQ(protosOf["Bolt"].size(), 1u) << "12 bolts, one prototype";
  EXPECT_EQ(protosOf["Plate"].size(), 1u);
  EXPECT_EQ(protosOf["Pin"].size(), 2u) << "plain and green";
  // The sub-assembly instances keep their component names.
  const std::map<std::string, std::wstring> names = {
      {"PATH|0|0", L"Joint:1"}, {"PATH|0|1", L"Joint_1"}, {"PATH|0|2", L"Joint_2"}, {"PATH|0|1|1", L"Bolts_R"}, {"PATH|0|2|2", L"Bolts_L"}};
  for (const auto& [path, name] : names) {
    auto* kit = static_cast<SoKRN_DocElementKit*>(CGraphOperation::GetNodeByPlcPath(doc.doc, path.c_str()));
    EXPECT_EQ(Name(kit), name) << path;
  }

  // `vistrel info` lists the bolt as one prototype with 12 occurrences.
  const ProgramRun info = RunVistrel(*s_dir, {"info", s_file});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("Bolt  instances=4  occurrences=12"), std::string::npos) << info.out;
}

// Colours: the plate's own blue with its sand top face, the bolt's orange,
// and the green of Joint_2 on the pin that has no colour of its own.
TEST_F(StepImport, ColoursOfPartsFacesAndInstances) {
  DocRef doc(Import(s_file));
  ASSERT_TRUE(doc);
  const auto byPath = Occurrences(doc.doc);
  SoKRN_ComponentKit* plate = byPath.at("PATH|0|0|0").prototype;
  SoMaterialBinding* binding = nullptr;
  SoMaterial* material = MaterialOf(plate, &binding);
  ASSERT_TRUE(material && binding);
  EXPECT_EQ(binding->value.getValue(), SoMaterialBinding::PER_FACE);
  std::vector<float> xyz;
  std::vector<int> tris;
  vhost::GetPrototypeMesh(plate, xyz, tris);
  ASSERT_EQ(material->diffuseColor.getNum() * 3, int(tris.size()));
  const SbColor sand(0.9f, 0.85f, 0.6f);
  double sandArea = 0;
  for (int t = 0; t < material->diffuseColor.getNum(); ++t) {
    const SbColor c = material->diffuseColor[t];
    const SbVec3f a(&xyz[3 * size_t(tris[3 * t])]), b(&xyz[3 * size_t(tris[3 * t + 1])]),
        d(&xyz[3 * size_t(tris[3 * t + 2])]);
    if ((c - sand).length() < 1e-6f) {
      EXPECT_TRUE(a[2] == 6 && b[2] == 6 && d[2] == 6) << "sand triangle off the top face";
      sandArea += 0.5 * double((b - a).cross(d - a).length());
    } else {
      EXPECT_LT((c - SbColor(0.2f, 0.4f, 0.8f)).length(), 1e-6f);
    }
  }
  EXPECT_NEAR(sandArea, s_machine->topFaceArea, 0.01 * s_machine->topFaceArea);

  binding = nullptr;
  material = MaterialOf(byPath.at("PATH|0|2|1|0").prototype, &binding);
  ASSERT_TRUE(material);
  EXPECT_FALSE(binding) << "one colour for the whole bolt";
  EXPECT_LT((material->diffuseColor[0] - SbColor(1, 0.5f, 0)).length(), 1e-6f);
  EXPECT_FALSE(MaterialOf(byPath.at("PATH|0|0|3").prototype)) << "the plain pin has no colour";
  material = MaterialOf(byPath.at("PATH|0|2|3").prototype);
  ASSERT_TRUE(material);
  EXPECT_EQ(material->diffuseColor[0], SbColor(0, 1, 0));
}

// Tessellated volumes stay within the deflection's reach of the exact B-rep
// volume (surface area x deflection bounds the gap), at the default and at
// set deflections; a coarser deflection gives a coarser sphere.
TEST_F(StepImport, TessellationWithinDeflection) {
  const std::map<std::string, std::string> pathOf = {
      {"Plate", "PATH|0|0|0"}, {"Bolt", "PATH|0|0|1|0"}, {"Pin", "PATH|0|0|3"}, {"4711", "PATH|0|3"}};
  std::map<double, std::pair<size_t, double>> sphere;  // deflection -> triangles, largest deviation
  for (double deflection : {0.0, 0.05, 0.5}) {
    SetStepDeflection(deflection);
    DocRef doc(Import(s_file));
    ASSERT_TRUE(doc);
    const auto byPath = Occurrences(doc.doc);
    for (const auto& [name, path] : pathOf) {
      const Part& part = s_machine->parts.at(name);
      double d = deflection;
      if (d == 0) {
        Bnd_Box box;
        BRepBndLib::Add(part.shape, box);
        d = 1e-3 * std::sqrt(box.SquareExtent());
      }
      std::vector<float> xyz;
      std::vector<int> tris;
      vhost::GetPrototypeMesh(byPath.at(path).prototype, xyz, tris);
      const double volume = MeshVolume(xyz, tris);
      EXPECT_LE(std::fabs(volume - part.volume), part.area * d + 1e-6 * part.volume)
          << name << " at deflection " << deflection << ": " << volume << " against " << part.volume;
      if (name != "Pin") continue;
      double deviation = 0;
      for (size_t t = 0; t < tris.size(); t += 3) {
        SbVec3f c(0, 0, 0);
        for (int k = 0; k < 3; ++k) c += SbVec3f(&xyz[3 * size_t(tris[t + k])]);
        deviation = std::max(deviation, std::fabs(4.0 - c.length() / 3.0));
      }
      EXPECT_LE(deviation, d) << "sphere at deflection " << d;
      sphere[deflection] = {tris.size() / 3, deviation};
    }
  }
  EXPECT_LT(sphere[0.5].first, sphere[0.05].first);
  EXPECT_GT(sphere[0.5].second, 0.05) << "the coarse setting was not applied";
}

// `vistrel check` finds the bracket in Joint_0's plate, and nothing else:
// the bolts stand in their holes with 0.3 to spare.
TEST_F(StepImport, CheckFindsTheDesignedClash) {
  const std::string json = s_dir->File("report.json");
  const ProgramRun r = RunVistrel(*s_dir, {"check", s_file, "--cut-faces", "--quiet", "--json", json});
  ASSERT_EQ(r.status, 1) << r.err << r.out;
  vxtest::Json report;
  std::string error;
  ASSERT_TRUE(vxtest::ParseJson(ReadBytes(json), report, error)) << error;
  ASSERT_EQ(report["results"].items.size(), 1u) << r.out;
  const vxtest::Json& result = report["results"].items[0];
  EXPECT_EQ(result["kind"].s, "interference");
  const std::set<std::string> paths = {result["path1"].s, result["path2"].s};
  EXPECT_EQ(paths, (std::set<std::string>{"PATH|0|0|0", "PATH|0|3"}));
  EXPECT_NEAR(result["volume"].n, 64.0, 1e-3) << "the 4 x 4 x 4 overlap of two boxes";
}

// Damaged files: exit 2 with a reason, from the program; and seeded
// mutations of a good file through the importer, which must neither crash
// nor hand back a document without triangles.
TEST_F(StepImport, BadFilesFailCleanly) {
  const std::string good = ReadBytes(s_file);
  const size_t data = good.find("DATA;");
  ASSERT_NE(data, std::string::npos);
  const size_t product = good.find("PRODUCT_DEFINITION(");
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
    const std::string file = s_dir->Write(c.name, c.bytes);
    const ProgramRun r = RunVistrel(*s_dir, {"info", file});
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
        case 0: bytes[at] = "#(),;'=0123456789.E-"[random() % 20]; break;
        case 1: bytes.erase(at, 1 + random() % 40); break;
        default: bytes.insert(at, bytes.substr(begin + random() % span, 1 + random() % 60)); break;
      }
    }
    const std::string file = s_dir->Write("mutant.step", bytes);
    std::string error;
    ImportStats stats;
    DocRef doc(ImportAssembly(file, error, &stats));
    EXPECT_TRUE(doc ? stats.placedTriangles > 0 : !error.empty()) << "round " << round;
  }
}
