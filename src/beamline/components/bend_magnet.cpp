// Bending magnet: the field from a field map.
#include "beamline/components/bend_magnet.hpp"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "beamline/cell_types.hpp"
#include "beamline/simulation.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "model/cell_geometry.hpp"
#include "platform/files.hpp"

namespace {

constexpr double kPi = 3.14159265358979323846;
// Above this height the map has no field.
constexpr double kMapTop = 0.15;
// The map's footprint in its own axes (u across, w along): the corners of
// the diamond that the table coordinates a, b in [0, 45] cover.
constexpr double kFootprint[4][2] = {{-2.45, 0}, {2.05, 0}, {-0.2, 2.25}, {-0.2, -2.25}};

struct BendMagnetData {
    double x0 = 0, z0 = 0;  // magnet origin (placed frame), horizontal
    // The map the field comes from, in the run's data files. Auto-saves
    // carry these bytes too, and older ones hold the map's turn here: a
    // restored magnet finds its map again by mapKey (bendMagnetAttachMap).
    const FieldMap* map = nullptr;
    double scale = 1;  // field scale (tesla at the map's centre)
    double cosA = 1, sinA = 0;
    uint32_t mapIndex = 0;  // entry of the loaded maps when it was built
    uint32_t mapKey = 0;    // hash of the map's four file names
};
static_assert(sizeof(BendMagnetData) <= kBendMagnetRunDataBytes);

uint32_t hashText(const std::string& text) {
    uint32_t h = 2166136261u;
    for (unsigned char c : text) h = (h ^ c) * 16777619u;
    return h;
}

// The four file names of a magnet, one per line; empty when it names none.
std::string fileNames(const Cell& magnet) {
    std::string names;
    bool any = false;
    for (int i = 1; i <= kFieldMapPlanes; i++) {
        const std::string* name = cellText(magnet, format("File%d", i));
        if (name) any = true;
        names += (name ? *name : std::string()) + "\n";
    }
    return any ? names : std::string();
}

int32_t findLoaded(const LoadedDataFiles& loaded, const std::string& files) {
    const auto& maps = loaded.fieldMaps;
    for (size_t i = 0; i < maps.size(); i++) {
        if (maps[i]->files == files) return static_cast<int32_t>(i);
    }
    return -1;
}

// Loads the four planes that the magnet names, unless a map of the same
// files is loaded already. Returns the map's entry, or -1.
int32_t loadFor(LoadedDataFiles& loaded, const Cell& magnet) {
    std::string files = fileNames(magnet);
    if (files.empty()) return loaded.lastFieldMap;
    int32_t found = findLoaded(loaded, files);
    if (found >= 0) return loaded.lastFieldMap = found;
    auto entry = std::make_unique<LoadedFieldMap>();
    entry->files = files;
    entry->key = hashText(files);
    report("Loading bending magnet fields...");
    for (int i = 0; i < kFieldMapPlanes; i++) {
        report(format("Loading bending magnet fields... y=%dcm", kFieldMapHeightsCm[i]));
        const std::string* name = cellText(magnet, format("File%d", i + 1));
        std::string shown = name ? *name : std::string();
        std::string path = "datafiles/" + shown;
        std::string error;
        if (!name || !isSafeFileName(shown)) {
            error = "refused file name '" + shown + "'";
        } else if (readFieldMapPlane(findFileNoCase(path), entry->map.planes[i], error)) {
            continue;
        }
        report(error);
        report("[FATAL] Could not load B-field file " + shown);
        return -1;
    }
    auto& maps = loaded.fieldMaps;
    maps.push_back(std::move(entry));
    return loaded.lastFieldMap = static_cast<int32_t>(maps.size() - 1);
}

void init(Cell& cell, Simulation& simulation) {
    BendMagnetData& d = runDataInit<BendMagnetData>(cell);
    const Frame3& f = cell.placedFrame;
    d.x0 = f.origin.x;
    d.z0 = f.origin.z;
    double angle = std::atan2(f.axes[6], f.axes[8]) + kPi;
    d.scale = cellAttributeKind(cell, "field") == AttributeNumber ? cellNumber(cell, "field") : 1;
    // A mirrored magnet ("~" before its name) is the same map turned round,
    // with the field reversed.
    if (!cell.name.empty() && cell.name[0] == '~') {
        d.scale = -d.scale;
        angle += kPi;
    }
    d.cosA = std::cos(angle);
    d.sinA = std::sin(angle);
    LoadedDataFiles& loaded = simulationDataFiles(simulation);
    int32_t index = loadFor(loaded, cell);
    if (index >= 0) {
        const LoadedFieldMap& entry = *loaded.fieldMaps[static_cast<size_t>(index)];
        d.mapIndex = static_cast<uint32_t>(index);
        d.mapKey = entry.key;
        d.map = &entry.map;
    } else {
        cell.fieldFn = nullptr;  // nothing to take the field from
    }
}

void field(const unsigned char* runData, double x, double y, double z, double, double out[6]) {
    const auto& d = runDataAs<BendMagnetData>(runData);
    if (!d.map) return;
    const double dx = x - d.x0, dz = z - d.z0;
    const double u = d.cosA * dx + d.sinA * dz;
    const double w = d.cosA * dz - d.sinA * dx;
    const Vec3 f = fieldMapLookup(*d.map, u, y, w);
    out[3] += d.scale * (d.cosA * f.x - d.sinA * f.z);
    out[4] += d.scale * f.y;
    out[5] += d.scale * (d.cosA * f.z + d.sinA * f.x);
}

void bounds(const unsigned char* runData, Cell& cell) {
    const auto& d = runDataAs<BendMagnetData>(runData);
    for (const auto& corner : kFootprint) {
        const double u = corner[0], w = corner[1];
        const double x = d.x0 + d.cosA * u - d.sinA * w;
        const double z = d.z0 + d.sinA * u + d.cosA * w;
        cellBoxInclude(cell, Vec3{x, -kMapTop, z});
        cellBoxInclude(cell, Vec3{x, kMapTop, z});
    }
}

}  // namespace

const FieldMap* bendMagnetFieldMap(const Cell& magnet) {
    if (magnet.kind != Machine || magnet.fieldFn != field) return nullptr;
    return runDataAs<BendMagnetData>(magnet.runData).map;
}

bool bendMagnetAttachMap(Cell& magnet, const LoadedDataFiles& loaded) {
    if (magnet.kind != Machine || magnet.fieldFn != field) return false;
    auto& d = runDataAs<BendMagnetData>(magnet.runData);
    d.map = nullptr;
    const auto& maps = loaded.fieldMaps;
    if (d.mapIndex < maps.size() && maps[d.mapIndex]->key == d.mapKey) {
        d.map = &maps[d.mapIndex]->map;
    }
    // A save of another process may have loaded its maps in another order.
    for (size_t i = 0; i < maps.size() && !d.map; i++) {
        if (maps[i]->key == d.mapKey) d.map = &maps[i]->map;
    }
    if (!d.map) magnet.fieldFn = nullptr;  // nothing to take the field from
    return d.map != nullptr;
}

const CellTypeFunctions bendMagnetFunctions{
    .fieldFn = field,
    .interceptFn = nullptr,
    .materialFn = nullptr,
    .boundsFn = bounds,
    .initFn = init,
};
void bendMagnetLoadFieldMap(LoadedDataFiles& loaded, const Cell& magnet) {
    loadFor(loaded, magnet);
}
