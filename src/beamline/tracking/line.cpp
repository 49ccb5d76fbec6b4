#include "beamline/tracking/line.hpp"

#include <vector>

#include "model/cell.hpp"

namespace {

struct PreparedLine {
    const Cell* line = nullptr;
    std::vector<ElementGeometry> elements;
};
PreparedLine prepared;

void readGeometry(const Cell& element, ElementGeometry& g) {
    g.entryFrame = element.entryFrame;
    g.length = cellNumber(element, "length");
    g.angle = cellNumber(element, "angle");
    g.bore = cellNumber(element, "Bore");
}

}  // namespace

void trackingPrepareLine(const Cell* line) {
    prepared.line = line;
    prepared.elements.clear();
    if (!line) return;
    prepared.elements.resize(line->children.size());
    for (size_t i = 0; i < line->children.size(); i++) {
        readGeometry(*line->children[i], prepared.elements[i]);
    }
}

void trackingReleaseLine() {
    prepared.line = nullptr;
}

const ElementGeometry& elementGeometry(const Cell& line, int32_t index, ElementGeometry& scratch) {
    if (&line == prepared.line && line.children.size() == prepared.elements.size()) {
        return prepared.elements[static_cast<size_t>(index)];
    }
    readGeometry(*line.children[static_cast<size_t>(index)], scratch);
    return scratch;
}
