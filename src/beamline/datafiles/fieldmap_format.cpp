#include "beamline/datafiles/fieldmap_format.hpp"

#include <cmath>

#include "beamline/datafiles/datafile_fields.hpp"
#include "common/text.hpp"
#include "platform/files.hpp"

namespace {

constexpr double kGaussToTesla = 0.0001;

Vec3 planeValue(const FieldMapPlane& plane, int i0, int i1, int j0, int j1, double fa, double fb) {
    auto at = [&](int i, int j) { return plane.field[static_cast<size_t>(i * kFieldMapSize + j)]; };
    return (at(i0, j0) * (1 - fb) + at(i0, j1) * fb) * (1 - fa) +
           (at(i1, j0) * (1 - fb) + at(i1, j1) * fb) * fa;
}

}  // namespace

bool parseFieldMapPlane(std::string_view text, FieldMapPlane& out, std::string& error) {
    out.field.clear();
    std::string_view line;
    int lineNumber = 0;
    for (; lineNumber < kFieldMapHeaderLines; lineNumber++) {
        if (!nextDataLine(text, line)) {
            error = format("only %d of the %d header lines", lineNumber, kFieldMapHeaderLines);
            return false;
        }
    }
    std::vector<Vec3> field;
    field.reserve(kFieldMapNodes);
    size_t rows = 0;
    bool read = readNumberTable(
        text, lineNumber, 6, kFieldMapNodes,
        [&](const double* v, std::string&) {
            // The columns after the coordinates are the y, z and x components.
            field.push_back(Vec3{v[5], v[3], v[4]} * kGaussToTesla);
            return true;
        },
        rows, error);
    if (!read) return false;
    if (field.size() != kFieldMapNodes) {
        error = format("%zu data lines instead of %d", field.size(), kFieldMapNodes);
        return false;
    }
    out.field = std::move(field);
    return true;
}

bool readFieldMapPlane(const std::string& path, FieldMapPlane& out, std::string& error) {
    out.field.clear();
    std::string text;
    if (!readDataFile(path, kMaxFieldMapFileBytes, text, error)) return false;
    if (parseFieldMapPlane(text, out, error)) return true;
    error = format("'%s': %s", path.c_str(), error.c_str());
    return false;
}

Vec3 fieldMapLookup(const FieldMap& map, double u, double y, double w) {
    for (const FieldMapPlane& plane : map.planes) {
        if (plane.field.size() != kFieldMapNodes) return {};
    }
    const double a = (u + w + 2.45) / 0.1;
    const double b = (u - w + 2.45) / 0.1;
    // Written so that NaN coordinates fall outside as well.
    if (!(a >= 0 && b >= 0 && a <= kFieldMapSize - 1 && b <= kFieldMapSize - 1)) return {};
    const int i0 = static_cast<int>(std::floor(a)), i1 = static_cast<int>(std::ceil(a));
    const int j0 = static_cast<int>(std::floor(b)), j1 = static_cast<int>(std::ceil(b));
    const double fa = a - i0, fb = b - j0;
    auto plane = [&](int k) { return planeValue(map.planes[k], i0, i1, j0, j1, fa, fb); };
    auto between = [&](int k, double lo, double hi, double h) {
        return plane(k) * ((hi - h) / (hi - lo)) + plane(k + 1) * ((h - lo) / (hi - lo));
    };

    const double h = std::fabs(y);
    Vec3 f;
    if (h < 0.05) {
        f = between(0, 0.0, 0.05, h);
    } else if (h < 0.10) {
        f = between(1, 0.05, 0.10, h);
    } else if (h < 0.13) {
        f = between(2, 0.10, 0.13, h);
    } else if (h < 0.15) {
        f = plane(3);
    } else {
        return {};
    }
    if (y < 0) {
        f.x = -f.x;
        f.z = -f.z;
    }
    return f;
}
