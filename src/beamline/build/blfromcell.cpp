// The build proper: from an interpreted cell tree to a placed beamline with
// its components initialised and its beam created.
#include "beamline/build/rf_sync.hpp"
#include "beamline/build/setup.hpp"
#include "beamline/cell_types.hpp"
#include "beamline/components/solenoid.hpp"
#include "beamline/datafiles/scatter_data.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "model/cell_geometry.hpp"
#include "model/cell_submap.hpp"
#include "model/relativity.hpp"

namespace {

void initialiseElement(Cell& element, Simulation& simulation, bool graphics) {
    const std::string* scatter = cellText(element, "ScatterData");
    element.scatterData =
        scatter ? scatterDataFor(simulationDataFiles(simulation), *scatter, graphics) : nullptr;
    const CellType* row = cellTypeFindSubstring(element.typeName);
    if (!row) {
        report("[WARNING] Unknown cell type: " + element.typeName);
        return;
    }
    if (row->functions->initFn) row->functions->initFn(element, simulation);
}

void unionBox(Cell& box, const Cell& part) {
    if (cellBoxEmpty(part)) return;
    cellBoxInclude(box, part.boxMin);
    cellBoxInclude(box, part.boxMax);
}

// Machine boxes grow by the distance light covers between two refreshes of
// the nearby lists, so that no particle leaves a box unseen.
void computeBoxes(Cell& cell, double margin) {
    cellBoxReset(cell);
    if (cell.kind == Machine) {
        const CellType* row = cellTypeFind(cell.typeName);
        if (row && row->functions->boundsFn) row->functions->boundsFn(cell.runData, cell);
        cellBoxGrow(cell, margin);
    } else if (cell.kind == Composite) {
        for (const CellPtr& child : cell.children) {
            if (!child) continue;
            computeBoxes(*child, margin);
            unionBox(cell, *child);
        }
    }
}

}  // namespace

void BLfromcell(Simulation& simulation, const Frame3& initialFrame, bool graphics) {
    if (!simulation.root) {
        report("BLfromcell says: \"That's NULL, you fool.\"");
        return;
    }
    Cell& root = *simulation.root;
    bindTypeFunctions(root);
    report("Adding components to simulation space");
    beamClear(simulation.beam);
    double arc = 0;
    cellPlaceTree(root, initialFrame, arc,
                  [&](Cell& element) { initialiseElement(element, simulation, graphics); });

    computeBoxes(root, kSpeedOfLight * simulation.dt * simulation.nearbyInterval);
    if (root.kind != Composite) {
        report("[FATAL] machine cell is not Composite in BLfromcell: don't know what's going on");
        simulation.root.reset();
        return;
    }
    solenoidTrimBoxes(root);
    subMapBuild(root, simulation.gridResolution);
    bool hasRf = false;
    for (const CellPtr& child : root.children) {
        if (child && equalNoCase(child->typeName, "RF")) hasRf = true;
    }
    if (hasRf) syncrfphases_track(simulation);
    for (size_t i = root.children.size(); i-- > 0;) {
        if (!root.children[i] || root.children[i]->kind == Nonmachine) {
            removeChild(root, static_cast<int32_t>(i));
        }
    }
    cellZeroLosses(root);
    report("Done adding components");
}
