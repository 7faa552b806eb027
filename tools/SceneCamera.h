#pragma once
// Places a perspective camera so that a world box (or a set of points, or a
// scene) fills the picture.
//
// The camera looks along a fixed view direction (by default from front, right
// and above in a Z-up world: along (-1, 1.5, -1)), is moved sideways until the
// box's picture is centred and backs off until the box fits with a margin kept
// free on each side: the box touches the margin on two opposite sides. Near
// and far planes hug the box, so the depth buffer keeps its precision. The fit
// follows Coin's ADJUST_CAMERA viewport mapping: heightAngle spans the
// picture's height when it is wider than tall, else its width.
#include <Inventor/SbBox3f.h>
#include <Inventor/SbVec3f.h>

#include <vector>

class SbViewportRegion;
class SoNode;
class SoPerspectiveCamera;

class SceneCamera {
public:
  SceneCamera();

  // Direction the camera looks along, in world coordinates (need not be unit).
  // A zero vector is ignored.
  void setViewDirection(const SbVec3f& direction);
  const SbVec3f& viewDirection() const { return viewDirection_; }
  // World "up"; the picture's vertical axis follows it. When it is parallel to
  // the view direction another axis is taken instead.
  void setUpVector(const SbVec3f& up);
  const SbVec3f& upVector() const { return up_; }
  // Fraction of the picture's width and height kept free on each side, clamped
  // to [0, 0.45].
  void setMargin(float fraction);
  float margin() const { return margin_; }
  // Full vertical opening angle (radians) given to the camera, clamped to
  // [1 degree, 120 degrees].
  void setHeightAngle(float radians);
  float heightAngle() const { return heightAngle_; }

  // Sets position, orientation, heightAngle, focalDistance and the near and far
  // distances of `camera` so that `box` fills a picture of the given aspect ratio
  // (width / height). A box that is a single point is treated as a unit cube
  // around it. Near and far take in the box only: what lies outside it is
  // clipped unless the renderer widens them (OffscreenRenderer auto clipping). Returns false and leaves the camera
  // unchanged when the box is empty, not finite, or aspect is not positive.
  bool fit(SoPerspectiveCamera& camera, const SbBox3f& box, float aspect) const;

  // The same for a set of world points: every point inside, the set centred.
  // False (camera unchanged) for an empty set or one with a non-finite point.
  bool fit(SoPerspectiveCamera& camera, const std::vector<SbVec3f>& points, float aspect) const;

  // fit() to what `scene` draws in `viewport`: to the corners of each shape's
  // own bounding box, which frames a spread-out assembly more tightly than
  // the box around it all (falls back on the scene's bounding box when it has
  // no shapes). Returns false (camera unchanged) when the scene is null or has
  // no extent.
  bool viewAll(SoPerspectiveCamera& camera, SoNode* scene, const SbViewportRegion& viewport) const;

private:
  SbVec3f viewDirection_;
  SbVec3f up_;
  float margin_;
  float heightAngle_;
};
