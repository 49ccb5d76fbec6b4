#include "model/cell.hpp"

#include <algorithm>
#include <cstring>

#include "common/text.hpp"
#include "model/cell_grid.hpp"
#include "model/particle_place.hpp"

Cell::Cell() = default;
Cell::~Cell() {
    if (hasPlaces) placeForgetLine(this);
}

CellPtr cellCreate(int32_t kind, std::string_view name) {
    CellPtr cell = std::make_shared<Cell>();
    cell->kind = kind;
    cell->name = std::string(name);
    return cell;
}

CellPtr cellCopy(const Cell& cell) {
    CellPtr copy = cellCreate(cell.kind, cell.name);
    copy->typeName = cell.typeName;
    copy->fieldFn = cell.fieldFn;
    copy->interceptFn = cell.interceptFn;
    copy->materialFn = cell.materialFn;
    copy->scatterData = cell.scatterData;
    copy->drawKind = cell.drawKind;
    copy->attributes = cell.attributes;
    copy->arcStart = cell.arcStart;
    copy->entryFrame = cell.entryFrame;
    copy->placedFrame = cell.placedFrame;
    copy->boxMin = cell.boxMin;
    copy->boxMax = cell.boxMax;
    std::memcpy(copy->runData, cell.runData, sizeof cell.runData);
    copy->lostWeight = cell.lostWeight;
    copy->lostEnergy = cell.lostEnergy;
    copy->lostWeightPositive = cell.lostWeightPositive;
    copy->lostWeightNegative = cell.lostWeightNegative;

    copy->children.reserve(cell.children.size());
    for (const CellPtr& child : cell.children) {
        copy->children.push_back(child ? cellCopy(*child) : nullptr);
    }
    if (cell.subMap) copy->subMap = std::make_unique<CellSubMap>(*cell.subMap);
    return copy;
}

namespace {

// Index of the last attribute of that name, or -1.
int64_t attributeIndex(const Cell& cell, std::string_view name) {
    for (size_t i = cell.attributes.size(); i-- > 0;) {
        if (equalNoCase(cell.attributes[i].name, name)) return static_cast<int64_t>(i);
    }
    return -1;
}

CellAttribute& entryFor(Cell& cell, std::string_view name) {
    int64_t i = attributeIndex(cell, name);
    if (i >= 0) return cell.attributes[static_cast<size_t>(i)];
    cell.attributes.push_back(CellAttribute{std::string(name), AttributeUnset, 0.0, {}});
    return cell.attributes.back();
}

}  // namespace

const CellAttribute* cellFindAttribute(const Cell& cell, std::string_view name) {
    int64_t i = attributeIndex(cell, name);
    return i >= 0 ? &cell.attributes[static_cast<size_t>(i)] : nullptr;
}

const std::string* cellText(const Cell& cell, std::string_view name) {
    const CellAttribute* a = cellFindAttribute(cell, name);
    return a && a->kind == AttributeText ? &a->text : nullptr;
}

bool cellHas(const Cell& cell, std::string_view name) {
    return cellFindAttribute(cell, name) != nullptr;
}

double cellNumber(const Cell& cell, std::string_view name) {
    const CellAttribute* a = cellFindAttribute(cell, name);
    return a && a->kind == AttributeNumber ? a->number : 0.0;
}

int32_t cellAttributeKind(const Cell& cell, std::string_view name) {
    const CellAttribute* a = cellFindAttribute(cell, name);
    return a ? a->kind : AttributeUnset;
}

CellAttribute cellAttribute(const Cell& cell, std::string_view name) {
    const CellAttribute* a = cellFindAttribute(cell, name);
    return a ? *a : CellAttribute{};
}

void cellSetNumber(Cell& cell, std::string_view name, double value) {
    CellAttribute& a = entryFor(cell, name);
    a.kind = AttributeNumber;
    a.number = value;
    a.text = std::string();
}

void cellSetText(Cell& cell, std::string_view name, std::string_view text) {
    CellAttribute& a = entryFor(cell, name);
    a.kind = AttributeText;
    a.number = 0;
    a.text = std::string(text);
}

void cellNegate(Cell& cell, std::string_view name) {
    int64_t i = attributeIndex(cell, name);
    if (i < 0) return;
    CellAttribute& a = cell.attributes[static_cast<size_t>(i)];
    if (a.kind == AttributeNumber) a.number *= -1;
}

void insertChild(Cell& composite, CellPtr child, int32_t index) {
    int64_t count = composite.childCount();
    int64_t at = index < 0 ? int64_t(index) + count + 1 : int64_t(index);
    at = std::clamp<int64_t>(at, 0, count);
    composite.children.insert(composite.children.begin() + at, std::move(child));
    if (composite.subMap) subMapChildInserted(*composite.subMap, static_cast<int32_t>(at));
}

void removeChild(Cell& composite, int32_t index) {
    if (index < 0 || index >= composite.childCount()) return;
    composite.children.erase(composite.children.begin() + index);
    if (composite.subMap) subMapChildRemoved(*composite.subMap, index);
}

Cell* findChild(Cell& cell, std::string_view name) {
    if (cell.kind == Machine) return equalNoCase(cell.name, name) ? &cell : nullptr;
    if (cell.kind != Composite) return nullptr;
    for (const CellPtr& child : cell.children) {
        if (child && equalNoCase(child->name, name)) return child.get();
    }
    return nullptr;
}

Cell* findChildLoose(Cell& cell, std::string_view text) {
    if (cell.kind == Machine) return &cell;
    if (cell.kind != Composite || text.empty()) return nullptr;
    if (Cell* exact = findChild(cell, text)) return exact;
    for (const CellPtr& child : cell.children) {
        if (child && startsWithNoCase(child->name, text)) return child.get();
    }
    for (const CellPtr& child : cell.children) {
        if (child && containsNoCase(child->name, text)) return child.get();
    }
    return nullptr;
}

int32_t indexOfChild(const Cell& composite, const Cell* child) {
    for (size_t i = 0; i < composite.children.size(); i++) {
        if (composite.children[i].get() == child) return static_cast<int32_t>(i);
    }
    return -1;
}

void cellZeroLosses(Cell& cell) {
    cell.lostWeight = 0.0;
    cell.lostEnergy = 0.0;
    cell.lostWeightPositive = 0.0;
    cell.lostWeightNegative = 0.0;
    for (const CellPtr& child : cell.children) {
        if (child) cellZeroLosses(*child);
    }
}
