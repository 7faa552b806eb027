#pragma once
// Polylines drawn in one base colour, unlit: clip lines, cut lines and
// wireframe boxes.
#include <cstdint>
#include <vector>

#include <Inventor/SbColor.h>

#include "host/MeshTypes.h"
#include "host/SoKRN_BaseKit.h"

class SoDrawStyle;

class SoKRN_ClipLineKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_ClipLineKit);
  SO_KIT_CATALOG_ENTRY_HEADER(topSeparator);
  SO_KIT_CATALOG_ENTRY_HEADER(drawStyle);
  SO_KIT_CATALOG_ENTRY_HEADER(lightModel);
  SO_KIT_CATALOG_ENTRY_HEADER(baseColor);
  SO_KIT_CATALOG_ENTRY_HEADER(coords);
  SO_KIT_CATALOG_ENTRY_HEADER(lines);

public:
  static void initClass();
  explicit SoKRN_ClipLineKit(SoKRN_State* state = nullptr);

  // Replaces the kit's lines. `points` are world points; every list of
  // `lines` is one or more polylines of indices into `points`, a -1 ending a
  // polyline (a list that does not end with -1 is closed off). Indices out of
  // range drop the list they are in.
  void serializeFromTools_ClipLine(const std::vector<_vtx>& points, const std::vector<std::vector<int32_t>>& lines,
                                   SbBool notify);
  void setBaseColor(const SbColor& color);
  SoDrawStyle* getDrawStyle();

  // What the kit holds: numbers of points and of line segments.
  int getNumPoints() const;
  int getNumSegments() const;

protected:
  ~SoKRN_ClipLineKit() override;
};
