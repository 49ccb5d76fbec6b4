// Loading and saving binary results files.
#include "results/binary_results.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <unordered_map>

#include "common/report.hpp"
#include "common/text.hpp"
#include "platform/files.hpp"
#include "results/text_results.hpp"
#include "store/stdio_file.hpp"

namespace {

template <class T>
T readRaw(const uint8_t* data, int32_t size) {
    unsigned char bytes[sizeof(T)] = {};
    std::memcpy(bytes, data, std::min<size_t>(sizeof(T), static_cast<size_t>(size)));
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

int32_t readI32(const uint8_t* data, int32_t size) {
    auto raw = readRaw<uint32_t>(data, size);
    return static_cast<int32_t>(raw);
}

template <class T>
void putRaw(std::string& out, T value) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.append(bytes, sizeof(T));
}

// A field name goes into a message; it must not be able to pose as a fatal
// message or move the cursor.
std::string printable(const std::string& name) {
    std::string out = name.substr(0, 64);
    for (char& c : out) {
        auto u = static_cast<unsigned char>(c);
        if (u < 32 || u >= 127 || c == '[' || c == ']') c = '?';
    }
    return out;
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The version letter: the character before the first "]" from the second
// character on, when it is a letter.
char versionLetter(std::string_view scoreLine) {
    size_t close = scoreLine.find(']', 1);
    if (close == std::string_view::npos) return 0;
    return isLetter(scoreLine[close - 1]) ? scoreLine[close - 1] : 0;
}

void setStatus(BinaryLoadStatus* status, BinaryLoadStatus value) {
    if (status) *status = value;
}

}  // namespace

// Numbers are copied to and from the file as they lie in memory.
static_assert(std::endian::native == std::endian::little, "binary results are little-endian");
static_assert(sizeof(double) == 8 && sizeof(float) == 4, "binary results need IEEE sizes");

ResultsList loadBinaryResults(const std::string& path, const ResultFormat& format,
                              BinaryLoadStatus* status) {
    ResultsList results;
    listInit(results);
    bool plain = !refuseIrregularFile(path) && isRegularFile(path);
    StdioFile file(plain ? std::fopen(path.c_str(), "rb") : nullptr);
    if (!file) {
        setStatus(status, BinaryLoadStatus::Missing);
        return results;
    }
    char magic[4];
    if (std::fread(magic, 1, 4, file.get()) != 4 || std::memcmp(magic, kBinaryMagic, 4) != 0) {
        setStatus(status, BinaryLoadStatus::NotBinary);
        return results;
    }
    report("Binary loading results...");
    std::rewind(file.get());
    ResultBinaryHeader header = readBinaryHeader(file.get());
    if (header.count < 0) {
        setStatus(status, BinaryLoadStatus::BadHeader);
        return results;
    }
    setStatus(status, BinaryLoadStatus::Ok);
    reportProgress("Binary loading results... header OK");

    long headerEnd = std::ftell(file.get());
    std::fseek(file.get(), 0, SEEK_END);
    long fileEnd = std::ftell(file.get());
    std::fseek(file.get(), headerEnd, SEEK_SET);
    double size = fileEnd > 0 ? static_cast<double>(fileEnd) : 1.0;
    int64_t pitch = header.pitch();
    int64_t genomeBytes = header.genomeBytes();
    // A record that does not fit in the rest of the file cannot be read; a
    // record of no bytes would repeat forever.
    int64_t count = header.count;
    if (pitch <= 0 || pitch > fileEnd - headerEnd) count = 0;

    // Parameter names in strictly ascending order, none of them metadata, are
    // distinct: their entries can be appended without looking for an earlier
    // one. A hand-made or damaged header takes the careful path.
    std::vector<bool> plainNames(header.parameterNames.size(), true);
    for (size_t l = 0; l < header.parameterNames.size(); l++) {
        const NameTable& names = header.parameterNames[l];
        for (size_t j = 0; j < names.size() && plainNames[l]; j++) {
            plainNames[l] = isGenomeName(names[j]) && !isMetaName(names[j]) &&
                            (j == 0 || genomeNameLess(names[j - 1], names[j]));
        }
    }
    int32_t topLevel = static_cast<int32_t>(genomeLevelCount(3) - 1);

    std::vector<uint8_t> record(static_cast<size_t>(count > 0 ? pitch : 0));
    for (int64_t r = 0; r < count; r++) {
        if (std::fread(record.data(), 1, record.size(), file.get()) != record.size()) break;
        Genome genome;
        genomeInit(genome);
        double score = 0, work = -1;
        float version = 0;
        char letter = 0;
        int32_t checksumLength = 0;
        const uint8_t* checksumData = nullptr;
        int32_t checksumSize = 0;
        int32_t lattice = -1;
        for (const BinaryField& field : header.fields) {
            const uint8_t* data = record.data() + field.offset;
            const std::string& name = field.name;
            if (name == "score") {
                score = readRaw<double>(data, field.size);
            } else if (name == "calc") {
                work = readRaw<double>(data, field.size);
            } else if (name == "ver") {
                version = readRaw<float>(data, field.size);
            } else if (name == "verx") {
                letter = field.size > 0 ? static_cast<char>(data[0]) : 0;
            } else if (name == "chl") {
                checksumLength = readI32(data, field.size);
            } else if (name == "chk") {
                checksumData = data;
                checksumSize = field.size;
            } else if (name == "opt") {
                lattice = readI32(data, field.size);
            } else if (isMetaName(name)) {
                int32_t level = readI32(data, field.size);
                if (level >= 0 && isGenomeName(name)) genomeSet(genome, name, level);
            } else {
                reportf("[WARNING] Unrecognised binary file field '%s'", printable(name).c_str());
            }
        }
        ScoreLineFields fields;
        if (version >= 0.01f) {
            fields.version = ::format("v%g", static_cast<double>(version));
            // Only a letter: any other byte could break the line.
            if (isLetter(letter)) *fields.version += letter;
        }
        bool hasLattice = lattice >= 0 && static_cast<size_t>(lattice) < header.latticeNames.size();
        if (hasLattice) {
            const std::string& latticeName = header.latticeNames[static_cast<size_t>(lattice)];
            fields.lattice = latticeName;
            const NameTable& names = header.parameterNames[static_cast<size_t>(lattice)];
            bool plain = plainNames[static_cast<size_t>(lattice)];
            const uint8_t* area = record.data() + (pitch - genomeBytes);
            uint32_t absent = (uint32_t{1} << header.bits) - 1;
            for (size_t j = 0; j < names.size(); j++) {
                uint32_t level = unpackLevel(area, static_cast<size_t>(genomeBytes),
                                             static_cast<int64_t>(j), header.bits);
                if (level == absent) continue;
                auto value = static_cast<int32_t>(level);
                if (plain) {
                    genomeAdd(genome, names[j], std::min(value, topLevel));
                } else if (isGenomeName(names[j])) {
                    genomeSet(genome, names[j], value);
                }
            }
        }
        fields.trailing = "";
        std::optional<Digest> checksum;
        int32_t taken = std::min(checksumSize, checksumLength);
        if (checksumData && taken > 0) {
            checksum = Digest(checksumData, checksumData + taken);
        }
        listAppend(results,
                   formatScoreLineWithChecksum(genome, score, work, fields, checksum, format));
        if (results.count() % 100 == 0) {
            double at = static_cast<double>(std::ftell(file.get()));
            reportProgress(::format("Binary loading results... %u (%.1lf%%)", results.count(),
                                    100.0 * at / size));
        }
    }
    reportProgress(::format("Binary loading results... OK (%u results)", results.count()));
    return results;
}

bool saveBinaryResults(const ResultsList& results, const std::string& path) {
    report("Binary saving results...");
    ResultBinaryHeader header = buildBinaryHeader(results);
    std::string out;
    writeBinaryHeader(header, out);

    std::unordered_map<std::string, int32_t> latticeIndex;
    for (size_t i = 0; i < header.latticeNames.size(); i++) {
        latticeIndex[lowerCopy(header.latticeNames[i])] = static_cast<int32_t>(i);
    }
    std::vector<std::unordered_map<std::string, size_t>> slots(header.latticeNames.size());
    for (size_t i = 0; i < header.parameterNames.size(); i++) {
        const NameTable& names = header.parameterNames[i];
        for (size_t j = 0; j < names.size(); j++) slots[i][std::string(names[j])] = j;
    }
    auto checksumBytes = static_cast<size_t>(header.fields[5].size);  // "chk"
    auto genomeBytes = static_cast<size_t>(header.genomeBytes());
    uint32_t absent = (uint32_t{1} << header.bits) - 1;
    out.reserve(out.size() + results.count() * static_cast<size_t>(header.pitch()));

    std::vector<uint8_t> area(genomeBytes);
    for (uint32_t i = 0; i < results.count(); i++) {
        if (i % 100 == 0) reportProgress(::format("Binary saving results... %u", i));
        const ResultRecord& r = results[i];
        Genome genome = genomeFromText(r.genomeLine, true);
        putRaw<double>(out, r.score);
        putRaw<double>(out, readExtra(r.scoreLine));
        putRaw<float>(out, readVersion(r.scoreLine));
        out += versionLetter(r.scoreLine);
        Digest checksum = readChecksum(r.scoreLine);
        putRaw<int32_t>(out, static_cast<int32_t>(checksum.size()));
        checksum.resize(checksumBytes, 0);
        out.append(reinterpret_cast<const char*>(checksum.data()), checksum.size());
        std::optional<std::string> lattice = readLattice(r.scoreLine);
        auto found = lattice ? latticeIndex.find(lowerCopy(*lattice)) : latticeIndex.end();
        int32_t index = found == latticeIndex.end() ? -1 : found->second;
        putRaw<int32_t>(out, index);
        for (size_t f = 7; f < header.fields.size(); f++) {
            putRaw<int32_t>(out, genomeGet(genome, header.fields[f].name));
        }
        std::fill(area.begin(), area.end(), 0);
        if (index >= 0) {
            const NameTable& names = header.parameterNames[static_cast<size_t>(index)];
            const auto& slotOf = slots[static_cast<size_t>(index)];
            // A later entry of the same name wins, as in a genome look-up.
            std::vector<uint32_t> levels(names.size(), absent);
            for (int e = 0; e < genome.count(); e++) {
                auto slot = slotOf.find(genome.names[static_cast<size_t>(e)]);
                if (slot == slotOf.end()) continue;
                levels[slot->second] = static_cast<uint32_t>(genome.levels[static_cast<size_t>(e)]);
            }
            for (size_t j = 0; j < names.size(); j++) {
                packLevel(area.data(), area.size(), static_cast<int64_t>(j), header.bits,
                          levels[j]);
            }
        }
        out.append(reinterpret_cast<const char*>(area.data()), area.size());
    }
    if (!writeFileAtomic(path, out)) return false;
    reportProgress(::format("Binary saved %u results", results.count()));
    return true;
}

bool isBinaryResultsPath(std::string_view path) {
    return path.size() >= 4 && equalNoCase(path.substr(path.size() - 4), ".bin");
}

ResultsList loadResultsAny(const std::string& path, const ResultFormat& format) {
    if (isBinaryResultsPath(path)) return loadBinaryResults(path, format);
    return loadResults(path, std::nullopt);
}
