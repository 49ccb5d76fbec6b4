// The -s switch of the built program, in a scratch program folder. Only the
// refusal is run here: a real send would go to the project's servers.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.hpp"

TEST(ManualSend, ShortResultsFileIsRefusedWithStatusOne) {
    ScratchFolder dir;
    std::filesystem::copy_file(PELTO_EXE, dir.file("pelto"));
    dir.write("user.txt", "Jo Smith");
    std::string records;
    for (int i = 0; i < 3; i++) {
        records += "a=10" + std::to_string(i) + ";\r\n0.5 (1.0 Mpts) [v4.44d] <ghost>\r\n";
    }
    dir.write("results.txt", records);
    CommandResult r = runCommand("cd / && '" + dir.file("pelto") + "' -s");
    EXPECT_EQ(r.status, 1) << r.output;
    // One clean line of its own, in the user's words.
    EXPECT_NE(r.output.find("\nNot sent: 'results.txt' is shorter than 10000 bytes and holds "
                            "fewer than 10 results; send it when more have come in"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("ManualSend"), std::string::npos) << r.output;
    // The log keeps what the console showed.
    EXPECT_NE(dir.read("pelto.log").find(" Not sent: 'results.txt' is shorter"), std::string::npos);
    EXPECT_EQ(dir.read("results.txt"), records);
    EXPECT_FALSE(std::filesystem::exists(dir.file("servers.csv")));
}
