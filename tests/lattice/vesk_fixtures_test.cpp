// Runs every program under tests/data/vesk/ and compares what it produced
// with the expectations in the .expect file beside it.
//
// Expectation lines ('#' starts a comment):
//   mode lattice | mode code   text with '#' code stretches, or plain code (default)
//   stop-at N                  the text callback returns 1 on its Nth call
//   loop-limit N               loop bodies allowed to one run
//   text T                     the next text handed to the callback (escapes \n \t \r \\ \xHH);
//                              when any are given, the texts must match them all, in order
//   output T                   all texts joined
//   var NAME V                 the printed value of a variable after the run
//   stopped N                  what the run returned (0 when not given)
//   message M                  a reported message contains M (warnings are answered Y)
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "lattice/vesk_support.hpp"
#include "support/test_support.hpp"

namespace {

const std::filesystem::path kFolder = std::filesystem::path(PELTO_TEST_DATA) / "vesk";

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        char c = text[++i];
        if (c == 'x' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
            continue;
        }
        switch (c) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string escape(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

struct Expectations {
    VeskMode mode = VeskMode::Code;
    int stopAt = 0;
    int64_t loopLimit = kVeskMaxLoopSteps;
    bool hasTexts = false;
    std::vector<std::string> texts;
    std::vector<std::string> outputs;
    std::vector<std::pair<std::string, std::string>> vars;
    int stopped = 0;
    std::vector<std::string> messages;
};

Expectations readExpectations(const std::filesystem::path& path) {
    Expectations e;
    std::istringstream in(readFile(path));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        size_t space = line.find(' ');
        std::string word = line.substr(0, space);
        std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (word == "mode") {
            e.mode = rest == "lattice" ? VeskMode::Lattice : VeskMode::Code;
        } else if (word == "stop-at") {
            e.stopAt = std::stoi(rest);
        } else if (word == "loop-limit") {
            e.loopLimit = std::stoll(rest);
        } else if (word == "text") {
            e.hasTexts = true;
            e.texts.push_back(unescape(rest));
        } else if (word == "output") {
            e.outputs.push_back(unescape(rest));
        } else if (word == "var") {
            size_t gap = rest.find(' ');
            e.vars.emplace_back(rest.substr(0, gap),
                                gap == std::string::npos ? "" : rest.substr(gap + 1));
        } else if (word == "stopped") {
            e.stopped = std::stoi(rest);
        } else if (word == "message") {
            e.messages.push_back(rest);
        } else {
            ADD_FAILURE() << path << ": unknown expectation '" << line << "'";
        }
    }
    return e;
}

std::vector<std::string> fixtureNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(kFolder)) {
        if (entry.path().extension() == ".vsk") names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class VeskFixture : public testing::TestWithParam<std::string> {};

TEST_P(VeskFixture, ProducesExpectedTextAndVariables) {
    const std::filesystem::path program = kFolder / (GetParam() + ".vsk");
    const std::filesystem::path expect = kFolder / (GetParam() + ".expect");
    ASSERT_TRUE(std::filesystem::exists(expect)) << expect;
    Expectations e = readExpectations(expect);

    MessageRecorder messages;
    messages.keys = std::deque<int>(20, 'y');
    VeskOutcome out = runVesk(readFile(program), e.mode, e.stopAt, e.loopLimit);

    if (e.hasTexts) {
        std::vector<std::string> got, want;
        for (const std::string& t : out.texts) got.push_back(escape(t));
        for (const std::string& t : e.texts) want.push_back(escape(t));
        EXPECT_EQ(got, want);
    }
    for (const std::string& o : e.outputs) {
        EXPECT_EQ(escape(out.joined()), escape(o));
    }
    for (const auto& [name, value] : e.vars) {
        EXPECT_EQ(out.var(name), value) << "variable " << name;
    }
    EXPECT_EQ(out.stop, e.stopped);
    for (const std::string& m : e.messages) {
        EXPECT_NE(messages.output.find(m), std::string::npos) << "message " << m;
    }
    if (e.messages.empty()) {
        EXPECT_EQ(messages.output, "");
    }
}

INSTANTIATE_TEST_SUITE_P(Vesk, VeskFixture, testing::ValuesIn(fixtureNames()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
