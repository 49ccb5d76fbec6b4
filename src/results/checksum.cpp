#include "results/checksum.hpp"

#include "lattice/filecache.hpp"
#include "results/score_line.hpp"

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
    Digest l = latticeDigest(lattice, n, variant);
    if (v < 4.42) return digestXor(g, digestXor(s, digestXor(e, l)));
    Digest h = digestXor(mixed(e), mixed(l));
    Digest i = digestXor(mixed(s), mixed(h));
    Digest j = digestXor(mixed(g), mixed(i));
    return mixed(j);
}
