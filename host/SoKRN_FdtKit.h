#pragma once
// A dimensioning and tolerancing annotation (PMI). Here a frame with the
// material it is drawn in; the type id lets traversals tell these kits apart
// (the interference check never tests what lies below them).
#include "host/SoKRN_BaseKit.h"

class SoMaterial;
class Tpx_PMI;

class SoKRN_FdtKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_FdtKit);
  SO_KIT_CATALOG_ENTRY_HEADER(topSeparator);
  SO_KIT_CATALOG_ENTRY_HEADER(material);
  SO_KIT_CATALOG_ENTRY_HEADER(geometry);

public:
  static void initClass();
  SoKRN_FdtKit();

  void setHighLight(bool on) { m_highLight = on; }
  bool isHighLighted() const { return m_highLight; }

  // The annotation's material, or null when it has none of its own.
  SoMaterial* getMaterial() const;
  // Replaces it (null removes it); the kit holds it.
  void setMaterial(SoMaterial* material);
  // Sets the transparency of its material, made first when there is none.
  void setTransparency(float transparency);
  // The attached annotation (product data), or null.
  Tpx_PMI* getAttchTpxPMI() const;
  // Attaches `pmi` (the kit then holds it); `notify` is not used here.
  void initData(Tpx_PMI* pmi, bool notify);

protected:
  ~SoKRN_FdtKit() override;

private:
  bool m_highLight = false;
};
