// The converters of the program's command line and the results commands of
// pelto-tool, run as programs in a scratch folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/files.hpp"
#include "results/binary_results.hpp"
#include "results/checksum.hpp"
#include "results/text_results.hpp"
#include "results_fixture.hpp"

namespace {

namespace fs = std::filesystem;

const char kRecords[] =
    "a=001;b=002;\r\n1.500000 (2.0 Mpts) [v4.44d] <demo> {000102030405060708090A0B} \r\n"
    "a=003;#runs=2;\r\n2.500000 (3.0 Mpts) [v4.44d] <demo> \r\n";

// A copy of the program in the folder: it works in the folder it lives in.
std::string installProgram(const InScratchFolder& f) {
    fs::copy_file(PELTO_EXE, fs::path(f.folder().path()) / "pelto");
    return "cd '" + f.folder().path() + "' && ./pelto";
}

}  // namespace

TEST(Converters, UsageLinesWithoutAFileName) {
    InScratchFolder f;
    std::string pelto = installProgram(f);
    CommandResult r = runCommand(pelto + " -bintotxt");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("Usage: pelto -bintotxt binary_results_file [text_results_file]"),
              std::string::npos);
    r = runCommand(pelto + " -txttobin");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("Usage: pelto -txttobin text_results_file [binary_results_file]"),
              std::string::npos);
}

TEST(Converters, TextToBinaryAndBack) {
    InScratchFolder f;
    MessageRecorder messages;
    std::string pelto = installProgram(f);
    f.write("results.dat", kRecords);
    EXPECT_EQ(runCommand(pelto + " -txttobin results.dat out.bin").status, 0);
    EXPECT_EQ(loadBinaryResults("out.bin", kProgramFormat).count(), 2u);
    EXPECT_EQ(runCommand(pelto + " -txttobin results.dat").status, 0);
    ASSERT_TRUE(fileExists("results.bin"));
    EXPECT_EQ(f.read("results.bin"), f.read("out.bin"));

    CommandResult r = runCommand(pelto + " -bintotxt results.bin");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(f.read("results.txt"),
              "a=001;b=002;\r\n1.500000 (2.0 Mpts) [v4.44d] <demo> {000102030405060708090A0B} \r\n"
              "#runs=2;a=003;\r\n2.500000 (3.0 Mpts) [v4.44d] <demo> \r\n");
}

TEST(Converters, AMistakenInputNeverReplacesAFile) {
    InScratchFolder f;
    std::string pelto = installProgram(f);
    f.write("results.txt", kRecords);
    // The text file named as binary input would be its own output.
    CommandResult r = runCommand(pelto + " -bintotxt results.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("not a binary results file"), std::string::npos);
    EXPECT_EQ(f.read("results.txt"), kRecords);
    r = runCommand(pelto + " -txttobin absent.dat out.bin");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fileExists(f.folder().file("out.bin")));
}

// Every refusal ends with status 1 and leaves every file as it was.
TEST(Converters, RefusalsLeaveEveryFileAlone) {
    InScratchFolder f;
    MessageRecorder messages;
    std::string pelto = installProgram(f);
    f.write("results.dat", kRecords);
    ASSERT_EQ(runCommand(pelto + " -txttobin results.dat good.bin").status, 0);
    const std::string binary = f.read("good.bin");
    f.write("one.dat", std::string(kRecords).substr(0, std::string(kRecords).find("a=003")));
    ASSERT_EQ(runCommand(pelto + " -txttobin one.dat one.bin").status, 0);
    // The header is whole but its one record no longer fits.
    f.write("cut.bin", f.read("one.bin").substr(0, f.read("one.bin").size() - 1));
    f.write("t.bin", kRecords);
    f.write("b.txt", binary);
    f.write("empty.dat", "");
    f.write("out.txt", std::string(84, 'x'));
    f.write("out.bin", "kept");
    ASSERT_EQ(::mkfifo(f.folder().file("pipe").c_str(), 0600), 0);
    struct Case {
        const char* args;
        const char* message;
    };
    const Case cases[] = {
        {"-txttobin t.bin", "the output would overwrite the input"},
        {"-bintotxt b.txt", "the output would overwrite the input"},
        {"-bintotxt cut.bin out.txt", "Cannot convert 'cut.bin': no results found"},
        {"-txttobin empty.dat out.bin", "Cannot convert 'empty.dat': no results found"},
        {"-txttobin pipe out.bin", "Cannot convert 'pipe': not a plain file"},
    };
    auto snapshot = [&] {
        std::vector<std::pair<std::string, std::string>> files;
        for (const std::string& name : listFolder(".", true)) {
            // The log is meant to grow: it keeps every refusal's message.
            if (name != "pipe" && name != "pelto" && name != "pelto.log") {
                files.emplace_back(name, f.read(name));
            }
        }
        return files;
    };
    const auto before = snapshot();
    for (const Case& c : cases) {
        CommandResult r = runCommand(pelto + " " + c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.args << ": " << r.output;
        EXPECT_EQ(snapshot(), before) << c.args;
        EXPECT_NE(f.read("pelto.log").find(c.message), std::string::npos) << c.args;
    }
#ifdef PELTO_TOOL_EXE
    std::string tool = "cd '" + f.folder().path() + "' && '" PELTO_TOOL_EXE "'";
    CommandResult r = runCommand(tool + " results check pipe");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("not a plain file"), std::string::npos);
#endif
}

#ifdef PELTO_TOOL_EXE

TEST(PeltoTool, ResultsCheckGivesAVerdictPerRecord) {
    InScratchFolder f;
    MessageRecorder messages;
    f.write("lattices/demo.txt", "D1 1\n");
    ResultRecord good = formatScoreLine(genomeFromText("a=001;", true), 1.5, 2,
                                        {"v4.44d", "demo", ""}, recordChecksum, kProgramFormat);
    ResultRecord bad = good;
    bad.scoreLine.replace(0, 3, "1.6");
    ResultRecord old{"a=001;", "1.5 [v4.2] <demo>", 1.5};
    ResultRecord away =
        formatScoreLine(genomeFromText("a=001;", true), 1.5, 2, {"v4.44d", "elsewhere", ""},
                        recordChecksum, kProgramFormat);
    f.write("results.dat", "junk\r\n" + recordText(good) + recordText(bad) + recordText(old) +
                               recordText(away) + "b=1;\r\ntest\r\n");
    std::string tool = "cd '" + f.folder().path() + "' && '" PELTO_TOOL_EXE "'";
    CommandResult r = runCommand(tool + " results check results.dat");
    EXPECT_EQ(r.status, 2) << r.output;
    std::string sum = checksumToHex(readChecksum(good.scoreLine));
    EXPECT_NE(
        r.output.find("record 1 (line 2): accepted; stored {" + sum + "} computed {" + sum + "}"),
        std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("record 2 (line 4): rejected: bad checksum; stored {" + sum + "}"),
              std::string::npos);
    EXPECT_NE(r.output.find("record 3 (line 6): rejected: version 4.200000 below 4.300000"),
              std::string::npos);
    EXPECT_NE(r.output.find("record 4 (line 8): not checked: lattice 'elsewhere' not present"),
              std::string::npos);
    EXPECT_NE(r.output.find("record 5 (line 10): accepted: test record"), std::string::npos);
    EXPECT_NE(r.output.find("5 records: 2 accepted, 2 rejected, 1 not checked"), std::string::npos);

    f.write("good.dat", recordText(good));
    EXPECT_EQ(runCommand(tool + " results check good.dat").status, 0);
    EXPECT_EQ(runCommand(tool + " results check absent.dat").status, 1);
}

TEST(PeltoTool, ResultsConvertByExtension) {
    InScratchFolder f;
    MessageRecorder messages;
    f.write("in.txt", kRecords);
    std::string tool = "cd '" + f.folder().path() + "' && '" PELTO_TOOL_EXE "'";
    CommandResult r = runCommand(tool + " results convert in.txt out.BIN");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(loadBinaryResults("out.BIN", kProgramFormat).count(), 2u);
    EXPECT_EQ(runCommand(tool + " results convert out.BIN back.txt").status, 0);
    EXPECT_EQ(loadResults("back.txt", std::nullopt).count(), 2u);
    EXPECT_EQ(runCommand(tool + " results check out.BIN").status, 0);
    EXPECT_EQ(runCommand(tool + " results convert in.txt").status, 1);
    EXPECT_EQ(runCommand(tool + " nonsense").status, 1);
}

#endif
