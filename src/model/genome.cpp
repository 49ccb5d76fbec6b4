#include "model/genome.hpp"

#include <algorithm>
#include <cstdlib>
#include <numeric>

#include "common/random.hpp"
#include "common/text.hpp"
#include "store/binary_io.hpp"

namespace {

MissingLevelRule missingLevelRule;

int32_t defaultMissingLevel(std::string_view, const Genome& genome) {
    return static_cast<int32_t>(randomBelow(genomeLevelCount(genome.digits)));
}

// Stored names are lower case, so only the name looked for needs folding.
bool equalsStored(const std::string& stored, std::string_view name) {
    if (stored.size() != name.size()) return false;
    for (size_t k = 0; k < name.size(); k++) {
        if (stored[k] != lowerAscii(name[k])) return false;
    }
    return true;
}

int findLast(const Genome& genome, std::string_view name) {
    for (int i = genome.count() - 1; i >= 0; i--) {
        if (equalsStored(genome.names[static_cast<size_t>(i)], name)) return i;
    }
    return -1;
}

// A level as "%d" reads it (leading white space, a sign, digits), held to the
// 32-bit range instead of overflowing.
int32_t readLevel(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) i++;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; i++) {
        value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t{INT32_MAX} + 1);
    }
    if (negative) value = -value;
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// Refuse absurd sizes from a damaged save file instead of allocating them.
constexpr uint32_t kMaxBinaryEntries = 100000;
constexpr size_t kMaxBinaryName = 4096;

}  // namespace

int64_t genomeLevelCount(int32_t digits) {
    int64_t n = 1;
    for (int32_t i = 0; i < std::clamp(digits, 0, 9); i++) n *= 10;
    return n;
}

void genomeInit(Genome& genome) {
    genome.names.clear();
    genome.levels.clear();
    genome.digits = 3;
}

void genomeFree(Genome& genome) {
    genome.names = {};
    genome.levels = {};
    genome.digits = 0;
}

int genomeAdd(Genome& genome, std::string_view name, int32_t level) {
    genome.names.push_back(lowerCopy(name));
    genome.levels.push_back(level);
    return genome.count() - 1;
}

int genomeSet(Genome& genome, std::string_view name, int32_t level) {
    if (!isMetaName(name)) {
        int64_t top = genomeLevelCount(genome.digits) - 1;
        level = static_cast<int32_t>(std::clamp<int64_t>(level, 0, top));
    }
    int i = findLast(genome, name);
    if (i < 0) return genomeAdd(genome, name, level);
    genome.levels[static_cast<size_t>(i)] = level;
    return i;
}

void genomeRemove(Genome& genome, std::string_view name) {
    int i = findLast(genome, name);
    if (i < 0) return;
    size_t last = genome.names.size() - 1;
    genome.names[static_cast<size_t>(i)] = std::move(genome.names[last]);
    genome.levels[static_cast<size_t>(i)] = genome.levels[last];
    genome.names.pop_back();
    genome.levels.pop_back();
}

int32_t genomeGet(const Genome& genome, std::string_view name) {
    int i = findLast(genome, name);
    return i < 0 ? -1 : genome.levels[static_cast<size_t>(i)];
}

int genomeHas(const Genome& genome, std::string_view name) {
    return findLast(genome, name) >= 0;
}

void setMissingLevelRule(MissingLevelRule rule) {
    missingLevelRule = std::move(rule);
}
void resetMissingLevelRule() {
    missingLevelRule = nullptr;
}

double genomeReal(Genome& genome, std::string_view name, double lo, double hi) {
    int i = findLast(genome, name);
    if (i < 0) {
        int32_t level =
            missingLevelRule ? missingLevelRule(name, genome) : defaultMissingLevel(name, genome);
        i = genomeSet(genome, name, level);
    }
    double levels = static_cast<double>(genomeLevelCount(genome.digits));
    double v = genome.levels[static_cast<size_t>(i)];
    return lo + v / (levels - 1) * (hi - lo);
}

void genomeSortByName(Genome& genome) {
    std::vector<size_t> order(genome.names.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return genomeNameLess(genome.names[a], genome.names[b]);
    });
    Genome sorted;
    sorted.digits = genome.digits;
    for (size_t i : order) {
        sorted.names.push_back(std::move(genome.names[i]));
        sorted.levels.push_back(genome.levels[i]);
    }
    genome.names = std::move(sorted.names);
    genome.levels = std::move(sorted.levels);
}

bool genomeNameLess(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t k = 0; k < n; k++) {
        auto x = static_cast<unsigned char>(lowerAscii(a[k]));
        auto y = static_cast<unsigned char>(lowerAscii(b[k]));
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

void genomeDropMeta(Genome& genome) {
    for (int i = genome.count() - 1; i >= 0; i--) {
        if (isMetaName(genome.names[static_cast<size_t>(i)])) {
            size_t last = genome.names.size() - 1;
            genome.names[static_cast<size_t>(i)] = std::move(genome.names[last]);
            genome.levels[static_cast<size_t>(i)] = genome.levels[last];
            genome.names.pop_back();
            genome.levels.pop_back();
        }
    }
}

int genomeEqual(const Genome& a, const Genome& b) {
    if (a.count() != b.count()) return 0;
    for (int i = 0; i < a.count(); i++) {
        int j = findLast(b, a.names[static_cast<size_t>(i)]);
        if (j < 0 || b.levels[static_cast<size_t>(j)] != a.levels[static_cast<size_t>(i)]) {
            return 0;
        }
    }
    return 1;
}

std::string genomeToText(const Genome& genome) {
    std::string out;
    size_t bytes = 0;
    for (const std::string& name : genome.names) bytes += name.size() + 13;
    out.reserve(bytes);
    char number[16];
    for (int i = 0; i < genome.count(); i++) {
        const std::string& name = genome.names[static_cast<size_t>(i)];
        int32_t level = genome.levels[static_cast<size_t>(i)];
        out += name;
        out += '=';
        bool meta = isMetaName(name);
        // As "%0*d" (a parameter, padded to `digits` with the sign counted) or
        // "%d" (metadata), digits written from the right.
        bool negative = level < 0;
        uint32_t v = negative ? 0u - static_cast<uint32_t>(level) : static_cast<uint32_t>(level);
        int width = meta ? 1 : std::clamp(genome.digits, 0, 9) - (negative ? 1 : 0);
        width = std::max(width, 1);
        int n = 0;
        while (v > 0 || n < width) {
            number[sizeof number - 1 - n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        }
        if (negative) number[sizeof number - 1 - n++] = '-';
        out.append(number + sizeof number - n, static_cast<size_t>(n));
        out += ';';
    }
    return out;
}

void genomeScanText(std::string_view text, bool includeMeta,
                    const std::function<bool(std::string_view name, int32_t level)>& entry) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string_view::npos) break;
        std::string_view token = text.substr(start, end - start);
        start = end + 1;
        size_t eq = token.rfind('=');
        if (eq == std::string_view::npos) continue;
        std::string_view name = token.substr(0, eq);
        if (isMetaName(name) && !includeMeta) continue;
        int32_t level = readLevel(token.substr(eq + 1));
        if (!isMetaName(name)) level = std::clamp(level, 0, 999);
        if (!entry(name, level)) return;
    }
}

Genome genomeFromText(std::string_view text, bool includeMeta) {
    Genome genome;
    genomeScanText(text, includeMeta, [&](std::string_view name, int32_t level) {
        genomeAdd(genome, name, level);
        return true;
    });
    return genome;
}

bool genomeWriteBinary(const Genome& genome, std::FILE* file) {
    bool ok = writeU32(file, static_cast<uint32_t>(genome.count())) &&
              writeU32(file, static_cast<uint32_t>(genome.digits));
    for (int i = 0; ok && i < genome.count(); i++) {
        const std::string& name = genome.names[static_cast<size_t>(i)];
        ok = std::fwrite(name.c_str(), 1, name.size() + 1, file) == name.size() + 1 &&
             writeU32(file, static_cast<uint32_t>(genome.levels[static_cast<size_t>(i)]));
    }
    return ok;
}

bool genomeReadBinary(Genome& genome, std::FILE* file) {
    uint32_t count = 0, digits = 0;
    if (!readU32(file, count) || !readU32(file, digits)) return false;
    if (count > kMaxBinaryEntries || digits > 9) return false;
    genome.digits = static_cast<int32_t>(digits);
    for (uint32_t i = 0; i < count; i++) {
        std::string name;
        int c;
        while ((c = std::fgetc(file)) > 0) {
            if (name.size() >= kMaxBinaryName) return false;
            name += static_cast<char>(c);
        }
        if (c < 0) return false;
        uint32_t level = 0;
        if (!readU32(file, level)) return false;
        genomeSet(genome, name, static_cast<int32_t>(level));
    }
    return true;
}
