#pragma once
// A generated plant-like assembly for the end-to-end interference benchmark.
//
// Units: model units, z up. Everything is deterministic (no randomness at
// all: the layout is a fixed grid), so two builds give the same triangles.
//
// The plant, for the full size (Sizes::Full):
//   24 "PumpSkid" sub-assemblies on a 6 x 4 grid (pitch 72 x 52; every second
//      row turned half a turn about z). A skid holds a frame (2 long beams, 3
//      cross beams), a drain pipe, 2 "Pump" sub-assemblies (base plate, casing
//      sphere, motor), a capsule tank (the finely tessellated part, ~31k
//      triangles), 4 "Spool" sub-assemblies (pipe with two flange rings that
//      circle it 2.5 units clear), 2 "Valve" sub-assemblies (body, handwheel),
//      4 gauges and a cable tray: 34 leaves.
//   12 "RackModule" sub-assemblies in a row along x (pitch 60): 4 columns,
//      2 beams and 5 pipes on two tiers: 11 leaves.
//    3 risers (top-level parts) coming up from below into a rack beam.
//    8 "TankUnit" sub-assemblies (sphere tank of ~31k triangles on 4 legs,
//      nozzle with its flange ring): 7 leaves.
//    1 header pipe (top-level part) running into the sphere of tank unit 3.
// 1008 leaf instances of 23 part prototypes and 6 sub-assembly prototypes,
// about 1.8 million placed triangles.
//
// Designed clashes (each a pipe whose wall crosses the other part's surface):
//   every skid:  Drain through CrossBeam_2 (from below the frame up through
//                the beam's bottom and top faces): 24;
//   every riser: the riser ends 2 units inside a rack beam: 3;
//   the header:  runs 35 units into tank unit 3's sphere: 1.
// 28 in all. Every other pair of leaves is at least 2.5 units apart (most
// are 3 or more): flange rings circle their pipes at 2.5 clear, parts that
// float over a beam or a deck keep 3 clear, neighbouring modules 4 or more.
//
// Sizes::Small is the same plant cut down for profiling: 3 skids, 3 rack
// modules, 1 riser, 4 tank units and the header: 165 leaves, 5 clashes.
#include <Inventor/SbMatrix.h>
#include <Inventor/SbRotation.h>
#include <Inventor/SbVec3f.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace vxbench {

// A closed triangle mesh: 3 floats per vertex, 3 indices per triangle,
// counter-clockwise seen from outside.
struct Mesh {
  std::vector<float> xyz;
  std::vector<int> tris;

  int numTriangles() const { return static_cast<int>(tris.size() / 3); }
  int numVertices() const { return static_cast<int>(xyz.size() / 3); }
  int addVertex(float x, float y, float z) {
    xyz.insert(xyz.end(), {x, y, z});
    return numVertices() - 1;
  }
  void addTriangle(int a, int b, int c) { tris.insert(tris.end(), {a, b, c}); }
};

// Axis-aligned box from lo to hi, every face split into n x n quads.
inline Mesh Box(const SbVec3f& lo, const SbVec3f& hi, int n) {
  Mesh m;
  const SbVec3f d = hi - lo;
  // One face: corner o, edges u and v with u x v pointing outward.
  auto face = [&](const SbVec3f& o, const SbVec3f& u, const SbVec3f& v) {
    const int base = m.numVertices();
    for (int j = 0; j <= n; ++j) {
      for (int i = 0; i <= n; ++i) {
        const SbVec3f p = o + u * (static_cast<float>(i) / n) + v * (static_cast<float>(j) / n);
        m.addVertex(p[0], p[1], p[2]);
      }
    }
    auto at = [&](int i, int j) { return base + j * (n + 1) + i; };
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < n; ++i) {
        m.addTriangle(at(i, j), at(i + 1, j), at(i + 1, j + 1));
        m.addTriangle(at(i, j), at(i + 1, j + 1), at(i, j + 1));
      }
    }
  };
  const SbVec3f dx(d[0], 0, 0), dy(0, d[1], 0), dz(0, 0, d[2]);
  face(SbVec3f(hi[0], lo[1], lo[2]), dy, dz);  // +x
  face(lo, dz, dy);                            // -x
  face(SbVec3f(lo[0], hi[1], lo[2]), dz, dx);  // +y
  face(lo, dx, dz);                            // -y
  face(SbVec3f(lo[0], lo[1], hi[2]), dx, dy);  // +z
  face(lo, dy, dx);                            // -z
  return m;
}

// Surface of revolution about the z axis. `profile` holds (r, z) points in
// counter-clockwise order in the (r, z) half plane (bottom, outside, top);
// a point with r == 0 is a pole. `closed` joins the last point to the first
// (a ring); otherwise the profile starts and ends on the axis.
inline Mesh Revolve(const std::vector<std::pair<float, float>>& profile, int seg, bool closed) {
  Mesh m;
  const double pi = 3.14159265358979323846;
  std::vector<int> first;  // first vertex of each profile point's ring (or its pole)
  for (const auto& rz : profile) {
    first.push_back(m.numVertices());
    if (rz.first == 0.0f) {
      m.addVertex(0, 0, rz.second);
      continue;
    }
    for (int j = 0; j < seg; ++j) {
      const double t = 2 * pi * j / seg;
      m.addVertex(static_cast<float>(rz.first * std::cos(t)), static_cast<float>(rz.first * std::sin(t)), rz.second);
    }
  }
  const int n = static_cast<int>(profile.size());
  auto vertex = [&](int k, int j) { return profile[k].first == 0.0f ? first[k] : first[k] + (j % seg); };
  for (int k = 0; k + 1 < n || (closed && k < n); ++k) {
    const int a = k, b = (k + 1) % n;
    for (int j = 0; j < seg; ++j) {
      const int a0 = vertex(a, j), a1 = vertex(a, j + 1), b0 = vertex(b, j), b1 = vertex(b, j + 1);
      if (a0 != a1) m.addTriangle(a0, a1, b1);
      if (b0 != b1) m.addTriangle(a0, b1, b0);
    }
  }
  return m;
}

// Capped cylinder of radius r along z from z0 to z1, `rings` bands long.
inline Mesh Cylinder(float r, float z0, float z1, int seg, int rings) {
  std::vector<std::pair<float, float>> p{{0.0f, z0}};
  for (int k = 0; k <= rings; ++k) p.emplace_back(r, z0 + (z1 - z0) * k / rings);
  p.emplace_back(0.0f, z1);
  return Revolve(p, seg, false);
}

// Flat ring (flange, handwheel) between radii ri and ro, z0..z1.
inline Mesh Ring(float ri, float ro, float z0, float z1, int seg) {
  return Revolve({{ri, z0}, {ro, z0}, {ro, z1}, {ri, z1}}, seg, true);
}

// UV sphere of radius r about the origin.
inline Mesh Sphere(float r, int slices, int stacks) {
  const double pi = 3.14159265358979323846;
  std::vector<std::pair<float, float>> p{{0.0f, -r}};
  for (int i = 1; i < stacks; ++i) {
    const double phi = pi * i / stacks;
    p.emplace_back(static_cast<float>(r * std::sin(phi)), static_cast<float>(-r * std::cos(phi)));
  }
  p.emplace_back(0.0f, r);
  return Revolve(p, slices, false);
}

// Capsule along z: a cylinder of radius r from -h to h with hemispherical
// ends (total length 2h + 2r).
inline Mesh Capsule(float r, float h, int slices, int hemiStacks, int rings) {
  const double pi = 3.14159265358979323846;
  std::vector<std::pair<float, float>> p{{0.0f, -h - r}};
  for (int i = 1; i <= hemiStacks; ++i) {
    const double a = -pi / 2 + (pi / 2) * i / hemiStacks;
    p.emplace_back(static_cast<float>(r * std::cos(a)), static_cast<float>(-h + r * std::sin(a)));
  }
  for (int k = 1; k < rings; ++k) p.emplace_back(r, -h + 2 * h * k / rings);
  for (int i = 0; i < hemiStacks; ++i) {
    const double a = (pi / 2) * i / hemiStacks;
    p.emplace_back(static_cast<float>(r * std::cos(a)), static_cast<float>(h + r * std::sin(a)));
  }
  p.emplace_back(0.0f, h + r);
  return Revolve(p, slices, false);
}

// ---- the assembly description ------------------------------------------------

struct Child {
  int proto;       // index into Plant::protos
  SbMatrix place;  // placement in the parent (row vectors: p_parent = p_local * place)
  std::string name;
};

struct Proto {
  std::string name;
  int mesh = -1;                // index into Plant::meshes for a part, -1 for a sub-assembly
  std::vector<Child> children;  // sub-assembly only; placement id = index
};

// One placed leaf: its name path ("Skid_00/Pump_1/Casing"), its relative
// placement path (hex placement ids joined by '|', as the scene prints it),
// its world matrix and its part's mesh.
struct Leaf {
  std::string name;
  std::string plcPath;
  SbMatrix world;
  int mesh;
};

enum class Sizes { Full, Small };

class Plant {
public:
  std::vector<Mesh> meshes;
  std::vector<Proto> protos;
  int top = -1;
  // The designed clashes as pairs of leaf name paths.
  std::vector<std::pair<std::string, std::string>> designed;

  int addPart(const std::string& name, Mesh mesh) {
    meshes.push_back(std::move(mesh));
    Proto p;
    p.name = name;
    p.mesh = static_cast<int>(meshes.size()) - 1;
    protos.push_back(p);
    return static_cast<int>(protos.size()) - 1;
  }
  int addAssembly(const std::string& name) {
    Proto p;
    p.name = name;
    protos.push_back(p);
    return static_cast<int>(protos.size()) - 1;
  }
  void place(int parent, int proto, const SbMatrix& m, const std::string& name) {
    protos[static_cast<size_t>(parent)].children.push_back(Child{proto, m, name});
  }

  // Leaves depth first in child order, which is the order in which the
  // scene lists them.
  std::vector<Leaf> leaves() const {
    std::vector<Leaf> out;
    walk(top, SbMatrix::identity(), "", "", out);
    return out;
  }

private:
  void walk(int proto, const SbMatrix& world, const std::string& name, const std::string& plc,
            std::vector<Leaf>& out) const {
    const Proto& p = protos[static_cast<size_t>(proto)];
    if (p.mesh >= 0) {
      out.push_back(Leaf{name, plc, world, p.mesh});
      return;
    }
    for (size_t i = 0; i < p.children.size(); ++i) {
      const Child& c = p.children[i];
      char id[16];
      std::snprintf(id, sizeof(id), "%x", static_cast<unsigned>(i));
      SbMatrix w = c.place;
      w.multRight(world);  // child placement first, then the parent's
      walk(c.proto, w, name.empty() ? c.name : name + "/" + c.name, plc.empty() ? id : plc + "|" + id, out);
    }
  }
};

inline SbMatrix At(float x, float y, float z, const SbRotation& r = SbRotation::identity()) {
  SbMatrix m;
  m.setTransform(SbVec3f(x, y, z), r, SbVec3f(1, 1, 1));
  return m;
}

// Rotations that lay a z-axis part along x or y.
inline SbRotation AlongX() { return SbRotation(SbVec3f(0, 0, 1), SbVec3f(1, 0, 0)); }
inline SbRotation AlongY() { return SbRotation(SbVec3f(0, 0, 1), SbVec3f(0, 1, 0)); }

// ---- pump skid (local: x 0..60, y -1..41, z -6..63) ----
// Skids on a grid, every second row turned half a turn.
inline void AddPumpSkids(Plant& plant, bool full) {
  const int numSkids = full ? 24 : 3;
  const int skidColumns = full ? 6 : 3;
  const int top = plant.top;
  const int longBeam = plant.addPart("LongBeam", Box(SbVec3f(0, 0, 0), SbVec3f(60, 4, 4), 6));
  const int crossBeam = plant.addPart("CrossBeam", Box(SbVec3f(-2, 7, 0), SbVec3f(2, 33, 4), 6));
  const int drain = plant.addPart("DrainPipe", Cylinder(1.0f, -6.0f, 9.0f, 24, 12));
  const int pumpBase = plant.addPart("PumpBase", Box(SbVec3f(-8, -5, 0), SbVec3f(8, 5, 2), 4));
  const int casing = plant.addPart("PumpCasing", Sphere(4.0f, 64, 32));
  const int motor = plant.addPart("Motor", Cylinder(3.0f, 0.0f, 10.0f, 48, 16));
  const int skidTank = plant.addPart("SkidTank", Capsule(7.0f, 9.0f, 160, 40, 18));
  const int spoolPipe = plant.addPart("SpoolPipe", Cylinder(1.5f, 0.0f, 40.0f, 32, 24));
  const int flange = plant.addPart("Flange", Ring(4.0f, 6.0f, -0.6f, 0.6f, 48));
  const int valveBody = plant.addPart("ValveBody", Box(SbVec3f(-2, -2, 0), SbVec3f(2, 2, 4), 2));
  const int handwheel = plant.addPart("Handwheel", Ring(2.5f, 3.2f, 7.0f, 7.6f, 32));
  const int gauge = plant.addPart("Gauge", Box(SbVec3f(-1, -1, 0), SbVec3f(1, 1, 3), 1));
  const int tray = plant.addPart("CableTray", Box(SbVec3f(0, 10, 60), SbVec3f(60, 14, 61), 8));

  // Pump (local: x -8..14, y -5..5, z 0..13): casing 3 above the base plate,
  // motor 3 beside the casing.
  const int pump = plant.addAssembly("Pump");
  plant.place(pump, pumpBase, At(0, 0, 0), "Base");
  plant.place(pump, casing, At(-3, 0, 9), "Casing");
  plant.place(pump, motor, At(4, 0, 9, AlongX()), "Motor");

  // Spool (local: x 0..40, y and z -6..6): flange rings 2.5 clear of the pipe.
  const int spool = plant.addAssembly("Spool");
  plant.place(spool, spoolPipe, At(0, 0, 0, AlongX()), "Pipe");
  plant.place(spool, flange, At(3, 0, 0, AlongX()), "Flange_1");
  plant.place(spool, flange, At(37, 0, 0, AlongX()), "Flange_2");

  // Valve (local: x, y -3.2..3.2, z 0..7.6): handwheel 3 above the body.
  const int valve = plant.addAssembly("Valve");
  plant.place(valve, valveBody, At(0, 0, 0), "Body");
  plant.place(valve, handwheel, At(0, 0, 0), "Handwheel");

  const int skid = plant.addAssembly("PumpSkid");
  plant.place(skid, longBeam, At(0, 0, 0), "LongBeam_1");
  plant.place(skid, longBeam, At(0, 36, 0), "LongBeam_2");
  plant.place(skid, crossBeam, At(4, 0, 0), "CrossBeam_1");
  plant.place(skid, crossBeam, At(30, 0, 0), "CrossBeam_2");
  plant.place(skid, crossBeam, At(56, 0, 0), "CrossBeam_3");
  // By design the drain runs up through CrossBeam_2 (x 28..32, z 0..4) and
  // ends 3 below the tank.
  plant.place(skid, drain, At(30, 20, 0), "Drain");
  // Pumps 3 above the frame, 3 short of the drain and the tank in x.
  plant.place(skid, pump, At(10, 10, 7), "Pump_1");
  plant.place(skid, pump, At(10, 30, 7), "Pump_2");
  // Tank x 28..60, y 13..27, z 12..26.
  plant.place(skid, skidTank, At(44, 20, 19, AlongX()), "Tank");
  // Spools 3 above the tank and the pumps, 3 apart from each other.
  plant.place(skid, spool, At(10, 5, 35), "Spool_1");
  plant.place(skid, spool, At(10, 20, 35), "Spool_2");
  plant.place(skid, spool, At(10, 35, 35), "Spool_3");
  plant.place(skid, spool, At(10, 20, 50), "Spool_4");
  // Valves 3 above the frame, clear of the tank's round end.
  plant.place(skid, valve, At(55, 5, 7), "Valve_1");
  plant.place(skid, valve, At(55, 35, 7), "Valve_2");
  for (int k = 0; k < 4; ++k) plant.place(skid, gauge, At(10 + 15.0f * k, 5, 60), "Gauge_" + std::to_string(k + 1));
  plant.place(skid, tray, At(0, 0, 0), "Tray");

  // Skids on a grid; every second row is turned half a turn about z (and
  // shifted so that it keeps its footprint).
  for (int s = 0; s < numSkids; ++s) {
    const int row = s / skidColumns, col = s % skidColumns;
    const float x = 72.0f * col, y = 52.0f * row;
    char name[32];
    std::snprintf(name, sizeof(name), "Skid_%02d", s);
    const SbMatrix m =
        row % 2 == 0 ? At(x, y, 0) : At(x + 60, y + 40, 0, SbRotation(SbVec3f(0, 0, 1), 3.14159265358979f));
    plant.place(top, skid, m, name);
    plant.designed.emplace_back(std::string(name) + "/Drain", std::string(name) + "/CrossBeam_2");
  }
}

// ---- pipe rack module (local: x 0..56, y 0..20, z 0..38.5) ----
// A row of rack modules, with risers up into some of them.
inline void AddPipeRacks(Plant& plant, bool full) {
  const int numRacks = full ? 12 : 3;
  const std::vector<int> riserModules = full ? std::vector<int>{1, 4, 8} : std::vector<int>{1};
  const int top = plant.top;
  const int column = plant.addPart("RackColumn", Box(SbVec3f(0, 0, 0), SbVec3f(3, 3, 30), 4));
  const int rackBeam = plant.addPart("RackBeam", Box(SbVec3f(0, 1, 20), SbVec3f(3, 19, 23), 4));
  const int rackPipeS = plant.addPart("RackPipeSmall", Cylinder(1.5f, 0.0f, 44.0f, 32, 40));
  const int rackPipeL = plant.addPart("RackPipeLarge", Cylinder(2.5f, 0.0f, 44.0f, 48, 40));
  const int rack = plant.addAssembly("RackModule");
  plant.place(rack, column, At(0, 0, 0), "Column_1");
  plant.place(rack, column, At(53, 0, 0), "Column_2");
  plant.place(rack, column, At(0, 17, 0), "Column_3");
  plant.place(rack, column, At(53, 17, 0), "Column_4");
  plant.place(rack, rackBeam, At(7, 0, 0), "RackBeam_1");
  plant.place(rack, rackBeam, At(46, 0, 0), "RackBeam_2");
  // Lower tier 3 above the beams, upper tier 4.5 above the lower; pipes run
  // x 6..50, 3 clear of the columns.
  plant.place(rack, rackPipeS, At(6, 4, 27.5f, AlongX()), "Pipe_1");
  plant.place(rack, rackPipeS, At(6, 10, 27.5f, AlongX()), "Pipe_2");
  plant.place(rack, rackPipeS, At(6, 16, 27.5f, AlongX()), "Pipe_3");
  plant.place(rack, rackPipeL, At(6, 6, 36, AlongX()), "Pipe_4");
  plant.place(rack, rackPipeL, At(6, 14, 36, AlongX()), "Pipe_5");
  const float rackY = 230.0f;
  for (int r = 0; r < numRacks; ++r) {
    char name[32];
    std::snprintf(name, sizeof(name), "Rack_%02d", r);
    plant.place(top, rack, At(60.0f * r, rackY, 0), name);
  }

  // Risers: from z 10 up into RackBeam_1 (z 20..23), ending 2 inside it and
  // 4 below the lower pipe tier; y 7 lies between pipes 1 and 2.
  const int riser = plant.addPart("Riser", Cylinder(1.0f, 10.0f, 22.0f, 24, 8));
  int riserCount = 0;
  for (int r : riserModules) {
    const std::string name = "Riser_" + std::to_string(++riserCount);
    plant.place(top, riser, At(60.0f * r + 8.5f, rackY + 7, 0), name);
    char rackName[32];
    std::snprintf(rackName, sizeof(rackName), "Rack_%02d", r);
    plant.designed.emplace_back(name, std::string(rackName) + "/RackBeam_1");
  }
}

// ---- tank unit (local: x, y -25..45, z 0..65) ----
// A row of tank units, with the header run into one of them.
inline void AddTankUnits(Plant& plant, bool full) {
  const int numTanks = full ? 8 : 4;
  const int headerTank = 3;
  const int top = plant.top;
  const int tankSphere = plant.addPart("TankSphere", Sphere(25.0f, 176, 88));
  const int leg = plant.addPart("TankLeg", Cylinder(1.5f, 0.0f, 12.0f, 24, 6));
  const int nozzle = plant.addPart("Nozzle", Cylinder(2.0f, 0.0f, 17.0f, 32, 10));
  const int nozzleFlange = plant.addPart("NozzleFlange", Ring(4.5f, 7.0f, -0.6f, 0.6f, 48));
  const int tankUnit = plant.addAssembly("TankUnit");
  plant.place(tankUnit, tankSphere, At(0, 0, 40), "Sphere");
  // Legs end 3 below the sphere.
  plant.place(tankUnit, leg, At(-12, -12, 0), "Leg_1");
  plant.place(tankUnit, leg, At(12, -12, 0), "Leg_2");
  plant.place(tankUnit, leg, At(-12, 12, 0), "Leg_3");
  plant.place(tankUnit, leg, At(12, 12, 0), "Leg_4");
  // Nozzle from y 28 (3 off the sphere) to 45, flange 2.5 clear around it.
  plant.place(tankUnit, nozzle, At(0, 28, 40, AlongY()), "Nozzle");
  plant.place(tankUnit, nozzleFlange, At(0, 42, 40, AlongY()), "NozzleFlange");
  const float tankY = 300.0f;
  for (int t = 0; t < numTanks; ++t) {
    char name[32];
    std::snprintf(name, sizeof(name), "TankUnit_%d", t);
    plant.place(top, tankUnit, At(40.0f + 80.0f * t, tankY, 0), name);
  }

  // Header: along x at the sphere's centre height, from 40 before tank unit
  // 3's centre (15 clear of unit 2's sphere) to 10 past it: 35 inside.
  const int header = plant.addPart("Header", Cylinder(2.0f, 0.0f, 50.0f, 32, 30));
  plant.place(top, header, At(40.0f + 80.0f * headerTank - 40.0f, tankY, 40, AlongX()), "Header");
  char headerTankName[32];
  std::snprintf(headerTankName, sizeof(headerTankName), "TankUnit_%d/Sphere", headerTank);
  plant.designed.emplace_back("Header", headerTankName);
}

inline Plant MakePlant(Sizes size) {
  const bool full = size == Sizes::Full;
  Plant plant;
  plant.top = plant.addAssembly("Plant");
  AddPumpSkids(plant, full);
  AddPipeRacks(plant, full);
  AddTankUnits(plant, full);
  return plant;
}

// ---- the instanced plant -------------------------------------------------------
//
// A flat plant of n leaf instances for the scaling benchmark. Units: model
// units. Deterministic (a fixed-seed linear congruential generator, no
// library randomness).
//
// 300 part prototypes: boxes, cylinders, spheres and capsules of varied sizes
// and tessellations (about 60 to 600 triangles, some 150 on average), each
// centred on its origin, containing it, and inside a ball of radius 3 about
// it. Cells of a cubic grid of pitch 9 hold one part each, at the cell's
// centre, turned by a seeded rotation about an arbitrary axis: a part's world
// box reaches at most 3*sqrt(3) = 5.2 from its centre, so neighbours' boxes
// sometimes meet (and go to the narrow phase) while their surfaces stay at
// least 3 apart.
//
// Designed clashes: every 100th cell also holds a rod (cylinder of radius
// 0.3 along +x from the cell's centre to 4 beyond it): it starts inside the
// cell's part and leaves it through its surface (the part lies within 3 of
// the centre), and ends 5 short of the next cell's centre, 2 short of that
// part (whose box it may reach). About n / 101 clashes, each part-rod.
inline Plant MakeInstancedPlant(int n) {
  Plant plant;
  plant.top = plant.addAssembly("Plant");
  std::uint64_t state = 0x9e3779b97f4a7c15ull;
  auto next = [&state]() {  // uniform in [0, 1)
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<float>((state >> 40) & 0xffffff) / 16777216.0f;
  };
  const int numParts = 300;
  std::vector<int> parts;
  for (int k = 0; k < numParts; ++k) {
    const std::string name = "Part_" + std::to_string(k);
    const float a = 1.0f + next(), b = 1.0f + next();  // 1..2
    switch (k % 4) {
      case 0: {  // half sizes up to 1.7: corner within 3
        const float hx = 0.5f * a + 0.3f, hy = 0.5f * b + 0.3f, hz = 0.7f + 0.5f * next();
        parts.push_back(plant.addPart(name, Box(SbVec3f(-hx, -hy, -hz), SbVec3f(hx, hy, hz), 2 + k % 5)));
        break;
      }
      case 1:  // radius <= 2, half length <= 2
        parts.push_back(plant.addPart(name, Cylinder(0.5f + 0.7f * a - 0.5f, -a, a, 12 + (k % 7) * 4, 1 + k % 6)));
        break;
      case 2:
        parts.push_back(plant.addPart(name, Sphere(1.0f + a, 10 + (k % 9) * 2, 6 + (k % 7))));
        break;
      default:  // radius <= 1.2, half length <= 1.5: ends within 2.7
        parts.push_back(plant.addPart(name, Capsule(0.6f * a, 0.75f * b, 12 + (k % 5) * 4, 3 + k % 3, 2 + k % 4)));
        break;
    }
  }
  const int rod = plant.addPart("Rod", Cylinder(0.3f, 0.0f, 4.0f, 12, 2));
  // Cells on a cube of side `side`, filled x fastest.
  int side = 1;
  while (side * side * side < n) ++side;
  const float pitch = 9.0f;
  int placed = 0;
  for (int cell = 0; placed < n; ++cell) {
    const float x = pitch * static_cast<float>(cell % side), y = pitch * static_cast<float>((cell / side) % side),
                z = pitch * static_cast<float>(cell / (side * side));
    const int part = parts[static_cast<size_t>((cell * 7919) % numParts)];
    SbVec3f axis(next() - 0.5f, next() - 0.5f, next() - 0.5f);
    if (axis.length() < 1e-3f) axis = SbVec3f(0, 0, 1);
    const std::string name = "Cell_" + std::to_string(cell);
    plant.place(plant.top, part, At(x, y, z, SbRotation(axis, 6.2831853f * next())), name);
    ++placed;
    if (cell % 100 == 99 && placed < n) {
      plant.place(plant.top, rod, At(x, y, z, AlongX()), name + "_Rod");
      ++placed;
      plant.designed.emplace_back(name, name + "_Rod");
    }
  }
  return plant;
}

}  // namespace vxbench
