// STEP import through Open CASCADE's XCAF document: labels become
// prototypes, component references become instances, shapes are meshed with
// BRepMesh once per prototype. StepImporter.h states the mapping.
//
// Open CASCADE's headers are heavy: they are included here only.
#include "tools/StepImporter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {
double g_deflection = 0.0;
}  // namespace

void SetStepDeflection(double deflection) { g_deflection = deflection; }
double StepDeflection() { return g_deflection; }

bool TakeDeflectionOption(const std::vector<std::string>& args, std::size_t& i, const char* command) {
  if (i + 1 >= args.size()) {
    std::fprintf(stderr, "%s: --deflection needs a value\n", command);
    return false;
  }
  const std::string& text = args[++i];
  char* end = nullptr;
  const double d = std::strtod(text.c_str(), &end);
  if (text.empty() || !end || *end != '\0' || !std::isfinite(d) || d <= 0) {
    std::fprintf(stderr, "%s: --deflection takes a number > 0, not '%s'\n", command, text.c_str());
    return false;
  }
  SetStepDeflection(d);
  return true;
}

#ifndef VX_WITH_STEP

bool StepImportAvailable() { return false; }

SoKRN_MainDoc* ImportStep(const std::string&, const std::string& label, std::string& error, ImportStats&) {
  error = label + ": this vistrel was built without STEP support (VX_WITH_STEP off)";
  return nullptr;
}

#else

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>
#include <vector>

#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoMaterialBinding.h>

#include <BRepBndLib.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <Interface_Check.hxx>
#include <Interface_CheckIterator.hxx>
#include <Interface_InterfaceModel.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Message_PrinterOStream.hxx>
#include <NCollection_DataMap.hxx>
#include <Poly_Triangulation.hxx>
#include <Quantity_Color.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <Standard_Failure.hxx>
#include <TDF_LabelSequence.hxx>
#include <TDF_Tool.hxx>
#include <TDataStd_Name.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_ShapeMapHasher.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Face.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_ColorTool.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <XSControl_WorkSession.hxx>

#include "graphops/CGraphOperation.h"
#include "host/DocumentBuilder.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoRef.h"
#include "platform/Platform.h"
#include "tools/AssimpSceneConverter.h"
#include "tools/MeshCleanup.h"
#include "tools/StepFileScan.h"

namespace {

// sRGB components; `set` false: no colour.
struct Colour {
  bool set = false;
  float r = 0, g = 0, b = 0;
  bool operator<(const Colour& o) const { return std::tie(set, r, g, b) < std::tie(o.set, o.r, o.g, o.b); }
  bool operator==(const Colour& o) const { return set == o.set && r == o.r && g == o.g && b == o.b; }
};

constexpr double kRelativeDeflection = 1e-3;  // of a part's bounding-box diagonal
constexpr double kAngularDeflection = 0.5;    // radians

std::string Utf8(const TCollection_ExtendedString& text) {
  std::string out(static_cast<std::size_t>(text.LengthOfCString()) + 1, '\0');
  Standard_PCharacter buffer = &out[0];
  const int length = text.ToUTF8CString(buffer);
  out.resize(static_cast<std::size_t>(std::max(0, length)));
  return out;
}

std::string Entry(const TDF_Label& label) {
  TCollection_AsciiString entry;
  TDF_Tool::Entry(label, entry);
  return entry.ToCString();
}

// Coin's row-vector form of an Open CASCADE transformation (column vectors,
// translation in the fourth column): the transpose.
SbMatrix ToRowVectorForm(const gp_Trsf& t) {
  return SbMatrix(float(t.Value(1, 1)), float(t.Value(2, 1)), float(t.Value(3, 1)), 0.0f, float(t.Value(1, 2)),
                  float(t.Value(2, 2)), float(t.Value(3, 2)), 0.0f, float(t.Value(1, 3)), float(t.Value(2, 3)),
                  float(t.Value(3, 3)), 0.0f, float(t.Value(1, 4)), float(t.Value(2, 4)), float(t.Value(3, 4)), 1.0f);
}

bool IsFinite(const SbMatrix& m) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      if (!std::isfinite(m[i][j])) return false;
  return true;
}

// Reads the first and last bytes of `file`; false when it cannot be read.
bool ReadEnds(const std::string& file, std::string& head, std::string& tail) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return false;
  head.resize(static_cast<std::size_t>(std::min<std::streamoff>(size, 4096)));
  tail.resize(static_cast<std::size_t>(std::min<std::streamoff>(size, 1024)));
  in.seekg(0);
  in.read(&head[0], static_cast<std::streamsize>(head.size()));
  in.seekg(size - static_cast<std::streamoff>(tail.size()));
  in.read(&tail[0], static_cast<std::streamsize>(tail.size()));
  return static_cast<bool>(in);
}

// The exchange structure's header and end keywords (ISO 10303-21, 5.1):
// a file without its end keyword was cut off.
bool CheckEnvelope(const std::string& head, const std::string& tail, std::string& reason) {
  std::size_t start = head.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (start < head.size() && std::isspace(static_cast<unsigned char>(head[start]))) ++start;
  if (head.compare(start, 13, "ISO-10303-21;") != 0) {
    reason = "not a STEP file (no ISO-10303-21 header)";
    return false;
  }
  if (tail.find("END-ISO-10303-21") == std::string::npos) {
    reason = "STEP file cut off (no END-ISO-10303-21 at its end)";
    return false;
  }
  return true;
}

// Silences Open CASCADE's console output for the life of the guard (its
// readers report progress and statistics on standard output).
class QuietMessages {
public:
  QuietMessages() {
    const Handle(Message_Messenger)& messenger = Message::DefaultMessenger();
    for (Message_SequenceOfPrinters::Iterator it(messenger->Printers()); it.More(); it.Next())
      m_removed.Append(it.Value());
    messenger->RemovePrinters(STANDARD_TYPE(Message_Printer));
  }
  ~QuietMessages() {
    for (Message_SequenceOfPrinters::Iterator it(m_removed); it.More(); it.Next())
      Message::DefaultMessenger()->AddPrinter(it.Value());
  }
  QuietMessages(const QuietMessages&) = delete;
  QuietMessages& operator=(const QuietMessages&) = delete;

private:
  Message_SequenceOfPrinters m_removed;
};

class StepConverter {
public:
  StepConverter(const Handle(TDocStd_Document) & xdoc, std::string label, std::string fileName, double deflection)
      : m_shapes(XCAFDoc_DocumentTool::ShapeTool(xdoc->Main())),
        m_colours(XCAFDoc_DocumentTool::ColorTool(xdoc->Main())),
        m_label(std::move(label)),
        m_fileName(std::move(fileName)),
        m_deflection(deflection) {}

  StepConverter(const StepConverter&) = delete;
  StepConverter& operator=(const StepConverter&) = delete;

  SoKRN_MainDoc* Build(std::string& error, ImportStats& stats) {
    TDF_LabelSequence free;
    m_shapes->GetFreeShapes(free);
    if (free.IsEmpty()) {
      error = m_label + ": no shapes";
      return nullptr;
    }
    m_doc.reset(vx::host::NewDocument());
    SoKRN_ComponentKit* top = m_doc->getTopPrototype();
    std::int64_t placed = 0;
    const TDF_Label& first = free.Value(1);
    if (free.Length() == 1 && m_shapes->IsAssembly(first) && m_shapes->GetLocation(first).IsIdentity()) {
      top->setKRNName(Name(first, CGraphOperation::StringToWString(m_fileName)));
      m_open.insert(Entry(first));
      placed = PlaceComponents(first, top, OwnColour(first), 1);
    } else {
      top->setKRNName(CGraphOperation::StringToWString(m_fileName));
      std::map<SoKRN_ComponentKit*, int> counts;
      for (TDF_LabelSequence::Iterator it(free); it.More() && m_error.empty(); it.Next()) {
        SoKRN_ComponentKit* proto = PrototypeFor(it.Value(), Colour(), Colour(), 1);
        if (proto) placed += Place(top, proto, it.Value(), m_shapes->GetLocation(it.Value()), counts);
      }
    }
    if (!m_error.empty()) {
      error = m_error;
      return nullptr;
    }
    if (placed == 0) {
      error = m_label + ": no triangles";
      if (m_stats.meshesDropped > 0) error += " (no shape has a face to mesh)";
      return nullptr;
    }
    m_stats.placedTriangles = placed;
    m_doc->adoptTree();
    stats = m_stats;
    m_doc->ref();  // the caller's
    return m_doc;
  }

private:
  struct Proto {
    SoKRN_ComponentKit* kit = nullptr;
    std::int64_t placedTriangles = 0;  // of one occurrence, the subtree included
  };

  bool LabelColour(const TDF_Label& label, Colour& out) const {
    Quantity_Color c;
    if (!m_colours->GetColor(label, XCAFDoc_ColorSurf, c) && !m_colours->GetColor(label, XCAFDoc_ColorGen, c))
      return false;
    double r = 0, g = 0, b = 0;
    c.Values(r, g, b, Quantity_TOC_sRGB);
    out.set = true;
    out.r = float(r);
    out.g = float(g);
    out.b = float(b);
    return true;
  }

  Colour OwnColour(const TDF_Label& label) const {
    Colour c;
    LabelColour(label, c);
    return c;
  }

  // The label's name; `fallback` when it has none.
  std::wstring Name(const TDF_Label& label, const std::wstring& fallback) const {
    Handle(TDataStd_Name) name;
    if (!label.FindAttribute(TDataStd_Name::GetID(), name)) return fallback;
    const std::string text = Utf8(name->Get());
    // Names the reader makes up for unnamed components: their label entry
    // ("=>[0:1:1:2]"), or the usage occurrence's id, which is a number (a
    // part may well be named by its number).
    const bool component = m_shapes->IsComponent(label);
    if (text.empty() || text.rfind("=>", 0) == 0 ||
        (component && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })))
      return fallback;
    return CGraphOperation::StringToWString(text);
  }

  void Hold(SoNode* node) { m_held.emplace_back(node); }

  void Fail(const std::string& reason) {
    if (m_error.empty()) m_error = m_label + ": " + reason;
  }

  // Places `proto` in `parent` at `location`, named after `component` (or
  // "<prototype>:<n>"); the triangles of the occurrence, 0 when not placed.
  std::int64_t Place(SoKRN_ComponentKit* parent, SoKRN_ComponentKit* proto, const TDF_Label& component,
                     const TopLoc_Location& location, std::map<SoKRN_ComponentKit*, int>& counts) {
    const SbMatrix m = ToRowVectorForm(location.Transformation());
    if (!IsFinite(m)) {
      Fail("component \"" + vx::platform::WideToNarrow(Name(component, L"")) + "\" has a non-finite placement");
      return 0;
    }
    const int n = ++counts[proto];
    std::wstring protoName;
    proto->getKRNName(protoName);
    const std::wstring name = Name(component, protoName + L":" + std::to_wstring(n));
    if (!vx::host::PlaceInstance(m_doc, parent, proto, m, name)) return 0;
    ++m_stats.instances;
    return m_protos.at(proto);
  }

  // Places the components of the assembly `label` in `parent`; returns the
  // triangles placed (one occurrence of `parent`).
  std::int64_t PlaceComponents(const TDF_Label& label, SoKRN_ComponentKit* parent, const Colour& inherited, int depth) {
    TDF_LabelSequence components;
    m_shapes->GetComponents(label, components, false);
    std::map<SoKRN_ComponentKit*, int> counts;
    std::int64_t placed = 0;
    for (TDF_LabelSequence::Iterator it(components); it.More() && m_error.empty(); it.Next()) {
      TDF_Label referred;
      if (!m_shapes->GetReferredShape(it.Value(), referred)) continue;
      SoKRN_ComponentKit* proto = PrototypeFor(referred, OwnColour(it.Value()), inherited, depth + 1);
      if (proto) placed += Place(parent, proto, it.Value(), m_shapes->GetLocation(it.Value()), counts);
    }
    return placed;
  }

  // The prototype of `label` placed by a component of colour `placing`
  // inside assemblies of colour `inherited`; null when it holds no triangle
  // or on failure (m_error set).
  SoKRN_ComponentKit* PrototypeFor(const TDF_Label& label, const Colour& placing, const Colour& inherited, int depth) {
    if (depth > AssimpSceneConverter::kMaxDepth) {
      Fail("assembly nested deeper than " + std::to_string(AssimpSceneConverter::kMaxDepth) + " levels");
      return nullptr;
    }
    const std::string entry = Entry(label);
    // Most specific first: the placing component's colour, the label's own,
    // the enclosing one.
    Colour resolved = placing;
    if (!resolved.set && !LabelColour(label, resolved)) resolved = inherited;
    const auto key = std::make_pair(entry, resolved);
    const auto found = m_byLabel.find(key);
    if (found != m_byLabel.end()) return found->second;
    if (m_open.count(entry)) {
      Fail("the assembly \"" + vx::platform::WideToNarrow(Name(label, L"")) + "\" contains itself");
      return nullptr;
    }

    SoKRN_ComponentKit* kit = nullptr;
    std::int64_t placed = 0;
    if (m_shapes->IsAssembly(label)) {
      kit = vx::host::MakeAssemblyPrototype(m_doc, Name(label, L"Assembly"));
      if (kit) {
        Hold(kit);
        m_open.insert(entry);
        placed = PlaceComponents(label, kit, resolved, depth);
        m_open.erase(entry);
      }
    } else {
      kit = MeshPart(label, resolved);
      if (kit) placed = vx::host::CountTriangles(kit);
    }
    if (placed == 0) kit = nullptr;  // nothing to show below it (a held kit is released at the end)
    if (kit) {
      ++m_stats.prototypes;
      m_protos[kit] = placed;
    }
    m_byLabel[key] = kit;
    return kit;
  }

  // Colours of the part's sub-shapes by face: solids and shells first, faces
  // after (more specific).
  void SubShapeColours(const TDF_Label& label, std::vector<Colour>& palette,
                       NCollection_DataMap<TopoDS_Shape, int, TopTools_ShapeMapHasher>& byFace) {
    TDF_LabelSequence subs;
    if (!m_shapes->GetSubShapes(label, subs)) return;
    for (int pass = 0; pass < 2; ++pass) {
      for (TDF_LabelSequence::Iterator it(subs); it.More(); it.Next()) {
        const TopoDS_Shape sub = m_shapes->GetShape(it.Value());
        if (sub.IsNull() || (sub.ShapeType() == TopAbs_FACE) != (pass == 1)) continue;
        Colour c;
        if (!LabelColour(it.Value(), c)) continue;
        palette.push_back(c);
        for (TopExp_Explorer f(sub, TopAbs_FACE); f.More(); f.Next())
          byFace.Bind(f.Current(), static_cast<int>(palette.size() - 1));
      }
    }
  }

  // Triangulates the shape's faces to the deflection asked for (or one
  // relative to its size); false (counted as dropped) for an empty shape.
  bool Triangulate(const TopoDS_Shape& shape) {
    Bnd_Box box;
    if (!shape.IsNull()) BRepBndLib::Add(shape, box);
    if (shape.IsNull() || box.IsVoid()) {
      ++m_stats.meshesDropped;
      return false;
    }
    const double deflection = m_deflection > 0 ? m_deflection : kRelativeDeflection * std::sqrt(box.SquareExtent());
    if (!(deflection > 0) || !std::isfinite(deflection)) {
      ++m_stats.meshesDropped;
      return false;
    }
    BRepMesh_IncrementalMesh mesher(shape, deflection, Standard_False, kAngularDeflection, Standard_False);
    return true;
  }

  // The triangles of the shape's triangulated faces, outward, in `xyz` and
  // `tris` with vertices joined by their float position (-0 taken as 0), and
  // per triangle the palette index of its face's colour (-1 for none).
  // Degenerate triangles are left out and counted. False when a coordinate
  // is not finite.
  bool CollectTriangles(const TopoDS_Shape& shape,
                        const NCollection_DataMap<TopoDS_Shape, int, TopTools_ShapeMapHasher>& byFace,
                        std::vector<float>& xyz, std::vector<int>& tris, std::vector<int>& triColour) {
    std::unordered_map<std::uint64_t, std::vector<int> > joined;
    auto vertex = [&](const gp_Pnt& p) {
      const float c[3] = {float(p.X()) + 0.0f, float(p.Y()) + 0.0f, float(p.Z()) + 0.0f};
      std::uint32_t bits[3];
      std::memcpy(bits, c, sizeof bits);
      const std::uint64_t hash =
          (std::uint64_t(bits[0]) * 0x9E3779B97F4A7C15ull) ^ (std::uint64_t(bits[1]) * 0xC2B2AE3D27D4EB4Full) ^ bits[2];
      std::vector<int>& bucket = joined[hash];
      for (int v : bucket)
        if (std::memcmp(&xyz[3 * size_t(v)], c, sizeof c) == 0) return v;
      const int v = static_cast<int>(xyz.size() / 3);
      xyz.insert(xyz.end(), c, c + 3);
      bucket.push_back(v);
      return v;
    };
    bool nonFinite = false;
    for (TopExp_Explorer it(shape, TopAbs_FACE); it.More(); it.Next()) {
      const TopoDS_Face& face = TopoDS::Face(it.Current());
      TopLoc_Location location;
      const Handle(Poly_Triangulation)& mesh = BRep_Tool::Triangulation(face, location);
      if (mesh.IsNull()) continue;
      const gp_Trsf trsf = location.Transformation();
      std::vector<int> nodes(static_cast<std::size_t>(mesh->NbNodes()) + 1);
      for (int i = 1; i <= mesh->NbNodes(); ++i) {
        const gp_Pnt p = mesh->Node(i).Transformed(trsf);
        nonFinite = nonFinite || !std::isfinite(p.X()) || !std::isfinite(p.Y()) || !std::isfinite(p.Z());
        nodes[size_t(i)] = vertex(p);
      }
      const int* colour = byFace.Seek(face);
      const bool reversed = face.Orientation() == TopAbs_REVERSED;
      for (int i = 1; i <= mesh->NbTriangles(); ++i) {
        int a = 0, b = 0, c = 0;
        mesh->Triangle(i).Get(a, b, c);
        if (a < 1 || b < 1 || c < 1 || a > mesh->NbNodes() || b > mesh->NbNodes() || c > mesh->NbNodes()) continue;
        if (reversed) std::swap(b, c);
        const int va = nodes[size_t(a)], vb = nodes[size_t(b)], vc = nodes[size_t(c)];
        if (meshcleanup::IsDegenerate(xyz.data(), va, vb, vc)) {
          ++m_stats.degenerateTriangles;
          continue;
        }
        tris.insert(tris.end(), {va, vb, vc});
        triColour.push_back(colour ? *colour : -1);
      }
    }
    return !nonFinite;
  }

  SoKRN_ComponentKit* MeshPart(const TDF_Label& label, const Colour& base) {
    const TopoDS_Shape shape = m_shapes->GetShape(label);
    if (!Triangulate(shape)) return nullptr;

    std::vector<Colour> palette;
    NCollection_DataMap<TopoDS_Shape, int, TopTools_ShapeMapHasher> byFace;
    SubShapeColours(label, palette, byFace);

    std::vector<float> xyz;
    std::vector<int> tris;
    std::vector<int> triColour;  // palette index per triangle, -1 for `base`
    const bool finite = CollectTriangles(shape, byFace, xyz, tris, triColour);
    const std::wstring name = Name(label, L"Part");
    if (!finite) {
      Fail("part \"" + vx::platform::WideToNarrow(name) + "\" has a non-finite coordinate");
      return nullptr;
    }
    if (tris.empty()) {
      ++m_stats.meshesDropped;
      return nullptr;
    }
    meshcleanup::CompactVertices(xyz, tris);
    SoKRN_ComponentKit* kit = vx::host::MakePartPrototype(m_doc, name, xyz, tris);
    if (!kit) return nullptr;
    Hold(kit);
    m_stats.triangles += static_cast<std::int64_t>(tris.size() / 3);
    AddMaterial(kit, base, palette, triColour);
    return kit;
  }

  // One colour for the whole part, or one per triangle; nothing when no
  // colour is known (the viewer's default material then applies).
  static void AddMaterial(SoKRN_ComponentKit* kit, const Colour& base, const std::vector<Colour>& palette,
                          const std::vector<int>& triColour) {
    auto colourOf = [&](int index) { return index < 0 ? base : palette[size_t(index)]; };
    bool uniform = true, any = false;
    for (int c : triColour) {
      any = any || colourOf(c).set;
      uniform = uniform && colourOf(c) == colourOf(triColour.front());
    }
    if (!any) return;
    auto* material = new SoMaterial;
    SoGroup* bodies = kit->getBodies();
    if (uniform) {
      const Colour c = colourOf(triColour.front());
      material->diffuseColor.setValue(c.r, c.g, c.b);
      bodies->insertChild(material, 0);
      return;
    }
    const SbColor fallback(0.8f, 0.8f, 0.8f);  // Coin's default diffuse colour
    material->diffuseColor.setNum(static_cast<int>(triColour.size()));
    SbColor* colours = material->diffuseColor.startEditing();
    for (size_t t = 0; t < triColour.size(); ++t) {
      const Colour c = colourOf(triColour[t]);
      colours[t] = c.set ? SbColor(c.r, c.g, c.b) : fallback;
    }
    material->diffuseColor.finishEditing();
    auto* binding = new SoMaterialBinding;
    binding->value = SoMaterialBinding::PER_FACE;
    bodies->insertChild(binding, 0);
    bodies->insertChild(material, 0);
  }

  Handle(XCAFDoc_ShapeTool) m_shapes;
  Handle(XCAFDoc_ColorTool) m_colours;
  std::string m_label;
  std::string m_fileName;
  double m_deflection;
  std::string m_error;
  vx::host::SoRef<SoKRN_MainDoc> m_doc;
  ImportStats m_stats;
  std::map<std::pair<std::string, Colour>, SoKRN_ComponentKit*> m_byLabel;
  std::unordered_map<SoKRN_ComponentKit*, std::int64_t> m_protos;  // placed triangles
  std::set<std::string> m_open;                                    // assemblies on the current branch
  std::vector<vx::host::SoRef<SoNode> > m_held;
};

// The first error the reader's syntax and type checks found, as "entity
// #<n>: <message>", or empty. Any such error refuses the file: Open
// CASCADE's transfer dereferences what a failed entity left null (a LINE
// with two parameters crashes it).
std::string FirstLoadFailure(STEPCAFControl_Reader& reader, bool& brokenReference) {
  const Handle(XSControl_WorkSession)& session = reader.ChangeReader().WS();
  if (session.IsNull()) return std::string();
  const Handle(Interface_InterfaceModel) model = session->Model();
  Interface_CheckIterator checks = session->ModelCheckList(Standard_False);
  for (checks.Start(); checks.More(); checks.Next()) {
    const Handle(Interface_Check)& check = checks.Value();
    if (check->NbFails() == 0 || checks.Number() == 0) continue;  // 0: the whole model
    std::string text = check->CFail(1);
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // What a deleted or renumbered entity leaves behind.
    brokenReference =
        lower.find("unresolved") != std::string::npos || lower.find("entity has illegal type") != std::string::npos;
    std::string where = "entity " + std::to_string(checks.Number());
    if (!model.IsNull() && checks.Number() >= 1 && checks.Number() <= model->NbEntities()) {
      const Handle(TCollection_HAsciiString) id = model->StringLabel(model->Value(checks.Number()));
      if (!id.IsNull()) where = "entity " + std::string(id->ToCString());
    }
    while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
    return where + ": " + text;
  }
  return std::string();
}

}  // namespace

bool StepImportAvailable() { return true; }

namespace {

// The checks before the reader sees the file: readable, not empty, a STEP
// envelope at both ends, a sound exchange structure. False with `error`.
bool CheckStepFile(const std::string& file, const std::string& label, std::string& error) {
  std::string head, tail, reason;
  if (!ReadEnds(file, head, tail)) {
    error = label + ": cannot read";
    return false;
  }
  if (head.empty()) {
    error = label + ": empty file";
    return false;
  }
  if (!CheckEnvelope(head, tail, reason)) {
    error = label + ": " + reason;
    return false;
  }
  {
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && !in) {
      error = label + ": cannot read";
      return false;
    }
    if (!stepscan::CheckExchangeStructure(text, reason)) {
      error = label + ": damaged STEP file (" + reason + ")";
      return false;
    }
  }
  return true;
}

}  // namespace

SoKRN_MainDoc* ImportStep(const std::string& file, const std::string& label, std::string& error, ImportStats& stats) {
  error.clear();
  if (!CheckStepFile(file, label, error)) return nullptr;
  const std::string fileName = file.substr(file.find_last_of('/') + 1);

  QuietMessages quiet;
  Handle(TDocStd_Document) xdoc;
  const Handle(XCAFApp_Application) app = XCAFApp_Application::GetApplication();
  SoKRN_MainDoc* doc = nullptr;
  try {
    STEPCAFControl_Reader reader;
    reader.SetColorMode(Standard_True);
    reader.SetNameMode(Standard_True);
    reader.SetLayerMode(Standard_False);
    reader.SetPropsMode(Standard_False);
    reader.SetGDTMode(Standard_False);
    reader.SetMatMode(Standard_False);
    reader.SetViewMode(Standard_False);
    if (reader.ReadFile(file.c_str()) != IFSelect_RetDone) {
      error = label + ": not a valid STEP file (the reader could not parse it)";
      return nullptr;
    }
    const Handle(Interface_InterfaceModel) model = reader.ChangeReader().Model();
    if (model.IsNull() || model->NbEntities() == 0) {
      error = label + ": no shapes (the file's DATA section is empty)";
      return nullptr;
    }
    bool brokenReference = false;
    const std::string failure = FirstLoadFailure(reader, brokenReference);
    if (!failure.empty()) {
      error = label + ": damaged STEP file (" +
              (brokenReference ? "a referenced entity is missing or of the wrong type, " : "") + failure + ")";
      return nullptr;
    }
    if (reader.ChangeReader().NbRootsForTransfer() == 0) {
      error = label + ": no shapes (nothing in the file to transfer)";
      return nullptr;
    }
    app->NewDocument("MDTV-XCAF", xdoc);
    if (!reader.Transfer(xdoc)) {
      error = label + ": the STEP file's shapes could not be transferred";
    } else {
      StepConverter converter(xdoc, label, fileName, g_deflection);
      doc = converter.Build(error, stats);
    }
  } catch (const Standard_Failure& e) {
    const char* message = e.GetMessageString();
    error = label + ": STEP import failed (" + e.DynamicType()->Name() +
            (message && *message ? std::string(": ") + message : std::string()) + ")";
    if (doc) doc->unref();
    doc = nullptr;
  }
  if (!xdoc.IsNull() && app->CanClose(xdoc) == CDM_CCS_OK) app->Close(xdoc);
  return doc;
}

#endif  // VX_WITH_STEP
