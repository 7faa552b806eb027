#pragma once
// Annotation and feature tree of a component: node kits with an id, a data
// type and an entity (what the node shows), and child node kits.
#include <string>
#include <vector>

#include <Inventor/fields/SoSFBool.h>
#include <Inventor/fields/SoSFInt32.h>
#include <Inventor/fields/SoSFUInt32.h>
#include "host/SoKRN_BaseKit.h"

class Tpx_Node;

class SoKRN_NodeKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_NodeKit);
  SO_KIT_CATALOG_ENTRY_HEADER(entity);
  SO_KIT_CATALOG_ENTRY_HEADER(feature);
  SO_KIT_CATALOG_ENTRY_HEADER(childList);

public:
  static void initClass();
  SoKRN_NodeKit();

  // Data types with an entity: 4 annotation (SoKRN_FdtKit), 10 model
  // display (SoKRN_ModelDisplay: a view or a clip plane); 12 is a folder.
  enum DataType { ANNOTATION = 4, MODEL_DISPLAY = 10, GROUP = 12 };
  SoSFInt32 dataType;
  SoSFInt32 featureType;  // 30000: a saved clip line (entity SoKRN_BodyKit)
  SoSFUInt32 nodeId;
  SoSFBool visible;  // a hidden node kit is neither drawn nor picked, children included

  void setVisibility(bool on, bool notify);
  bool isVisible() const { return visible.getValue() != FALSE; }

  uint32_t getID() const { return nodeId.getValue(); }
  // What the node shows (see DataType), or null.
  SoKRN_BaseKit* getNodeEnt() const;
  // Replaces the entity (the kit holds it) and gives it this kit's state.
  void setNodeEnt(SoKRN_BaseKit* entity);
  // The feature (an SoKRN_FeatureKit, e.g. with a magnetic line), or null.
  SoKRN_BaseKit* getNodeFeat() const;
  void setNodeFeat(SoKRN_BaseKit* feature);

  // Relations of this node kit (a view's or a clip plane's) to other
  // objects: the related node's id, the kit type it points to and, for an
  // instance, its placement path. Kept in memory only.
  struct Connector {
    uint32_t assocNodeId = 0;
    SoType pointedType;
    std::string plcPath;
    uint32_t getAssocNodeID() const { return assocNodeId; }
    SoType getPointedType() const { return pointedType; }
    const std::string& getPlcPath() const { return plcPath; }
  };
  void createNodeConnector(uint32_t assocNodeId, SoType pointedType, const std::string& plcPath);
  int getNumNodeConnector() const { return static_cast<int>(m_connectors.size()); }
  const Connector* getNodeConnector(int i) const;
  void removeNodeConnector(int i);

  // A new node kit of `type` under `parent`, with the entity its type asks
  // for. With product data `node`, the kit takes the node's id (when no
  // child of `parent` has it yet; otherwise the next free id) and its entity
  // holds the object the node belongs to. `options` is kept for the
  // caller's signature and not used. Null without a parent.
  static SoKRN_NodeKit* createNode(int type, SoKRN_NodeKit* parent, Tpx_Node* node, int options);
  int getNumChildren() const;
  SoKRN_NodeKit* getChild(int i) const;
  void addChild(SoKRN_NodeKit* child);
  // The direct child with the given id, or null.
  SoKRN_NodeKit* getChildNodeKitByID(uint32_t id) const;
  // Removes the direct child with the given id; true when found.
  bool removeChildNodeKitByID(uint32_t id, SbBool notify);

protected:
  ~SoKRN_NodeKit() override;

private:
  std::vector<Connector> m_connectors;

protected:
  void GLRender(SoGLRenderAction* action) override;
  void rayPick(SoRayPickAction* action) override;
};
