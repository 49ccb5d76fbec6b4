#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>

#include "app/settings.hpp"
#include "lattice/latticedir.hpp"
#include "results/results_fixture.hpp"

namespace {

void writeLattices(const InScratchFolder& f) {
    f.write("lattices/alpha.txt", "a");
    f.write("lattices/Beta.TXT", "b");
    f.write("lattices/_draft.txt", "d");
    f.write("lattices/notes.md", "n");
    f.write("lattices/folder.txt/inner.txt", "x");
}

struct PreferredSetting {
    explicit PreferredSetting(const std::string& value) : saved(settings.preferredLattices) {
        settings.preferredLattices = value;
    }
    ~PreferredSetting() { settings.preferredLattices = saved; }
    std::string saved;
};

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
    {
        PreferredSetting p("none");
        EXPECT_EQ(preferredlattices().size(), 3u);
    }
    {
        PreferredSetting p("zeta,omega");
        EXPECT_EQ(preferredlattices().size(), 3u);
    }
    {
        PreferredSetting p("GAMMA, beta");
        // "alpha" goes and the last entry takes its place.
        EXPECT_EQ(preferredlattices(), (std::vector<std::string>{"Beta", "gamma"}));
    }
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
