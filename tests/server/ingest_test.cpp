// Ingest: every record checked as the client checks it, stored once, one
// transaction per upload; sample files the client reads back.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.hpp"
#include "results/binary_results.hpp"
#include "results/record_check.hpp"
#include "server/db.hpp"
#include "server/ingest.hpp"
#include "server/project.hpp"
#include "server/samples.hpp"
#include "server_fixture.hpp"

namespace {

struct Project : ::testing::Test {
    InFolder here;
    MessageRecorder quiet{DisplayBackground};
    ProjectDb db;
    IngestLimits limits;
    void SetUp() override {
        writeProjectLattices(here.folder);
        ASSERT_TRUE(dbOpen(db, kDatabaseFile)) << db.error;
    }
    IngestReport send(const std::string& text,
                      const std::string& name = "20240101-120000-AbCdE-ann.txt",
                      const std::string& address = "127.0.0.9", int64_t now = 1000000) {
        here.folder.write("upload.tmp", text);
        return ingestFile(db, "upload.tmp", UploadSource{"http", address, name}, limits, now);
    }
    int64_t stored() { return dbScalar(db, "SELECT COUNT(*) FROM results"); }
};

std::string text(const ResultRecord& r) {
    return recordText(r);
}

TEST_F(Project, EachKindOfRecordIsCountedAndOnlyGoodOnesAreStored) {
    ResultRecord good = clientRecord("alpha", 100, 1.5);
    ResultRecord lying = clientRecord("alpha", 101, 1.25);
    lying.scoreLine.replace(0, 3, "9.9");  // a better score than the run gave
    ResultRecord otherLattice = clientRecord("gamma", 102, 1.0);
    ResultRecord old = good;
    old.scoreLine.replace(old.scoreLine.find("[v4.44d]"), 8, "[v4.20a]");
    struct Case {
        const char* what;
        std::string body;
        int64_t accepted, duplicates, badChecksum, unknownLattice, oldVersion, malformed;
    };
    const Case cases[] = {
        {"good", text(good), 1, 0, 0, 0, 0, 0},
        {"sent again", text(good), 0, 1, 0, 0, 0, 0},
        {"lying checksum", text(lying), 0, 0, 1, 0, 0, 0},
        {"lattice not served", text(otherLattice), 0, 0, 0, 1, 0, 0},
        {"old version", text(old), 0, 0, 0, 0, 1, 0},
        {"test record", "len=001;\r\nTEST 5\r\n", 0, 0, 0, 0, 0, 1},
        {"no lattice", "len=001;\r\n1.5 [v4.44d] {00}\r\n", 0, 0, 0, 0, 0, 1},
        {"stray lines and a good one", "garbage here\r\n" + text(clientRecord("beta", 7, 0.5)), 1,
         0, 0, 0, 0, 1},
        {"bytes that are not text", std::string("\x00\xff\x01 no records\x7f", 15), 0, 0, 0, 0, 1,
         0},
    };
    int64_t total = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IngestReport r = send(c.body);
        EXPECT_EQ(r.refusal, "");
        EXPECT_EQ(r.accepted, c.accepted);
        EXPECT_EQ(r.duplicates, c.duplicates);
        EXPECT_EQ(r.badChecksum, c.badChecksum);
        EXPECT_EQ(r.unknownLattice, c.unknownLattice);
        EXPECT_EQ(r.oldVersion, c.oldVersion);
        EXPECT_GE(r.malformed, c.malformed);
        total += c.accepted;
        EXPECT_EQ(stored(), total);
    }
    EXPECT_TRUE(dbCheck(db).empty());
    // Who sent what is kept.
    EXPECT_EQ(dbScalar(db, "SELECT COUNT(*) FROM uploads WHERE user='ann' AND address='127.0.0.9'"),
              static_cast<int64_t>(std::size(cases)));
}

TEST_F(Project, TheBinaryFormOfAStoredResultIsADuplicate) {
    ResultsList list;
    listInit(list);
    listAppend(list, clientRecord("alpha", 5, 2.0, 5));
    listAppend(list, clientRecord("beta", 6, 3.0));
    ASSERT_TRUE(saveResults(list, 2, "sent.txt", false));
    ASSERT_TRUE(saveBinaryResults(list, "sent.bin"));
    IngestReport first = ingestFile(db, "sent.txt", {"ftp", "ftp", "a-b-c-bob.txt"}, limits, 5);
    EXPECT_EQ(first.accepted, 2);
    EXPECT_EQ(first.changedLattices, (std::vector<std::string>{"alpha", "beta"}));
    IngestReport again = ingestFile(db, "sent.bin", {"ftp", "ftp", "a-b-c-bob.bin"}, limits, 6);
    EXPECT_EQ(again.accepted, 0);
    EXPECT_EQ(again.duplicates, 2);
    EXPECT_TRUE(again.changedLattices.empty());
}

TEST_F(Project, UploadsOverALimitAreRefusedWhole) {
    std::string three = text(clientRecord("alpha", 1, 1)) + text(clientRecord("alpha", 2, 2)) +
                        text(clientRecord("alpha", 3, 3));
    limits.maxRecords = 2;
    EXPECT_NE(send(three).refusal, "");
    limits.maxRecords = 100;
    limits.maxBytes = 50;
    EXPECT_NE(send(three).refusal, "");
    limits.maxBytes = 1 << 20;
    EXPECT_NE(send(three, "../../escape.txt").refusal, "");
    EXPECT_NE(send(three, "results.exe").refusal, "");
    EXPECT_EQ(stored(), 0);
    limits.uploadsPerHour = 2;
    EXPECT_EQ(send(three, "x-y-z-a.txt", "127.0.0.19", 100000).refusal, "");
    EXPECT_EQ(send(three, "x-y-z-a.txt", "127.0.0.19", 100001).refusal, "");
    EXPECT_NE(send(three, "x-y-z-a.txt", "127.0.0.19", 100002).refusal, "");
    EXPECT_EQ(send(three, "x-y-z-a.txt", "127.0.0.18", 100002).refusal, "");  // another address
    EXPECT_EQ(send(three, "x-y-z-a.txt", "127.0.0.19", 103700).refusal, "");  // an hour later
    EXPECT_EQ(stored(), 3);
}

TEST_F(Project, AChangedLatticeFileInvalidatesItsRecords) {
    ResultRecord r = clientRecord("alpha", 9, 1.0);
    here.folder.write("lattices/alpha.txt", "L=[0.5 3]\nD1 #L#\n");
    // The digest cache must see the new file even within the same second.
    EXPECT_EQ(send(text(r)).badChecksum, 1);
}

TEST_F(Project, SampleFilesHoldTheBestRecheckedFirstAndPassTheClientsCheck) {
    std::string body;
    for (int i = 0; i < 120; i++) body += text(clientRecord("alpha", i, 1.0 + i * 0.01));
    body += text(clientRecord("alpha", 500, 0.5, 5));  // rechecked, worse score
    ASSERT_EQ(send(body).accepted, 121);
    ASSERT_TRUE(rebuildSampleFile(db, "alpha"));
    ResultsList sample = loadBinaryResults(sampleFilePath("alpha"), kProgramFormat);
    ASSERT_EQ(sample.count(), static_cast<size_t>(kSampleSize));
    EXPECT_DOUBLE_EQ(sample[0].score, 0.5);
    EXPECT_NEAR(sample[1].score, 2.19, 1e-9);
    for (size_t i = 2; i < sample.count(); i++) EXPECT_GE(sample[i - 1].score, sample[i].score);
    for (size_t i = 0; i < sample.count(); i++) {
        EXPECT_EQ(checkRecord(sample[i].genomeLine, sample[i].scoreLine).verdict,
                  CheckVerdict::Accepted)
            << sample[i].genomeLine << " " << sample[i].scoreLine;
    }
    EXPECT_FALSE(fileExists(sampleFilePath("alpha") + ".part"));
}

TEST(UploadNames, UserAndAcceptance) {
    EXPECT_EQ(uploaderOf("20240101-120000-AbCdE-Ann_Lee.txt"), "Ann_Lee");
    EXPECT_EQ(uploaderOf("20240101-120000-AbCdE-a-b.bin"), "a-b");
    EXPECT_EQ(uploaderOf("plain.txt"), "?");
    for (const char* bad : {"", "../x.txt", "a/b.txt", "x.TXT\n", "a b.txt", ".txt", "x.dat"})
        EXPECT_FALSE(isAcceptableUploadName(bad)) << bad;
    EXPECT_TRUE(isAcceptableUploadName("20240101-120000-AbCdE-x.BIN"));
}

}  // namespace
