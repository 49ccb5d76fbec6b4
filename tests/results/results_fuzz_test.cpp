// Damaged and random input for both readers: every run must end, without a
// crash and without allocating far beyond the input's size (the sanitizer
// build checks the memory side).
#include <gtest/gtest.h>

#include <random>

#include "results/binary_results.hpp"
#include "results/text_results.hpp"
#include "results_fixture.hpp"

namespace {

std::string sampleBinary(const InScratchFolder& f) {
    ResultsList list;
    listInit(list);
    for (int i = 0; i < 40; i++) {
        listAppend(list, ResultRecord{
                             "a=" + std::to_string(i) + ";b=5;#runs=" + std::to_string(i % 3) + ";",
                             std::to_string(i) + ".5 (3.0 Mpts) [v4.44d] <lat" +
                                 std::to_string(i % 2) + "> {0A0B0C}",
                             i + 0.5});
    }
    saveBinaryResults(list, "sample.bin");
    return f.read("sample.bin");
}

void loadBoth(const InScratchFolder& f, const std::string& bytes) {
    f.write("fuzz.bin", bytes);
    ResultsList binary = loadBinaryResults("fuzz.bin", kProgramFormat);
    // Never more records than the file could hold.
    EXPECT_LE(binary.count(), bytes.size());
    ResultsList text = loadResults("fuzz.bin", std::nullopt);
    EXPECT_LE(text.count(), bytes.size() / 2 + 1);
}

}  // namespace

TEST(ResultsFuzz, EveryTruncationOfABinaryFile) {
    InScratchFolder f;
    MessageRecorder messages;
    messages.keys.assign(100000, 'a');
    std::string bytes = sampleBinary(f);
    for (size_t n = 0; n <= bytes.size(); n += (n < 400 ? 1 : 37)) loadBoth(f, bytes.substr(0, n));
}

TEST(ResultsFuzz, CorruptedBinaryFiles) {
    InScratchFolder f;
    MessageRecorder messages;
    messages.keys.assign(100000, 'a');
    std::string bytes = sampleBinary(f);
    std::mt19937 rng(12345);
    for (int round = 0; round < 400; round++) {
        std::string damaged = bytes;
        int hits = 1 + static_cast<int>(rng() % 4);
        for (int h = 0; h < hits; h++) {
            // Mostly the header, where sizes and counts live.
            size_t at = (rng() % 3 == 0) ? rng() % damaged.size()
                                         : rng() % std::min<size_t>(200, damaged.size());
            damaged[at] = static_cast<char>(rng() % 3 == 0 ? 0xFF : rng() & 0xFF);
        }
        loadBoth(f, damaged);
    }
}

TEST(ResultsFuzz, HugeCountsAndSizesInAValidLookingHeader) {
    InScratchFolder f;
    MessageRecorder messages;
    messages.keys.assign(1000, 'a');
    auto i32 = [](int32_t v) {
        std::string s;
        for (int i = 0; i < 4; i++)
            s += static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 255u);
        return s;
    };
    std::string name = std::string("score") + '\0';
    // count 2^31-1 with a record of zero bytes: must not loop.
    loadBoth(f, "PB01" + i32(INT32_MAX) + i32(0) + i32(10) + i32(0) + i32(0));
    // a field size beyond the end of the file.
    loadBoth(f,
             "PB01" + i32(5) + i32(0) + i32(10) + i32(0) + i32(1) + i32(INT32_MAX) + name + "xx");
    // negative field size.
    loadBoth(f, "PB01" + i32(5) + i32(0) + i32(10) + i32(0) + i32(1) + i32(-8) + name);
    // many lattices and parameters declared, few bytes present.
    loadBoth(f, "PB01" + i32(1) + i32(1000000) + i32(10) + i32(INT32_MAX) + "a");
    loadBoth(f, "PB01" + i32(1) + i32(1000000) + i32(10) + i32(1) + std::string("L\0", 2) + "p");
    // many field descriptors declared.
    loadBoth(f, "PB01" + i32(1) + i32(0) + i32(10) + i32(0) + i32(1000000) + i32(8));
}

TEST(ResultsFuzz, RandomBytesToBothReaders) {
    InScratchFolder f;
    MessageRecorder messages;
    messages.keys.assign(200000, 'a');
    std::mt19937 rng(777);
    for (int round = 0; round < 200; round++) {
        std::string bytes(rng() % 3000, '\0');
        // Skew towards characters that make genome lines and line ends.
        const char alphabet[] = "ab#=0123;;\r\n\n.[v4]<>{}ABC \0";
        for (char& c : bytes) {
            c = (rng() % 2) ? alphabet[rng() % (sizeof alphabet - 1)]
                            : static_cast<char>(rng() & 0xFF);
        }
        if (round % 2 == 0) bytes.replace(0, std::min<size_t>(4, bytes.size()), "PB01");
        loadBoth(f, bytes);
    }
}
