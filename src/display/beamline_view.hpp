// The beamline drawn from its cells' geometry: solenoid coils, bending magnet
// footprints, RF gaps, apertures, blockages, the target rod, drift bores, the
// reference path and, on request, bounding boxes and names.
#pragma once

#include <vector>

#include "display/scene.hpp"
#include "display/view_settings.hpp"

#include "model/cell.hpp"

// The box (global metres) that holds the whole beamline as drawn.
struct Extent {
    Vec3 min{1e20, 1e20, 1e20};
    Vec3 max{-1e20, -1e20, -1e20};
    bool empty() const { return min.x > max.x; }
    void include(Vec3 p);
    bool contains(Vec3 p) const;
};
Extent beamlineExtent(const Cell& root);
// One box per element, in beamline order: its path widened by its radius or
// bore (at least 15 cm, at most 2 m) across. Together they are the channel.
std::vector<Extent> elementExtents(const Cell& root);

// Colours shared with the legend.
inline constexpr Colour kSolenoidPlus = rgb(230, 120, 40);
inline constexpr Colour kSolenoidMinus = rgb(60, 130, 235);
inline constexpr Colour kBendColour = rgb(170, 70, 200);
inline constexpr Colour kRfColour = rgb(240, 220, 60);
inline constexpr Colour kApertureColour = rgb(200, 200, 200);
inline constexpr Colour kFinishColour = rgb(70, 220, 110);
inline constexpr Colour kBlockageColour = rgb(150, 110, 80);
inline constexpr Colour kTargetColour = rgb(255, 170, 40);

// highlight: a cell drawn with a bright frame (the find-cell match), or none.
void drawBeamline(Scene& s, const Cell& root, const ViewSettings& view, const Cell* highlight);

// An element's name as the beamline drawing places it: the box in pixels
// that its text and the dark patch under it take.
struct PlacedLabel {
    const Cell* cell = nullptr;
    int x = 0, y = 0, w = 0, h = 0;
};
// The names drawBeamline writes in this scene: the highlighted element's,
// then, when the view asks for names, every element's that has room beside
// it. No two boxes overlap and all lie inside the panel; a name with no free
// place is left out.
std::vector<PlacedLabel> placeLabels(const Scene& s, const Cell& root, const ViewSettings& view,
                                     const Cell* highlight);

// Calls fn for every element (Machine cell) of a tree, in beamline order.
template <class Fn>
void forEachElement(const Cell& cell, Fn&& fn) {
    if (cell.kind == Machine) fn(cell);
    for (const CellPtr& child : cell.children) {
        if (child) forEachElement(*child, fn);
    }
}
