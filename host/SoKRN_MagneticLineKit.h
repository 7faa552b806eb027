#pragma once
// A magnetic line: a leader line that holds annotations together. It keeps
// the placement paths (full form, wide text) of the annotations it links.
#include <string>
#include <vector>

#include "host/SoKRN_BaseKit.h"

class SoKRN_FdtKit;

class SoKRN_MagneticLineKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_MagneticLineKit);
  SO_KIT_CATALOG_ENTRY_HEADER(topSeparator);

public:
  static void initClass();
  SoKRN_MagneticLineKit();

  void addPMIRelation(const std::wstring& plcPath) { m_related.push_back(plcPath); }
  const std::vector<std::wstring>& getPMIRelations() const { return m_related; }
  // Lets go of the annotation at `plcPath`; true when it was linked. The
  // annotation kit is not used by this stand-in, which links by path only.
  bool DelPMIRelation(SoKRN_FdtKit* annotation, const std::wstring& plcPath);

  void setHighLight(bool on) { m_highLight = on; }
  bool isHighLighted() const { return m_highLight; }

protected:
  ~SoKRN_MagneticLineKit() override;

private:
  std::vector<std::wstring> m_related;
  bool m_highLight = false;
};
