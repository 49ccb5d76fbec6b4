#include "display/scene.hpp"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kNearDepth = 1e-3;

double depthOf(const Scene& s, Vec3 p) {
    return dot(p - s.eye, s.forward);
}

}  // namespace

Vec3 sceneViewDirection(const Scene& s) {
    switch (s.kind) {
        case ViewKind::Plan:
            return {0, 1, 0};
        case ViewKind::Side:
            return {1, 0, 0};
        case ViewKind::Perspective:
            return -1.0 * s.forward;
    }
    return {0, 1, 0};
}

bool sceneProject(const Scene& s, Vec3 p, double& sx, double& sy) {
    double cx = s.x + 0.5 * s.w, cy = s.y + 0.5 * s.h;
    switch (s.kind) {
        case ViewKind::Plan:
            sx = cx + (p.z - s.centreZ) * s.pixelsPerMetre;
            sy = cy - (p.x - s.centreAcross) * s.pixelsPerMetre;
            return true;
        case ViewKind::Side:
            sx = cx + (p.z - s.centreZ) * s.pixelsPerMetre;
            sy = cy - (p.y - s.centreAcross) * s.pixelsPerMetre;
            return true;
        case ViewKind::Perspective: {
            Vec3 d = p - s.eye;
            double depth = dot(d, s.forward);
            if (depth < kNearDepth) return false;
            sx = cx + s.focal * dot(d, s.right) / depth;
            sy = cy - s.focal * dot(d, s.up) / depth;
            return true;
        }
    }
    return false;
}

double sceneMetresPerPixel(const Scene& s, Vec3 p) {
    if (s.kind != ViewKind::Perspective) return 1 / s.pixelsPerMetre;
    return std::max(kNearDepth, depthOf(s, p)) / s.focal;
}

Colour sceneColour(const Scene& s, Colour c) {
    if (!s.mono) return c;
    double r = (c >> 16) & 255, g = (c >> 8) & 255, b = c & 255;
    double brightness = std::min(1.0, (0.3 * r + 0.59 * g + 0.11 * b) / 255 * 1.4);
    return dim(s.eyeColour, brightness);
}

void sceneLine(Scene& s, Vec3 a, Vec3 b, Colour c) {
    if (s.kind == ViewKind::Perspective) {
        // Cut the segment at the near plane so lines behind the eye vanish.
        double da = depthOf(s, a), db = depthOf(s, b);
        if (da < kNearDepth && db < kNearDepth) return;
        if (da < kNearDepth) a = a + (b - a) * ((kNearDepth - da) / (db - da));
        if (db < kNearDepth) b = b + (a - b) * ((kNearDepth - db) / (da - db));
    }
    double x0, y0, x1, y1;
    if (!sceneProject(s, a, x0, y0) || !sceneProject(s, b, x1, y1)) return;
    drawLine(*s.canvas, x0, y0, x1, y1, sceneColour(s, c));
}

void sceneFill(Scene& s, const Vec3* points, int n, Colour c) {
    n = std::min(n, 64);
    if (s.mono) {
        for (int i = 0; i < n; i++) sceneLine(s, points[i], points[(i + 1) % n], c);
        return;
    }
    double xs[64], ys[64];
    for (int i = 0; i < n; i++) {
        if (!sceneProject(s, points[i], xs[i], ys[i])) return;
    }
    fillPolygon(*s.canvas, xs, ys, n, c);
}

void scenePoint(Scene& s, Vec3 p, Colour c, int radius) {
    double x, y;
    if (!sceneProject(s, p, x, y)) return;
    if (!std::isfinite(x) || !std::isfinite(y) || std::abs(x) > 1e6 || std::abs(y) > 1e6) return;
    int ix = static_cast<int>(std::lround(x)), iy = static_cast<int>(std::lround(y));
    Colour shown = sceneColour(s, c);
    if (radius <= 0) {
        // Two by two: single pixels are hard to see on a large screen.
        fillRect(*s.canvas, ix, iy, 2, 2, shown);
    } else {
        fillDisc(*s.canvas, ix, iy, radius, shown);
    }
}

Vec3 sceneAcross(const Scene& s, Vec3 n, Vec3 fallback) {
    Vec3 w = cross(sceneViewDirection(s), n);
    double len = norm(w);
    if (len < 1e-6) return fallback;
    return w * (1 / len);
}
