#include "beamline/cell_io.hpp"

#include <cstring>

#include "beamline/cell_types.hpp"
#include "common/report.hpp"
#include "model/cell_submap.hpp"
#include "store/binary_io.hpp"

namespace {

bool writeBytes(std::FILE* file, const void* data, size_t size) {
    return std::fwrite(data, 1, size, file) == size;
}

bool writeText(std::FILE* file, const std::string& text) {
    // A text ends at its first NUL in this form; anything after it is lost.
    return writeBytes(file, text.c_str(), std::strlen(text.c_str()) + 1);
}

bool writeFrame(std::FILE* file, const Frame3& f) {
    bool ok =
        writeF64(file, f.origin.x) && writeF64(file, f.origin.y) && writeF64(file, f.origin.z);
    for (int i = 0; ok && i < 9; i++) ok = writeF64(file, f.axes[i]);
    return ok;
}

bool writeVec(std::FILE* file, Vec3 v) {
    return writeF64(file, v.x) && writeF64(file, v.y) && writeF64(file, v.z);
}

bool readBytes(std::FILE* file, void* data, size_t size) {
    return std::fread(data, 1, size, file) == size;
}

bool readText(std::FILE* file, std::string& text) {
    text.clear();
    int c;
    while ((c = std::fgetc(file)) > 0) {
        if (text.size() >= kMaxCellText) return false;
        text += static_cast<char>(c);
    }
    return c == 0;
}

bool readFrame(std::FILE* file, Frame3& f) {
    bool ok = readF64(file, f.origin.x) && readF64(file, f.origin.y) && readF64(file, f.origin.z);
    for (int i = 0; ok && i < 9; i++) ok = readF64(file, f.axes[i]);
    return ok;
}

bool readVec(std::FILE* file, Vec3& v) {
    return readF64(file, v.x) && readF64(file, v.y) && readF64(file, v.z);
}

bool saveAttributes(const Cell& cell, std::FILE* file) {
    if (!writeText(file, cell.typeName) ||
        !writeU32(file, static_cast<uint32_t>(cell.attributes.size()))) {
        return false;
    }
    for (size_t i = cell.attributes.size(); i-- > 0;) {
        const CellAttribute& a = cell.attributes[i];
        if (!writeText(file, a.name) || !writeU8(file, static_cast<uint8_t>(a.kind))) return false;
        if (a.kind == AttributeNumber && !writeF64(file, a.number)) return false;
        if (a.kind == AttributeText && !writeText(file, a.text)) return false;
    }
    return true;
}

bool loadAttributes(Cell& cell, std::FILE* file) {
    int32_t count = 0;
    if (!readText(file, cell.typeName) || !readI32(file, count)) return false;
    if (count < 0 || count > kMaxCellAttributes) return false;
    for (int32_t i = 0; i < count; i++) {
        CellAttribute a;
        uint8_t kind = 0;
        if (!readText(file, a.name) || !readU8(file, kind)) return false;
        if (kind > AttributeText) return false;
        a.kind = kind;
        if (kind == AttributeNumber && !readF64(file, a.number)) return false;
        if (kind == AttributeText && !readText(file, a.text)) return false;
        cell.attributes.push_back(std::move(a));
    }
    return true;
}

CellPtr loadCellAt(std::FILE* file, int32_t gridResolution, int depth) {
    if (depth > kMaxCellDepth) return nullptr;
    std::string name;
    uint8_t kind = 0;
    if (!readText(file, name) || !readU8(file, kind) || kind > Composite) return nullptr;
    CellPtr cell = cellCreate(kind, name);

    if (kind == Composite) {
        int32_t count = 0;
        if (!readI32(file, count) || count < 0 || count > kMaxCellChildren) return nullptr;
        // Children were written last first. Read them before sizing the
        // array, so a count the data cannot back allocates nothing.
        std::vector<CellPtr> reversed;
        for (int32_t i = 0; i < count; i++) {
            CellPtr child = loadCellAt(file, gridResolution, depth + 1);
            if (!child) return nullptr;
            reversed.push_back(std::move(child));
        }
        cell->children.assign(reversed.rbegin(), reversed.rend());
    } else {
        if (!loadAttributes(*cell, file)) return nullptr;
        bindCellTypeFunctions(*cell);
    }

    if (!readF64(file, cell->arcStart) || !readFrame(file, cell->entryFrame) ||
        !readVec(file, cell->boxMin) || !readVec(file, cell->boxMax)) {
        return nullptr;
    }
    if (kind == Composite) subMapBuild(*cell, gridResolution);
    int32_t size = runDataSize(*cell);
    if (size > 0 && !readBytes(file, cell->runData, static_cast<size_t>(size))) return nullptr;
    return cell;
}

}  // namespace

bool saveCell(const Cell& cell, std::FILE* file) {
    if (!writeText(file, cell.name) || !writeU8(file, static_cast<uint8_t>(cell.kind))) {
        return false;
    }
    if (cell.kind == Composite) {
        if (!writeU32(file, static_cast<uint32_t>(cell.children.size()))) return false;
        for (size_t i = cell.children.size(); i-- > 0;) {
            if (!cell.children[i] || !saveCell(*cell.children[i], file)) return false;
        }
    } else if (!saveAttributes(cell, file)) {
        return false;
    }
    if (!writeF64(file, cell.arcStart) || !writeFrame(file, cell.entryFrame) ||
        !writeVec(file, cell.boxMin) || !writeVec(file, cell.boxMax)) {
        return false;
    }
    int32_t size = runDataSize(cell);
    return size <= 0 || writeBytes(file, cell.runData, static_cast<size_t>(size));
}

CellPtr loadCell(std::FILE* file, int32_t gridResolution) {
    return loadCellAt(file, gridResolution, 0);
}
