#include "host/TpxProductData.h"

#include <algorithm>
#include <cmath>
#include <utility>

Tpx_Object::~Tpx_Object() = default;

TPX_STATUS Tpx_PlaneSurface::SetNormal(const TPX_DIR32& n) {
  const float len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
  if (!(len > 0) || !std::isfinite(len)) return TPX_BAD_ARGUMENT;
  m_normal = {n.x / len, n.y / len, n.z / len};
  return TPX_OK;
}

TPX_STATUS Tpx_PlaneSurface::SetOrigin(const TPX_PNT32& o) {
  if (!std::isfinite(o.x) || !std::isfinite(o.y) || !std::isfinite(o.z)) return TPX_BAD_ARGUMENT;
  m_origin = o;
  return TPX_OK;
}

TPX_STATUS Tpx_PlaneSurface::SetColor(const TPX_RGBA32& c) {
  auto unit = [](float v) { return std::min(1.0f, std::max(0.0f, std::isfinite(v) ? v : 0.0f)); };
  m_color = {unit(c.r), unit(c.g), unit(c.b), unit(c.a)};
  return TPX_OK;
}

uint32_t Tpx_Node::GetID() const { return m_owner ? m_owner->GetID() : 0; }

Tpx_View::Tpx_View(Tpx_ProtoType* proto) : m_proto(proto) {}

Tpx_View::~Tpx_View() = default;

TPX_STATUS Tpx_View::RegisterID(uint32_t reserved) {
  if (reserved != 0 || !m_proto) return TPX_BAD_ARGUMENT;
  m_id = m_proto->NewID();
  return TPX_OK;
}

TPX_STATUS Tpx_View::SetUsageType(int type) {
  m_usage = type;
  return TPX_OK;
}

TPX_STATUS Tpx_View::AddClippingPlan(Tpx_PlaneSurface* plane) {
  if (!plane) return TPX_BAD_ARGUMENT;
  for (const auto& p : m_planes) {
    if (p.get() == plane) return TPX_BAD_ARGUMENT;
  }
  m_planes.emplace_back(plane);
  return TPX_OK;
}

Tpx_PlaneSurface* Tpx_View::GetClippingPlan(int i) const {
  return i >= 0 && i < GetNumClippingPlan() ? m_planes[static_cast<std::size_t>(i)].get() : nullptr;
}

Tpx_ProtoType::Tpx_ProtoType(std::wstring name) : m_name(std::move(name)) {}

Tpx_ProtoType::~Tpx_ProtoType() {
  // Views that kits still hold outlive their prototype: they forget it.
  for (const auto& v : m_views) v->m_proto = nullptr;
  for (const auto& p : m_pmis) p->m_proto = nullptr;
}

TPX_STATUS Tpx_ProtoType::AddView(Tpx_View* view) {
  if (!view || view->m_proto != this) return TPX_BAD_ARGUMENT;
  for (const auto& v : m_views) {
    if (v.get() == view) return TPX_BAD_ARGUMENT;
  }
  // A view already held elsewhere (by a kit) shares that ownership.
  std::shared_ptr<Tpx_Object> held = view->weak_from_this().lock();
  m_views.push_back(held ? std::static_pointer_cast<Tpx_View>(held) : std::shared_ptr<Tpx_View>(view));
  return TPX_OK;
}

TPX_STATUS Tpx_ProtoType::DeleteView(uint32_t id) {
  for (auto it = m_views.begin(); it != m_views.end(); ++it) {
    if ((*it)->GetID() == id) {
      (*it)->m_proto = nullptr;
      m_views.erase(it);
      return TPX_OK;
    }
  }
  return TPX_NOT_FOUND;
}

Tpx_View* Tpx_ProtoType::GetView(int i) const {
  return i >= 0 && i < GetNumViews() ? m_views[static_cast<std::size_t>(i)].get() : nullptr;
}

Tpx_View* Tpx_ProtoType::FindView(uint32_t id) const {
  for (const auto& v : m_views) {
    if (v->GetID() == id) return v.get();
  }
  return nullptr;
}

Tpx_NodeConnector::Tpx_NodeConnector(Tpx_ProtoType* proto, int entityType, int linkedType)
    : m_entityType(entityType), m_linkedType(linkedType) {
  if (proto) m_id = proto->NewID();
}

TPX_STATUS Tpx_NodeConnector::SetLinkNode(uint32_t nodeId) {
  m_link = nodeId;
  return TPX_OK;
}

TPX_STATUS Tpx_View::AddNodeConnector(Tpx_NodeConnector* connector) {
  if (!connector) return TPX_BAD_ARGUMENT;
  for (const auto& c : m_connectors) {
    if (c.get() == connector) return TPX_BAD_ARGUMENT;
  }
  std::shared_ptr<Tpx_Object> held = connector->weak_from_this().lock();
  m_connectors.push_back(held ? std::static_pointer_cast<Tpx_NodeConnector>(held)
                              : std::shared_ptr<Tpx_NodeConnector>(connector));
  return TPX_OK;
}

TPX_STATUS Tpx_View::DelNodeConnector(uint32_t nodeId, int linkedType) {
  const auto before = m_connectors.size();
  m_connectors.erase(std::remove_if(m_connectors.begin(), m_connectors.end(),
                                    [&](const std::shared_ptr<Tpx_NodeConnector>& c) {
                                      return c->GetLinkNode() == nodeId && c->GetLinkedType() == linkedType;
                                    }),
                     m_connectors.end());
  return m_connectors.size() < before ? TPX_OK : TPX_NOT_FOUND;
}

Tpx_NodeConnector* Tpx_View::GetNodeConnector(int i) const {
  return i >= 0 && i < GetNumNodeConnector() ? m_connectors[static_cast<std::size_t>(i)].get() : nullptr;
}

TPX_STATUS Tpx_ComText::SetTexts(const std::vector<Tpx_Text>& texts) {
  m_texts = texts;
  return TPX_OK;
}

Tpx_PMI::Tpx_PMI(Tpx_ProtoType* proto, int type) : m_proto(proto), m_type(type) {}

Tpx_PMI::~Tpx_PMI() = default;

TPX_STATUS Tpx_PMI::RegisterID(uint32_t reserved) {
  if (reserved != 0 || !m_proto) return TPX_BAD_ARGUMENT;
  m_id = m_proto->NewID();
  return TPX_OK;
}

TPX_STATUS Tpx_PMI::AddPicture(const Tpx_Picture& picture) {
  m_pictures.push_back(picture);
  return TPX_OK;
}

TPX_STATUS Tpx_ProtoType::AddPMI(Tpx_PMI* pmi) {
  if (!pmi || pmi->m_proto != this) return TPX_BAD_ARGUMENT;
  for (const auto& p : m_pmis) {
    if (p.get() == pmi) return TPX_BAD_ARGUMENT;
  }
  std::shared_ptr<Tpx_Object> held = pmi->weak_from_this().lock();
  m_pmis.push_back(held ? std::static_pointer_cast<Tpx_PMI>(held) : std::shared_ptr<Tpx_PMI>(pmi));
  return TPX_OK;
}

Tpx_PMI* Tpx_ProtoType::GetPMI(int i) const {
  return i >= 0 && i < GetNumPMI() ? m_pmis[static_cast<std::size_t>(i)].get() : nullptr;
}
