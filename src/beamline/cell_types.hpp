// The component type table: one row per kind of beamline component, naming
// its run-time data size and its type functions. A cell's type text selects
// its row. Rows stay in this order: type matching searches from the last row
// to the first, so a later row wins over an earlier one.
//
// Each component file defines the functions of its kind in one
// CellTypeFunctions record under the name declared below (solenoid.cpp
// defines solenoidFunctions, and so on); the table refers to that record, so
// a component fills its row without touching this file or the table. A slot
// left none means the kind has no such behaviour.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "model/cell.hpp"

// The most fractions a MatterSplitsFn gives.
inline constexpr int kMaxMatterSplits = 8;
// Where the straight segment from a to b may enter or leave the component's
// matter, as fractions in (0, 1) of the way (any order); returns how many.
// More than the true crossings is fine (the tracker tells the pieces between
// them apart with materialFn); fewer lets a step pass over thin matter.
using MatterSplitsFn = int (*)(const unsigned char* runData, Vec3 a, Vec3 b,
                               double fractions[kMaxMatterSplits]);

// Points of a batch of particles, all at one time, in structure-of-arrays
// form: `count` lanes, a multiple of kFieldLaneAlign, each array aligned to
// kFieldLaneAlign doubles. Lanes past the batch's particles hold copies of a
// real lane, so that they compute nothing unusual.
inline constexpr size_t kFieldLaneAlign = 8;
struct FieldLanes {
    size_t count = 0;
    const double* x = nullptr;
    const double* y = nullptr;
    const double* z = nullptr;
    double* fields[6] = {};  // Ex, Ey, Ez, Bx, By, Bz sums, one array each
};
// Adds the component's fields at every lane to the sums, giving each lane
// bit for bit what the kind's fieldFn adds at that point: a run must not
// depend on how its particles were batched.
using FieldBatchFn = void (*)(const unsigned char* runData, const FieldLanes& lanes, double t);

// The start and end points of a batch of steps that all began at one time:
// `count` lanes in structure-of-arrays form.
struct StepLanes {
    size_t count = 0;
    const double *x0 = nullptr, *y0 = nullptr, *z0 = nullptr;  // where each step began
    const double *x1 = nullptr, *y1 = nullptr, *z1 = nullptr;  // where the push ended it
};
// Sets may[i] for every lane whose step (from t0 to t1) the kind's
// interceptFn could act on and leaves the others as they are: a lane it
// leaves unset is one for which interceptFn returns 0, so a step may skip
// the interception search only when every component leaves it unset.
using InterceptsBatchFn = void (*)(const unsigned char* runData, const StepLanes& lanes, double t0,
                                   double t1, uint8_t* may);

struct CellTypeFunctions {
    FieldFn fieldFn = nullptr;                // adds the component's fields at a point
    FieldBatchFn fieldBatchFn = nullptr;      // the same for a batch of points; none: per lane
    InterceptFn interceptFn = nullptr;        // may stop or change a particle during a step
    MaterialFn materialFn = nullptr;          // is a point inside the component's matter
    BoundsFn boundsFn = nullptr;              // bounding box from the run-time data
    InitFn initFn = nullptr;                  // reads attributes into the run-time data
    MatterSplitsFn matterSplitsFn = nullptr;  // with materialFn: where a chord meets the matter
    // Which steps of a batch interceptFn may act on; none: it is asked of every step.
    InterceptsBatchFn interceptsBatchFn = nullptr;
};

// How the window draws a kind. The drawing lives above this folder, so a row
// names its picture by this value and the display keeps one draw function
// per value, in this order.
enum DrawKind : uint8_t {
    DrawNothing = 0,  // no body to show: drifts, the synchronous particle, file sources
    DrawRodSource,    // the target rod
    DrawBlockage,     // the solid's outline
    DrawSolenoid,     // coil, coloured by field sign and strength
    DrawBendMagnet,   // pole along the bent path, field-map footprint underneath
    DrawAperture,     // plates of the aperture family
    DrawRfCavity,     // the thin gap
    kDrawKindCount
};

struct CellType {
    const char* name;
    int32_t runDataSize;  // bytes of run-time data; -1 when the kind has none
    DrawKind drawKind;
    const CellTypeFunctions* functions;
};

// Run-time data sizes of the kinds: a component's run data struct must fit
// its row (static_assert(sizeof(SolenoidData) <= kSolenoidRunDataBytes)).
inline constexpr int32_t kRodSourceRunDataBytes = 48;
inline constexpr int32_t kBlockageRunDataBytes = 140;
inline constexpr int32_t kSolenoidRunDataBytes = 120;
inline constexpr int32_t kBendMagnetRunDataBytes = 56;
inline constexpr int32_t kApertureRunDataBytes = 368;
inline constexpr int32_t kRfCavityRunDataBytes = 80;

// One record per row, each defined in its component's file.
extern const CellTypeFunctions rodSourceFunctions;     // rod_source.cpp
extern const CellTypeFunctions marsSourceFunctions;    // mars_source.cpp
extern const CellTypeFunctions blockageFunctions;      // blockage.cpp
extern const CellTypeFunctions solenoidFunctions;      // solenoid.cpp
extern const CellTypeFunctions bendMagnetFunctions;    // bend_magnet.cpp
extern const CellTypeFunctions apertureFunctions;      // aperture.cpp
extern const CellTypeFunctions rfCavityFunctions;      // rf_cavity.cpp
extern const CellTypeFunctions particleCellFunctions;  // particle_cell.cpp

inline constexpr int kCellTypeCount = 9;

// The rows, in table order.
extern const CellType* const cellTypes;

// The row of a type text: the last row whose name equals it (ignoring case),
// failing that the last row whose name occurs in it; none when neither.
const CellType* cellTypeFind(std::string_view typeText);
// Only the substring rule, as used while placing cells.
const CellType* cellTypeFindSubstring(std::string_view typeText);

// The row's run-time data size for a Machine cell, else -1.
int32_t runDataSize(const Cell& cell);

// The matterSplitsFn of the kind whose materialFn the cell has; none when
// that kind gives none.
MatterSplitsFn matterSplitsFnOf(const Cell& cell);
// The fieldBatchFn of the kind whose fieldFn the cell has; none when that
// kind gives none (the batch then calls fieldFn lane by lane).
FieldBatchFn fieldBatchFnOf(const Cell& cell);
// The interceptsBatchFn of the kind whose interceptFn the cell has; none when
// that kind gives none (its steps then always go through interceptFn).
InterceptsBatchFn interceptsBatchFnOf(const Cell& cell);

// Binds fieldFn, interceptFn, materialFn and the draw kind of one cell from
// its row (none and DrawNothing when it has no row).
void bindCellTypeFunctions(Cell& cell);
// The same for every Machine cell of a tree.
void bindTypeFunctions(Cell& tree);
