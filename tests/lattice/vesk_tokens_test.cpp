// The tokenizer: modes and delimiters, numbers, comments, fragments and
// identifiers; and the debugging dumps.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "lattice/vesk_support.hpp"
#include "support/test_support.hpp"

namespace {

// Each token as "Kind:source".
std::vector<std::string> tokensOf(Vesk& env, std::string_view program) {
    std::unique_ptr<VeskNode> root = Vesk_tokenize(env, program);
    std::vector<std::string> out;
    for (const auto& t : root->children) {
        out.push_back(std::string(Value_kindname(t->value)) + ":" +
                      std::string(VeskNode_source(*t)));
    }
    return out;
}

std::vector<std::string> codeTokens(std::string_view program) {
    std::unique_ptr<Vesk> env = Vesk_new();
    return tokensOf(*env, program);
}

std::vector<std::string> latticeTokens(std::string_view program) {
    std::unique_ptr<Vesk> env = Vesk_new();
    Vesk_setdelimiters(*env, "#", "#", VESK_START_IN_TEXT | VESK_NEWLINE_RESETS);
    return tokensOf(*env, program);
}

using Tokens = std::vector<std::string>;

TEST(VeskTokens, LatticeLineHasTextCodeText) {
    EXPECT_EQ(latticeTokens("Drift Length=#L#;\n"),
              (Tokens{"Text:Drift Length=", "Xl:L", "Text:;\n"}));
    // A newline ends a code stretch that has no closing '#'.
    EXPECT_EQ(latticeTokens("A #x = 1\nB"),
              (Tokens{"Text:A ", "Xl:x", "Text: ", "Opfrag:=", "Text: ", "Xn:1", "Text:\nB"}));
    // Delimiters belong to no token, so texts on both sides stay apart.
    EXPECT_EQ(latticeTokens("a##b"), (Tokens{"Text:a", "Text:b"}));
}

TEST(VeskTokens, NewlineResetOnlyWithItsFlag) {
    std::unique_ptr<Vesk> env = Vesk_new();
    Vesk_setdelimiters(*env, "#", "#", VESK_START_IN_TEXT);
    EXPECT_EQ(tokensOf(*env, "A #x\ny# B"),
              (Tokens{"Text:A ", "Xl:x", "Text:\n", "Xl:y", "Text: B"}));

    // Starting in code, the opening delimiter leads into text.
    Vesk_setdelimiters(*env, "<<", ">>", 0);
    EXPECT_EQ(tokensOf(*env, "x<<a+b>>y"), (Tokens{"Xl:x", "Text:a+b", "Xl:y"}));
}

TEST(VeskTokens, Numbers) {
    EXPECT_EQ(codeTokens(".5"), (Tokens{"Xn:.5"}));
    EXPECT_EQ(codeTokens("5."), (Tokens{"Xn:5."}));
    EXPECT_EQ(codeTokens("."), (Tokens{"Opfrag:."}));
    EXPECT_EQ(codeTokens("1e+5 2E-3"), (Tokens{"Xn:1e+5", "Text: ", "Xn:2E-3"}));
    // A letter right after the exponent mark rejects the whole number.
    EXPECT_EQ(codeTokens("2ex"), (Tokens{"Text:2", "Xl:ex"}));
    // A second point rejects it too.
    EXPECT_EQ(codeTokens("1.2.3"), (Tokens{"Text:1", "Opfrag:.", "Xn:2.3"}));
    // The end of the text ends a number in any state.
    EXPECT_EQ(codeTokens("3e"), (Tokens{"Xn:3e"}));

    std::unique_ptr<Vesk> env = Vesk_new();
    std::unique_ptr<VeskNode> root = Vesk_tokenize(*env, "2.5e3 .25 3e");
    ASSERT_EQ(root->children.size(), 5u);
    EXPECT_EQ(root->children[0]->value.number, 2500);
    EXPECT_EQ(root->children[2]->value.number, 0.25);
    EXPECT_EQ(root->children[4]->value.number, 3);
}

TEST(VeskTokens, Comments) {
    EXPECT_EQ(codeTokens("a // note\nb"),
              (Tokens{"Xl:a", "Text: ", "Comment:// note", "Text:\n", "Xl:b"}));
    EXPECT_EQ(codeTokens("a/* x */b"), (Tokens{"Xl:a", "Comment:/* x */", "Xl:b"}));
    // An unterminated block comment swallows the rest, delimiters included.
    EXPECT_EQ(latticeTokens("#a /* open# b\nc"),
              (Tokens{"Xl:a", "Text: ", "Comment:/* open# b\nc"}));
}

TEST(VeskTokens, FragmentsBeforeIdentifiersLongestFirst) {
    EXPECT_EQ(codeTokens("format done"),
              (Tokens{"Opfrag:for", "Xl:mat", "Text: ", "Opfrag:do", "Xl:ne"}));
    EXPECT_EQ(codeTokens("a<<=b"), (Tokens{"Xl:a", "Opfrag:<<=", "Xl:b"}));
    EXPECT_EQ(codeTokens("p->q"), (Tokens{"Xl:p", "Opfrag:->", "Xl:q"}));
    EXPECT_EQ(codeTokens("x-->y"), (Tokens{"Xl:x", "Opfrag:--", "Opfrag:>", "Xl:y"}));
    EXPECT_EQ(codeTokens("sizeof(a)"), (Tokens{"Opfrag:sizeof(", "Xl:a", "Opfrag:)"}));
    EXPECT_EQ(codeTokens("_a1 @$"), (Tokens{"Xl:_a1", "Text: @$"}));
}

TEST(VeskTokens, IdentifiersCreateEmptyVariables) {
    std::unique_ptr<Vesk> env = Vesk_new();
    Vesk_tokenize(*env, "alpha + beta");
    ASSERT_EQ(env->variables.size(), 2u);
    EXPECT_EQ(env->variables[0].name, "alpha");
    EXPECT_EQ(env->variables[1].name, "beta");
    EXPECT_TRUE(Value_isempty(env->variables[0].value));
}

using VeskDumps = VeskScratchTest;

TEST_F(VeskDumps, TokenAndTreeFilesOnEveryParse) {
    std::unique_ptr<Vesk> env = Vesk_new();
    env->dumps = true;
    Vesk_run(*env, "a = 12;");
    EXPECT_EQ(folder_.read("vesktokenout.log"),
              "Root:'a = 12;' arity 6\n"
              "  Xl:Value=a 'a'\n"
              "  Text:' '\n"
              "  Opfrag:= '='\n"
              "  Text:' '\n"
              "  Xn:Value=12 '12'\n"
              "  Opfrag:; ';'\n");
    EXPECT_EQ(folder_.read("vesktreeout.log"),
              "Root:'a = 12;' arity 1\n"
              "  S:X ; 'a = 12;' arity 1\n"
              "    X:Xl = X Value=?Unknown? 'a = 12' arity 2\n"
              "      Xl:Value=a 'a'\n"
              "      Xn:Value=12 '12'\n");
}

TEST_F(VeskDumps, NoFilesUnlessAsked) {
    std::unique_ptr<Vesk> env = Vesk_new();
    Vesk_run(*env, "a = 12;");
    EXPECT_FALSE(std::filesystem::exists("vesktokenout.log"));
    EXPECT_FALSE(std::filesystem::exists("vesktreeout.log"));
}

TEST(VeskDump, LongTextsShortenedAndNewlinesShown) {
    std::string text = std::string(45, 'a') + "\n" + std::string(9, 'b');
    std::unique_ptr<Vesk> env = Vesk_new();
    Vesk_setdelimiters(*env, "#", "#", VESK_START_IN_TEXT);
    std::unique_ptr<VeskNode> root = Vesk_tokenize(*env, text);
    std::string shown = std::string(37, 'a') + "..." + "\xAC" + std::string(9, 'b');
    EXPECT_EQ(Vesk_dump(*root), "Root:'" + shown + "' arity 1\n  Text:'" + shown + "'\n");
}

}  // namespace
