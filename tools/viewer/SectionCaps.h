#pragma once
// Caps for solids cut open by a clip plane: where the plane passes through a
// part, the cut is filled with the part's colour (a shade darker), and where
// it passes through two parts at once (an interference) with a third colour,
// so that a sectioned pair reads as two cut solids and their overlap. The
// plane itself is drawn light and see-through over the parts' box.
//
// How: stencil parity. With the plane clipping, every fragment of a part's
// (copied, world-space) triangles inverts that part's stencil bit, with no
// colour or depth written; along a pixel's ray the clipped surface of a
// closed solid is crossed an odd number of times exactly when the plane
// point under the pixel lies inside the solid (the eye being outside it).
// A quad on the plane is then drawn, depth-tested against the scene, once
// per stencil value: bit 0 alone, bit 1 alone, both. The plane is read from
// a field (the document's clip plane or the section tool's), followed by a
// sensor, so the caps move with a dragged plane at the cost of two extra
// passes over the pair's triangles per frame and no recomputation.
//
// Limits: up to two parts (two stencil bits); an open mesh, or the eye
// inside a part, gives wrong parity; needs a GL context with a stencil
// buffer (without one nothing is drawn: capsAvailable() says so after a
// frame).
//
// Ownership: root() is referenced by this object for its life; the caller
// puts it into its scene after what the caps must be depth-tested against.
#include <Inventor/SbBox.h>
#include <Inventor/SbColor.h>
#include <Inventor/SbPlane.h>

#include <memory>
#include <vector>

#include "host/SoRef.h"

class SoAction;
class SoClipPlane;
class SoCoordinate3;
class SoFieldSensor;
class SoPath;
class SoSFPlane;
class SoSensor;
class SoSeparator;
class SoSwitch;

class SectionCaps {
public:
  SectionCaps();
  ~SectionCaps();
  SectionCaps(const SectionCaps&) = delete;
  SectionCaps& operator=(const SectionCaps&) = delete;

  SoSeparator* root() const { return root_; }

  // Caps for the parts at `paths` (at most two; each path from the scene's
  // root to the part, its world matrix the action's model matrix) with the
  // colours `colours`, cut by the plane in `plane` (watched until clear()
  // or the next set; a field of a node the caller keeps alive meanwhile).
  // The triangles are copied now: call again when a part moves.
  void set(const std::vector<SoPath*>& paths, const std::vector<SbColor>& colours, SoSFPlane* plane);
  void clear();
  bool active() const { return source_ != nullptr; }
  // The colours the caps are drawn with: part k's, and the overlap's.
  static SbColor capColour(const SbColor& part);
  static SbColor overlapColour();
  // False once a frame was drawn without a stencil buffer.
  bool capsAvailable() const { return stencilBits_ != 0; }

private:
  static void planeChangedCB(void* data, SoSensor* sensor);
  static void planeGoneCB(void* data, SoSensor* sensor);
  struct Stage {
    SectionCaps* caps;
    int step;
  };
  static void stencilCB(void* data, SoAction* action);
  void placeQuad();

  vx::host::SoRef<SoSeparator> root_;
  SoSwitch* on_ = nullptr;
  SoSeparator* parts_ = nullptr;  // the stencil pass's meshes
  SoClipPlane* clip_ = nullptr;
  SoCoordinate3* quad_ = nullptr;   // the caps' quad, over all the parts may cut
  SoCoordinate3* plane_ = nullptr;  // the see-through plane, over their box
  Stage stages_[8];
  std::unique_ptr<SoFieldSensor> sensor_;
  SoSFPlane* source_ = nullptr;
  SbBox3f extent_;
  int stencilBits_ = -1;  // -1 until a frame was drawn
};
