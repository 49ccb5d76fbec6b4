// The cell: one node of a beamline tree. A cell is an element (`Machine`), a
// placeholder that takes part in the build but not in tracking (`Nonmachine`)
// or a beamline of child cells (`Composite`).
//
// Ownership: children are shared pointers because the lattice interpreter
// lets several composites refer to one cell while it works; the tree it hands
// out is a deep copy (cellCopy), in which every cell has exactly one parent.
// Everything else that points at cells (grids, particles) holds plain
// pointers into a tree that outlives it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "model/vec3.hpp"

// Run-time data of one component lives inside its cell, so that tracking never
// chases a second pointer and the auto-save can write it as it lies.
inline constexpr int32_t RTD_SIZE = 400;

enum CellKind : int32_t { Nonmachine = 0, Machine = 1, Composite = 2 };

enum CellAttributeKind : int32_t { AttributeUnset = 0, AttributeNumber = 1, AttributeText = 2 };

struct CellAttribute {
    std::string name;
    int32_t kind = AttributeUnset;
    double number = 0;  // kind AttributeNumber
    std::string text;   // kind AttributeText
};

struct Cell;
struct CellSubMap;
struct Particle;
struct Simulation;
struct ScatterData;
struct StepContext;
using CellPtr = std::shared_ptr<Cell>;

// The type functions of a component kind (see cell_types.hpp). Tracking
// threads call all but initFn concurrently, each on its own cell's run data.
// fieldFn adds the component's fields (Ex, Ey, Ez, Bx, By, Bz) at a point to `fields`.
using FieldFn = void (*)(const unsigned char* runData, double x, double y, double z, double t,
                         double fields[6]);
using InterceptFn = int (*)(unsigned char* runData, const Particle& before, const Particle& after,
                            double t0, double t1, const StepContext& context,
                            const ScatterData* scatter, Particle& hit, double& hitTime);
using MaterialFn = int (*)(const unsigned char* runData, double x, double y, double z, double t);
using BoundsFn = void (*)(const unsigned char* runData, Cell& cell);
using InitFn = void (*)(Cell& cell, Simulation& simulation);

// A sum that several tracking threads add to without locks.
struct LossSum {
    std::atomic<double> value{0.0};

    LossSum() = default;
    LossSum(const LossSum& other) : value(other.get()) {}
    LossSum& operator=(const LossSum& other) {
        value.store(other.get(), std::memory_order_relaxed);
        return *this;
    }
    LossSum& operator=(double v) {
        value.store(v, std::memory_order_relaxed);
        return *this;
    }
    void add(double v) { value.fetch_add(v, std::memory_order_relaxed); }
    double get() const { return value.load(std::memory_order_relaxed); }
};

struct Cell {
    std::string name;
    int32_t kind = Nonmachine;
    std::string typeName;                // kinds Nonmachine and Machine: "Drift", "solenoid", ...
    std::vector<CellPtr> children;       // Composite: beamline order
    std::unique_ptr<CellSubMap> subMap;  // Composite: proximity grid, or none
    FieldFn fieldFn = nullptr;           // Machine: bound from the type table
    InterceptFn interceptFn = nullptr;
    MaterialFn materialFn = nullptr;
    const ScatterData* scatterData = nullptr;  // process-wide table, not owned
    uint8_t drawKind = 0;  // Machine: how the window draws it (DrawKind of its type row)
    std::vector<CellAttribute> attributes;  // searched from the last entry to the first
    double arcStart = 0;                    // beamline arclength at the entry, metres
    Frame3 entryFrame;                      // running frame at the entry
    Frame3 placedFrame;                     // entryFrame after the element's own transforms
    Vec3 boxMin{1e20, 1e20, 1e20};          // empty until the build computes it
    Vec3 boxMax{-1e20, -1e20, -1e20};
    alignas(8) unsigned char runData[RTD_SIZE] = {};
    LossSum lostWeight;          // weight of particles lost here this run
    LossSum lostEnergy;          // sum of weight x kinetic energy in eV
    LossSum lostWeightPositive;  // part of lostWeight of positive species
    LossSum lostWeightNegative;  // part of lostWeight of negative species
    // Particles were placed on this line (particle_place.hpp): its pairs
    // go with it.
    bool hasPlaces = false;

    Cell();
    ~Cell();
    // Copies go through cellCopy, which decides what a copy shares.
    Cell(const Cell&) = delete;
    Cell& operator=(const Cell&) = delete;

    int32_t childCount() const { return static_cast<int32_t>(children.size()); }
};

// Typed access to a cell's run data. The type must fit and be trivially
// copyable, because the auto-save writes and reads the bytes as they lie.
template <class T>
constexpr void checkRunDataType() {
    static_assert(sizeof(T) <= RTD_SIZE, "run-time data larger than RTD_SIZE");
    static_assert(alignof(T) <= 8, "run-time data needs more than 8-byte alignment");
    static_assert(std::is_trivially_copyable_v<T>, "run-time data must be trivially copyable");
}
// Starts the lifetime of a fresh T in the cell's run data (initFn).
template <class T>
T& runDataInit(Cell& cell) {
    checkRunDataType<T>();
    return *::new (static_cast<void*>(cell.runData)) T{};
}
template <class T>
T& runDataAs(unsigned char* runData) {
    checkRunDataType<T>();
    return *std::launder(reinterpret_cast<T*>(runData));
}
template <class T>
const T& runDataAs(const unsigned char* runData) {
    checkRunDataType<T>();
    return *std::launder(reinterpret_cast<const T*>(runData));
}

// A new cell of the given kind, all fields at their defaults.
CellPtr cellCreate(int32_t kind, std::string_view name);
// A copy that shares nothing with the original: attributes are duplicated,
// every child is copied recursively (a cell that appears twice becomes two
// cells) and the proximity grid comes along.
CellPtr cellCopy(const Cell& cell);

// Attribute reads, by case-insensitive name; the last entry of that name wins.
const CellAttribute* cellFindAttribute(const Cell& cell, std::string_view name);
const std::string* cellText(const Cell& cell, std::string_view name);  // none unless text
bool cellHas(const Cell& cell, std::string_view name);                 // any kind
double cellNumber(const Cell& cell, std::string_view name);            // 0 unless number
int32_t cellAttributeKind(const Cell& cell, std::string_view name);    // 0 when missing
CellAttribute cellAttribute(const Cell& cell, std::string_view name);  // unset when missing

// Replace the kind and value of the entry of that name, else append one.
void cellSetNumber(Cell& cell, std::string_view name, double value);
void cellSetText(Cell& cell, std::string_view name, std::string_view text);
// Multiplies an existing number attribute by -1; anything else is left alone.
void cellNegate(Cell& cell, std::string_view name);

// Inserts at index; a negative index counts from the end (-1 appends).
// Indices beyond either end are clamped. An existing grid keeps listing the
// other children; the new one joins it when the grid is rebuilt.
void insertChild(Cell& composite, CellPtr child, int32_t index);
// Removes one child and drops it from the composite's grid.
void removeChild(Cell& composite, int32_t index);
Cell* findChild(Cell& cell, std::string_view name);
Cell* findChildLoose(Cell& cell, std::string_view text);
int32_t indexOfChild(const Cell& composite, const Cell* child);

// Zeroes the four loss sums of every cell of the tree.
void cellZeroLosses(Cell& cell);
