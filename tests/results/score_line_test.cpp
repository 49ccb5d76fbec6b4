#include <gtest/gtest.h>

#include "results/record.hpp"
#include "results/score_line.hpp"

namespace {

Genome sampleGenome() {
    return genomeFromText("bfield=042;len=999;#runs=3;", true);
}

}  // namespace

TEST(ScoreLine, FormatsEveryFieldInOrder) {
    ScoreLineFields fields{"v4.44d", "latticename", ""};
    std::string seenGenome, seenScore;
    ChecksumFunction sum = [&](const std::string& g, const std::string& s) {
        seenGenome = g;
        seenScore = s;
        return Digest{0x67, 0x45, 0x23, 0x01};
    };
    ResultRecord r =
        formatScoreLine(sampleGenome(), 12.3456784, 1234.54, fields, sum, kProgramFormat);
    EXPECT_EQ(r.genomeLine, "bfield=042;len=999;#runs=3;");
    EXPECT_EQ(r.scoreLine, "12.345678 (1234.5 Mpts) [v4.44d] <latticename> {01234567} ");
    EXPECT_DOUBLE_EQ(r.score, 12.345678);
    // The checksum covers the fields before it.
    EXPECT_EQ(seenGenome, r.genomeLine);
    EXPECT_EQ(seenScore, "12.345678 (1234.5 Mpts) [v4.44d] <latticename>");

    ResultRecord bare =
        formatScoreLine(sampleGenome(), 1, 2, {}, nullptr, ResultFormat{3, 2, 0, ""});
    EXPECT_EQ(bare.scoreLine, "1.00");
}

TEST(ScoreLine, ChecksumAndListVariants) {
    ScoreLineFields fields{"v4.44d", "x", ""};
    ResultRecord big = formatScoreLineWithChecksum(sampleGenome(), 2e80, 1, fields,
                                                   Digest{0xAB, 0x01}, kProgramFormat);
    EXPECT_EQ(big.scoreLine, "0.000000 (1.0 Mpts) [v4.44d] <x> {01AB} ");
    EXPECT_EQ(big.score, 0);
    ResultRecord none =
        formatScoreLineWithChecksum(sampleGenome(), -3, 1, fields, std::nullopt, kProgramFormat);
    EXPECT_EQ(none.scoreLine, "-3.000000 (1.0 Mpts) [v4.44d] <x> ");

    ResultRecord list =
        formatScoreLineList(sampleGenome(), {1.5, 2.25, -3}, 7, fields, nullptr, kProgramFormat);
    EXPECT_EQ(list.scoreLine, "1.500000,2.250000,-3.000000 (7.0 Mpts) [v4.44d] <x> ");
    EXPECT_DOUBLE_EQ(list.score, 1.5);
    EXPECT_EQ(readScoreList(list.scoreLine), (std::vector<double>{1.5, 2.25, -3}));
}

TEST(ScoreLine, RoundToUsesDecimalSteps) {
    EXPECT_DOUBLE_EQ(roundTo(2.345, 0), 2);
    EXPECT_DOUBLE_EQ(roundTo(2.5, 0), 3);
    EXPECT_DOUBLE_EQ(roundTo(-2.5, 0), -2);  // floor(x + 0.5)
    EXPECT_NEAR(roundTo(1.23456, 2), 1.23, 1e-12);
    EXPECT_NEAR(roundTo(1.23556, 2), 1.24, 1e-12);
    EXPECT_DOUBLE_EQ(tenthPower(3), 0.1 * 0.1 * 0.1);
}

TEST(ScoreLine, ReadFormatSniffsDigitsDecimalsAndUnit) {
    ResultFormat f = readFormat("#runs=12345;a=0042;b=1;", "12.3456 (99.25\tMpts) [v4.44d]");
    EXPECT_EQ(f.genomeDigits, 4);
    EXPECT_EQ(f.scoreDecimals, 4);
    EXPECT_EQ(f.extraDecimals, 2);
    EXPECT_EQ(f.extraUnit, "Mpts");

    ResultFormat plain = readFormat("#runs=1;", "12");
    EXPECT_EQ(plain.genomeDigits, 3);
    EXPECT_EQ(plain.scoreDecimals, 0);
    EXPECT_EQ(plain.extraDecimals, 0);
    EXPECT_EQ(plain.extraUnit, "");

    ResultFormat noUnit = readFormat("a=1;", "1.5 (2.0 ) x");
    EXPECT_EQ(noUnit.extraDecimals, 1);
    EXPECT_EQ(noUnit.extraUnit, "");
    EXPECT_EQ(readFormat("", "1.5 (2.0 my_unit-2)").extraUnit, "my_unit-2");
}

TEST(ScoreLine, ScoreListAndTrimmedMean) {
    EXPECT_TRUE(readScoreList("TEST 1.5").empty());
    EXPECT_EQ(readScoreList("-1.5,2 (3.0 Mpts)"), (std::vector<double>{-1.5, 2}));
    EXPECT_EQ(readScoreList("1,,2"), (std::vector<double>{1, 0, 2}));
    EXPECT_EQ(readScoreList("7,"), (std::vector<double>{7, 0}));

    ResultFormat f{3, 6, 1, "Mpts"};
    EXPECT_DOUBLE_EQ(trimmedMean({5, 1, 4, 2, 3}, f), 3);
    EXPECT_DOUBLE_EQ(trimmedMean({1, 2, 100, 4}, f), 26.75);  // fewer than 5: nothing dropped
    EXPECT_DOUBLE_EQ(trimmedMean({10, 1, 1, 1, 1, 1, 1, 1, 1, -50}, f), 1);  // k = 2
    EXPECT_NEAR(trimmedMean({1, 2}, ResultFormat{3, 0, 0, ""}), 2, 0);       // 1.5 rounds up
    EXPECT_EQ(trimmedMean({}, f), 0);
}

TEST(ScoreLine, ReadsExtraVersionLatticeAndChecksum) {
    std::string line = "1.5 (1234.5 Mpts) [v4.44d] <Lat1> {0A0B0C}";
    EXPECT_DOUBLE_EQ(readExtra(line), 1234.5);
    EXPECT_EQ(readExtra("1.5 [v4.44d]"), 0);
    EXPECT_FLOAT_EQ(readVersion(line), 4.44f);
    EXPECT_EQ(readVersion("1.5 (2.0 Mpts)"), 0);
    EXPECT_EQ(readLattice(line), "Lat1");
    EXPECT_EQ(readLattice("1 <x"), std::nullopt);
    EXPECT_EQ(readLattice("1 <>"), std::nullopt);  // ">" must be two past "<"
    EXPECT_EQ(readLattice("1 <>>"), ">");
    EXPECT_EQ(readChecksum(line), (Digest{0x0C, 0x0B, 0x0A}));
    EXPECT_TRUE(readChecksum("1.5 {").empty());
    EXPECT_TRUE(readChecksum("1.5").empty());
    EXPECT_EQ(readChecksum("{ABC}"), (Digest{0xAB}));  // odd digit ignored
}

TEST(ScoreLine, LatticeMatching) {
    EXPECT_TRUE(latticeMatches("1 <Lat1>", std::string("LAT1")));
    EXPECT_FALSE(latticeMatches("1 <Lat1>", std::string("Lat2")));
    EXPECT_FALSE(latticeMatches("1 <Lat1>", std::nullopt));
    EXPECT_FALSE(latticeMatches("1 [v4.44d]", std::string("Lat1")));
    EXPECT_FALSE(latticeMatches("1 [v4.44d]", std::nullopt));
    EXPECT_TRUE(latticeMatches("1 <Lat1", std::nullopt));
    EXPECT_FALSE(latticeMatches("1 <Lat1", std::string("Lat1")));
}

TEST(ScoreLine, ChecksumHexIsUpperCaseLastByteFirst) {
    Digest d{0x01, 0xAB, 0xF0};
    EXPECT_EQ(checksumToHex(d), "F0AB01");
    EXPECT_EQ(checksumFromHex("F0AB01"), d);
    // Only the first digit of a pair reads lower case; a lower-case second
    // digit decodes to something else, so such a checksum never matches.
    EXPECT_EQ(checksumFromHex("f0"), (Digest{0xF0}));
    EXPECT_NE(checksumFromHex("0f"), (Digest{0x0F}));
    EXPECT_NE(checksumFromHex("f0ab01"), d);
}

TEST(ScoreLine, SameResultComparesToPrintedPrecision) {
    ResultRecord a{"a=001;#runs=2;", "1.000000 (10.0 Mpts) [v4.44d] <L>", 1.0};
    ResultRecord b{"#runs=2;A=001;", "1.0000004 (10.04 Mpts) [v4.44d] <l> {00}", 1.0000004};
    b.scoreLine = "1.000000 (10.0 Mpts) [v4.44c] <l> {00}";
    EXPECT_TRUE(sameResult(a, b));  // version and checksum are not compared
    ResultRecord c = a;
    c.score = 1.000001;
    EXPECT_FALSE(sameResult(a, c));
    ResultRecord d = a;
    d.scoreLine = "1.000000 (10.1 Mpts) [v4.44d] <L>";
    EXPECT_FALSE(sameResult(a, d));
    ResultRecord e = a;
    e.genomeLine = "a=001;#runs=3;";
    EXPECT_FALSE(sameResult(a, e));
    ResultRecord f = a;
    f.scoreLine = "1.000000 (10.0 Mpts) [v4.44d]";
    EXPECT_FALSE(sameResult(a, f));
    ResultRecord g = a;
    g.scoreLine = "1.00000 (10.0 Mpts) [v4.44d] <L>";
    EXPECT_FALSE(sameResult(a, g));  // different decimals
}
