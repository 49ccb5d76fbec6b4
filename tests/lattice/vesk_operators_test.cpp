// The operator table: its order, the counts worked out from patterns, and
// operators added by a user of the language.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "lattice/vesk_support.hpp"
#include "support/test_support.hpp"

namespace {

const VeskOp& opNamed(const Vesk& env, std::string_view pattern) {
    int index = Vesk_findop(env, pattern);
    EXPECT_GE(index, 0) << pattern;
    return env.ops[static_cast<size_t>(std::max(index, 0))];
}

TEST(VeskOperators, BuiltinTableSortedWithEqualRowsInInsertionOrder) {
    std::unique_ptr<Vesk> env = Vesk_new();
    ASSERT_EQ(env->ops.size(), 63u);
    EXPECT_TRUE(std::is_sorted(env->ops.begin(), env->ops.end(),
                               [](const VeskOp& a, const VeskOp& b) { return a.prec < b.prec; }));
    // Rows go in from the last to the first, so rows of equal precedence end
    // up in reverse table order.
    auto before = [&](std::string_view a, std::string_view b) {
        return Vesk_findop(*env, a) < Vesk_findop(*env, b);
    };
    EXPECT_TRUE(before("else S", "If1 S"));
    EXPECT_TRUE(before("Xl += X", "Xl >>= X"));
    EXPECT_TRUE(before("Xl >>= X", "Xl = X"));
    EXPECT_TRUE(before("{Text}", "Text;"));
    EXPECT_TRUE(before("SText", "S S"));
    EXPECT_EQ(env->ops.front().s, "Comment");
    EXPECT_EQ(env->ops.back().s, "X");
}

TEST(VeskOperators, PartsAndArityFromPatterns) {
    std::unique_ptr<Vesk> env = Vesk_new();
    struct Row {
        std::string_view s;
        int nparts, arity;
    };
    const Row rows[] = {
        {"for ( X ; X ; X )", 8, 3}, {"-X", 2, 1},       {"TextText", 2, 2}, {"{Text}", 3, 1},
        {"sizeof( Xl )", 3, 1},      {"X", 1, 1},        {";", 1, 0},        {"Comment", 1, 1},
        {"do S While1 ;", 4, 2},     {"X ? X : X", 5, 3}};
    for (const Row& row : rows) {
        const VeskOp& op = opNamed(*env, row.s);
        EXPECT_EQ(op.nparts, row.nparts) << row.s;
        EXPECT_EQ(op.arity, row.arity) << row.s;
    }
    EXPECT_TRUE(opNamed(*env, "Comment").out.empty());
    EXPECT_EQ(opNamed(*env, "Xl [ X ]").out, "Xl");
}

TEST(VeskOperators, FragmentsStoredOnce) {
    std::unique_ptr<Vesk> env = Vesk_new();
    const std::vector<std::string>& f = env->fragments;
    EXPECT_EQ(std::count(f.begin(), f.end(), "("), 1);
    EXPECT_EQ(std::count(f.begin(), f.end(), ";"), 1);
    for (std::string_view expected : {"sizeof(", "->", "<<=", "for", "do", "?", "|"}) {
        EXPECT_EQ(std::count(f.begin(), f.end(), expected), 1) << expected;
    }
    EXPECT_EQ(std::count(f.begin(), f.end(), "X"), 0);
}

// Every row that computes names its function, and only those rows do.
TEST(VeskOperators, ArithmeticRowsNameTheirEvaluation) {
    std::unique_ptr<Vesk> env = Vesk_new();
    for (const VeskOp& op : env->ops) {
        bool arithmetic = op.action == VeskAction::Binary || op.action == VeskAction::Compound;
        EXPECT_EQ(arithmetic, op.binary != nullptr) << op.s;
        EXPECT_EQ(op.action == VeskAction::Unary, op.unary != nullptr) << op.s;
    }
}

TEST(VeskOperators, ReinsertingChangesOnlyPrecedence) {
    std::unique_ptr<Vesk> env = Vesk_new();
    size_t fragments = env->fragments.size();
    Vesk_addop(*env, "X + X", "S", 40);
    EXPECT_EQ(env->ops.size(), 63u);
    EXPECT_EQ(env->fragments.size(), fragments);
    const VeskOp& plus = opNamed(*env, "X + X");
    EXPECT_EQ(plus.out, "X");
    EXPECT_EQ(plus.prec, 40);
    EXPECT_LT(Vesk_findop(*env, "X + X"), Vesk_findop(*env, "X * X"));

    // Sums now bind before products.
    MessageRecorder messages;
    std::vector<std::string> texts;
    Vesk_setcallback(*env, [&](std::string_view t) {
        texts.emplace_back(t);
        return 0;
    });
    Vesk_run(*env, "1 + 2 * 3");
    EXPECT_EQ(texts, std::vector<std::string>{"9"});
}

TEST(VeskOperators, UserOperatorWithHandler) {
    std::unique_ptr<Vesk> env = Vesk_new();
    Vesk_addop(*env, "X ** X", "X", 41, [](VeskNode& node) {
        Value a = Vesk_eval(*node.children[0]);
        Value b = Vesk_eval(*node.children[1]);
        if (!Value_isnumber(a) || !Value_isnumber(b)) return Value{};
        return Value_number(std::pow(a.number, b.number));
    });
    EXPECT_EQ(env->ops.size(), 64u);
    EXPECT_EQ(std::count(env->fragments.begin(), env->fragments.end(), "**"), 1);

    std::vector<std::string> texts;
    Vesk_setcallback(*env, [&](std::string_view t) {
        texts.emplace_back(t);
        return 0;
    });
    // Odd precedence: from the right, 2 ** (3 ** 2).
    Vesk_run(*env, "a = 2 ** 3 ** 2; a");
    EXPECT_EQ(Vesk_variable(*env, "a").number, 512);
    EXPECT_EQ(texts.back(), "512");
}

TEST(VeskOperators, InvalidRowsRefused) {
    MessageRecorder messages;
    messages.keys = {'y', 'y', 'y'};
    std::unique_ptr<Vesk> env = Vesk_new();
    Vesk_addop(*env, "X " + std::string(48, '@') + " X", "X", 50);  // pattern of 52 characters
    Vesk_addop(*env, "X @ X", "Toolongkind", 50);
    Vesk_addop(*env, "   ", "X", 50);
    EXPECT_EQ(env->ops.size(), 63u);
    EXPECT_NE(messages.output.find("[WARNING] Vesk operator 'X @ X' producing 'Toolongkind' is "
                                   "not valid and was not added"),
              std::string::npos);
}

}  // namespace
