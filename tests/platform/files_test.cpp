#include "platform/files.hpp"

#include <gtest/gtest.h>

#include "support/test_support.hpp"

TEST(Files, NamesAreFoundIgnoringCaseOnlyWhenTheExactOneIsMissing) {
    ScratchFolder dir;
    dir.write("Lattices/Alpha.TXT", "a");
    dir.write("lattices2/alpha.txt", "b");
    EXPECT_EQ(findFileNoCase(dir.file("lattices/alpha.txt")), dir.file("Lattices/Alpha.TXT"));
    EXPECT_EQ(findFileNoCase(dir.file("lattices2/alpha.txt")), dir.file("lattices2/alpha.txt"));
    EXPECT_EQ(findFileNoCase(dir.file("lattices/beta.txt")), dir.file("lattices/beta.txt"));
}

TEST(Files, AtomicReplacementLeavesOnlyTheNewFile) {
    ScratchFolder dir;
    dir.write("f.txt", "old contents that are longer");
    EXPECT_TRUE(writeFileAtomic(dir.file("f.txt"), "new"));
    EXPECT_EQ(dir.read("f.txt"), "new");
    EXPECT_EQ(listFolder(dir.path(), false), std::vector<std::string>{"f.txt"});
    // A target that cannot be replaced leaves no temporary file behind.
    makeDirectory(dir.file("d"));
    EXPECT_FALSE(writeFileAtomic(dir.file("d"), "x"));
    EXPECT_EQ(listFolder(dir.path(), false), (std::vector<std::string>{"d", "f.txt"}));
    EXPECT_FALSE(writeFileAtomic(dir.file("missing/f.txt"), "x"));
}

TEST(Files, ReadingRefusesFilesBeyondTheLimit) {
    ScratchFolder dir;
    dir.write("big", std::string(1000, 'x'));
    std::string out;
    EXPECT_EQ(readWholeFile(dir.file("big"), out, 999), ReadStatus::TooLarge);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(readWholeFile(dir.file("big"), out, 1000), ReadStatus::Ok);
    EXPECT_EQ(out.size(), 1000u);
    EXPECT_EQ(readWholeFile(dir.file("none"), out), ReadStatus::Missing);
    EXPECT_EQ(fileSize(dir.file("big")), 1000);
    EXPECT_EQ(fileModTime(dir.file("none")), -1);
    EXPECT_TRUE(appendToFile(dir.file("log"), "a"));
    EXPECT_TRUE(appendToFile(dir.file("log"), "b"));
    EXPECT_EQ(dir.read("log"), "ab");
}

TEST(Files, OutsideNamesMustStayInsideTheProgramFolder) {
    EXPECT_TRUE(isSafeRelativePath("datafiles/map1.txt"));
    EXPECT_TRUE(isSafeFileName("alpha.txt"));
    for (const char* bad :
         {"", "/etc/passwd", "../x", "a/../b", "a//b", "a/", "\\x", "c:x", "a\nb", "./a"}) {
        EXPECT_FALSE(isSafeRelativePath(bad)) << bad;
    }
    EXPECT_FALSE(isSafeFileName("datafiles/map1.txt"));
    EXPECT_FALSE(isSafeFileName("a\\b"));
}
