#pragma once
// Writes a flat generated plant (bench/AssemblyGen.h: a top assembly whose
// children are all parts) as one binary glTF 2.0 file: one mesh per part
// prototype, one node per placed part (named like the leaf, with the part's
// placement as its matrix), all nodes at the scene's root. That is the
// instanced file `vistrel check` reads in the scale measurement.
//
// Matrices: SbMatrix is row-vector (p' = p * M, translation in row 3); glTF
// is column-major with column vectors, so M's rows, in order, are glTF's
// columns: the 16 values are M row by row.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/AssemblyGen.h"

namespace vxbench {

// The glTF nodes (one per child of the plant's top, with its matrix and the
// mesh of its prototype) and the scene's root list.
inline void GltfNodes(const Proto& top, const std::vector<int>& meshOfProto, std::string& nodes, std::string& roots) {
  for (size_t i = 0; i < top.children.size(); ++i) {
    const Child& c = top.children[i];
    const float(*m)[4] = c.place.getValue();
    std::string matrix;
    char v[32];
    for (int r = 0; r < 4; ++r) {
      for (int k = 0; k < 4; ++k) {
        std::snprintf(v, sizeof(v), "%s%.9g", matrix.empty() ? "" : ",", m[r][k]);
        matrix += v;
      }
    }
    if (i) {
      nodes += ",";
      roots += ",";
    }
    nodes += "{\"name\":\"" + c.name + "\",\"mesh\":" + std::to_string(meshOfProto[static_cast<size_t>(c.proto)]) +
             ",\"matrix\":[" + matrix + "]}";
    roots += std::to_string(i);
  }
}

// The GLB container: header, JSON chunk, binary chunk. False (and a line on
// stderr) when the file cannot be written.
inline bool WriteGlbFile(const std::string& path, const std::string& json, const std::vector<uint8_t>& bin) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "WritePlantGlb: cannot write %s\n", path.c_str());
    return false;
  }
  auto u32 = [f](uint32_t x) { std::fwrite(&x, 4, 1, f); };
  const uint32_t total = 12 + 8 + static_cast<uint32_t>(json.size()) + 8 + static_cast<uint32_t>(bin.size());
  u32(0x46546C67);  // "glTF"
  u32(2);
  u32(total);
  u32(static_cast<uint32_t>(json.size()));
  u32(0x4E4F534A);  // "JSON"
  std::fwrite(json.data(), 1, json.size(), f);
  u32(static_cast<uint32_t>(bin.size()));
  u32(0x004E4942);  // "BIN\0"
  std::fwrite(bin.data(), 1, bin.size(), f);
  const bool ok = std::fclose(f) == 0;
  if (!ok) std::fprintf(stderr, "WritePlantGlb: cannot write %s\n", path.c_str());
  return ok;
}

// False (and a line on stderr) when the plant is not flat or the file cannot
// be written.
inline bool WritePlantGlb(const Plant& plant, const std::string& path) {
  const Proto& top = plant.protos[static_cast<size_t>(plant.top)];
  std::vector<int> meshOfProto(plant.protos.size(), -1);
  std::vector<uint8_t> bin;
  auto append = [&bin](const void* data, size_t bytes) {
    const auto* p = static_cast<const uint8_t*>(data);
    bin.insert(bin.end(), p, p + bytes);
    while (bin.size() % 4) bin.push_back(0);
  };
  std::string meshes, accessors, views;
  int numMeshes = 0, numAccessors = 0;
  auto view = [&](size_t offset, size_t bytes) {
    if (!views.empty()) views += ",";
    views +=
        "{\"buffer\":0,\"byteOffset\":" + std::to_string(offset) + ",\"byteLength\":" + std::to_string(bytes) + "}";
    return numAccessors;  // one view per accessor
  };
  for (const Child& c : top.children) {
    const Proto& p = plant.protos[static_cast<size_t>(c.proto)];
    if (p.mesh < 0) {
      std::fprintf(stderr, "WritePlantGlb: %s is not a part (the plant must be flat)\n", p.name.c_str());
      return false;
    }
    if (meshOfProto[static_cast<size_t>(c.proto)] >= 0) continue;
    const Mesh& m = plant.meshes[static_cast<size_t>(p.mesh)];
    float lo[3] = {m.xyz[0], m.xyz[1], m.xyz[2]}, hi[3] = {lo[0], lo[1], lo[2]};
    for (size_t i = 0; i < m.xyz.size(); ++i) {
      lo[i % 3] = std::min(lo[i % 3], m.xyz[i]);
      hi[i % 3] = std::max(hi[i % 3], m.xyz[i]);
    }
    const size_t posAt = bin.size();
    append(m.xyz.data(), m.xyz.size() * sizeof(float));
    const int posView = view(posAt, m.xyz.size() * sizeof(float));
    std::vector<uint32_t> idx(m.tris.begin(), m.tris.end());
    const size_t idxAt = bin.size();
    append(idx.data(), idx.size() * sizeof(uint32_t));
    char box[160];
    std::snprintf(box, sizeof(box), "\"min\":[%.9g,%.9g,%.9g],\"max\":[%.9g,%.9g,%.9g]", lo[0], lo[1], lo[2], hi[0],
                  hi[1], hi[2]);
    if (!accessors.empty()) accessors += ",";
    accessors += "{\"bufferView\":" + std::to_string(posView) +
                 ",\"componentType\":5126,\"count\":" + std::to_string(m.numVertices()) + ",\"type\":\"VEC3\"," + box +
                 "}";
    ++numAccessors;
    const int idxView = view(idxAt, idx.size() * sizeof(uint32_t));
    accessors += ",{\"bufferView\":" + std::to_string(idxView) +
                 ",\"componentType\":5125,\"count\":" + std::to_string(idx.size()) + ",\"type\":\"SCALAR\"}";
    ++numAccessors;
    if (!meshes.empty()) meshes += ",";
    meshes += "{\"name\":\"" + p.name +
              "\",\"primitives\":[{\"attributes\":{\"POSITION\":" + std::to_string(numAccessors - 2) +
              "},\"indices\":" + std::to_string(numAccessors - 1) + "}]}";
    meshOfProto[static_cast<size_t>(c.proto)] = numMeshes++;
  }
  std::string nodes, roots;
  GltfNodes(top, meshOfProto, nodes, roots);
  std::string json =
      "{\"asset\":{\"version\":\"2.0\",\"generator\":\"bench_assembly\"},\"scene\":0,\"scenes\":[{\"nodes\":[" + roots +
      "]}],\"nodes\":[" + nodes + "],\"meshes\":[" + meshes + "],\"accessors\":[" + accessors + "],\"bufferViews\":[" +
      views + "],\"buffers\":[{\"byteLength\":" + std::to_string(bin.size()) + "}]}";
  while (json.size() % 4) json += ' ';

  return WriteGlbFile(path, json, bin);
}

}  // namespace vxbench
