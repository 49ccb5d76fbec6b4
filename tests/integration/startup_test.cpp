// Runs the built program in a scratch program folder, the way volunteers run it.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.hpp"
#include "support/test_support.hpp"

namespace {

struct Program : ::testing::Test {
    ScratchFolder dir;
    // No display server, whatever the tester's desktop: graphics mode must
    // then fall back to the console. A test may choose SDL's dummy display.
    std::string env = "env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER ";

    void SetUp() override { std::filesystem::copy_file(PELTO_EXE, dir.file("pelto")); }
    // These tests are about start-up: "-q" with an empty queue ends the
    // program right after it, and the proxy keeps the download checks of the
    // first cycle on this machine.
    static constexpr const char* kLocalProxy =
        "Use proxy server for HTTP downloads (server,port or 'no'): 127.0.0.1,9\n";
    // Runs pelto from another working folder: it must find its own.
    CommandResult run(const std::string& args, const std::string& input = "") {
        return runCommand("cd / && " + env + "'" + dir.file("pelto") + "' " + args, input);
    }
};

// The switch list exactly as the program prints it.
std::string helpText() {
    std::string text;
    EXPECT_EQ(readWholeFile(PELTO_TEST_DATA "/help.txt", text), ReadStatus::Ok);
    return text;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

}  // namespace

TEST_F(Program, HelpIsPrintedExactlyForAQuestionMarkAnywhere) {
    CommandResult r = run("'?'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, helpText());
    r = run("-c my?lattice");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, helpText());
}

TEST_F(Program, VersionPrintsAndWaitsForOneCharacter) {
    CommandResult r = run("-version; read rest; echo \"left:$rest\"", "xyz\n");
    EXPECT_EQ(r.output,
              "Pelto version identifier [v4.44d]\nPress any key to continue...\nleft:yz\n");
}

TEST_F(Program, StartsAndCreatesItsConfigurationInItsOwnFolder) {
    dir.write("user.txt", "volunteer  \n");
    dir.write("config.txt", std::string("Threads: 2\n") + kLocalProxy);
    CommandResult r = run("-c -q");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output.rfind("\nPelto initialising...\nHello, volunteer\n", 0), 0u) << r.output;
    std::vector<std::string> config = lines(dir.read("config.txt"));
    ASSERT_EQ(config.size(), 25u);  // every entry of a fresh file
    EXPECT_EQ(config[0], "Threads (number or 'auto'): 2");
    EXPECT_EQ(config[2], "Resolution (XxY or 'auto'): auto");
}

TEST_F(Program, GraphicsModeRunsAsConsoleWithANotice) {
    dir.write("config.txt", std::string("Auto-send results ([Y]es, [N]o): N\n") + kLocalProxy);
    CommandResult r = run("-q");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output.rfind("\nGraphics display is not available; running in console "
                             "mode\nPelto initialising...\nLoading",
                             0),
              0u)
        << r.output;
}

TEST_F(Program, GraphicsModeOpensAWindowWhereADisplayExists) {
    dir.write("config.txt",
              std::string("Auto-send results ([Y]es, [N]o): N\nResolution (XxY or 'auto'): "
                          "640x480\n") +
                  kLocalProxy);
    env = "env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=dummy ";
    CommandResult r = run("-q");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output.rfind("\nPelto initialising...\nLoading", 0), 0u) << r.output;
}

TEST_F(Program, ConfigurationSetsChangeExactlyThreeEntries) {
    dir.write("config.txt",
              "Auto-send results ([Y]es, [N]o): N\n"
              "Update lattice files from web every N hours (0=don't): 0\n"
              "My note: stays\n" +
                  std::string(kLocalProxy));
    ASSERT_EQ(run("-b -q").status, 0);
    std::vector<std::string> before = lines(dir.read("config.txt"));

    CommandResult r = run("-cfg:net");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(
        r.output,
        "\nApplying predefined configuration settings...\nConfiguration set for always-online "
        "computer");
    std::vector<std::string> after = lines(dir.read("config.txt"));
    ASSERT_EQ(after.size(), before.size() + 1);
    size_t changed = 0;
    for (size_t i = 0; i < before.size(); i++) changed += before[i] != after[i];
    EXPECT_EQ(changed, 2u);
    EXPECT_EQ(after[0], "Auto-send results ([Y]es, [N]o): Y");
    EXPECT_EQ(after[1], "Update lattice files from web every N hours (0=don't): 12");
    EXPECT_EQ(after.back(), "Download sample results file after a number of days (0=don't): 3");

    // The next start turns the day count into hours.
    dir.write("user.txt", "someone");
    ASSERT_EQ(run("-b -q").status, 0);
    std::string text = dir.read("config.txt");
    EXPECT_EQ(text.find("number of days"), std::string::npos);
    EXPECT_NE(text.find("number of hours (0=don't, min. 6): 24\n"), std::string::npos);

    r = run("-cfg:NONET");
    EXPECT_EQ(r.status, 0);
    text = dir.read("config.txt");
    EXPECT_NE(text.find("Auto-send results ([Y]es, [N]o): N\n"), std::string::npos);
    EXPECT_NE(text.find("number of days (0=don't): 0\n"), std::string::npos);
    EXPECT_NE(r.output.find("Configuration set for seldom-online computer - use manualsend.bat"),
              std::string::npos);

    ASSERT_EQ(run("-b -q").status, 0);
    std::string unchanged = dir.read("config.txt");
    r = run("-cfg:sometimes");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("Unknown configuration set"), std::string::npos);
    EXPECT_EQ(dir.read("config.txt"), unchanged);
}

TEST_F(Program, AFatalMessageEndsWithStatusOne) {
    dir.write("user.txt", "bad/name\n");
    CommandResult r = run("-c");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("[FATAL] Bad character '/' found in username 'bad/name'"),
              std::string::npos);

    // In background mode nobody watches the console: the text goes to the log.
    r = run("-b");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(dir.read("messages.log").find("Pelto Error: [FATAL] Bad character '/'"),
              std::string::npos);
}

TEST_F(Program, ARefusedWarningEndsWithStatusTwo) {
    dir.write("user.txt", "volunteer");
    std::filesystem::create_directory(dir.file("config.txt"));  // cannot be replaced
    // Without a configuration the downloads are on; listing a lattice's
    // components ends the program before the first download check.
    std::filesystem::create_directory(dir.file("lattices"));
    dir.write("lattices/one.txt", "D1 1\nL: D1;\nL\n");
    CommandResult r = run("-c -l one", "n");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("[WARNING] Could not write 'config.txt'"), std::string::npos);
    EXPECT_NE(r.output.find("\nContinue (Y/N/These/All)? \nN"), std::string::npos);

    r = run("-c -l one", "yy");  // the second answer: no result to list, levels drawn
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Hello, volunteer"), std::string::npos);

    r = run("-b -l one");  // background runs never stop on a warning
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "");
}

TEST_F(Program, AsksForAUserNameWhenResultsAreToBeSent) {
    dir.write("config.txt", kLocalProxy);
    CommandResult r = run("-c -q", "\n");  // nothing typed: the user cancels
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("user.txt")));
    EXPECT_NE(r.output.find("Username: "), std::string::npos);

    r = run("-c -q", "Ada Lovelace\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("user.txt"), "Ada Lovelace");
    EXPECT_NE(r.output.find("Hello, Ada Lovelace"), std::string::npos);

    std::filesystem::remove(dir.file("user.txt"));
    r = run("-c -q", "a:b\n");  // a typed name goes through the same checks
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("[FATAL] Bad character ':' found in username 'a:b'"),
              std::string::npos);

    std::filesystem::remove(dir.file("user.txt"));
    r = run("-b -q");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(dir.read("messages.log").find("Pelto Error: No username specified"),
              std::string::npos);
}
