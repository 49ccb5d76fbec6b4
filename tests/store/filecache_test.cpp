#include <gtest/gtest.h>

#include "results/results_fixture.hpp"
#include "store/filecache.hpp"

namespace {

using Values = std::vector<std::string>;

Digest contentDigest(const std::string& text, size_t n) {
    Digest d = digestZero(n);
    digestFeedContent(d, text);
    return d;
}

// Counts how often the lattice had to be interpreted.
struct FakeInterpreter {
    explicit FakeInterpreter(std::optional<Values> values) {
        setLatticeDataFilesProvider([this, values](const std::string&) {
            calls++;
            return values;
        });
    }
    int calls = 0;
};

}  // namespace

TEST(FileCache, FileFoundUnderAnotherExtension) {
    InScratchFolder f;
    MessageRecorder messages;
    f.write("datafiles/map1.dat", "1 2 3");
    EXPECT_EQ(fileDigest("datafiles/map1", 12), contentDigest("123", 12));
    EXPECT_EQ(fileDigest("DataFiles/MAP1.DAT", 12), contentDigest("123", 12));  // any case
    EXPECT_TRUE(messages.output.empty());
}

TEST(FileCache, MissingOrUnsafeFileWarnsEachTimeAndGivesZero) {
    InScratchFolder f;
    MessageRecorder messages;
    messages.keys = {'y', 'y', 'y'};
    digestCaching = true;
    EXPECT_EQ(fileDigest("datafiles/none", 4), digestZero(4));
    EXPECT_EQ(fileDigest("datafiles/none", 4), digestZero(4));
    EXPECT_EQ(fileDigest("../outside", 4), digestZero(4));
    std::string warning = "[WARNING] File datafiles/none not found for filechecksum";
    size_t first = messages.output.find(warning);
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(messages.output.find(warning, first + 1), std::string::npos);
    EXPECT_NE(messages.output.find("File ../outside not found"), std::string::npos);
}

TEST(FileCache, CachingDecidesWhetherChangesAreSeen) {
    InScratchFolder f;
    MessageRecorder messages;
    f.write("datafiles/map", "abc");
    Digest before = fileDigest("datafiles/map", 12);
    f.write("datafiles/map", "abd");
    Digest after = fileDigest("datafiles/map", 12);
    EXPECT_NE(before, after);

    digestCaching = true;
    Digest cached = fileDigest("datafiles/map", 12);
    f.write("datafiles/map", "xyz");
    EXPECT_EQ(fileDigest("DATAFILES/map", 12), cached);
    EXPECT_EQ(fileDigest("datafiles/map", 4), contentDigest("xyz", 4));  // other size: not cached
    digestCaching = false;
    EXPECT_EQ(fileDigest("datafiles/map", 12), contentDigest("xyz", 12));
}

TEST(FileCache, LatticeDigestCombinesLatticeAndDataFiles) {
    InScratchFolder f;
    MessageRecorder messages;
    f.write("lattices/demo.txt", "beamline");
    f.write("datafiles/m1", "111");
    f.write("datafiles/sub/m2.txt", "222");
    FakeInterpreter fake(Values{"m1", "sub\\m2"});
    Digest expected = digestXor(digestXor(contentDigest("beamline", 12), contentDigest("111", 12)),
                                contentDigest("222", 12));
    EXPECT_EQ(latticeDigest(std::string("demo"), 12, DataFileVariant::A, {}), expected);
    EXPECT_EQ(latticeDigest(std::string("DEMO"), 12, DataFileVariant::B, {}), expected);
    EXPECT_EQ(latticeDigest(std::string("absent"), 12, DataFileVariant::A, {}), digestZero(12));
    EXPECT_EQ(latticeDigest(std::nullopt, 12, DataFileVariant::A, {}), digestZero(12));
    EXPECT_EQ(latticeDigest(std::string("../demo"), 12, DataFileVariant::A, {}), digestZero(12));
    EXPECT_EQ(fake.calls, 2);  // absent lattices are never interpreted
}

TEST(FileCache, LatticeWithoutBeamlineGivesZero) {
    InScratchFolder f;
    MessageRecorder messages;
    f.write("lattices/broken.txt", "beamline");
    FakeInterpreter fake(std::nullopt);
    EXPECT_EQ(latticeDigest(std::string("broken"), 12, DataFileVariant::B, {}), digestZero(12));
}

TEST(FileCache, SameDataFileTwiceCancelsInBothVariants) {
    InScratchFolder f;
    MessageRecorder messages;
    f.write("lattices/bend.txt", "beamline");
    f.write("datafiles/field", "9 9 9");
    FakeInterpreter fake(Values{"field", "FIELD"});
    Digest alone = contentDigest("beamline", 12);
    EXPECT_EQ(latticeDigest(std::string("bend"), 12, DataFileVariant::A, {}), alone);
    EXPECT_EQ(latticeDigest(std::string("bend"), 12, DataFileVariant::B, {}), alone);
}

TEST(FileCache, VariantBSkipsAValueEqualToAListedPath) {
    InScratchFolder f;
    MessageRecorder messages;
    f.write("lattices/odd.txt", "beamline");
    f.write("datafiles/map", "123");
    f.write("datafiles/datafiles/map", "456");
    // The second value equals the path the first one became.
    FakeInterpreter fake(Values{"map", "datafiles\\map"});
    Digest base = contentDigest("beamline", 12);
    EXPECT_EQ(latticeDigest(std::string("odd"), 12, DataFileVariant::B, {}),
              digestXor(base, contentDigest("123", 12)));
    EXPECT_EQ(latticeDigest(std::string("odd"), 12, DataFileVariant::A, {}),
              digestXor(digestXor(base, contentDigest("123", 12)), contentDigest("456", 12)));
}

TEST(FileCache, FileListIsCachedPerLatticeAndVariantWhileCaching) {
    InScratchFolder f;
    MessageRecorder messages;
    f.write("lattices/demo.txt", "beamline");
    f.write("datafiles/m1", "111");
    FakeInterpreter fake(Values{"m1"});
    digestCaching = true;
    Digest first = latticeDigest(std::string("demo"), 12, DataFileVariant::B, {});
    latticeDigest(std::string("Demo"), 12, DataFileVariant::B, {});
    latticeDigest(std::string("demo"), 4, DataFileVariant::B, {});
    EXPECT_EQ(fake.calls, 1);
    latticeDigest(std::string("demo"), 12, DataFileVariant::A, {});
    EXPECT_EQ(fake.calls, 2);
    f.write("datafiles/m1", "112");
    EXPECT_EQ(latticeDigest(std::string("demo"), 12, DataFileVariant::B, {}), first);
    digestCaching = false;
    EXPECT_NE(latticeDigest(std::string("demo"), 12, DataFileVariant::B, {}), first);
    EXPECT_EQ(fake.calls, 3);
}

TEST(FileCache, LatticeFileDigestForTheOldScheme) {
    InScratchFolder f;
    MessageRecorder messages;
    f.write("lattices/demo.txt", "beamline");
    EXPECT_TRUE(latticeFileDigest(std::nullopt, 4).empty());
    EXPECT_EQ(latticeFileDigest(std::string(""), 4), (Digest{0xC7, 0x91, 0x3A, 0x5E}));
    EXPECT_EQ(latticeFileDigest(std::string("demo"), 4), contentDigest("beamline", 4));
}
