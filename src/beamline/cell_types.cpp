#include "beamline/cell_types.hpp"

#include "common/text.hpp"

namespace {

// clang-format off
constexpr CellTypeFunctions kNone{};
constexpr CellType kRows[kCellTypeCount] = {
    // name          run data size            drawn as         type functions
    {"rodsource",    kRodSourceRunDataBytes,  DrawRodSource,   &rodSourceFunctions},     // rod target source
    {"marssource",   -1,                      DrawNothing,     &marsSourceFunctions},    // particles from a MARS file
    {"blockage",     kBlockageRunDataBytes,   DrawBlockage,    &blockageFunctions},      // absorbing solid shapes
    {"solenoid",     kSolenoidRunDataBytes,   DrawSolenoid,    &solenoidFunctions},      // field and coil
    {"bmagnet",      kBendMagnetRunDataBytes, DrawBendMagnet,  &bendMagnetFunctions},    // bending magnet field map
    {"-aperture",    kApertureRunDataBytes,   DrawAperture,    &apertureFunctions},      // every aperture kind
    {"RF",           kRfCavityRunDataBytes,   DrawRfCavity,    &rfCavityFunctions},      // thin accelerating gap
    {"particle",     -1,                      DrawNothing,     &particleCellFunctions},  // synchronous particle
    {"drift",        -1,                      DrawNothing,     &kNone},                  // nothing but length
};
// clang-format on

constexpr bool sizesFit() {
    for (const CellType& row : kRows) {
        if (row.runDataSize > RTD_SIZE) return false;
    }
    return true;
}
static_assert(sizesFit(), "a component's run-time data does not fit RTD_SIZE");

constexpr bool sameText(const char* a, const char* b) {
    while (*a && *a == *b) a++, b++;
    return *a == *b;
}
// Matching searches from the last row, so the generic "-aperture" and "RF"
// rows must stay after the rows whose names could contain them.
static_assert(sameText(kRows[5].name, "-aperture") && sameText(kRows[6].name, "RF") &&
                  sameText(kRows[8].name, "drift"),
              "cell type rows out of order");

}  // namespace

const CellType* const cellTypes = kRows;

const CellType* cellTypeFindSubstring(std::string_view typeText) {
    for (int i = kCellTypeCount; i-- > 0;) {
        if (containsNoCase(typeText, kRows[i].name)) return &kRows[i];
    }
    return nullptr;
}

const CellType* cellTypeFind(std::string_view typeText) {
    for (int i = kCellTypeCount; i-- > 0;) {
        if (equalNoCase(typeText, kRows[i].name)) return &kRows[i];
    }
    return cellTypeFindSubstring(typeText);
}

int32_t runDataSize(const Cell& cell) {
    if (cell.kind != Machine) return -1;
    const CellType* row = cellTypeFind(cell.typeName);
    return row ? row->runDataSize : -1;
}

MatterSplitsFn matterSplitsFnOf(const Cell& cell) {
    if (!cell.materialFn) return nullptr;
    for (const CellType& row : kRows) {
        if (row.functions->materialFn == cell.materialFn) return row.functions->matterSplitsFn;
    }
    return nullptr;
}

FieldBatchFn fieldBatchFnOf(const Cell& cell) {
    if (!cell.fieldFn) return nullptr;
    for (const CellType& row : kRows) {
        if (row.functions->fieldFn == cell.fieldFn) return row.functions->fieldBatchFn;
    }
    return nullptr;
}

InterceptsBatchFn interceptsBatchFnOf(const Cell& cell) {
    if (!cell.interceptFn) return nullptr;
    for (const CellType& row : kRows) {
        if (row.functions->interceptFn == cell.interceptFn) return row.functions->interceptsBatchFn;
    }
    return nullptr;
}

void bindCellTypeFunctions(Cell& cell) {
    const CellType* row = cellTypeFind(cell.typeName);
    const CellTypeFunctions& f = row ? *row->functions : kNone;
    cell.fieldFn = f.fieldFn;
    cell.interceptFn = f.interceptFn;
    cell.materialFn = f.materialFn;
    cell.drawKind = row ? row->drawKind : DrawNothing;
}

void bindTypeFunctions(Cell& tree) {
    if (tree.kind == Machine) bindCellTypeFunctions(tree);
    for (const CellPtr& child : tree.children) {
        if (child) bindTypeFunctions(*child);
    }
}
