#include <gtest/gtest.h>

#include <cstdio>

#include "model/genome.hpp"

TEST(Genome, SetClampsParametersButNotMetadata) {
    Genome g;
    genomeInit(g);
    genomeSet(g, "Foo", 1500);
    genomeSet(g, "bar", -4);
    genomeSet(g, "#runs", 1500);
    EXPECT_EQ(g.names[0], "foo");
    EXPECT_EQ(genomeGet(g, "FOO"), 999);
    EXPECT_EQ(genomeGet(g, "bar"), 0);
    EXPECT_EQ(genomeGet(g, "#RUNS"), 1500);
    EXPECT_EQ(genomeGet(g, "absent"), -1);
    genomeSet(g, "foo", 5);  // replaces, does not append
    EXPECT_EQ(g.count(), 3);
    EXPECT_EQ(genomeGet(g, "foo"), 5);
}

TEST(Genome, TextFormKeepsOrderAndPadsParameterLevels) {
    Genome g;
    genomeInit(g);
    genomeAdd(g, "len", 7);
    genomeAdd(g, "#queued", 1);
    EXPECT_EQ(genomeToText(g), "len=007;#queued=1;");

    Genome parsed = genomeFromText("a=1234;#runs=12;b=5", false);
    ASSERT_EQ(parsed.count(), 1);  // "b=5" lacks its ";", #runs is metadata
    EXPECT_EQ(genomeGet(parsed, "a"), 999);
    Genome withMeta = genomeFromText("a=1234;#runs=12;b=5", true);
    EXPECT_EQ(genomeGet(withMeta, "#runs"), 12);

    // Duplicates are kept; a token without "=" is ignored; the name runs to
    // the last "=".
    Genome odd = genomeFromText("x=1;x=2;junk;p=q=3;", true);
    ASSERT_EQ(odd.count(), 3);
    EXPECT_EQ(odd.names[2], "p=q");
    EXPECT_EQ(genomeGet(odd, "x"), 2);
}

TEST(Genome, RemoveMovesLastEntryIntoTheHole) {
    Genome g = genomeFromText("a=1;b=2;c=3;d=4;", true);
    genomeRemove(g, "B");
    EXPECT_EQ(genomeToText(g), "a=001;d=004;c=003;");
    genomeRemove(g, "zz");
    EXPECT_EQ(g.count(), 3);
    Genome m = genomeFromText("#gen=1;a=1;#runs=2;b=2;", true);
    genomeDropMeta(m);
    EXPECT_EQ(genomeToText(m), "b=002;a=001;");
}

TEST(Genome, RealDrawsMissingLevelOnceAndMapsRange) {
    Genome g;
    genomeInit(g);
    setMissingLevelRule([](std::string_view, const Genome&) { return 999; });
    EXPECT_DOUBLE_EQ(genomeReal(g, "x", -1, 1), 1.0);
    EXPECT_EQ(g.count(), 1);
    setMissingLevelRule([](std::string_view, const Genome&) { return 0; });
    EXPECT_DOUBLE_EQ(genomeReal(g, "X", -1, 1), 1.0);  // present now: no new draw
    EXPECT_EQ(g.count(), 1);
    resetMissingLevelRule();
    Genome fresh;
    genomeInit(fresh);
    double v = genomeReal(fresh, "y", 0, 999);
    EXPECT_EQ(fresh.count(), 1);
    EXPECT_GE(genomeGet(fresh, "y"), 0);
    EXPECT_LE(genomeGet(fresh, "y"), 999);
    EXPECT_DOUBLE_EQ(v, genomeGet(fresh, "y"));
}

TEST(Genome, SortEqualAndBinaryRoundTrip) {
    Genome a = genomeFromText("b=2;A=1;#runs=3;", true);
    genomeSortByName(a);
    EXPECT_EQ(genomeToText(a), "#runs=3;a=001;b=002;");
    Genome b = genomeFromText("a=1;#runs=3;b=2;", true);
    EXPECT_TRUE(genomeEqual(a, b));
    genomeSet(b, "b", 3);
    EXPECT_FALSE(genomeEqual(a, b));
    EXPECT_FALSE(genomeEqual(a, genomeFromText("a=1;b=2;", true)));

    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(genomeWriteBinary(a, f));
    std::rewind(f);
    Genome back;
    genomeInit(back);
    ASSERT_TRUE(genomeReadBinary(back, f));
    EXPECT_EQ(genomeToText(back), genomeToText(a));
    // A damaged count is refused instead of read as a huge genome.
    std::rewind(f);
    const unsigned char huge[4] = {0xFF, 0xFF, 0xFF, 0x7F};
    std::fwrite(huge, 1, 4, f);
    std::rewind(f);
    Genome damaged;
    genomeInit(damaged);
    EXPECT_FALSE(genomeReadBinary(damaged, f));
    std::fclose(f);
}

TEST(Genome, TextFormOfUnusualLevelsMatchesPrintf) {
    Genome g;
    genomeInit(g);
    genomeAdd(g, "a", 0);
    genomeAdd(g, "b", -7);  // only reachable through genomeAdd
    genomeAdd(g, "c", 123456);
    genomeAdd(g, "#m", -5);
    genomeAdd(g, "#n", 0);
    genomeAdd(g, "#big", 2147483647);
    EXPECT_EQ(genomeToText(g), "a=000;b=-07;c=123456;#m=-5;#n=0;#big=2147483647;");
    g.digits = 0;
    EXPECT_EQ(genomeToText(g).substr(0, 4), "a=0;");
}

TEST(Genome, LevelsReadLikePercentD) {
    Genome g =
        genomeFromText("#a= 12;#b=-3;#c=+4;#d=99999999999;#e=-99999999999;#f=x;#g=7z;", true);
    EXPECT_EQ(genomeToText(g), "#a=12;#b=-3;#c=4;#d=2147483647;#e=-2147483648;#f=0;#g=7;");
}
