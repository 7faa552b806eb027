#include "host/DocumentIO.h"

#include <sys/stat.h>

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/SoOutput.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/actions/SoWriteAction.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/errors/SoReadError.h>
#include <Inventor/fields/SoMFNode.h>
#include <Inventor/fields/SoSFNode.h>
#include <Inventor/misc/SoChildList.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoIndexedShape.h>
#include <Inventor/nodes/SoNonIndexedShape.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoVertexProperty.h>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "host/SoBrepFaceSet.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_EdgeKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoRef.h"

namespace vx::host {

namespace {

// Collects the first read error as a one-line reason while installed.
class ReadErrorCatcher {
public:
  ReadErrorCatcher() {
    m_oldHandler = SoReadError::getHandlerCallback();
    m_oldData = SoReadError::getHandlerData();
    SoReadError::setHandlerCallback(&ReadErrorCatcher::Handler, this);
  }
  ~ReadErrorCatcher() { SoReadError::setHandlerCallback(m_oldHandler, m_oldData); }
  const std::string& message() const { return m_message; }

private:
  static void Handler(const SoError* error, void* data) {
    auto* self = static_cast<ReadErrorCatcher*>(data);
    if (!self->m_message.empty()) return;
    std::string text = error->getDebugString().getString();
    for (char& c : text) {
      if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    }
    // Collapse runs of blanks left by the multi-line Coin message.
    std::string line;
    for (char c : text) {
      if (c == ' ' && (line.empty() || line.back() == ' ')) continue;
      line += c;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    self->m_message = line;
  }

  SoErrorCB* m_oldHandler = nullptr;
  void* m_oldData = nullptr;
  std::string m_message;
};

// The nodes a node points at: its children (kit parts included) and the
// nodes held in its node fields.
void Successors(SoNode* n, std::vector<SoNode*>& out) {
  out.clear();
  if (SoChildList* children = n->getChildren()) {
    for (int i = 0; i < children->getLength(); ++i) out.push_back((*children)[i]);
  }
  SoFieldList fields;
  const int nf = n->getFields(fields);
  for (int i = 0; i < nf; ++i) {
    SoField* f = fields[i];
    if (f->isOfType(SoSFNode::getClassTypeId())) {
      if (SoNode* c = static_cast<SoSFNode*>(f)->getValue()) out.push_back(c);
    } else if (f->isOfType(SoMFNode::getClassTypeId())) {
      auto* mf = static_cast<SoMFNode*>(f);
      for (int k = 0; k < mf->getNum(); ++k) {
        if (SoNode* c = (*mf)[k]) out.push_back(c);
      }
    }
  }
}

// True when the graph below `root` has a cycle (a file can make one with
// USE of an enclosing DEF); any traversal of it would never end.
bool HasCycle(SoNode* root) {
  enum Mark { kOpen = 1, kDone = 2 };
  std::unordered_map<SoNode*, int> mark;
  struct Frame {
    SoNode* node;
    std::vector<SoNode*> next;
    size_t i;
  };
  std::vector<Frame> stack;
  stack.push_back({root, {}, 0});
  Successors(root, stack.back().next);
  mark[root] = kOpen;
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.i == f.next.size()) {
      mark[f.node] = kDone;
      stack.pop_back();
      continue;
    }
    SoNode* c = f.next[f.i++];
    auto it = mark.find(c);
    if (it != mark.end()) {
      if (it->second == kOpen) return true;
      continue;
    }
    mark[c] = kOpen;
    stack.push_back({c, {}, 0});
    Successors(c, stack.back().next);
  }
  return false;
}

std::string Hex(uint32_t v) {
  char buf[16];
  snprintf(buf, sizeof buf, "%x", v);
  return buf;
}

// The assembly tree must be what the rest of the system relies on: a
// prototype on top, instances that place prototypes, prototypes whose
// element children are instances with distinct placement ids.
bool CheckAssembly(SoKRN_ComponentKit* top, std::string& error) {
  if (!top) {
    error = "document has no top prototype";
    return false;
  }
  if (top->isInstance()) {
    error = "top component of the document is an instance, not a prototype";
    return false;
  }
  std::unordered_set<SoKRN_ComponentKit*> checked;
  std::vector<SoKRN_ComponentKit*> todo{top};
  while (!todo.empty()) {
    SoKRN_ComponentKit* proto = todo.back();
    todo.pop_back();
    if (!checked.insert(proto).second) continue;
    std::set<uint32_t> ids;
    SoGroup* group = proto->getChildGroup(false);
    const int n = group ? group->getNumChildren() : 0;
    for (int i = 0; i < n; ++i) {
      SoNode* c = group->getChild(i);
      const std::string where = "prototype \"" + std::string(proto->krnName.getValue().getString()) + "\"";
      if (!c->isOfType(SoKRN_ComponentKit::getClassTypeId()) || !static_cast<SoKRN_ComponentKit*>(c)->isInstance()) {
        error = where + " has a child that is not an instance kit";
        return false;
      }
      auto* inst = static_cast<SoKRN_ComponentKit*>(c);
      if (!ids.insert(inst->getPLCID()).second) {
        error = where + " has two instances with placement id " + Hex(inst->getPLCID());
        return false;
      }
      SoKRN_ComponentKit* p = inst->getPrototype();
      if (!p) {
        error = "instance " + Hex(inst->getPLCID()) + " in " + where + " places no prototype";
        return false;
      }
      if (p->isInstance()) {
        error = "instance " + Hex(inst->getPLCID()) + " in " + where + " places another instance";
        return false;
      }
      todo.push_back(p);
    }
  }
  return true;
}

// Checks the text before Coin parses it and drops the field declarations
// ("fields [ ... ]") that Coin writes for extension nodes: our types are
// registered, so the declarations say nothing new, and Coin's own parser
// corrupts its per-class field data when it meets a cut-off declaration.
// Rejects binary and non-Inventor headers, unterminated strings and
// unbalanced brackets (the usual marks of a truncated file).
// Node types that read files while the document is parsed or drawn. "File"
// is allowed by ReadOptions; the others never are.
bool IsExternalNodeType(std::string word) {
  if (word.compare(0, 2, "So") == 0) word.erase(0, 2);
  static const char* const kTypes[] = {
      "File",           "Texture2",         "Texture3",         "Image",         "Inline",       "WWWInline",
      "VRMLInline",     "VRMLImageTexture", "VRMLMovieTexture", "VRMLAudioClip", "VertexShader", "FragmentShader",
      "GeometryShader", "ShaderProgram"};
  for (const char* t : kTypes)
    if (word == t) return true;
  return false;
}

// For an allowed File node whose '{' is at `open`: its name must be a
// regular file.
bool CheckFileNode(const std::string& text, size_t open, int line, const ReadOptions& options, std::string& error) {
  const size_t close = text.find('}', open);
  const size_t q1 = text.find('"', open);
  const size_t q2 = q1 == std::string::npos ? q1 : text.find('"', q1 + 1);
  if (q2 == std::string::npos || q2 > close) {
    error = "File node without a quoted name on line " + std::to_string(line);
    return false;
  }
  std::string name = text.substr(q1 + 1, q2 - q1 - 1);
  if (!name.empty() && name[0] != '/' && !options.baseDir.empty()) name = options.baseDir + "/" + name;
  struct stat st {};
  if (stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "File node on line " + std::to_string(line) + " names \"" + name.substr(0, 200) +
            "\", which is not a regular file";
    return false;
  }
  return true;
}

// The first line: an ascii Inventor header of version 2.0 or 2.1.
bool CheckHeader(const std::string& text, std::string& error) {
  const size_t eol = text.find('\n');
  const std::string header = text.substr(0, eol == std::string::npos ? text.size() : eol);
  if (header.compare(0, 9, "#Inventor") != 0) {
    error = "not an Inventor file (missing \"#Inventor V2.1 ascii\" header)";
    return false;
  }
  if (header.find("binary") != std::string::npos) {
    error = "binary Inventor files are not read; write the document as ascii";
    return false;
  }
  if (header.compare(0, 20, "#Inventor V2.1 ascii") != 0 && header.compare(0, 20, "#Inventor V2.0 ascii") != 0) {
    error = "unsupported Inventor header \"" + header.substr(0, 40) + "\"";
    return false;
  }
  return true;
}

bool IsSpecial(char c) { return c == '{' || c == '}' || c == '[' || c == ']' || c == '"' || c == '#' || c == ','; }

// One word of Sanitize's scan, starting at text[i]: a node type that refers
// to another file is refused (an allowed File node checked), a field
// declaration ("fields [ ... ]") is dropped but for its line breaks, any
// other word is copied. Moves `i` past what it took and counts `line`.
bool CopyWord(const std::string& text, size_t& i, int& line, const ReadOptions& options, std::string& out,
              std::string& error) {
  const size_t n = text.size();
  size_t k = i;
  while (k < n && !isspace(static_cast<unsigned char>(text[k])) && !IsSpecial(text[k])) ++k;
  if (IsExternalNodeType(text.substr(i, k - i))) {
    size_t b = k;
    while (b < n && isspace(static_cast<unsigned char>(text[b]))) ++b;
    if (b < n && text[b] == '{') {
      const std::string type = text.substr(i, k - i);
      const bool isFile = type == "File" || type == "SoFile";
      if (!isFile || !options.allowFileNodes) {
        error = type + " node on line " + std::to_string(line) + " refers to another file; refused" +
                (isFile ? " (external references are not read unless allowed)" : "");
        return false;
      }
      if (!CheckFileNode(text, b, line, options, error)) return false;
    }
  }
  if (text.compare(i, k - i, "fields") == 0) {
    size_t b = k;
    while (b < n && isspace(static_cast<unsigned char>(text[b]))) {
      if (text[b] == '\n') ++line;
      ++b;
    }
    if (b < n && text[b] == '[') {
      const size_t e = text.find(']', b);
      if (e == std::string::npos) {
        error = "field declaration without its closing ']' on line " + std::to_string(line);
        return false;
      }
      // Keep the line breaks so that Coin's messages name the right line.
      for (size_t q = b; q < e; ++q) {
        if (text[q] == '\n') {
          ++line;
          out += '\n';
        }
      }
      i = e + 1;
      return true;
    }
  }
  out.append(text, i, k - i);
  i = k;
  return true;
}

bool Sanitize(const std::string& text, std::string& out, std::string& error, const ReadOptions& options) {
  if (!CheckHeader(text, error)) return false;
  out.clear();
  out.reserve(text.size());
  std::vector<char> open;  // pending closers
  int line = 1;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    const char c = text[i];
    if (c == '\n') ++line;
    if (c == '#') {  // comment (the header too) up to the end of the line
      const size_t e = text.find('\n', i);
      const size_t stop = e == std::string::npos ? n : e;
      out.append(text, i, stop - i);
      i = stop;
      continue;
    }
    if (c == '"') {
      size_t k = i + 1;
      while (k < n && text[k] != '"') {
        if (text[k] == '\\' && k + 1 < n) ++k;
        if (text[k] == '\n') ++line;
        ++k;
      }
      if (k >= n) {
        error = "unterminated string (file cut off?) starting on line " + std::to_string(line);
        return false;
      }
      out.append(text, i, k + 1 - i);
      i = k + 1;
      continue;
    }
    if (c == '{' || c == '[') {
      open.push_back(c == '{' ? '}' : ']');
    } else if (c == '}' || c == ']') {
      if (open.empty() || open.back() != c) {
        error = std::string("unexpected '") + c + "' on line " + std::to_string(line);
        return false;
      }
      open.pop_back();
    } else if (!isspace(static_cast<unsigned char>(c)) && !IsSpecial(c)) {
      if (!CopyWord(text, i, line, options, out, error)) return false;
      continue;
    }
    out += c;
    ++i;
  }
  if (!open.empty()) {
    error = "file ends inside an open '" + std::string(1, open.back() == '}' ? '{' : '[') + "' (cut off?)";
    return false;
  }
  return true;
}

// Finds the first bad element of the geometry below `root` as Coin's actions
// would see it: each shape with the coordinates current where it is
// traversed. Shapes are not asked for primitives (that is what would read
// out of range); their index and count fields are compared with the
// coordinates instead. Each pair of shape and coordinate array is checked
// once, however often it is placed.
class GeometryCheck {
public:
  bool Run(SoNode* root, std::string& error) {
    SoCallbackAction action;
    action.addPreCallback(SoShape::getClassTypeId(), &GeometryCheck::OnShape, this);
    action.apply(root);
    if (m_error.empty()) return true;
    error = m_error;
    return false;
  }

private:
  static SoCallbackAction::Response OnShape(void* data, SoCallbackAction* action, const SoNode* node) {
    auto* self = static_cast<GeometryCheck*>(data);
    if (!self->m_error.empty()) return SoCallbackAction::ABORT;
    self->Check(action, static_cast<const SoShape*>(node));
    return self->m_error.empty() ? SoCallbackAction::PRUNE : SoCallbackAction::ABORT;
  }

  // Where the shape is: the innermost prototype on the path, by name.
  static std::string Where(SoCallbackAction* action) {
    const SoFullPath* path = static_cast<const SoFullPath*>(action->getCurPath());
    for (int i = path->getLength() - 1; i >= 0; --i) {
      SoNode* n = path->getNode(i);
      if (n->isOfType(SoKRN_ComponentKit::getClassTypeId()) && !static_cast<SoKRN_ComponentKit*>(n)->isInstance())
        return "prototype \"" + std::string(static_cast<SoKRN_ComponentKit*>(n)->krnName.getValue().getString()) + "\"";
    }
    return "a shape outside the prototypes";
  }

  void Check(SoCallbackAction* action, const SoShape* shape) {
    const SbVec3f* points3 = nullptr;
    const SbVec4f* points4 = nullptr;
    int count = 0;
    SoVertexProperty* vp = nullptr;
    if (shape->isOfType(SoVertexShape::getClassTypeId())) {
      SoNode* v = static_cast<const SoVertexShape*>(shape)->vertexProperty.getValue();
      if (v && v->isOfType(SoVertexProperty::getClassTypeId())) vp = static_cast<SoVertexProperty*>(v);
    }
    if (vp && vp->vertex.getNum() > 0) {
      count = vp->vertex.getNum();
      points3 = vp->vertex.getValues(0);
    } else {
      const SoCoordinateElement* ce = SoCoordinateElement::getInstance(action->getState());
      count = ce->getNum();
      if (ce->is3D())
        points3 = ce->getArrayPtr3();
      else
        points4 = ce->getArrayPtr4();
    }
    const void* points = points3 ? static_cast<const void*>(points3) : static_cast<const void*>(points4);
    if (!m_checked.insert({shape, points}).second) return;
    if (m_finite.insert(points).second) {
      for (int i = 0; i < count; ++i) {
        const float* p = points3 ? &points3[i][0] : &points4[i][0];
        const int dims = points3 ? 3 : 4;
        for (int d = 0; d < dims; ++d) {
          if (!std::isfinite(p[d])) {
            m_error = Where(action) + ": non-finite coordinate (point " + std::to_string(i) + " of " +
                      std::to_string(count) + ")";
            return;
          }
        }
      }
    }
    if (shape->isOfType(SoIndexedShape::getClassTypeId())) {
      const SoMFInt32& index = static_cast<const SoIndexedShape*>(shape)->coordIndex;
      const int32_t* idx = index.getValues(0);
      for (int i = 0; i < index.getNum(); ++i) {
        if (idx[i] >= count || idx[i] < -1) {
          m_error = Where(action) + ": coordIndex[" + std::to_string(i) + "] = " + std::to_string(idx[i]) +
                    " out of range (" + std::to_string(count) + " points)";
          return;
        }
      }
    } else if (shape->isOfType(SoNonIndexedShape::getClassTypeId())) {
      long long used = static_cast<const SoNonIndexedShape*>(shape)->startIndex.getValue();
      SoField* f = const_cast<SoShape*>(shape)->getField("numVertices");
      if (used < 0) {
        m_error = Where(action) + ": negative startIndex";
        return;
      }
      if (f && f->isOfType(SoMFInt32::getClassTypeId())) {
        const auto* nv = static_cast<SoMFInt32*>(f);
        for (int i = 0; i < nv->getNum(); ++i) used += std::max<int32_t>(0, (*nv)[i]);
      }
      if (used > count) {
        m_error = Where(action) + ": " + shape->getTypeId().getName().getString() + " uses " + std::to_string(used) +
                  " points, " + std::to_string(count) + " given";
      }
    }
  }

  std::set<std::pair<const SoShape*, const void*>> m_checked;
  std::unordered_set<const void*> m_finite;
  std::string m_error;
};

// Model edges are derived data that files do not hold (see SoKRN_EdgeKit):
// a part read back gets them again from its triangles, once per prototype,
// as a document built from the parts has them.
void AddFeatureEdges(SoKRN_ComponentKit* top) {
  std::unordered_set<SoKRN_ComponentKit*> done;
  std::vector<SoKRN_ComponentKit*> todo{top};
  while (!todo.empty()) {
    SoKRN_ComponentKit* proto = todo.back();
    todo.pop_back();
    if (!proto || !done.insert(proto).second) continue;
    if (SoGroup* group = proto->getChildGroup(false)) {
      for (int i = 0; i < group->getNumChildren(); ++i)
        todo.push_back(static_cast<SoKRN_ComponentKit*>(group->getChild(i))->getPrototype());
    }
    SoGroup* bodies = proto->getBodiesIfAny();
    if (!bodies) continue;
    SoCoordinate3* coords = nullptr;
    SoBrepFaceSet* faces = nullptr;
    bool hasEdges = false;
    for (int i = 0; i < bodies->getNumChildren(); ++i) {
      SoNode* c = bodies->getChild(i);
      if (c->isOfType(SoKRN_EdgeKit::getClassTypeId()))
        hasEdges = true;
      else if (c->isOfType(SoCoordinate3::getClassTypeId()) && !coords)
        coords = static_cast<SoCoordinate3*>(c);
      else if (c->isOfType(SoBrepFaceSet::getClassTypeId()) && !faces)
        faces = static_cast<SoBrepFaceSet*>(c);
    }
    if (hasEdges || !coords || !faces) continue;
    std::vector<float> xyz(3 * static_cast<std::size_t>(coords->point.getNum()));
    for (int i = 0; i < coords->point.getNum(); ++i)
      for (int k = 0; k < 3; ++k) xyz[3 * static_cast<std::size_t>(i) + k] = coords->point[i][k];
    // Polygons as fans; a part whose indices do not all name its own points
    // gets no edges.
    std::vector<int> tris;
    const int32_t* idx = faces->coordIndex.getValues(0);
    const int numIdx = faces->coordIndex.getNum();
    if (std::any_of(idx, idx + numIdx, [&](int32_t v) { return v >= coords->point.getNum() || v < -1; })) continue;
    for (int i = 0, start = 0; i <= numIdx; ++i) {
      if (i < numIdx && idx[i] >= 0) continue;
      for (int k = start + 1; k + 1 < i; ++k) tris.insert(tris.end(), {idx[start], idx[k], idx[k + 1]});
      start = i + 1;
    }
    if (SoKRN_EdgeKit* edges = SoKRN_EdgeKit::makeFeatureEdges(xyz, tris)) bodies->addChild(edges);
  }
}

SoKRN_MainDoc* ReadFrom(const std::string& text, std::string& error, const ReadOptions& options) {
  SoKRN_MainDoc* doc = nullptr;
  SoSeparator* root = nullptr;
  std::string clean;
  if (!Sanitize(text, clean, error, options)) return nullptr;
  {
    ReadErrorCatcher catcher;
    SoInput in;
    in.setBuffer(clean.data(), clean.size());
    // Allowed File nodes are found where CheckFileNode looked for them.
    const bool searchBase = options.allowFileNodes && !options.baseDir.empty();
    if (searchBase) SoInput::addDirectoryFirst(options.baseDir.c_str());
    root = SoDB::readAll(&in);
    if (searchBase) SoInput::removeDirectory(options.baseDir.c_str());
    if (!root) {
      error = catcher.message().empty() ? "could not read the file" : catcher.message();
      return nullptr;
    }
  }
  vx::host::SoRef<SoSeparator> heldRoot(root);
  if (HasCycle(root)) {
    // Breaking the cycle is not our business; the graph leaks rather than
    // being torn down recursively (a reference nobody gives back).
    root->ref();
    error = "the file's scene graph refers back to itself (cycle through USE)";
    return nullptr;
  }
  if (root->getNumChildren() == 1 && root->getChild(0)->isOfType(SoKRN_MainDoc::getClassTypeId())) {
    doc = static_cast<SoKRN_MainDoc*>(root->getChild(0));
  } else {
    SoSearchAction sa;
    sa.setType(SoKRN_MainDoc::getClassTypeId());
    sa.setInterest(SoSearchAction::FIRST);
    sa.apply(root);
    if (sa.getPath()) doc = static_cast<SoKRN_MainDoc*>(sa.getPath()->getTail());
  }
  if (!doc) {
    error = "no document kit (SoKRN_MainDoc) in the file";
    return nullptr;
  }
  vx::host::SoRef<SoKRN_MainDoc> heldDoc(doc);
  heldRoot.reset();
  if (!CheckAssembly(doc->getTopPrototype(), error) || !GeometryCheck().Run(doc, error)) return nullptr;
  AddFeatureEdges(doc->getTopPrototype());
  doc->adoptTree();
  doc->ref();  // the caller's
  return doc;
}

}  // namespace

SoKRN_MainDoc* ReadDocument(const std::string& file, std::string& error, const ReadOptions& options) {
  error.clear();
  std::ifstream f(file, std::ios::binary);
  if (!f) {
    error = "cannot open \"" + file + "\"";
    return nullptr;
  }
  std::ostringstream text;
  text << f.rdbuf();
  if (f.bad()) {
    error = "cannot read \"" + file + "\"";
    return nullptr;
  }
  const std::string s = text.str();
  if (s.empty()) {
    error = "empty file \"" + file + "\"";
    return nullptr;
  }
  return ReadFrom(s, error, options);
}

SoKRN_MainDoc* ReadDocumentFromString(const std::string& text, std::string& error, const ReadOptions& options) {
  error.clear();
  if (text.empty()) {
    error = "empty input";
    return nullptr;
  }
  return ReadFrom(text, error, options);
}

namespace {

// Writes the document without its temporary children (they hold display
// nodes owned by running tools, whose user data would not survive).
bool WriteTo(SoKRN_MainDoc* doc, SoOutput& out) {
  const int numTmp = doc->getNumTempChildren();
  std::vector<vx::host::SoRef<SoNode>> saved;
  saved.reserve(numTmp);
  for (int i = 0; i < numTmp; ++i) saved.emplace_back(doc->getTmpChildByIndex(i));
  for (SoNode* n : saved) doc->removeTempChild(n);
  SoWriteAction wa(&out);
  wa.apply(doc);
  for (SoNode* n : saved) doc->addTmpChild(n);
  return true;
}

}  // namespace

bool WriteDocument(SoKRN_MainDoc* doc, const std::string& file, std::string& error) {
  error.clear();
  if (!doc) {
    error = "no document";
    return false;
  }
  SoOutput out;
  if (!out.openFile(file.c_str())) {
    error = "cannot write \"" + file + "\"";
    return false;
  }
  WriteTo(doc, out);
  out.closeFile();
  return true;
}

std::string WriteDocumentToString(SoKRN_MainDoc* doc) {
  if (!doc) return std::string();
  SoOutput out;
  out.setBuffer(malloc(4096), 4096, realloc);
  WriteTo(doc, out);
  void* buf = nullptr;
  size_t size = 0;
  out.getBuffer(buf, size);
  std::string text(static_cast<const char*>(buf), size);
  free(buf);
  return text;
}

}  // namespace vx::host
