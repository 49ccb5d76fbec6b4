// Values, variables as the lattice interpreter sets them, and the parts of
// running a tree that the fixtures under tests/data/vesk do not show.
#include <gtest/gtest.h>

#include <filesystem>

#include "lattice/vesk_support.hpp"
#include "support/test_support.hpp"

namespace {

TEST(VeskValue, PrintedFormsAndTruth) {
    EXPECT_EQ(Value_print(Value{}), "(tba)");
    EXPECT_EQ(Value_print(Value_number(1e6)), "1e+06");
    EXPECT_EQ(Value_print(Value_number(0.1 + 0.2)), "0.3");
    EXPECT_EQ(Value_print(Value_text("x y")), "Text 'x y'");
    EXPECT_EQ(Value_print(Value_lvalue("S1.Field", 3)), "S1.Field");
    EXPECT_EQ(Value_print(Value_kind("Xl")), "?Unspecified LValue?");
    EXPECT_EQ(Value_print(Value_kind("S")), "?Unknown?");

    EXPECT_TRUE(Value_true(Value_number(-2)));
    EXPECT_FALSE(Value_true(Value_number(0)));
    EXPECT_FALSE(Value_true(Value_text("1")));
    EXPECT_FALSE(Value_true(Value{}));
    EXPECT_FALSE(Value_true(Value_lvalue("x", 0)));

    // Kinds are cut to 15 characters; expressions are asked for by prefix.
    EXPECT_EQ(Value_kindname(Value_kind("ABCDEFGHIJKLMNOPQ")), "ABCDEFGHIJKLMNO");
    EXPECT_TRUE(Value_hasprefix(Value_number(1), "X"));
    EXPECT_FALSE(Value_hasprefix(Value_kind("X"), "Xl"));
}

TEST(VeskVariables, InterpreterSetsNumbersThatCodeReads) {
    std::unique_ptr<Vesk> env = Vesk_new();
    Vesk_setdelimiters(*env, "#", "#", VESK_START_IN_TEXT | VESK_NEWLINE_RESETS);
    std::string out;
    Vesk_setcallback(*env, [&](std::string_view t) {
        out += t;
        return 0;
    });
    Vesk_setvariable(*env, "S1.Field", Value_number(1.5));
    Vesk_setvariable(*env, "L", Value_number(2));
    Vesk_run(*env, "Q1 #S1.Field*L#\n");
    EXPECT_EQ(out, "Q1 3\n");
    // Set again: the same entry changes.
    size_t count = env->variables.size();
    Vesk_setvariable(*env, "L", Value_number(4));
    EXPECT_EQ(env->variables.size(), count);
    EXPECT_EQ(Vesk_variable(*env, "L").number, 4);
}

TEST(VeskVariables, DeepestEntryWinsThenLatest) {
    std::unique_ptr<Vesk> env = Vesk_new();
    Vesk_setvariable(*env, "v", Value_number(1), 0);
    Vesk_setvariable(*env, "v", Value_number(2), 1);
    EXPECT_EQ(Vesk_variable(*env, "v").number, 2);
    Vesk_setvariable(*env, "v", Value_number(3), 0);  // the depth-0 entry, not a new one
    EXPECT_EQ(env->variables.size(), 2u);
    EXPECT_EQ(Vesk_variable(*env, "v").number, 2);
    Vesk_setvariable(*env, "v", Value_number(5), 2);
    EXPECT_EQ(Vesk_variable(*env, "v").number, 5);
    // Names are case-sensitive; a missing one is created empty.
    EXPECT_TRUE(Value_isempty(Vesk_variable(*env, "V")));
    EXPECT_EQ(env->variables.size(), 4u);
}

TEST(VeskRun, WithoutCallbackTextsAreDropped) {
    std::unique_ptr<Vesk> env = Vesk_new();
    EXPECT_EQ(Vesk_run(*env, "x = 1; 5 + x"), 0);
    EXPECT_EQ(Vesk_variable(*env, "x").number, 1);
}

TEST(VeskRun, CallbackStopsStatementsAndLoops) {
    VeskOutcome out =
        runVesk("#for (i = 0; i < 100; i++) {#T#n = i; }#\nafter\n", VeskMode::Lattice, 3);
    EXPECT_EQ(out.texts, (std::vector<std::string>{"T", "T", "T"}));
    EXPECT_EQ(out.var("n"), "1");
    EXPECT_EQ(out.var("i"), "2");
    EXPECT_EQ(out.stop, 1);
}

TEST(VeskRun, EvaluatesEveryOperand) {
    // No short-circuit: both sides of && and || and all parts of ?: run.
    VeskOutcome out = runVesk(
        "a = 0; b = 0; c = 0; x = 0 && (a = 1); y = 1 || (b = 1);"
        "z = 1 ? 2 : (c = 3);");
    EXPECT_EQ(out.var("a"), "1");
    EXPECT_EQ(out.var("b"), "1");
    EXPECT_EQ(out.var("c"), "3");
    EXPECT_EQ(out.var("x"), "0");
    EXPECT_EQ(out.var("y"), "1");
    EXPECT_EQ(out.var("z"), "2");
}

TEST(VeskRun, UnsetValuesFlowAsLvalues) {
    // A variable assigned from an unset one holds that lvalue and prints its
    // name; arithmetic on it has no value.
    VeskOutcome out = runVesk("a = b; a; ; c = a + 1; c; d = -q; e = q++;");
    EXPECT_EQ(out.var("a"), "b");
    EXPECT_EQ(out.var("c"), "(tba)");
    EXPECT_EQ(out.var("d"), "(tba)");
    EXPECT_EQ(out.var("e"), "(tba)");
    EXPECT_EQ(out.var("q"), "(tba)");
}

TEST(VeskRun, IncrementActsBeforeUse) {
    VeskOutcome out = runVesk("i = 1; j = i++; k = i--; m = i;");
    EXPECT_EQ(out.var("j"), "2");
    EXPECT_EQ(out.var("k"), "1");
    EXPECT_EQ(out.var("m"), "1");
}

TEST(VeskRun, OperatorsWithoutValue) {
    VeskOutcome out = runVesk("p = 1; a = sizeof(p); b = &p; c = (1, 2); d = p->q;");
    for (std::string_view name : {"a", "b", "c", "d"}) EXPECT_EQ(out.var(name), "(tba)") << name;
}

using VeskOddTree = VeskScratchTest;

TEST_F(VeskOddTree, TextNodeWithoutTextIsReported) {
    std::unique_ptr<Vesk> env = Vesk_new();
    // A user row that builds a Text node whose handler gives a number.
    Vesk_addop(*env, "zz X", "Text", 1, [](VeskNode&) { return Value_number(1); });
    std::vector<std::string> texts;
    Vesk_setcallback(*env, [&](std::string_view t) {
        texts.emplace_back(t);
        return 0;
    });
    Vesk_run(*env, "zz 5");
    EXPECT_EQ(texts, std::vector<std::string>{"No text found in Text node [see oddtree.log]."});
    EXPECT_EQ(folder_.read("oddtree.log"),
              "Text:zz X 'zz 5' arity 1\n"
              "  Xn:Value=5 '5'\n");
}

}  // namespace
