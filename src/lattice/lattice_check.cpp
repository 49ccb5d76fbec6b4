#include "lattice/lattice_check.hpp"

#include <algorithm>

#include "common/text.hpp"

namespace {

// Edit distance with swaps of neighbours (optimal string alignment), ignoring
// ASCII case: "Feild" is one edit from "Field".
size_t editDistance(std::string_view a, std::string_view b) {
    const size_t n = a.size(), m = b.size();
    std::vector<std::vector<size_t>> d(n + 1, std::vector<size_t>(m + 1));
    for (size_t i = 0; i <= n; i++) d[i][0] = i;
    for (size_t j = 0; j <= m; j++) d[0][j] = j;
    for (size_t i = 1; i <= n; i++) {
        for (size_t j = 1; j <= m; j++) {
            size_t cost = lowerAscii(a[i - 1]) == lowerAscii(b[j - 1]) ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && lowerAscii(a[i - 1]) == lowerAscii(b[j - 2]) &&
                lowerAscii(a[i - 2]) == lowerAscii(b[j - 1])) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[n][m];
}

}  // namespace

std::string closestName(std::string_view word, const std::vector<std::string>& candidates) {
    // Names of a few letters are one edit from many others; longer ones may
    // have two mistakes and still be recognisable.
    const size_t allowed = word.size() <= 4 ? 1 : 2;
    // Long names cost a quadratic table each; nothing that long is a name.
    if (word.empty() || word.size() > 64) return "";
    std::string best;
    size_t bestDistance = allowed + 1;
    for (const std::string& candidate : candidates) {
        if (candidate.size() > 64 || equalNoCase(candidate, word)) continue;
        size_t distance = editDistance(word, candidate);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = candidate;
        }
    }
    return best;
}

std::string didYouMean(std::string_view word, const std::vector<std::string>& candidates) {
    std::string best = closestName(word, candidates);
    return best.empty() ? "" : " (did you mean '" + best + "'?)";
}

std::string findingText(const std::string& path, const LatticeFinding& finding) {
    std::string where =
        finding.line > 0 ? format("%s:%d: ", path.c_str(), finding.line) : path + ": ";
    if (!finding.element.empty()) where += finding.element + ": ";
    return where + finding.message;
}
