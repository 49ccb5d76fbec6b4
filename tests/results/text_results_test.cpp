#include <gtest/gtest.h>

#include <cctype>

#include "platform/files.hpp"
#include "results/checksum.hpp"
#include "results/text_results.hpp"
#include "results_fixture.hpp"

namespace {

std::vector<std::string> scoreLines(const ResultsList& list) {
    std::vector<std::string> out;
    for (const ResultRecord& r : list) out.push_back(r.genomeLine + " | " + r.scoreLine);
    return out;
}

ResultsList readAll(const std::string& text, const std::optional<std::string>& filter = {},
                    const ChecksumFunction& sum = nullptr, bool acceptUnknown = true) {
    RecordReader reader;
    recordReaderFromText(reader, text);
    ResultsList list;
    listInit(list);
    while (auto r = readRecord(reader, filter, sum, acceptUnknown)) listAppend(list, *r);
    return list;
}

// A record with a valid current checksum for whatever lattice files exist now.
ResultRecord signedRecord(const std::string& genome, double score, const std::string& lattice) {
    return formatScoreLine(genomeFromText(genome, true), score, 10, {"v4.44d", lattice, ""},
                           recordChecksum, kProgramFormat);
}

}  // namespace

TEST(TextReader, LineEndsOfAnyKindGiveTheSameRecords) {
    MessageRecorder messages;
    std::string crlf = "a=001;\r\n12.5 [v4.44d] <x>\r\nb=002;#runs=1;\r\n3 [v4.44d]  \r\n";
    std::string lf = "a=001;\n12.5 [v4.44d] <x>\nb=002;#runs=1;\n3 [v4.44d]  \n";
    std::string cr = "a=001;\r12.5 [v4.44d] <x>\rb=002;#runs=1;\r3 [v4.44d]  \r";
    std::string nul = std::string("a=001;\0", 7) + "12.5 [v4.44d] <x>\nb=002;#runs=1;\n3 [v4.44d]";
    auto expected =
        std::vector<std::string>{"a=001; | 12.5 [v4.44d] <x>", "b=002;#runs=1; | 3 [v4.44d]"};
    EXPECT_EQ(scoreLines(readAll(crlf)), expected);
    EXPECT_EQ(scoreLines(readAll(lf)), expected);
    EXPECT_EQ(scoreLines(readAll(cr)), expected);
    EXPECT_EQ(scoreLines(readAll(nul)), expected);
    ResultsList list = readAll(crlf);
    EXPECT_DOUBLE_EQ(list[0].score, 12.5);
}

TEST(TextReader, CrLfSplitAcrossReadBlocksIsOneLineEnd) {
    InScratchFolder f;
    MessageRecorder messages;
    // The reader takes 1 MiB at a time: put the CR of "a=1;\r\n" last in the
    // first block. Read as two line ends, the record would be lost.
    const size_t block = size_t{1} << 20;
    std::string text(block - 7, 'y');
    text += "\r\na=1;\r";
    ASSERT_EQ(text.size(), block);
    text += "\n1 [v4.44d]\r\n";
    f.write("r.dat", text);
    RecordReader reader;
    ASSERT_TRUE(recordReaderOpen(reader, "r.dat"));
    auto record = readRecord(reader, std::nullopt, nullptr, true);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->genomeLine, "a=1;");
    EXPECT_EQ(recordReaderPosition(reader), static_cast<int64_t>(text.size()));
    EXPECT_EQ(reader.linesRead, 3);
    EXPECT_TRUE(messages.output.empty());
}

TEST(TextReader, GenomeLineGrammar) {
    EXPECT_TRUE(isGenomeLine(""));
    EXPECT_TRUE(isGenomeLine("a=1;B2=0003;#runs=12;"));
    EXPECT_FALSE(isGenomeLine("a=1"));
    EXPECT_FALSE(isGenomeLine("a =1;"));
    EXPECT_FALSE(isGenomeLine("a_b=1;"));
    EXPECT_FALSE(isGenomeLine("a-b=1;"));
    EXPECT_FALSE(isGenomeLine("a=;"));
    EXPECT_FALSE(isGenomeLine("=1;"));
    EXPECT_FALSE(isGenomeLine("12.5 [v4.44d]"));
}

TEST(TextReader, TwoGenomeLinesInARowDropBoth) {
    MessageRecorder messages;
    messages.keys = {'y', 'y'};
    ResultsList list = readAll("a=001;\r\nb=002;\r\nc=003;\r\n12.5 [v4.44d]\r\n");
    // "b=002;" is taken as its score line, rejected for version 0, and both go;
    // "c=003;" then starts the next record.
    ASSERT_EQ(list.count(), 1u);
    EXPECT_EQ(list[0].genomeLine, "c=003;");
    EXPECT_NE(messages.output.find("[WARNING] Result version (0.000000)<MINVER(4.300000)"),
              std::string::npos);
}

TEST(TextReader, TruncatedLastRecordAndJunkAreIgnored) {
    MessageRecorder messages;
    ResultsList list = readAll("junk line\r\na=001;\r\n1 [v4.44d]\r\n\x01\x02 more junk\r\nb=002;");
    ASSERT_EQ(list.count(), 1u);
    EXPECT_EQ(list[0].genomeLine, "a=001;");
}

TEST(TextReader, TestRecordsBypassVersionAndChecksum) {
    MessageRecorder messages;
    ChecksumFunction never = [](const std::string&, const std::string&) { return Digest{1}; };
    ResultsList list =
        readAll("a=001;\r\ntest run\r\nb=002;\r\nTeSt\r\n", std::nullopt, never, false);
    ASSERT_EQ(list.count(), 2u);
    EXPECT_EQ(list[0].scoreLine, "test run");
    EXPECT_TRUE(messages.output.empty());
}

TEST(TextReader, MinimumVersionIsAFloatComparison) {
    MessageRecorder messages;
    messages.keys = {'a'};
    ResultsList list = readAll("a=1;\n1 [v4.29]\nb=1;\n2 [v4.3]\nc=1;\n3 [v4.30001]\n");
    EXPECT_EQ(scoreLines(list),
              (std::vector<std::string>{"b=1; | 2 [v4.3]", "c=1; | 3 [v4.30001]"}));
    EXPECT_NE(messages.output.find("Result version (4.290000)<MINVER(4.300000)"),
              std::string::npos);
}

TEST(TextReader, LatticeFilter) {
    MessageRecorder messages;
    std::string text = "a=1;\n1 [v4.44d] <One>\nb=1;\n2 [v4.44d] <two>\nc=1;\n3 [v4.44d]\n";
    EXPECT_EQ(readAll(text, std::string("ONE")).count(), 1u);
    EXPECT_EQ(readAll(text, std::string("three")).count(), 0u);
    EXPECT_TRUE(messages.output.empty());  // filtered records are dropped silently
}

TEST(TextReader, ChecksumAcceptedUntilLatticeOrDataFileChanges) {
    InScratchFolder f;
    MessageRecorder messages;
    messages.keys = {'y', 'y', 'y', 'y'};
    f.write("lattices/demo.txt", "beamline demo { drift }\r\n");
    f.write("datafiles/map1.dat", "0 1 2\n");
    setLatticeDataFilesProvider([](const std::string&) {
        return std::optional<std::vector<std::string>>(std::vector<std::string>{"map1"});
    });
    std::string text = recordText(signedRecord("a=001;b=002;", 1.5, "demo"));
    EXPECT_EQ(readAll(text, std::nullopt, recordChecksum, false).count(), 1u);

    f.write("datafiles/map1.dat", "0 1 3\n");
    EXPECT_EQ(readAll(text, std::nullopt, recordChecksum, true).count(), 0u);
    size_t warning = messages.output.find("[WARNING] Record rejected due to bad checksum: was {");
    EXPECT_NE(warning, std::string::npos);
    f.write("datafiles/map1.dat", "0 1 2\n");
    EXPECT_EQ(readAll(text, std::nullopt, recordChecksum, false).count(), 1u);
    f.write("lattices/demo.txt", "beamline demo { drift drift }\r\n");
    EXPECT_EQ(readAll(text, std::nullopt, recordChecksum, false).count(), 0u);
}

TEST(TextReader, UnknownLatticesAreAcceptedOnlyWhenAsked) {
    InScratchFolder f;
    MessageRecorder messages;
    messages.keys = {'y', 'y'};
    ResultRecord r = signedRecord("a=001;", 1.5, "elsewhere");
    RecordReader reader;
    EXPECT_EQ(acceptRecord(r.genomeLine, r.scoreLine, std::nullopt, recordChecksum, true),
              RecordUnchecked);
    EXPECT_EQ(acceptRecord(r.genomeLine, r.scoreLine, std::nullopt, recordChecksum, false),
              RecordRejected);
    EXPECT_EQ(acceptRecord(r.genomeLine, "1.5 [v4.44d]", std::nullopt, recordChecksum, false),
              RecordRejected);
    EXPECT_NE(messages.output.find("bad checksum: was {(null)}"), std::string::npos);
}

TEST(TextReader, LowerCaseChecksumIsRejected) {
    InScratchFolder f;
    MessageRecorder messages;
    messages.keys = {'y'};
    f.write("lattices/demo.txt", "beamline demo { drift }\r\n");
    ResultRecord r = signedRecord("a=001;", 2.5, "demo");
    EXPECT_EQ(acceptRecord(r.genomeLine, r.scoreLine, std::nullopt, recordChecksum, false),
              RecordAccepted);
    std::string lower = r.scoreLine;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    lower.replace(0, lower.find('{'), r.scoreLine.substr(0, r.scoreLine.find('{')));
    ASSERT_NE(lower, r.scoreLine);
    EXPECT_EQ(acceptRecord(r.genomeLine, lower, std::nullopt, recordChecksum, false),
              RecordRejected);
}

TEST(TextReader, OverlongLinesAreNeverRecords) {
    MessageRecorder messages;
    std::string longGenome;
    while (longGenome.size() <= kMaxLineBytes) longGenome += "abcdef=001;";
    ResultsList list = readAll(longGenome + "\n1 [v4.44d]\na=1;\n" +
                               std::string(kMaxLineBytes + 5, '1') + "\nb=1;\n2 [v4.44d]\n");
    ASSERT_EQ(list.count(), 1u);
    EXPECT_EQ(list[0].genomeLine, "b=1;");
}

TEST(TextFile, LoadSaveRoundTripAndMessages) {
    InScratchFolder f;
    MessageRecorder messages;
    ResultsList list;
    listInit(list);
    for (int i = 0; i < 250; i++) {
        listAppend(list, formatScoreLine(genomeFromText("a=" + std::to_string(i) + ";", true), i, 1,
                                         {"v4.44d", "x", ""}, nullptr, kProgramFormat));
    }
    ASSERT_TRUE(saveResults(list, list.count(), "results.dat", false));
    EXPECT_EQ(f.read("results.dat").substr(0, 43),
              "a=000;\r\n0.000000 (1.0 Mpts) [v4.44d] <x> \r\n");
    ResultsList back = loadResults("results.dat", std::nullopt);
    ASSERT_EQ(back.count(), 250u);
    for (uint32_t i = 0; i < back.count(); i++) {
        EXPECT_EQ(back[i].genomeLine, list[i].genomeLine);
        EXPECT_EQ(back[i].scoreLine + " ", list[i].scoreLine);  // trailing blank stripped
    }
    EXPECT_NE(messages.output.find("Text saving results... 200"), std::string::npos);
    EXPECT_NE(messages.output.find("Text saved 250 results"), std::string::npos);
    EXPECT_NE(messages.output.find("Loading 'results.dat'... 200 ("), std::string::npos);
    EXPECT_NE(messages.output.find("Loading 'results.dat'... OK (250 results)"), std::string::npos);
    EXPECT_EQ(countResults("results.dat", std::string("X")), 250);
    EXPECT_EQ(countResults("missing.dat", std::nullopt), 0);

    ResultsList none = loadResults("missing.dat", std::nullopt);
    EXPECT_EQ(none.count(), 0u);
    EXPECT_NE(messages.output.find("Loading 'missing.dat'... File empty"), std::string::npos);

    ASSERT_TRUE(saveResults(list, 2, "results.dat", true));
    EXPECT_EQ(countResults("results.dat", std::nullopt), 252);
}

TEST(TextFile, SaveFailureWarnsAfterRetries) {
    InScratchFolder f;
    MessageRecorder messages;
    messages.keys = {'y', 'y'};
    ResultsList list;
    listInit(list);
    listAppend(list, ResultRecord{"a=1;", "1 [v4.44d]", 1});
    EXPECT_FALSE(saveResults(list, 1, "no/such/folder/results.dat", false));
    EXPECT_NE(messages.output.find(
                  "[WARNING] Could not open 'no/such/folder/results.dat' to save results"),
              std::string::npos);
    EXPECT_FALSE(appendResult(list[0], "no/such/folder/r.dat"));
    EXPECT_NE(
        messages.output.find("[WARNING] Could not open 'no/such/folder/r.dat' to save result"),
        std::string::npos);
}

TEST(TextFile, QueueEditsPrependAppendDrop) {
    InScratchFolder f;
    MessageRecorder messages;
    ResultRecord one{"a=1;", "1 [v4.44d]", 1};
    ResultRecord two{"b=2;", "2 [v4.44d]", 2};
    ASSERT_TRUE(prependResult(one, "queue.txt"));  // absent file counts as empty
    ASSERT_TRUE(prependResult(two, "queue.txt"));
    ASSERT_TRUE(appendResult(one, "queue.txt"));
    EXPECT_EQ(f.read("queue.txt"),
              "b=2;\r\n2 [v4.44d]\r\na=1;\r\n1 [v4.44d]\r\na=1;\r\n1 [v4.44d]\r\n");
    dropFirstResult("queue.txt");
    EXPECT_EQ(f.read("queue.txt"), "a=1;\r\n1 [v4.44d]\r\na=1;\r\n1 [v4.44d]\r\n");
    dropFirstResult("queue.txt");
    dropFirstResult("queue.txt");
    EXPECT_FALSE(fileExists("queue.txt"));
    EXPECT_THROW(dropFirstResult("queue.txt"), ProcessExit);
    EXPECT_NE(messages.output.find("[FATAL] Failed to delete result out of non-existant queue."),
              std::string::npos);

    // A queue edited with another line-end convention loses exactly one record.
    f.write("queue.txt", "a=1;\r1\rb=2;\r2\r");
    dropFirstResult("queue.txt");
    EXPECT_EQ(f.read("queue.txt"), "b=2;\r2\r");
}

// A write cut short by a kill leaves part of a record at the end of the file.
// The next append must not run into it (which would lose the new record
// too), while a whole record that only lacks its final line end stays.
TEST(TextFile, AppendAfterAnIncompleteRecordKeepsEveryWholeRecord) {
    InScratchFolder f;
    MessageRecorder messages;
    messages.keys = {'a'};  // a torn record read back is a warning: go on
    const ResultRecord a = signedRecord("a=001;", 1.5, "lat");
    const ResultRecord b = signedRecord("b=002;", 2.5, "lat");
    const std::string c = recordText(signedRecord("c=003;", 3.5, "lat"));
    const std::string zeros(5, '\0');
    struct Case {
        const char* what;
        std::string tail;
        std::vector<std::string> genomes;  // read back after appending b
    };
    const Case cases[] = {
        {"nothing torn", "", {"a=001;", "b=002;"}},
        {"torn genome line", "c=00", {"a=001;", "b=002;"}},
        {"genome line without its score line", "c=003;\r\n", {"a=001;", "b=002;"}},
        {"cut between CR and LF", "c=003;\r", {"a=001;", "b=002;"}},
        {"torn score line", c.substr(0, c.size() - 12), {"a=001;", "b=002;"}},
        {"zeros of a write never on disk", "c=00" + zeros, {"a=001;", "b=002;"}},
        {"whole record without a line end",
         c.substr(0, c.size() - 2),
         {"a=001;", "c=003;", "b=002;"}},
    };
    for (const Case& k : cases) {
        f.write("r.dat", recordText(a) + k.tail);
        ASSERT_TRUE(appendResult(b, "r.dat")) << k.what;
        std::vector<std::string> genomes;
        for (const ResultRecord& r : readAll(f.read("r.dat"))) genomes.push_back(r.genomeLine);
        EXPECT_EQ(genomes, k.genomes) << k.what;
    }
}

// Pruning finds records as views into the file's text; it must find exactly
// the pairs the streaming reader finds, whatever the line ends and the junk.
TEST(TextResults, RecordViewsFindThePairsTheReaderFinds) {
    const std::string overlong(kMaxLineBytes + 10, 'a');
    const std::string texts[] = {
        "a=1;\r\n0.5 [v4.44d] <x>\r\nb=2;\n0.7 [v4.44d] <x>\n",
        std::string("a=1;\r0.5 \t\r\rjunk line\nb=2;") + '\0' + "0.7",
        std::string("a=1;") + '\0' + "0.5" + '\0' + "b=2;\r\n",
        "junk\r\na=1;\r\n\r\nb=2;  \r\n0.9 <x>  \r\n",
        "a=1;\r\n" + overlong + "\r\nb=2;\r\n0.3\r\n",
        "a=1;\r\n",
        "",
    };
    for (const std::string& text : texts) {
        RecordReader reader;
        recordReaderFromText(reader, text);
        std::vector<std::pair<std::string, std::string>> streamed, viewed;
        std::string genome, score;
        while (readRecordPair(reader, genome, score)) streamed.emplace_back(genome, score);
        size_t pos = 0;
        RecordView view;
        while (nextRecordView(text, pos, view)) {
            viewed.emplace_back(std::string(view.genomeLine), std::string(view.scoreLine));
        }
        EXPECT_EQ(viewed, streamed) << text.substr(0, 60);
    }
}
