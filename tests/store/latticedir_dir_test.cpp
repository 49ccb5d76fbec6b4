#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>

#include "results/results_fixture.hpp"
#include "store/latticedir.hpp"

namespace {

void writeLattices(const InScratchFolder& f) {
    f.write("lattices/alpha.txt", "a");
    f.write("lattices/Beta.TXT", "b");
    f.write("lattices/_draft.txt", "d");
    f.write("lattices/notes.md", "n");
    f.write("lattices/folder.txt/inner.txt", "x");
}

}  // namespace

TEST(LatticeDir, ListsTextFilesButNotDraftsOrFolders) {
    InScratchFolder f;
    writeLattices(f);
    EXPECT_EQ(listlattices("lattices"), (std::vector<std::string>{"Beta", "alpha"}));
    EXPECT_TRUE(listlattices("absent").empty());
}

TEST(LatticeDir, PreferredLatticesFallBackToAll) {
    InScratchFolder f;
    writeLattices(f);
    f.write("lattices/gamma.txt", "g");
    EXPECT_EQ(preferredlattices("none").size(), 3u);
    EXPECT_EQ(preferredlattices("zeta,omega").size(), 3u);
    // "alpha" goes and the last entry takes its place.
    EXPECT_EQ(preferredlattices("GAMMA, beta"), (std::vector<std::string>{"Beta", "gamma"}));
}

TEST(LatticeDir, PresenceIsCachedUntilForgotten) {
    InScratchFolder f;
    writeLattices(f);
    EXPECT_TRUE(latticepresent(std::string("ALPHA")));
    EXPECT_TRUE(latticepresent(std::string("beta")));
    EXPECT_FALSE(latticepresent(std::string("_draft")));
    EXPECT_FALSE(latticepresent(std::string("notes")));
    EXPECT_FALSE(latticepresent(std::nullopt));
    f.write("lattices/late.txt", "l");
    EXPECT_FALSE(latticepresent(std::string("late")));
    forgetlatticelist();
    EXPECT_TRUE(latticepresent(std::string("late")));
}

TEST(LatticeDir, FileAgeInHours) {
    InScratchFolder f;
    f.write("old.txt", "x");
    namespace fs = std::filesystem;
    fs::path p = fs::path(f.folder().path()) / "old.txt";
    EXPECT_LT(fileagehours("old.txt"), 0.1f);
    fs::last_write_time(p, fs::last_write_time(p) - std::chrono::hours(30));
    EXPECT_NEAR(fileagehours("old.txt"), 30.0f, 0.1f);
    EXPECT_TRUE(std::isinf(fileagehours("absent.txt")));
}
