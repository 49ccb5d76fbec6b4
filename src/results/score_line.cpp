#include "results/score_line.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/text.hpp"

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

size_t countDigits(std::string_view text, size_t from) {
    size_t n = 0;
    while (from + n < text.size() && isDigit(text[from + n])) n++;
    return n;
}

int hexHigh(char c) {
    c = upperAscii(c);
    return c <= '9' ? c - '0' : c - 'A' + 10;
}

int hexLow(char c) {
    return c <= '9' ? c - '0' : c - 'A' + 10;
}

}  // namespace

double tenthPower(int d) {
    double base = 0.1;
    if (d < 0) {
        base = 10.0;
        d = -d;
    }
    double q = 1.0;
    for (unsigned e = static_cast<unsigned>(d); e > 0; e >>= 1) {
        if (e & 1u) q *= base;
        base *= base;
    }
    return q;
}

double roundTo(double x, int d) {
    double q = tenthPower(d);
    return std::floor(x / q + 0.5) * q;
}

ResultFormat readFormat(std::string_view genomeLine, std::string_view scoreLine) {
    ResultFormat format{3, 0, 0, ""};
    size_t start = 0;
    while (start < genomeLine.size()) {
        size_t end = genomeLine.find(';', start);
        if (end == std::string_view::npos) break;
        std::string_view token = genomeLine.substr(start, end - start);
        start = end + 1;
        size_t eq = token.rfind('=');
        if (eq == std::string_view::npos || (!token.empty() && token[0] == '#')) continue;
        format.genomeDigits = static_cast<int32_t>(countDigits(token, eq + 1));
        break;
    }
    size_t dot = scoreLine.find('.');
    if (dot != std::string_view::npos) {
        format.scoreDecimals = static_cast<int32_t>(countDigits(scoreLine, dot + 1));
    }
    size_t paren = scoreLine.find('(');
    if (paren == std::string_view::npos) return format;
    size_t extraDot = scoreLine.find('.', paren);
    if (extraDot == std::string_view::npos) return format;
    size_t digits = countDigits(scoreLine, extraDot + 1);
    format.extraDecimals = static_cast<int32_t>(digits);
    size_t p = extraDot + 1 + digits;
    while (p < scoreLine.size() && static_cast<unsigned char>(scoreLine[p]) <= 32) p++;
    size_t unitStart = p;
    while (p < scoreLine.size()) {
        char c = scoreLine[p];
        bool word =
            isDigit(c) || (lowerAscii(c) >= 'a' && lowerAscii(c) <= 'z') || c == '_' || c == '-';
        if (!word) break;
        p++;
    }
    format.extraUnit = std::string(scoreLine.substr(unitStart, p - unitStart));
    return format;
}

std::vector<double> readScoreList(std::string_view scoreLine) {
    size_t run = 0;
    size_t commas = 0;
    while (run < scoreLine.size()) {
        char c = scoreLine[run];
        if (!isDigit(c) && c != ',' && c != '-' && c != '.') break;
        if (c == ',') commas++;
        run++;
    }
    std::vector<double> scores;
    if (run == 0) return scores;
    // strtod may read past the run ("1e5"), as it always has; the copy keeps
    // it inside the line.
    std::string copy(scoreLine.substr(0, std::min<size_t>(scoreLine.size(), run + 512)));
    const char* p = copy.c_str();
    const char* end = p + copy.size();
    for (size_t i = 0; i <= commas; i++) {
        char* next = nullptr;
        scores.push_back(std::strtod(p, &next));
        p = next < end ? next + 1 : end;
    }
    return scores;
}

double trimmedMean(std::vector<double> scores, const ResultFormat& format) {
    size_t n = scores.size();
    if (n == 0) return 0;
    std::sort(scores.begin(), scores.end());
    size_t k = n / 5;
    double sum = 0;
    for (size_t i = k; i < n - k; i++) sum += scores[i];
    return roundTo(sum / static_cast<double>(n - 2 * k), format.scoreDecimals);
}

double readExtra(std::string_view scoreLine) {
    size_t paren = scoreLine.find('(');
    if (paren == std::string_view::npos) return 0;
    return leadingDouble(scoreLine.substr(paren + 1));
}

float readVersion(std::string_view scoreLine) {
    size_t v = scoreLine.find("[v");
    if (v == std::string_view::npos) return 0;
    return static_cast<float>(leadingDouble(scoreLine.substr(v + 2)));
}

std::optional<std::string> readLattice(std::string_view scoreLine) {
    size_t open = scoreLine.find('<');
    if (open == std::string_view::npos || open + 2 > scoreLine.size()) return std::nullopt;
    size_t close = scoreLine.find('>', open + 2);
    if (close == std::string_view::npos) return std::nullopt;
    return std::string(scoreLine.substr(open + 1, close - open - 1));
}

bool latticeMatches(std::string_view scoreLine, const std::optional<std::string>& name) {
    if (scoreLine.find('<') == std::string_view::npos) return false;
    std::optional<std::string> lattice = readLattice(scoreLine);
    if (!lattice) return !name.has_value();
    return name.has_value() && equalNoCase(*lattice, *name);
}

Digest readChecksum(std::string_view scoreLine) {
    size_t open = scoreLine.find('{');
    if (open == std::string_view::npos) return {};
    size_t close = scoreLine.find('}', open + 1);
    if (close == std::string_view::npos) return {};
    return checksumFromHex(scoreLine.substr(open + 1, close - open - 1));
}

std::string checksumToHex(const Digest& checksum) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(checksum.size() * 2);
    for (size_t i = checksum.size(); i-- > 0;) {
        out += kDigits[checksum[i] >> 4];
        out += kDigits[checksum[i] & 15];
    }
    return out;
}

Digest checksumFromHex(std::string_view hex) {
    size_t pairs = hex.size() / 2;
    Digest out(pairs);
    for (size_t p = 0; p < pairs; p++) {
        int value = hexHigh(hex[2 * p]) * 16 + hexLow(hex[2 * p + 1]);
        out[pairs - 1 - p] = static_cast<uint8_t>(value & 255);
    }
    return out;
}
