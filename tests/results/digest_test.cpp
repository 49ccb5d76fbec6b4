// Expected digests below were computed with an independent script written
// from the description of the arithmetic, not with this code.
#include <gtest/gtest.h>

#include <set>

#include "results/checksum.hpp"
#include "results/score_line.hpp"
#include "results/text_results.hpp"
#include "results_fixture.hpp"
#include "store/digest.hpp"

namespace {

const char kLattice[] = "beamline demo {\r\n  drift len=1m file=\"map1\"\r\n}\r\n";
const char kData[] = "1 2 3\n4 5 6\n";
const char kGenome[] = "alpha=012;beta=345;gamma=678;#runs=2;";

std::string scoreLine(const char* version) {
    return std::string("12.345678 (1234.5 Mpts) [") + version + "] <demo>";
}

void writeDemo(const InScratchFolder& f, bool withData) {
    f.write("lattices/demo.txt", kLattice);
    f.write("datafiles/map1", kData);
    if (withData) {
        setLatticeDataFilesProvider([](const std::string&) {
            return std::optional<std::vector<std::string>>(std::vector<std::string>{"map1"});
        });
    }
}

}  // namespace

TEST(Digest, AddAndMultiplyAreLittleEndianArithmetic) {
    Digest d = digestZero(2);
    digestAdd32(d, 0x1234);
    EXPECT_EQ(d, (Digest{0x34, 0x12}));
    digestAdd32(d, 0xFFFF);  // carry out of the top byte is lost
    EXPECT_EQ(d, (Digest{0x33, 0x12}));
    Digest m{0xFF, 0x00, 0x01};
    digestMulSmall(m, 2);
    EXPECT_EQ(m, (Digest{0xFE, 0x01, 0x02}));
    // The running carry wraps at 32 bits: adding 2^32 - 1 to 255 in 8 bytes
    // does not give the true sum.
    Digest q{0xFF, 0, 0, 0, 0, 0, 0, 0};
    digestAdd32(q, 0xFFFFFFFFu);
    EXPECT_EQ(q, (Digest{0xFE, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(Digest, XorKeepsTheLongerDigest) {
    EXPECT_EQ(digestXor(Digest{1, 2, 3}, Digest{0xFF}), (Digest{0xFE, 2, 3}));
    EXPECT_EQ(digestXor(Digest{0xFF}, Digest{1, 2, 3}), (Digest{0xFE, 2, 3}));
    EXPECT_EQ(digestXor(Digest{1, 2}, Digest{}), (Digest{1, 2}));
}

TEST(Digest, MixingTableIsTheFixedPermutation) {
    EXPECT_EQ(digestMixEntry(13, 31), 0);  // first cell of the recurrence
    EXPECT_EQ(digestMixEntry(187, 196), 1);
    EXPECT_EQ(digestMixEntry(0, 0), 55952);
    EXPECT_EQ(digestMixEntry(255, 255), 55904);
    EXPECT_EQ(digestMixEntry(48, 57), 26092);
    std::set<uint16_t> seen;
    for (int r = 0; r < 256; r++) {
        for (int c = 0; c < 256; c++) {
            seen.insert(digestMixEntry(static_cast<uint8_t>(r), static_cast<uint8_t>(c)));
        }
    }
    EXPECT_EQ(seen.size(), 65536u);
}

TEST(Digest, MixScramblesAllButOneByteDigests) {
    Digest one{0x42};
    digestMix(one);
    EXPECT_EQ(one, (Digest{0x42}));
    Digest d(12);
    for (uint8_t i = 0; i < 12; i++) d[i] = i;
    digestMix(d);
    EXPECT_EQ(checksumToHex(d), "207B606BF098AB83527846ED");
}

TEST(Digest, NumberDigestOfOneCharacterIsZero) {
    EXPECT_EQ(numberDigest(5, 0, 4, 13), digestZero(4));
    EXPECT_NE(numberDigest(5.25, 2, 4, 13), numberDigest(5.26, 2, 4, 13));
    EXPECT_EQ(numberDigest(5.254, 2, 4, 13), numberDigest(5.249, 2, 4, 13));  // rounded first
}

TEST(Digest, ContentDigestSkipsBlanksAndHighBytesAndMatchesSlowPath) {
    Digest a = digestZero(12);
    digestFeedContent(a, "a b\r\nc\xC3\xA9");
    Digest b = digestZero(12);
    digestFeedContent(b, "abc");
    EXPECT_EQ(a, b);
    // The wide-integer path against the byte-by-byte definition, in pieces.
    std::string text;
    for (int i = 0; i < 5000; i++) text += static_cast<char>(33 + (i * 7919) % 95);
    for (size_t n : {size_t{1}, size_t{4}, size_t{12}, size_t{16}, size_t{20}}) {
        Digest fast = digestZero(n);
        digestFeedContent(fast, std::string_view(text).substr(0, 2500));
        digestFeedContent(fast, std::string_view(text).substr(2500));
        Digest slow = digestZero(n);
        for (char c : text) {
            digestMulSmall(slow, 13);
            digestAdd32(slow, static_cast<unsigned char>(c));
        }
        EXPECT_EQ(fast, slow) << n;
    }
}

TEST(Digest, GenomeDigestIgnoresEntryOrder) {
    Genome a = genomeFromText("b=2;a=1;c=3;d=4;", true);
    Genome b = genomeFromText("d=4;c=3;a=1;b=2;", true);
    EXPECT_EQ(genomeDigest(a, 12), genomeDigest(b, 12));
    genomeSet(b, "d", 5);
    EXPECT_NE(genomeDigest(a, 12), genomeDigest(b, 12));
    EXPECT_EQ(genomeDigest(Genome{}, 4), digestZero(4));
}

TEST(RecordChecksum, CurrentSchemeMatchesReference) {
    InScratchFolder f;
    MessageRecorder messages;
    writeDemo(f, true);
    EXPECT_EQ(checksumToHex(recordChecksum(kGenome, scoreLine("v4.44d"))),
              "09FE6D29DAB1870723814AAB");
    resetLatticeDataFilesProvider();
    EXPECT_EQ(checksumToHex(recordChecksum(kGenome, scoreLine("v4.44d"))),
              "8E396FD773075D101E6D2EB8");
}

TEST(RecordChecksum, VersionBands) {
    InScratchFolder f;
    MessageRecorder messages;
    writeDemo(f, true);
    // 4.0 up to 4.22 (4.22 itself reads as 4.2199998): one fixed value.
    Digest fixed = recordChecksum(kGenome, scoreLine("v4.1"));
    EXPECT_EQ(checksumToHex(fixed), "5E3A91C7");
    EXPECT_EQ(recordChecksum("x=001;", "1.0 [v4.22]"), fixed);
    // Below 4.4: 4 bytes over the lattice file only.
    EXPECT_EQ(checksumToHex(recordChecksum(kGenome, scoreLine("v4.3"))), "9D1E34C9");
    EXPECT_EQ(recordChecksum(kGenome, scoreLine("v3.9")).size(), 4u);
    // 4.4 and 4.41 (4.4099998) use the unmixed 12-byte scheme with data files.
    EXPECT_EQ(checksumToHex(recordChecksum(kGenome, scoreLine("v4.41"))),
              "779B885207741775B3CDA2DA");
    EXPECT_EQ(recordChecksum(kGenome, scoreLine("v4.4")),
              recordChecksum(kGenome, scoreLine("v4.41")));
    // 4.42 (4.4200001) is the current scheme.
    EXPECT_EQ(recordChecksum(kGenome, scoreLine("v4.42")),
              recordChecksum(kGenome, scoreLine("v4.44d")));
}

TEST(RecordChecksum, CoversScoreWorkGenomeAndFiles) {
    InScratchFolder f;
    MessageRecorder messages;
    writeDemo(f, true);
    Digest base = recordChecksum(kGenome, scoreLine("v4.44d"));
    EXPECT_NE(recordChecksum(kGenome, "12.345679 (1234.5 Mpts) [v4.44d] <demo>"), base);
    EXPECT_NE(recordChecksum(kGenome, "12.345678 (1234.6 Mpts) [v4.44d] <demo>"), base);
    EXPECT_NE(recordChecksum("alpha=012;beta=345;gamma=678;#runs=3;", scoreLine("v4.44d")), base);
    // The trailing text and anything after the lattice do not count.
    EXPECT_EQ(recordChecksum(kGenome, scoreLine("v4.44d") + " {00} note"), base);
    f.write("datafiles/map1", "1 2 3\n4 5 7\n");
    EXPECT_NE(recordChecksum(kGenome, scoreLine("v4.44d")), base);
    f.write("datafiles/map1", "1 2 3\r\n4 5 6\r\n");  // line ends do not count
    EXPECT_EQ(recordChecksum(kGenome, scoreLine("v4.44d")), base);
}
