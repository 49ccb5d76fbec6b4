// Hostile and broken programs: long files, deep nesting, endless loops, too
// many tokens or variables, and random input. Each must end with a clear
// message or a normal run, never a crash or a hang.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "lattice/vesk_support.hpp"
#include "support/test_support.hpp"

namespace {

std::string repeat(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; i++) out += piece;
    return out;
}

TEST(VeskLimits, LongFilesRunWithoutDeepRecursion) {
    // Statement lists and joined texts become chains as deep as the file is
    // long.
    VeskOutcome code = runVesk("x = 0;" + repeat(" x += 1;", 8000));
    EXPECT_EQ(code.var("x"), "8000");
    EXPECT_EQ(code.stop, 0);

    VeskOutcome lattice = runVesk("#k = 7;#\n" + repeat("D1 #k#\n", 8000), VeskMode::Lattice);
    ASSERT_EQ(lattice.texts.size(), 1u + 2 * 8000);
    EXPECT_EQ(lattice.texts[0], "\nD1 ");
    EXPECT_EQ(lattice.texts[1], "7");
    EXPECT_EQ(lattice.texts[2], "\nD1 ");
    EXPECT_EQ(lattice.joined().size(), 1u + 5 * 8000);
}

TEST(VeskLimits, DeepNestingRefused) {
    VeskOutcome fine = runVesk("a = " + repeat("(", 300) + "1" + repeat(")", 300) + ";");
    EXPECT_EQ(fine.var("a"), "1");

    MessageRecorder messages;
    messages.keys = {'y'};
    VeskOutcome deep = runVesk("a = " + repeat("(", 5000) + "1" + repeat(")", 5000) + "; b = 2;");
    EXPECT_EQ(deep.stop, 1);
    EXPECT_EQ(deep.var("a"), "(tba)");
    EXPECT_EQ(deep.var("b"), "(tba)");
    EXPECT_NE(messages.output.find("[WARNING] Vesk code is nested more than 1000 levels deep; "
                                   "run stopped"),
              std::string::npos);

    // Nested statements count as well.
    messages.output.clear();
    messages.keys = {'y'};
    VeskOutcome ifs = runVesk(repeat("if (1) ", 3000) + "c = 1;");
    EXPECT_EQ(ifs.stop, 1);
    EXPECT_NE(messages.output.find("nested more than"), std::string::npos);
}

TEST(VeskLimits, EndlessLoopsStopped) {
    const char* programs[] = {"while (1) ;", "for (i = 0; 1; i++) ;", "do ; while (1);",
                              "while (1) { while (1) ; }"};
    for (const char* program : programs) {
        MessageRecorder messages;
        messages.keys = {'y'};
        VeskOutcome out = runVesk(std::string(program) + " after = 1;", VeskMode::Code, 0, 5000);
        EXPECT_EQ(out.stop, 1) << program;
        EXPECT_EQ(out.var("after"), "(tba)") << program;
        EXPECT_NE(
            messages.output.find("[WARNING] Vesk loops ran more than 5000 times; run stopped"),
            std::string::npos)
            << program;
    }
    // The bound counts loop bodies of the whole run, not of one loop.
    VeskOutcome within = runVesk("for (i = 0; i < 2000; i++) ; for (j = 0; j < 2000; j++) ;",
                                 VeskMode::Code, 0, 5000);
    EXPECT_EQ(within.stop, 0);
}

TEST(VeskLimits, TooManyTokensOrVariablesRefused) {
    MessageRecorder messages;
    messages.keys = {'y', 'y', 'y'};
    std::unique_ptr<Vesk> env = Vesk_new();
    env->maxTokens = 1000;
    EXPECT_EQ(Vesk_run(*env, repeat("x = 1; ", 150)), 1);
    EXPECT_TRUE(Value_isempty(Vesk_variable(*env, "x")));
    EXPECT_NE(messages.output.find("[WARNING] Vesk code has more than 1000 tokens; it is not run"),
              std::string::npos);
    // Text mode makes one token of a long text.
    std::unique_ptr<Vesk> text = Vesk_new();
    text->maxTokens = 1000;
    Vesk_setdelimiters(*text, "#", "#", VESK_START_IN_TEXT);
    EXPECT_EQ(Vesk_run(*text, repeat("plain text ", 1000)), 0);

    messages.output.clear();
    std::unique_ptr<Vesk> vars = Vesk_new();
    vars->maxVariables = 500;
    EXPECT_EQ(Vesk_run(*vars, "for (i = 0; i < 100000; i++) a[i] = i;"), 1);
    EXPECT_LE(vars->variables.size(), 502u);
    EXPECT_NE(messages.output.find("[WARNING] Vesk code uses more than 500 variables; run stopped"),
              std::string::npos);
}

TEST(VeskLimits, OversizedTextRefusedUnread) {
    MessageRecorder messages;
    messages.keys = {'y'};
    std::unique_ptr<Vesk> env = Vesk_new();
    std::string huge(kVeskMaxText + 1, 'x');
    EXPECT_EQ(Vesk_run(*env, huge), 1);
    EXPECT_TRUE(env->variables.empty());
    EXPECT_NE(messages.output.find("is larger than"), std::string::npos);
}

// Runs a program in both modes with small bounds; the run must end, and what
// it leaves behind must stay within the bounds.
void runHostile(const std::string& program, MessageRecorder& messages) {
    for (VeskMode mode : {VeskMode::Code, VeskMode::Lattice}) {
        messages.keys = std::deque<int>(8, 'y');
        messages.output.clear();
        VeskOutcome out = runVesk(program, mode, 0, 2000);
        ASSERT_LE(out.env->variables.size(), kVeskMaxVariables + 1);
        size_t total = 0;
        for (const std::string& t : out.texts) total += t.size();
        // Every text is a piece of the program or a printed value, and the
        // loop bound caps how often a piece can come out.
        ASSERT_LE(total, (program.size() * 16 + 64) * 2001);
        Vesk_dump(*Vesk_parse(*out.env, program));
    }
}

TEST(VeskFuzz, RandomBytes) {
    MessageRecorder messages;
    std::mt19937 random(20240611);
    const std::string alphabet = "ax1_.e+-*/%<>=!&|^~?:;,()[]{}#\n \t\"'";
    for (int round = 0; round < 400; round++) {
        std::string program(random() % 200, ' ');
        bool anyByte = round % 4 == 0;
        for (char& c : program) {
            c = anyByte ? static_cast<char>(random() % 256) : alphabet[random() % alphabet.size()];
        }
        SCOPED_TRACE(program);
        runHostile(program, messages);
    }
}

TEST(VeskFuzz, RandomTokenSoups) {
    MessageRecorder messages;
    std::mt19937 random(7);
    const char* words[] = {"for", "(",  ")",  "if", "else", "while", "do", "{",       "}",    "x",
                           "y",   "a[", "]",  "1",  "0",    "2.5",   ";",  "=",       "+",    "-",
                           "*",   "/",  "%",  "<<", ">>",   ".",     "->", "?",       ":",    ",",
                           "#",   "\n", "++", "--", "!",    "~",     "&",  "sizeof(", "int(", "/*",
                           "*/",  "//", "+=", "==", "&&",   "text",  " ",  " ",       " "};
    for (int round = 0; round < 1000; round++) {
        std::string program;
        int n = static_cast<int>(random() % 60);
        for (int i = 0; i < n; i++) {
            program += words[random() % std::size(words)];
            if (random() % 3 == 0) program += ' ';
        }
        SCOPED_TRACE(program);
        runHostile(program, messages);
    }
}

}  // namespace
