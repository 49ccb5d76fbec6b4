#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "common/text.hpp"
#include "platform/files.hpp"
#include "results/binary_results.hpp"
#include "results/text_results.hpp"
#include "results_fixture.hpp"

namespace {

void putI32(std::string& out, int32_t v) {
    auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; i++) out += static_cast<char>((u >> (8 * i)) & 255u);
}

// A hand-made file: one lattice "L" with parameters a and b, fields score,
// opt and one unknown field, then the given records.
std::string handMadeFile(int32_t count, int32_t genomeLength, int32_t bits,
                         const std::string& records) {
    std::string out = "PB01";
    putI32(out, count);
    putI32(out, genomeLength);
    putI32(out, bits);
    putI32(out, 1);
    out += std::string("L") + '\0';
    out += std::string("a") + '\0' + "b" + '\0';
    for (int32_t j = 2; j < genomeLength; j++) out += '\0';
    putI32(out, 3);
    putI32(out, 8);
    out += std::string("score") + '\0';
    putI32(out, 4);
    out += std::string("opt") + '\0';
    putI32(out, 2);
    out += std::string("xtra") + '\0';
    return out + records;
}

ResultsList makeList(const std::vector<std::pair<std::string, std::string>>& records) {
    ResultsList list;
    listInit(list);
    for (const auto& [g, s] : records) {
        listAppend(list, ResultRecord{g, s, std::strtod(s.c_str(), nullptr)});
    }
    return list;
}

}  // namespace

TEST(BinaryResults, TextToBinaryToTextKeepsGenomesAndChecksums) {
    InScratchFolder f;
    MessageRecorder messages;
    f.write("in.txt",
            "zeta=005;alpha=010;#runs=2;\r\n"
            "12.5 (1234.5 Mpts) [v4.44d] <Demo> {0123456789ABCDEF01234567} \r\n"
            "b=999;#queued=1;a=000;\r\n"
            "3.25 (1.0 Mpts) [v4.44d] <other> {ABCDEF}\r\n"
            "alpha=001;\r\n"
            "7.1234567 (2.0 Mpts) [v4.44] <DEMO>\r\n"
            "x=001;\r\n"
            "1.000000 (3.0 Mpts) [v4.44d]\r\n");
    ResultsList text = loadResults("in.txt", std::nullopt);
    ASSERT_EQ(text.count(), 4u);
    ASSERT_TRUE(saveBinaryResults(text, "out.bin"));
    ResultsList binary = loadBinaryResults("out.bin", kProgramFormat);
    ASSERT_EQ(binary.count(), 4u);
    // Metadata first, then parameters in name order; score lines rebuilt.
    EXPECT_EQ(binary[0].genomeLine, "#runs=2;alpha=010;zeta=005;");
    EXPECT_EQ(binary[0].scoreLine,
              "12.500000 (1234.5 Mpts) [v4.44d] <Demo> {0123456789ABCDEF01234567} ");
    EXPECT_EQ(binary[1].genomeLine, "#queued=1;a=000;b=999;");
    EXPECT_EQ(binary[1].scoreLine, "3.250000 (1.0 Mpts) [v4.44d] <other> {ABCDEF} ");
    EXPECT_EQ(binary[2].genomeLine, "alpha=001;");  // zeta is absent from this genome
    EXPECT_EQ(binary[2].scoreLine, "7.123457 (2.0 Mpts) [v4.44] <Demo> ");
    EXPECT_EQ(binary[3].genomeLine, "");  // no lattice: no parameters
    EXPECT_EQ(binary[3].scoreLine, "1.000000 (3.0 Mpts) [v4.44d] ");
    for (uint32_t i = 0; i < 4; i++) {
        EXPECT_EQ(readChecksum(binary[i].scoreLine), readChecksum(text[i].scoreLine));
        EXPECT_TRUE(genomeEqual(genomeFromText(binary[i].genomeLine, true),
                                genomeFromText(text[i].genomeLine, true)) ||
                    i == 3);
    }
    ASSERT_TRUE(saveResults(binary, binary.count(), "back.txt", false));
    ResultsList back = loadResults("back.txt", std::nullopt);
    ASSERT_EQ(back.count(), 4u);
    EXPECT_EQ(back[0].scoreLine + " ", binary[0].scoreLine);
}

TEST(BinaryResults, HeaderLayoutBitsAndGenomeArea) {
    MessageRecorder messages;
    std::string genome;
    for (int i = 0; i < 25; i++) genome += format("p%d=%d;", 100 + i, i);
    ResultsList list = makeList({{genome + "#gen=4;", "1.0 [v4.44d] <lat> {0102}"},
                                 {"p100=7;#runs=3;", "2.0 [v4.44d] <LAT>"},
                                 {"q=1;", "3.0 [v4.44d] <b>"}});
    ResultBinaryHeader h = buildBinaryHeader(list);
    EXPECT_EQ(h.count, 3);
    EXPECT_EQ(h.bits, 10);
    EXPECT_EQ(h.genomeLength, 25);
    EXPECT_EQ(h.genomeBytes(), 32);
    EXPECT_EQ(h.latticeNames, (std::vector<std::string>{"b", "lat"}));
    ASSERT_EQ(h.parameterNames[1].size(), 25u);
    EXPECT_EQ(h.parameterNames[1][0], "p100");
    std::vector<std::string> fieldNames;
    for (const BinaryField& field : h.fields) fieldNames.push_back(field.name);
    // Metadata names in the order met from the last record backwards.
    EXPECT_EQ(fieldNames, (std::vector<std::string>{"score", "calc", "ver", "verx", "chl", "chk",
                                                    "opt", "#runs", "#gen"}));
    EXPECT_EQ(h.fields[5].size, 2);  // longest checksum
    EXPECT_EQ(h.pitch(), 8 + 8 + 4 + 1 + 4 + 2 + 4 + 4 + 4 + 32);
}

TEST(BinaryResults, BitPackingIsLeastSignificantBitFirst) {
    uint8_t area[4] = {};
    packLevel(area, 4, 0, 10, 0x3FF);
    packLevel(area, 4, 1, 10, 0x001);
    EXPECT_EQ(area[0], 0xFF);
    EXPECT_EQ(area[1], 0x07);  // two top bits of slot 0, lowest bit of slot 1
    EXPECT_EQ(unpackLevel(area, 4, 0, 10), 0x3FFu);
    EXPECT_EQ(unpackLevel(area, 4, 1, 10), 1u);
    EXPECT_EQ(unpackLevel(area, 4, 2, 10), 0u);
    uint8_t wide[8] = {};
    packLevel(wide, 8, 1, 25, (1u << 25) - 2);
    EXPECT_EQ(unpackLevel(wide, 8, 1, 25), (1u << 25) - 2);
    EXPECT_EQ(unpackLevel(wide, 8, 0, 25), 0u);
}

TEST(BinaryResults, RejectedHeadersGiveNoRecords) {
    InScratchFolder f;
    MessageRecorder messages;
    std::string record(8 + 4 + 2 + 3, '\0');
    f.write("ok.bin", handMadeFile(1, 2, 10, record));
    f.write("bits.bin", handMadeFile(1, 2, 26, record));
    f.write("length.bin", handMadeFile(1, 1000001, 10, record));
    f.write("magic.bin", "PB02" + handMadeFile(1, 2, 10, record).substr(4));
    std::string control = handMadeFile(1, 2, 10, record);
    control[24] = '\x05';  // the lattice name "L"
    f.write("control.bin", control);
    BinaryLoadStatus status;
    messages.keys = {'y'};
    EXPECT_EQ(loadBinaryResults("ok.bin", kProgramFormat, &status).count(), 1u);
    EXPECT_EQ(status, BinaryLoadStatus::Ok);
    EXPECT_NE(messages.output.find("[WARNING] Unrecognised binary file field 'xtra'"),
              std::string::npos);
    for (const char* name : {"bits.bin", "length.bin", "control.bin"}) {
        EXPECT_EQ(loadBinaryResults(name, kProgramFormat, &status).count(), 0u) << name;
        EXPECT_EQ(status, BinaryLoadStatus::BadHeader) << name;
    }
    messages.output.clear();
    EXPECT_EQ(loadBinaryResults("magic.bin", kProgramFormat, &status).count(), 0u);
    EXPECT_EQ(status, BinaryLoadStatus::NotBinary);
    EXPECT_TRUE(messages.output.empty());
    EXPECT_EQ(loadBinaryResults("absent.bin", kProgramFormat, &status).count(), 0u);
    EXPECT_EQ(status, BinaryLoadStatus::Missing);
    EXPECT_THROW(readBinaryHeader(nullptr), ProcessExit);
    EXPECT_NE(messages.output.find("[FATAL] ResultBinaryHeader_load got passed a null file."),
              std::string::npos);
}

TEST(BinaryResults, HandMadeRecordsDecodeFieldsAndAbsentSlots) {
    InScratchFolder f;
    MessageRecorder messages;
    messages.keys = {'a'};
    std::string records;
    double score = 4.5;
    records.append(reinterpret_cast<const char*>(&score), 8);
    putI32(records, 0);  // lattice L
    records += std::string(2, '\0');
    records += static_cast<char>(0xFF);  // a = 1023: absent
    records += static_cast<char>(0x0F);  // b = 3
    records += '\0';
    f.write("h.bin", handMadeFile(1, 2, 10, records));
    ResultsList list = loadBinaryResults("h.bin", kProgramFormat);
    ASSERT_EQ(list.count(), 1u);
    EXPECT_EQ(list[0].genomeLine, "b=003;");
    // No "ver" field: no version; no "calc": the work figure is -1.
    EXPECT_EQ(list[0].scoreLine, "4.500000 (-1.0 Mpts) <L> ");
}

TEST(BinaryResults, VersionZeroComesBackWithoutVersionAndIsRejected) {
    InScratchFolder f;
    MessageRecorder messages;
    messages.keys = {'y'};
    ResultsList list = makeList({{"a=001;", "1.5 (2.0 Mpts) <x>"}});
    ASSERT_TRUE(saveBinaryResults(list, "v.bin"));
    ResultsList back = loadBinaryResults("v.bin", kProgramFormat);
    ASSERT_EQ(back.count(), 1u);
    EXPECT_EQ(back[0].scoreLine, "1.500000 (2.0 Mpts) <x> ");
    EXPECT_EQ(acceptRecord(back[0].genomeLine, back[0].scoreLine, std::nullopt, nullptr, true),
              RecordRejected);
}

TEST(BinaryResults, ExtensionDecidesTheReader) {
    InScratchFolder f;
    MessageRecorder messages;
    ResultsList list = makeList({{"a=001;", "1.5 (2.0 Mpts) [v4.44d] <x>"}});
    ASSERT_TRUE(saveBinaryResults(list, "UP.BIN"));
    ASSERT_TRUE(saveResults(list, 1, "r.bin.txt", false));
    EXPECT_TRUE(isBinaryResultsPath("UP.BIN"));
    EXPECT_FALSE(isBinaryResultsPath("r.bin.txt"));
    EXPECT_EQ(loadResultsAny("UP.BIN", kProgramFormat).count(), 1u);
    EXPECT_EQ(loadResultsAny("r.bin.txt", kProgramFormat).count(), 1u);
    // A binary file read as text gives no records (only version warnings).
    messages.keys = {'a'};
    std::rename("UP.BIN", "up.txt");
    EXPECT_EQ(loadResultsAny("up.txt", kProgramFormat).count(), 0u);
}

TEST(BinaryResults, EmptyListAndTruncatedFile) {
    InScratchFolder f;
    MessageRecorder messages;
    ResultsList empty;
    listInit(empty);
    ASSERT_TRUE(saveBinaryResults(empty, "e.bin"));
    BinaryLoadStatus status;
    EXPECT_EQ(loadBinaryResults("e.bin", kProgramFormat, &status).count(), 0u);
    EXPECT_EQ(status, BinaryLoadStatus::Ok);

    ResultsList list;
    listInit(list);
    for (int i = 0; i < 10; i++) {
        listAppend(list, ResultRecord{"a=" + std::to_string(i) + ";", "1 [v4.44d] <x>", 1});
    }
    ASSERT_TRUE(saveBinaryResults(list, "t.bin"));
    std::string bytes = f.read("t.bin");
    int64_t pitch = buildBinaryHeader(list).pitch();
    f.write("t.bin", bytes.substr(0, bytes.size() - static_cast<size_t>(pitch) * 3 - 1));
    ResultsList cut = loadBinaryResults("t.bin", kProgramFormat);
    ASSERT_EQ(cut.count(), 6u);
    EXPECT_EQ(cut[5].genomeLine, "a=005;");
}
