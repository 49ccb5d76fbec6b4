// Drawing in world coordinates: a projection from the beamline's global
// frame (metres) to the pixels of one panel. The plan view looks down the y
// axis, the side view along x, and the stereo view is a perspective seen by
// two eyes, each drawn in its own colour.
#pragma once

#include "display/canvas.hpp"
#include "model/vec3.hpp"

enum class ViewKind { Plan, Side, Perspective };

struct Scene {
    Canvas* canvas = nullptr;
    ViewKind kind = ViewKind::Plan;
    int x = 0, y = 0, w = 0, h = 0;  // the panel
    // Orthographic views: world (z, across) at the panel centre and the scale.
    double centreZ = 0, centreAcross = 0, pixelsPerMetre = 100;
    // Perspective: eye position, its axes and the focal length in pixels.
    Vec3 eye, right, up, forward;
    double focal = 500;
    // Stereo eyes draw everything as brightness times this colour.
    bool mono = false;
    Colour eyeColour = 0xFFFFFF;
};

// The direction the scene is looked at along (towards the viewer's back).
Vec3 sceneViewDirection(const Scene& s);
// Screen position of p; false when p is behind a perspective eye.
bool sceneProject(const Scene& s, Vec3 p, double& sx, double& sy);
// World metres covered by one pixel near p (for sizes that must stay visible).
double sceneMetresPerPixel(const Scene& s, Vec3 p);
Colour sceneColour(const Scene& s, Colour c);

void sceneLine(Scene& s, Vec3 a, Vec3 b, Colour c);
// A flat polygon (at most 64 corners); the stereo view draws its outline.
void sceneFill(Scene& s, const Vec3* points, int n, Colour c);
void scenePoint(Scene& s, Vec3 p, Colour c, int radius);
// A direction across the axis n as this view shows it: perpendicular to n
// and to the line of sight; local x when n points at the viewer.
Vec3 sceneAcross(const Scene& s, Vec3 n, Vec3 fallback);
