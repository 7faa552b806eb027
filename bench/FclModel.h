#pragma once
// The FCL peer's mesh model: an OBBRSS hierarchy over a triangle mesh.
#include <fcl/geometry/bvh/BVH_model.h>
#include <fcl/math/bv/OBBRSS.h>

#include <cstddef>
#include <memory>
#include <vector>

namespace vxbench {

using FclModel = fcl::BVHModel<fcl::OBBRSSd>;

// `points` as given, `tris` three vertex indices a triangle.
template <class Index>
std::shared_ptr<FclModel> MakeFclModel(const std::vector<fcl::Vector3d>& points, const std::vector<Index>& tris) {
  std::vector<fcl::Triangle> triangles;
  triangles.reserve(tris.size() / 3);
  for (std::size_t i = 0; i + 2 < tris.size(); i += 3) triangles.emplace_back(tris[i], tris[i + 1], tris[i + 2]);
  auto model = std::make_shared<FclModel>();
  model->beginModel();
  model->addSubModel(points, triangles);
  model->endModel();
  return model;
}

}  // namespace vxbench
