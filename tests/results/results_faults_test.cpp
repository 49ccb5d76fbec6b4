// Every write of a results file, with each of its file steps failing in turn:
// afterwards the file is the old one or the new one, never a mixture, and no
// record stored before is lost.
#include <gtest/gtest.h>

#include <functional>

#include "platform/files.hpp"
#include "results/binary_results.hpp"
#include "results/convert.hpp"
#include "results/text_results.hpp"
#include "results_fixture.hpp"
#include "support/fault_loop.hpp"

namespace {

const std::string kOld =
    "a=001;b=002;\r\n1.500000 (2.0 Mpts) [v4.44d] <demo> {000102030405060708090A0B} \r\n"
    "a=003;#runs=2;\r\n2.500000 (3.0 Mpts) [v4.44d] <demo> \r\n";
const ResultRecord kRecord{"c=004;", "3.500000 (4.0 Mpts) [v4.44d] <demo> ", 3.5};
const std::string kRecordText = "c=004;\r\n3.500000 (4.0 Mpts) [v4.44d] <demo> \r\n";

ResultsList oneRecord() {
    ResultsList list;
    listInit(list);
    listAppend(list, kRecord);
    return list;
}

struct Case {
    const char* name;
    std::function<void()> write;
    std::string expectedNew;
};

}  // namespace

TEST(ResultsFaults, TextResultsAreOldOrNewAfterEveryFailure) {
    InScratchFolder f;
    MessageRecorder messages(DisplayBackground);
    const std::string tail = kOld.substr(kOld.find("a=003"));
    const Case cases[] = {
        {"append", [] { appendResult(kRecord, "results.dat"); }, kOld + kRecordText},
        {"append list", [] { saveResultsAppend(oneRecord(), "results.dat"); }, kOld + kRecordText},
        {"rewrite", [] { saveResults(oneRecord(), 1, "results.dat", false); }, kRecordText},
        {"queue push", [] { prependResult(kRecord, "results.dat"); }, kRecordText + kOld},
        {"queue pop", [] { dropFirstResult("results.dat"); }, tail},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int64_t steps = forEachFileFault(
            [&] { f.write("results.dat", kOld); }, c.write,
            [&](int64_t n, bool fired) {
                std::string now = f.read("results.dat");
                EXPECT_TRUE(now == kOld || now == c.expectedNew) << "step " << n << ":\n" << now;
                if (!fired) {
                    EXPECT_EQ(now, c.expectedNew);
                }
                EXPECT_EQ(listFolder(".", true), std::vector<std::string>{"results.dat"});
            });
        EXPECT_GE(steps, 3);
    }
}

TEST(ResultsFaults, ConversionLeavesTheOldOutputOrTheNewOne) {
    InScratchFolder f;
    MessageRecorder messages(DisplayBackground);
    f.write("in.dat", kOld);
    ASSERT_TRUE(convertResults("in.dat", false, "good.bin", true));
    const std::string newBinary = f.read("good.bin");
    ASSERT_TRUE(convertResults("in.dat", false, "good.txt", false));
    const std::string newText = f.read("good.txt");
    ASSERT_TRUE(saveBinaryResults(oneRecord(), "old.bin"));
    const std::string oldBinary = f.read("old.bin");
    struct Target {
        const char* name;
        bool binary;
        std::string old, fresh;
    };
    for (const Target& t : {Target{"out.bin", true, oldBinary, newBinary},
                            Target{"out.txt", false, kRecordText, newText}}) {
        SCOPED_TRACE(t.name);
        forEachFileFault([&] { f.write(t.name, t.old); },
                         [&] { convertResults("in.dat", false, t.name, t.binary); },
                         [&](int64_t n, bool fired) {
                             std::string now = f.read(t.name);
                             EXPECT_TRUE(now == t.old || now == t.fresh) << "step " << n;
                             if (!fired) {
                                 EXPECT_EQ(now, t.fresh);
                             }
                             EXPECT_FALSE(fileExists(std::string(t.name) + ".tmp"));
                         });
        removeFile(t.name);
    }
}
