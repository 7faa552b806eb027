#include "host/SoKRN_ClipLineKit.h"

#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoDrawStyle.h>
#include <Inventor/nodes/SoIndexedLineSet.h>
#include <Inventor/nodes/SoLightModel.h>
#include <Inventor/nodes/SoSeparator.h>

SO_KIT_SOURCE(SoKRN_ClipLineKit);

void SoKRN_ClipLineKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_ClipLineKit, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_ClipLineKit::SoKRN_ClipLineKit(SoKRN_State* state) {
  SO_KIT_CONSTRUCTOR(SoKRN_ClipLineKit);
  SO_KIT_ADD_CATALOG_ENTRY(topSeparator, SoSeparator, FALSE, this, \x0, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(drawStyle, SoDrawStyle, FALSE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(lightModel, SoLightModel, FALSE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(baseColor, SoBaseColor, FALSE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(coords, SoCoordinate3, FALSE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(lines, SoIndexedLineSet, FALSE, topSeparator, \x0, TRUE);
  SO_KIT_INIT_INSTANCE();
  setKRNState(state);
  // Lines are drawn in their base colour, whatever the lights.
  static_cast<SoLightModel*>(getAnyPart("lightModel", TRUE))->model = SoLightModel::BASE_COLOR;
  getAnyPart("drawStyle", TRUE);
}

SoKRN_ClipLineKit::~SoKRN_ClipLineKit() = default;

void SoKRN_ClipLineKit::serializeFromTools_ClipLine(const std::vector<_vtx>& points,
                                                    const std::vector<std::vector<int32_t>>& lines, SbBool notify) {
  auto* coords = static_cast<SoCoordinate3*>(getAnyPart("coords", TRUE));
  auto* set = static_cast<SoIndexedLineSet*>(getAnyPart("lines", TRUE));
  const SbBool coordsNotify = coords->enableNotify(notify);
  const SbBool setNotify = set->enableNotify(notify);

  coords->point.setNum(static_cast<int>(points.size()));
  SbVec3f* out = coords->point.startEditing();
  for (std::size_t i = 0; i < points.size(); ++i) {
    out[i].setValue(static_cast<float>(points[i].x), static_cast<float>(points[i].y), static_cast<float>(points[i].z));
  }
  coords->point.finishEditing();

  std::vector<int32_t> index;
  const auto n = static_cast<int32_t>(points.size());
  for (const std::vector<int32_t>& list : lines) {
    bool valid = true;
    for (int32_t v : list) valid = valid && v >= -1 && v < n;
    if (!valid || list.empty()) continue;
    index.insert(index.end(), list.begin(), list.end());
    if (index.back() != -1) index.push_back(-1);
  }
  set->coordIndex.setValues(0, static_cast<int>(index.size()), index.data());
  set->coordIndex.setNum(static_cast<int>(index.size()));

  coords->enableNotify(coordsNotify);
  set->enableNotify(setNotify);
  if (notify) touch();
}

void SoKRN_ClipLineKit::setBaseColor(const SbColor& color) {
  static_cast<SoBaseColor*>(getAnyPart("baseColor", TRUE))->rgb = color;
}

SoDrawStyle* SoKRN_ClipLineKit::getDrawStyle() { return static_cast<SoDrawStyle*>(getAnyPart("drawStyle", TRUE)); }

int SoKRN_ClipLineKit::getNumPoints() const {
  auto* coords = static_cast<SoCoordinate3*>(const_cast<SoKRN_ClipLineKit*>(this)->getAnyPart("coords", FALSE));
  return coords ? coords->point.getNum() : 0;
}

int SoKRN_ClipLineKit::getNumSegments() const {
  auto* set = static_cast<SoIndexedLineSet*>(const_cast<SoKRN_ClipLineKit*>(this)->getAnyPart("lines", FALSE));
  if (!set) return 0;
  int segments = 0;
  int run = 0;
  for (int i = 0; i < set->coordIndex.getNum(); ++i) {
    if (set->coordIndex[i] < 0) {
      run = 0;
    } else if (++run >= 2) {
      ++segments;
    }
  }
  return segments;
}
