// The bending-magnet field map: four horizontal planes (heights 0, 5, 10 and
// 13 cm) of 46 x 46 field vectors, one text file per plane, and the look-up
// that turns them into a field at any point near the magnet. The grid is
// turned by 45 degrees against the magnet's axes: node (i, j) lies at
// u = 0.05 (i + j) - 2.45 m across the magnet and w = 0.05 (i - j) m along it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/vec3.hpp"

inline constexpr int kFieldMapSize = 46;
inline constexpr int kFieldMapNodes = kFieldMapSize * kFieldMapSize;
inline constexpr int kFieldMapPlanes = 4;
inline constexpr int kFieldMapHeaderLines = 8;
inline constexpr int kFieldMapHeightsCm[kFieldMapPlanes] = {0, 5, 10, 13};
inline constexpr int64_t kMaxFieldMapFileBytes = int64_t(16) << 20;

struct FieldMapPlane {
    // field[46 i + j] is node (i, j), the (i, j)-th data line of the file, in
    // tesla; x is across the magnet (u), y up, z along the magnet (w).
    std::vector<Vec3> field;
};

struct FieldMap {
    FieldMapPlane planes[kFieldMapPlanes];
};

// A plane file: eight header lines, then one line per node with six numbers,
// the node's coordinates (not used) and the field's y, z and x components in
// gauss. Blank lines between data lines are passed over; a missing, extra or
// malformed data line refuses the file.
bool parseFieldMapPlane(std::string_view text, FieldMapPlane& out, std::string& error);
bool readFieldMapPlane(const std::string& path, FieldMapPlane& out, std::string& error);

// The map's field (tesla, magnet axes as above, before the magnet's field
// scale) at u across and w along the magnet and at height y, all in metres:
// bilinear within a plane, linear between planes, mirrored below the
// midplane (x and z change sign), the 13 cm plane alone up to 15 cm, and zero
// beyond the grid or at 15 cm and more. A map with a plane missing gives zero.
Vec3 fieldMapLookup(const FieldMap& map, double u, double y, double w);
