#include "platform/file_faults.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/files.hpp"
#include "support/fault_loop.hpp"
#include "support/test_support.hpp"

namespace {

const std::string kOld = "old contents, longer than the new ones\n";
const std::string kNew = "new contents\n";

}  // namespace

// Also the guard against a rewrite in place: a failed write would then leave
// part of the new contents in the file, and a failed open an empty file.
TEST(FileFaults, AtomicReplacementLeavesOldOrNewAtEveryFailure) {
    ScratchFolder dir;
    std::string f = dir.file("f.txt");
    int64_t steps = forEachFileFault(
        [&] { dir.write("f.txt", kOld); }, [&] { writeFileAtomic(f, kNew); },
        [&](int64_t n, bool fired) {
            std::string now = dir.read("f.txt");
            EXPECT_TRUE(now == kOld || now == kNew) << n << ": " << now;
            if (!fired) {
                EXPECT_EQ(now, kNew);
            }
            // No temporary is left after a failure.
            EXPECT_EQ(listFolder(dir.path(), false), std::vector<std::string>{"f.txt"}) << n;
        });
    EXPECT_GE(steps, 4);  // open, write, fsync, rename
}

TEST(FileFaults, FailedAppendIsTakenBack) {
    ScratchFolder dir;
    std::string f = dir.file("log");
    forEachFileFault([&] { dir.write("log", kOld); },
                     [&] {
                         bool ok = appendToFile(f, kNew);
                         EXPECT_EQ(ok, !fileFaultsFired());
                     },
                     [&](int64_t n, bool fired) {
                         EXPECT_EQ(dir.read("log"), fired ? kOld : kOld + kNew) << n;
                     });
}

TEST(FileFaults, PersistentFailureAndCounting) {
    ScratchFolder dir;
    FileFaultGuard guard;
    fileFaultsArm(2, true);
    EXPECT_FALSE(appendToFile(dir.file("a"), "x"));  // step 1 opens, step 2 writes and fails
    EXPECT_TRUE(fileFaultsFired());
    EXPECT_EQ(fileFaultsSteps(), 2);
    EXPECT_EQ(dir.read("a"), "");
    EXPECT_FALSE(appendToFile(dir.file("a"), "y"));  // every later step fails too
    fileFaultsDisarm();
    EXPECT_TRUE(appendToFile(dir.file("a"), "z"));
    EXPECT_EQ(dir.read("a"), "z");
}

TEST(Files, StaleTemporaryOfAKilledWriterIsReplaced) {
    ScratchFolder dir;
    dir.write("out.bin", "old");
    dir.write("out.bin.tmp", std::string(5000, 'x'));  // left by a writer killed mid-way
    EXPECT_TRUE(writeFileAtomic(dir.file("out.bin"), "new"));
    EXPECT_EQ(dir.read("out.bin"), "new");
    EXPECT_EQ(listFolder(dir.path(), false), std::vector<std::string>{"out.bin"});
}

TEST(Files, TemporaryInUseByAnotherWriterIsLeftToIt) {
    ScratchFolder dir;
    dir.write("out.bin", "old");
    dir.write("out.bin.tmp", "being written");
    int other = ::open(dir.file("out.bin.tmp").c_str(), O_RDWR);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    EXPECT_TRUE(writeFileAtomic(dir.file("out.bin"), "new"));
    EXPECT_EQ(dir.read("out.bin"), "new");
    EXPECT_EQ(dir.read("out.bin.tmp"), "being written");
    EXPECT_EQ(listFolder(dir.path(), false), (std::vector<std::string>{"out.bin", "out.bin.tmp"}));
    ::close(other);
}

TEST(Files, ReplacementKeepsPermissions) {
    namespace fs = std::filesystem;
    ScratchFolder dir;
    dir.write("config.txt", "a");
    fs::permissions(dir.file("config.txt"), fs::perms::owner_read | fs::perms::group_read);
    EXPECT_TRUE(writeFileAtomic(dir.file("config.txt"), "b"));
    EXPECT_EQ(dir.read("config.txt"), "b");
    EXPECT_EQ(fs::status(dir.file("config.txt")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read);
}

TEST(Files, FifoIsRefusedWithoutWaiting) {
    ScratchFolder dir;
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    std::string out;
    EXPECT_EQ(readWholeFile(dir.file("pipe"), out), ReadStatus::Failed);
    EXPECT_FALSE(isRegularFile(dir.file("pipe")));
    EXPECT_FALSE(isRegularFile(dir.path()));
    dir.write("plain", "x");
    EXPECT_TRUE(isRegularFile(dir.file("plain")));
}
