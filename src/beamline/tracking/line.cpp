#include "beamline/tracking/line.hpp"

#include "model/cell.hpp"

namespace {

void readGeometry(const Cell& element, ElementGeometry& g) {
    g.entryFrame = element.entryFrame;
    g.length = cellNumber(element, "length");
    g.angle = cellNumber(element, "angle");
    g.bore = cellNumber(element, "Bore");
}

bool holds(const PreparedLine* prepared, const Cell& line) {
    return prepared && &line == prepared->line && line.children.size() == prepared->elements.size();
}

}  // namespace

void prepareLine(PreparedLine& prepared, const Cell* line) {
    if (line && holds(&prepared, *line)) return;
    prepared.line = line;
    prepared.elements.clear();
    if (!line) return;
    prepared.elements.resize(line->children.size());
    for (size_t i = 0; i < line->children.size(); i++) {
        readGeometry(*line->children[i], prepared.elements[i]);
    }
}

const std::vector<ElementGeometry>* preparedElementsOf(const PreparedLine* prepared,
                                                       const Cell& line) {
    return holds(prepared, line) ? &prepared->elements : nullptr;
}

const ElementGeometry& elementGeometry(const PreparedLine* prepared, const Cell& line,
                                       int32_t index, ElementGeometry& scratch) {
    if (holds(prepared, line)) return prepared->elements[static_cast<size_t>(index)];
    readGeometry(*line.children[static_cast<size_t>(index)], scratch);
    return scratch;
}
