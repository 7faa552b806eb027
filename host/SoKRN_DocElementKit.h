#pragma once
// A named element of the document tree with an id, a placement transform
// and element children.
#include <Inventor/SbMatrix.h>
#include <Inventor/fields/SoSFString.h>
#include <Inventor/fields/SoSFUInt32.h>
#include <string>
#include "host/SoKRN_BaseKit.h"

class SoTransform;

class SoKRN_DocElementKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_DocElementKit);

public:
  static void initClass();
  SoKRN_DocElementKit();

  SoSFString krnName;  // UTF-8
  SoSFUInt32 elementId;

  uint32_t getID() const { return elementId.getValue(); }
  void getKRNName(std::wstring& name) const;
  void setKRNName(const std::wstring& name);

  // Element children (for a prototype: its instance kits). None by default.
  virtual int getNumEleChildren() const;
  virtual SoKRN_DocElementKit* getEleChild(int i) const;

  // The placement transform, created on demand when `create` is true.
  virtual SoTransform* getTrans(bool create);
  // Replaces the stored placement with m (translation, rotation, scale).
  void setMatrix(const SbMatrix& m, bool notify);

protected:
  ~SoKRN_DocElementKit() override;
};
