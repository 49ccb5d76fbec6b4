#include "beamline/cell_print.hpp"

#include <initializer_list>
#include <string_view>

#include "beamline/cell_attributes.hpp"
#include "common/text.hpp"
#include "model/cell_geometry.hpp"
#include "platform/files.hpp"

namespace {

std::string coordinates(const Cell& cell, const char* lead) {
    Vec3 a = cell.entryFrame.origin;
    Vec3 b = cellAdvance(cell, cell.entryFrame).origin;
    return format("%s(%g,%g,%g) to (%g,%g,%g)", lead, a.x, a.y, a.z, b.x, b.y, b.z);
}

// Appends pieces one by one; this also keeps "text" + string temporaries out,
// which g++ 12 misreads as overlapping copies in optimised builds.
void put(std::string& out, std::initializer_list<std::string_view> pieces) {
    for (std::string_view piece : pieces) out.append(piece);
}

// The dimension of a number attribute, when printing in units and one is
// known: the component's rule, or the simulation's for the parameters cell.
std::optional<Dimension> dimensionOf(const Cell& cell, const CellAttribute& a) {
    if (equalNoCase(cell.typeName, "Parameters")) return simulationParameterDimension(a.name);
    std::optional<AttributeRule> rule = cellAttributeRule(cell.typeName, a.name);
    if (!rule || rule->text) return std::nullopt;
    return rule->dimension;
}

// An attribute that was never given a value prints as an empty text.
void putValue(std::string& out, const Cell& cell, const CellAttribute& a, bool units) {
    if (a.kind == AttributeNumber) {
        std::optional<Dimension> dimension = units ? dimensionOf(cell, a) : std::nullopt;
        DisplayUnit shown = dimension ? displayUnit(*dimension) : DisplayUnit{"", 1};
        out += format("%g%s", a.number / shown.factor, shown.text);
    } else {
        put(out, {"'", a.text, "'"});
    }
}

void printElement(std::string& out, const Cell& cell, bool withCoords, char sep, bool units) {
    if (sep != '\0') {
        if (cell.kind == Nonmachine) out += "Nonmachine ";
        put(out, {cell.typeName, " ", cell.name, "\n"});
        for (const CellAttribute& a : cell.attributes) {
            put(out, {a.name, "="});
            putValue(out, cell, a, units);
            out += sep;
        }
        if (withCoords) out += coordinates(cell, "\n");
        return;
    }
    put(out, {"{", cell.typeName});
    for (const CellAttribute& a : cell.attributes) put(out, {" ", a.name});
    put(out, {"}\n", cell.name});
    for (const CellAttribute& a : cell.attributes) {
        out += " ";
        putValue(out, cell, a, units);
    }
    if (cell.kind == Nonmachine) out += " #// Nonmachine";
    if (withCoords) out += coordinates(cell, "\n#// Coords ");
}

void printCell(std::string& out, const Cell& cell, bool withCoords, char sep, bool units) {
    if (cell.kind == Machine || cell.kind == Nonmachine) {
        printElement(out, cell, withCoords, sep, units);
        return;
    }
    if (cell.kind != Composite) {
        put(out, {"\n#//Cell_print error: ", cell.name, " - UNKNOWN TYPE OF CELL\n\n"});
        return;
    }
    out += format("\n#// %s - Composite cell of %d elements:\n\n", cell.name.c_str(),
                  cell.childCount());
    for (const CellPtr& child : cell.children) {
        if (child) printCell(out, *child, withCoords, sep, units);
        out += "\n";
    }
    put(out, {"\n", cell.name, ": "});
    for (size_t i = 0; i < cell.children.size(); i++) {
        if (i > 0) out += ",";
        if (cell.children[i]) out += cell.children[i]->name;
    }
    out += ";\n\n";
}

}  // namespace

std::string Cell_print(const Cell& cell, bool withCoords, char separator) {
    std::string out;
    printCell(out, cell, withCoords, separator, false);
    return out;
}

std::string Cell_printInUnits(const Cell& cell, bool withCoords) {
    std::string out;
    printCell(out, cell, withCoords, ' ', true);
    return out;
}

bool Cell_printlog(const Cell& cell) {
    makeDirectory("tech");
    return appendToFile("tech/log.txt", Cell_print(cell, true, ' '));
}
