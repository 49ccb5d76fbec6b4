#include "beamline/cell_print.hpp"

#include "app/common/text.hpp"
#include "beamline/cell_geometry.hpp"
#include "platform/files.hpp"

namespace {

std::string coordinates(const Cell& cell, const char* lead) {
    Vec3 a = cell.entryFrame.origin;
    Vec3 b = cellAdvance(cell, cell.entryFrame).origin;
    return format("%s(%g,%g,%g) to (%g,%g,%g)", lead, a.x, a.y, a.z, b.x, b.y, b.z);
}

// An attribute that was never given a value prints as an empty text.
std::string attributeValue(const CellAttribute& a) {
    if (a.kind == AttributeNumber) return format("%g", a.number);
    return "'" + a.text + "'";
}

void printElement(std::string& out, const Cell& cell, bool withCoords, char sep) {
    if (sep != '\0') {
        if (cell.kind == Nonmachine) out += "Nonmachine ";
        out += cell.typeName + " " + cell.name + "\n";
        for (const CellAttribute& a : cell.attributes) {
            out += a.name + "=" + attributeValue(a) + sep;
        }
        if (withCoords) out += coordinates(cell, "\n");
        return;
    }
    out += "{" + cell.typeName;
    for (const CellAttribute& a : cell.attributes) out += " " + a.name;
    out += "}\n" + cell.name;
    for (const CellAttribute& a : cell.attributes) out += " " + attributeValue(a);
    if (cell.kind == Nonmachine) out += " #// Nonmachine";
    if (withCoords) out += coordinates(cell, "\n#// Coords ");
}

void printCell(std::string& out, const Cell& cell, bool withCoords, char sep) {
    if (cell.kind == Machine || cell.kind == Nonmachine) {
        printElement(out, cell, withCoords, sep);
        return;
    }
    if (cell.kind != Composite) {
        out += "\n#//Cell_print error: " + cell.name + " - UNKNOWN TYPE OF CELL\n\n";
        return;
    }
    out += format("\n#// %s - Composite cell of %d elements:\n\n", cell.name.c_str(),
                  cell.childCount());
    for (const CellPtr& child : cell.children) {
        if (child) printCell(out, *child, withCoords, sep);
        out += "\n";
    }
    out += "\n" + cell.name + ": ";
    for (size_t i = 0; i < cell.children.size(); i++) {
        if (i > 0) out += ",";
        if (cell.children[i]) out += cell.children[i]->name;
    }
    out += ";\n\n";
}

}  // namespace

std::string Cell_print(const Cell& cell, bool withCoords, char separator) {
    std::string out;
    printCell(out, cell, withCoords, separator);
    return out;
}

bool Cell_printlog(const Cell& cell) {
    makeDirectory("tech");
    return appendToFile("tech/log.txt", Cell_print(cell, true, ' '));
}
