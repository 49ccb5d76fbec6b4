// The header of a binary results file: reading it defensively (a header comes
// from files downloaded from a server), building it from a results list and
// writing it.
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "common/report.hpp"
#include "common/text.hpp"
#include "results/binary_header.hpp"

namespace {

struct HeaderInput {
    std::FILE* file;
    int64_t remaining;  // bytes left in the file
};

bool readI32(HeaderInput& in, int32_t& value) {
    unsigned char b[4];
    if (in.remaining < 4 || std::fread(b, 1, 4, in.file) != 4) return false;
    in.remaining -= 4;
    value = static_cast<int32_t>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 |
                                 uint32_t(b[3]) << 24);
    return true;
}

// A zero-terminated name; false at the end of the file or for a character
// of code 1 to 31.
bool readName(HeaderInput& in, std::string& name) {
    name.clear();
    for (;;) {
        int c = in.remaining > 0 ? std::fgetc(in.file) : EOF;
        if (c == EOF) return false;
        in.remaining--;
        if (c == 0) return true;
        if (c < 32) return false;
        name += static_cast<char>(c);
    }
}

ResultBinaryHeader invalid() {
    return ResultBinaryHeader{};
}

void putI32(std::string& out, int32_t value) {
    auto v = static_cast<uint32_t>(value);
    char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                 static_cast<char>(v >> 24)};
    out.append(b, 4);
}

void putName(std::string& out, std::string_view name) {
    out.append(name);
    out += '\0';
}

bool lessNoCase(const std::string& a, const std::string& b) {
    return lowerCopy(a) < lowerCopy(b);
}

// Lattice names go into the header, whose reader refuses empty names and
// control characters; such a name is left out rather than making the file
// unreadable.
bool isStorableLatticeName(const std::string& name) {
    if (name.empty()) return false;
    for (unsigned char c : name) {
        if (c < 32) return false;
    }
    return true;
}

}  // namespace

void NameTable::add(std::string_view name) {
    starts.push_back(static_cast<uint32_t>(pool.size()));
    pool.append(name);
    pool += '\0';
}

int64_t ResultBinaryHeader::pitch() const {
    int64_t bytes = genomeBytes();
    for (const BinaryField& f : fields) bytes += f.size;
    return bytes;
}

bool isGenomeName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        bool ok =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '#';
        if (!ok) return false;
    }
    return true;
}

ResultBinaryHeader readBinaryHeader(std::FILE* file) {
    if (file == nullptr) {
        report("[FATAL] ResultBinaryHeader_load got passed a null file.  WHAT WERE YOU THINKING?!");
        return invalid();
    }
    long start = std::ftell(file);
    if (start < 0 || std::fseek(file, 0, SEEK_END) != 0) return invalid();
    long end = std::ftell(file);
    if (end < 0 || std::fseek(file, start, SEEK_SET) != 0) return invalid();
    HeaderInput in{file, static_cast<int64_t>(end) - start};
    if (in.remaining < 4 || std::fseek(file, 4, SEEK_CUR) != 0) return invalid();
    in.remaining -= 4;

    ResultBinaryHeader h;
    int32_t optCount = 0, otherCount = 0;
    if (!readI32(in, h.count) || !readI32(in, h.genomeLength) || !readI32(in, h.bits) ||
        !readI32(in, optCount)) {
        return invalid();
    }
    if (h.count < 0 || h.genomeLength < 0 || h.genomeLength > kMaxGenomeLength || h.bits < 1 ||
        h.bits > kMaxBits || optCount < 0) {
        return invalid();
    }
    // Every name takes at least one byte (a lattice name two); counts that
    // cannot fit in what is left of the file are refused before any loop.
    if (optCount > in.remaining / 2 ||
        int64_t{optCount} * h.genomeLength > in.remaining - 2 * int64_t{optCount}) {
        return invalid();
    }
    std::string name;
    for (int32_t i = 0; i < optCount; i++) {
        if (!readName(in, name) || name.empty()) return invalid();
        h.latticeNames.push_back(name);
    }
    h.parameterNames.resize(static_cast<size_t>(optCount));
    for (int32_t i = 0; i < optCount; i++) {
        bool ended = false;
        for (int32_t j = 0; j < h.genomeLength; j++) {
            if (!readName(in, name)) return invalid();
            ended = ended || name.empty();
            if (!ended) h.parameterNames[static_cast<size_t>(i)].add(name);
        }
    }
    if (!readI32(in, otherCount) || otherCount < 0 || otherCount > kMaxFieldCount ||
        otherCount > in.remaining / 5) {
        return invalid();
    }
    int64_t offset = 0;
    for (int32_t i = 0; i < otherCount; i++) {
        BinaryField field;
        if (!readI32(in, field.size) || field.size < 0 || !readName(in, field.name)) {
            return invalid();
        }
        field.offset = offset;
        offset += field.size;
        h.fields.push_back(std::move(field));
    }
    return h;
}

ResultBinaryHeader buildBinaryHeader(const ResultsList& results) {
    ResultBinaryHeader h;
    uint32_t n = results.count();
    h.count = static_cast<int32_t>(n);
    int64_t levels =
        n > 0 ? genomeLevelCount(genomeFromText(results[0].genomeLine, true).digits) : 1;
    h.bits = 1;
    while ((int64_t{1} << h.bits) < levels + 1) h.bits++;

    std::unordered_map<std::string, size_t> latticeIndex;  // lower-cased name
    for (const ResultRecord& r : results) {
        std::optional<std::string> lattice = readLattice(r.scoreLine);
        if (!lattice || !isStorableLatticeName(*lattice)) continue;
        if (latticeIndex.emplace(lowerCopy(*lattice), h.latticeNames.size()).second) {
            h.latticeNames.push_back(*lattice);
        }
    }
    std::sort(h.latticeNames.begin(), h.latticeNames.end(), lessNoCase);
    latticeIndex.clear();
    for (size_t i = 0; i < h.latticeNames.size(); i++)
        latticeIndex[lowerCopy(h.latticeNames[i])] = i;

    std::vector<std::unordered_set<std::string>> parameters(h.latticeNames.size());
    std::vector<std::string> metaNames;
    std::unordered_set<std::string> metaSeen;
    size_t checksumBytes = 1;
    for (uint32_t i = n; i-- > 0;) {
        if (i % 100 == 0) reportProgress(format("Getting genome parameters... %u", i));
        const ResultRecord& r = results[i];
        checksumBytes = std::max(checksumBytes, readChecksum(r.scoreLine).size());
        Genome genome = genomeFromText(r.genomeLine, true);
        std::optional<std::string> lattice = readLattice(r.scoreLine);
        auto found = lattice ? latticeIndex.find(lowerCopy(*lattice)) : latticeIndex.end();
        for (int e = genome.count() - 1; e >= 0; e--) {
            const std::string& entry = genome.names[static_cast<size_t>(e)];
            if (!isGenomeName(entry)) continue;
            if (isMetaName(entry)) {
                if (metaSeen.insert(entry).second) metaNames.push_back(entry);
            } else if (found != latticeIndex.end()) {
                parameters[found->second].insert(entry);
            }
        }
    }
    h.genomeLength = 1;
    for (const auto& set : parameters) {
        std::vector<std::string> sorted(set.begin(), set.end());
        std::sort(sorted.begin(), sorted.end(), lessNoCase);
        NameTable table;
        for (const std::string& p : sorted) table.add(p);
        h.genomeLength = std::max(h.genomeLength, static_cast<int32_t>(table.size()));
        h.parameterNames.push_back(std::move(table));
    }

    const std::pair<const char*, int32_t> fixed[] = {
        {"score", 8}, {"calc", 8}, {"ver", 4},
        {"verx", 1},  {"chl", 4},  {"chk", static_cast<int32_t>(checksumBytes)},
        {"opt", 4}};
    int64_t offset = 0;
    for (const auto& [name, size] : fixed) {
        h.fields.push_back(BinaryField{size, name, offset});
        offset += size;
    }
    for (const std::string& meta : metaNames) {
        h.fields.push_back(BinaryField{4, meta, offset});
        offset += 4;
    }
    return h;
}

void writeBinaryHeader(const ResultBinaryHeader& header, std::string& out) {
    out.append(kBinaryMagic, 4);
    putI32(out, header.count);
    putI32(out, header.genomeLength);
    putI32(out, header.bits);
    putI32(out, static_cast<int32_t>(header.latticeNames.size()));
    for (const std::string& name : header.latticeNames) putName(out, name);
    for (const NameTable& names : header.parameterNames) {
        for (int32_t j = 0; j < header.genomeLength; j++) {
            putName(out, static_cast<size_t>(j) < names.size() ? names[static_cast<size_t>(j)]
                                                               : std::string_view());
        }
    }
    putI32(out, static_cast<int32_t>(header.fields.size()));
    for (const BinaryField& field : header.fields) {
        putI32(out, field.size);
        putName(out, field.name);
    }
}

void packLevel(uint8_t* area, size_t areaBytes, int64_t slot, int32_t bits, uint32_t level) {
    int64_t bit = slot * bits;
    uint64_t value = uint64_t{level & ((uint32_t{1} << bits) - 1)} << (bit % 8);
    for (auto byte = static_cast<size_t>(bit / 8); value != 0 && byte < areaBytes; byte++) {
        area[byte] |= static_cast<uint8_t>(value & 255u);
        value >>= 8;
    }
}

uint32_t unpackLevel(const uint8_t* area, size_t areaBytes, int64_t slot, int32_t bits) {
    int64_t bit = slot * bits;
    uint64_t word = 0;
    auto first = static_cast<size_t>(bit / 8);
    for (size_t k = 0; k < 5 && first + k < areaBytes; k++)
        word |= uint64_t{area[first + k]} << (8 * k);
    return static_cast<uint32_t>((word >> (bit % 8)) & ((uint64_t{1} << bits) - 1));
}
