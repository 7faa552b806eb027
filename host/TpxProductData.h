#pragma once
// Product data attached to document kits: a part definition (prototype)
// with its saved views and annotations (PMI), a view's clipping planes and
// relations (node connectors), an annotation's texts and pictures, and the
// node through which an object is shown in the document's node-kit tree.
//
// Ownership is shared: a prototype holds the views added to it, a kit holds
// the object attached to it (SoKRN_BaseKit::setTpxObjCache), and an object
// lives while either holds it. So a view deleted from its prototype while a
// kit still shows it stays until the kit lets it go (DelTpxObj).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TPX_PNT32 {
  float x = 0, y = 0, z = 0;
};
struct TPX_DIR32 {
  float x = 0, y = 0, z = 1;
};
struct TPX_RGBA32 {
  float r = 0, g = 0, b = 0, a = 1;
};
using TPX_STATUS = int;  // 0: done; otherwise why not
constexpr TPX_STATUS TPX_OK = 0;
constexpr TPX_STATUS TPX_NOT_FOUND = 1;
constexpr TPX_STATUS TPX_BAD_ARGUMENT = 2;

class Tpx_ProtoType;
class Tpx_PMI;

// Base of every product-data object.
class Tpx_Object : public std::enable_shared_from_this<Tpx_Object> {
public:
  virtual ~Tpx_Object();
  uint32_t GetID() const { return m_id; }

protected:
  Tpx_Object() = default;
  uint32_t m_id = 0;
};

// A surface of product data; the only kind here is the plane.
class Tpx_SurfaceEntity : public Tpx_Object {};

// A plane by a point on it and its normal, with the colour it is shown in.
class Tpx_PlaneSurface : public Tpx_SurfaceEntity {
public:
  TPX_STATUS SetNormal(const TPX_DIR32& n);
  TPX_STATUS SetOrigin(const TPX_PNT32& o);
  TPX_STATUS SetColor(const TPX_RGBA32& c);
  const TPX_DIR32& GetNormal() const { return m_normal; }
  const TPX_PNT32& GetOrigin() const { return m_origin; }
  const TPX_RGBA32& GetColor() const { return m_color; }

private:
  TPX_DIR32 m_normal;
  TPX_PNT32 m_origin;
  TPX_RGBA32 m_color;
};

class Tpx_View;

// What a document node kit is made from: its id and the object it shows.
class Tpx_Node {
public:
  explicit Tpx_Node(Tpx_Object* owner) : m_owner(owner) {}
  uint32_t GetID() const;
  Tpx_Object* GetOwner() const { return m_owner; }

private:
  Tpx_Object* m_owner;
};

// A relation of a view to another object, by the id of that object's node.
class Tpx_NodeConnector : public Tpx_Object {
public:
  Tpx_NodeConnector(Tpx_ProtoType* proto, int entityType, int linkedType);
  int GetEntityType() const { return m_entityType; }
  int GetLinkedType() const { return m_linkedType; }
  TPX_STATUS SetLinkNode(uint32_t nodeId);
  uint32_t GetLinkNode() const { return m_link; }

private:
  int m_entityType, m_linkedType;
  uint32_t m_link = 0;
};

// A saved view: a usage type and the clipping planes it applies.
class Tpx_View : public Tpx_Object {
public:
  explicit Tpx_View(Tpx_ProtoType* proto);
  ~Tpx_View() override;
  Tpx_View(const Tpx_View&) = delete;
  Tpx_View& operator=(const Tpx_View&) = delete;

  // Gives the view a fresh id from its prototype (`reserved` must be 0).
  TPX_STATUS RegisterID(uint32_t reserved);
  TPX_STATUS SetUsageType(int type);
  int GetUsageType() const { return m_usage; }
  // Takes the plane over.
  TPX_STATUS AddClippingPlan(Tpx_PlaneSurface* plane);
  int GetNumClippingPlan() const { return static_cast<int>(m_planes.size()); }
  Tpx_PlaneSurface* GetClippingPlan(int i) const;
  Tpx_Node* GetNode() { return &m_node; }
  Tpx_ProtoType* GetProtoType() const { return m_proto; }
  // Takes the connector over.
  TPX_STATUS AddNodeConnector(Tpx_NodeConnector* connector);
  // Removes every connector linking node `nodeId` whose linked type is
  // `linkedType`; TPX_NOT_FOUND when there is none.
  TPX_STATUS DelNodeConnector(uint32_t nodeId, int linkedType);
  int GetNumNodeConnector() const { return static_cast<int>(m_connectors.size()); }
  Tpx_NodeConnector* GetNodeConnector(int i) const;

private:
  friend class Tpx_ProtoType;
  Tpx_ProtoType* m_proto;  // null once the prototype has let the view go
  int m_usage = 0;
  std::vector<std::shared_ptr<Tpx_PlaneSurface>> m_planes;
  std::vector<std::shared_ptr<Tpx_NodeConnector>> m_connectors;
  Tpx_Node m_node{this};
};

// One text of an annotation: the text, its usage (7: the suffix of a serial
// number), character size and spacing, and its inner axes.
class Tpx_Text {
public:
  std::wstring text;
  int usageType = 0;
  float charWidth = 1, charHeight = 1, charSpacing = 1;
  TPX_DIR32 innerX{1, 0, 0}, innerY{0, 1, 0};
};

// The texts of an annotation that belong together, in order.
class Tpx_ComText {
public:
  const std::vector<Tpx_Text>& GetTexts() const { return m_texts; }
  TPX_STATUS SetTexts(const std::vector<Tpx_Text>& texts);

private:
  std::vector<Tpx_Text> m_texts;
};

// A picture of an annotation: linked (save style 0, by its path) or
// embedded (save style 1, with its pixels).
class Tpx_Picture {
public:
  int type = 1;  // 3 PNG, 1 any other file
  std::wstring savePath;
  TPX_PNT32 location;
  float displayWidth = 0, displayHeight = 0, scaleY = 1;
  int actualWidth = 0, actualHeight = 0, components = 0;
  std::vector<unsigned char> data;  // rows bottom first, as Coin's image reader gives them
  int saveStyle = 0;
};

// An annotation: its type, name, placement flags, composite texts and
// pictures. PMI type 33 is a picture annotation.
class Tpx_PMI : public Tpx_Object {
public:
  explicit Tpx_PMI(Tpx_ProtoType* proto, int type = 0);
  ~Tpx_PMI() override;
  Tpx_PMI(const Tpx_PMI&) = delete;
  Tpx_PMI& operator=(const Tpx_PMI&) = delete;

  TPX_STATUS RegisterID(uint32_t reserved);
  int GetType() const { return m_type; }
  void SetName(const std::wstring& name) { m_name = name; }
  const std::wstring& GetName() const { return m_name; }
  void SetParallelToScreen(bool on) { m_parallel = on; }
  bool IsParallelToScreen() const { return m_parallel; }
  void SetFixed(bool on) { m_fixed = on; }
  bool IsFixed() const { return m_fixed; }
  std::vector<Tpx_ComText>& GetComText() { return m_comTexts; }
  TPX_STATUS AddPicture(const Tpx_Picture& picture);
  const std::vector<Tpx_Picture>& GetPictures() const { return m_pictures; }
  // Null once detached (SetNode(null)): the annotation is then shown by no
  // node of its own.
  Tpx_Node* GetNode() { return m_hasNode ? &m_node : nullptr; }
  void SetNode(Tpx_Node* node) { m_hasNode = node != nullptr; }
  Tpx_ProtoType* GetProtoType() const { return m_proto; }

private:
  friend class Tpx_ProtoType;
  Tpx_ProtoType* m_proto;
  int m_type;
  std::wstring m_name;
  bool m_parallel = false, m_fixed = false;
  std::vector<Tpx_ComText> m_comTexts;
  std::vector<Tpx_Picture> m_pictures;
  Tpx_Node m_node{this};
  bool m_hasNode = true;
};

// A part definition: its views. Ids are unique within one prototype.
class Tpx_ProtoType : public Tpx_Object {
public:
  explicit Tpx_ProtoType(std::wstring name = L"");
  ~Tpx_ProtoType() override;
  Tpx_ProtoType(const Tpx_ProtoType&) = delete;
  Tpx_ProtoType& operator=(const Tpx_ProtoType&) = delete;

  const std::wstring& GetName() const { return m_name; }
  // A fresh id (1, 2, ...).
  uint32_t NewID() { return ++m_lastId; }
  // Adds a view made for this prototype; it is then held by the prototype.
  TPX_STATUS AddView(Tpx_View* view);
  // Lets the view with `id` go: deleted unless a kit still holds it.
  TPX_STATUS DeleteView(uint32_t id);
  int GetNumViews() const { return static_cast<int>(m_views.size()); }
  Tpx_View* GetView(int i) const;
  Tpx_View* FindView(uint32_t id) const;
  // Adds an annotation made for this prototype, then held by it.
  TPX_STATUS AddPMI(Tpx_PMI* pmi);
  int GetNumPMI() const { return static_cast<int>(m_pmis.size()); }
  Tpx_PMI* GetPMI(int i) const;

private:
  std::wstring m_name;
  uint32_t m_lastId = 0;
  std::vector<std::shared_ptr<Tpx_View>> m_views;
  std::vector<std::shared_ptr<Tpx_PMI>> m_pmis;
};
