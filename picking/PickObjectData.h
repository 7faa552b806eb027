#pragma once
// A plain pick record for the viewer: what kind of thing was picked, the
// point (world coordinates) and the camera matrix at the time of the pick.
// A new record holds no pick: type NONE, point (0, 0, 0), identity matrix.
#include <cstdint>

#include <Inventor/SbMatrix.h>
#include <Inventor/SbVec3f.h>

class PickObjectData {
public:
  // The values are the viewer's; the library does not read them.
  enum PickTypeEnum : int32_t { NONE = 0, POINT = 1, EDGE = 2, FACE = 3, INSTANCE = 4 };

  PickObjectData() = default;
  ~PickObjectData() = default;
  PickObjectData(const PickObjectData&) = default;
  PickObjectData& operator=(const PickObjectData&) = default;

  void SetType(PickTypeEnum type) { m_type = type; }
  PickTypeEnum GetType() const { return m_type; }
  void SetPoint(SbVec3f p) { m_point = p; }
  SbVec3f GetPoint() const { return m_point; }
  void SetCameraMatrix(SbMatrix m) { m_camera = m; }
  SbMatrix GetCameraMatrix() const { return m_camera; }

private:
  PickTypeEnum m_type = NONE;
  SbVec3f m_point{0, 0, 0};
  SbMatrix m_camera = SbMatrix::identity();
};
