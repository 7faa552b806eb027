#pragma once
// Where a camera must stand to show a box, less a margin: the framing of a
// shown result. No scene, no GL: a box, an orientation and the view's
// extent in, a distance (or a height) out.
//
// Notation: the camera looks along d = orientation * (0, 0, -1) with right
// r = orientation * (1, 0, 0) and up u = orientation * (0, 1, 0), at the
// box's centre c from c - D d. A corner p, with x = (p - c).r,
// y = (p - c).u, z = (p - c).d, shows at the screen offsets x / (D + z) and
// y / (D + z) (perspective) or x and y (orthographic); it stays inside when
// these are at most the view's half width and half height.
#include <Inventor/SbBox.h>
#include <Inventor/SbRotation.h>

// The half extents a view shows, each shrunk by the margin (a fraction of
// the view per side, 0 <= margin < 0.5), for a viewport of `aspect` (width
// over height): for a perspective camera, at unit distance from a height
// angle; for an orthographic one, per unit of its height (then
// `heightAngle` is ignored). A viewport taller than wide widens the height,
// as a camera adjusted to its viewport does.
struct ViewHalfExtent {
  float width = 1;
  float height = 1;
};
ViewHalfExtent ViewHalfExtentOf(bool perspective, float heightAngle, float aspect, float margin);

// The smallest distance D > 0 from the box's centre at which every corner
// shows within `half` (perspective); at least `minimum`.
float FitPerspectiveDistance(const SbBox3f& box, const SbRotation& orientation, const ViewHalfExtent& half,
                             float minimum);
// The smallest orthographic height at which every corner shows within
// `half`.
float FitOrthographicHeight(const SbBox3f& box, const SbRotation& orientation, const ViewHalfExtent& half);
