#include "results/checksum.hpp"

#include <algorithm>
#include <cstdio>

#include "lattice/parser.hpp"
#include "results/score_line.hpp"
#include "store/filecache.hpp"

namespace {

Digest mixed(Digest d) {
    digestMix(d);
    return d;
}

}  // namespace

Digest recordChecksum(const std::string& genomeLine, const std::string& scoreLine) {
    Genome genome = genomeFromText(genomeLine, true);
    ResultFormat format = readFormat(genomeLine, scoreLine);
    double score = trimmedMean(readScoreList(scoreLine), format);
    double extra = readExtra(scoreLine);
    std::optional<std::string> lattice = readLattice(scoreLine);
    // The version is a float compared with double constants: "4.22" reads as
    // 4.2199998 and falls in the band below its own number, "4.41" reads as
    // 4.4099998 and so on. Old records were written with exactly these bands.
    double v = readVersion(scoreLine);

    if (v >= 4.0 && v < 4.22) {
        Digest d = digestZero(kOldChecksumBytes);
        digestAdd32(d, 0x5E3A91C7u);
        return d;
    }
    if (v < 4.4) {
        const size_t n = kOldChecksumBytes;
        Digest g = genomeDigest(genome, n);
        Digest s = numberDigest(score, format.scoreDecimals, n, 13);
        Digest e = numberDigest(extra, format.extraDecimals, n, 13);
        Digest l = latticeFileDigest(lattice, n);
        return digestXor(g, digestXor(s, digestXor(e, l)));
    }
    const size_t n = kChecksumBytes;
    DataFileVariant variant = v < 4.41 ? DataFileVariant::A : DataFileVariant::B;
    Digest g = genomeDigest(genome, n);
    Digest s = numberDigest(score, format.scoreDecimals, n, 25 - 2 * int64_t{format.scoreDecimals});
    Digest e = numberDigest(extra, format.extraDecimals, n, 25 - 2 * int64_t{format.extraDecimals});
    Digest l = latticeDigest(lattice, n, variant, latticeDataFiles);
    if (v < 4.42) return digestXor(g, digestXor(s, digestXor(e, l)));
    Digest h = digestXor(mixed(e), mixed(l));
    Digest i = digestXor(mixed(s), mixed(h));
    Digest j = digestXor(mixed(g), mixed(i));
    return mixed(j);
}

Digest genomeDigest(const Genome& genome, size_t n) {
    Digest d = digestZero(n);
    // The levels in the order genomeSortByName gives, without copying names.
    std::vector<size_t> order(genome.names.size());
    for (size_t i = 0; i < order.size(); i++) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return genomeNameLess(genome.names[a], genome.names[b]);
    });
    size_t m = order.size();
    for (size_t i = 0; i < m; i++) {
        size_t ib = (i + 3) % m;
        size_t ic = (ib + 2) % m;
        auto a = static_cast<uint32_t>(genome.levels[order[i]]);
        auto b = static_cast<uint32_t>(genome.levels[order[ib]]);
        auto c = static_cast<uint32_t>(genome.levels[order[ic]]);
        digestMulSmall(d, 13);
        digestAdd32(d, a + a * b * c + b + c);
    }
    return d;
}

Digest numberDigest(double x, int decimals, size_t n, int64_t multiplier) {
    // Beyond a few hundred decimals the rounded value is not a number any more
    // and prints the same whatever the precision, so a cap changes nothing.
    int shown = decimals < 0 ? 0 : (decimals > 400 ? 400 : decimals);
    char buffer[800];
    int length = std::snprintf(buffer, sizeof buffer, "%.*f", shown, roundTo(x, decimals));
    if (length < 0) length = 0;
    if (length >= static_cast<int>(sizeof buffer)) length = sizeof buffer - 1;
    Digest d = digestZero(n);
    auto m = static_cast<uint32_t>(multiplier);
    for (int k = length - 2; k >= 0; k--) {
        digestMulSmall(d, m);
        auto c0 = static_cast<uint32_t>(static_cast<unsigned char>(buffer[k]));
        auto c1 = static_cast<uint32_t>(static_cast<unsigned char>(buffer[k + 1]));
        digestAdd32(d, (c0 + 1) * c1);
    }
    return d;
}
