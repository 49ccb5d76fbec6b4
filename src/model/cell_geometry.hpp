// Placing cells in space: the running frame advanced element by element, the
// element's own placement transforms, bounding boxes and the position of a
// point along an element.
#pragma once

#include <functional>

#include "model/cell.hpp"

// Column j (0 x, 1 y, 2 z) of a frame's axes: that local axis in global
// coordinates.
Vec3 frameColumn(const Frame3& frame, int j);
void setFrameColumn(Frame3& frame, int j, Vec3 v);

// sin(x)/x, exactly 1 very close to 0.
double sinc(double x);

// The frame at the exit of a cell entered with `frame`: unchanged for a
// Nonmachine cell, through every child for a Composite, and for an element by
// its `length`, `angle` (a bend towards -x) and `twist` (kept at the exit).
Frame3 cellAdvance(const Cell& cell, const Frame3& frame);
// The element step of cellAdvance, whatever the cell's kind.
Frame3 advanceElement(const Cell& cell, const Frame3& frame);

// The element's placed frame: the entry frame with its flips, rotations and
// offsets applied. These never move the running frame, so the next element
// starts where it would without them. Other kinds get the entry frame back.
Frame3 applyTransforms(const Cell& cell, const Frame3& entry);

// Called for each Machine cell during cellPlaceTree, once its entryFrame,
// placedFrame and arcStart are set and before the running frame moves on.
using PlaceHook = std::function<void(Cell& element)>;

// Places a tree from `frame` at arclength `arc`: every cell gets entryFrame,
// arcStart and placedFrame; elements advance the running frame and add their
// `length`. Returns the running frame at the end; arc holds the end arclength.
Frame3 cellPlaceTree(Cell& cell, Frame3 frame, double& arc, const PlaceHook& hook = nullptr);

// Bounding boxes. Empty is min = +1e20 and max = -1e20 on every axis.
void cellBoxReset(Cell& cell);
bool cellBoxEmpty(const Cell& cell);  // min.x > max.x
void cellBoxInclude(Cell& cell, Vec3 p);
// Moves all six faces outward by d; an empty box stays empty.
void cellBoxGrow(Cell& cell, double d);
void cellBoxScale(Cell& cell, double factor);  // about the box centre
void cellBoxSet(Cell& cell, double x0, double y0, double z0, double x1, double y1, double z1);
bool cellBoxContains(const Cell& cell, Vec3 p);  // faces included

// The coordinate s of p along the element (from its entry) and its distance r
// from the element's axis, following the arc of a bend. The beamline
// arclength of p is cell.arcStart + s.
void arcPosition(const Cell& element, Vec3 p, double& s, double& r);
// The same from the element's entry frame, `length` and `angle`, for callers
// that have read them once.
void arcPositionIn(const Frame3& entry, double length, double angle, Vec3 p, double& s, double& r);
