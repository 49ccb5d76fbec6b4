// The operator table: every construct of the language, from a sum to a for
// loop and the joining of plain text, is one row, and the parser knows nothing
// beyond the rows.
#include <algorithm>
#include <array>
#include <string_view>

#include "common/report.hpp"
#include "common/text.hpp"
#include "lattice/vesk.hpp"
#include "lattice/vesk_arith.hpp"

namespace {

bool isUpper(char c) {
    return c >= 'A' && c <= 'Z';
}
bool isLowerOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// A placeholder is an upper-case letter and the lower-case letters and digits
// after it; a fragment is a run of anything but white space and upper case.
std::vector<VeskPart> splitPattern(std::string_view s) {
    std::vector<VeskPart> parts;
    bool spaced = false;
    size_t i = 0;
    while (i < s.size()) {
        if (isBlank(s[i])) {
            spaced = true;
            i++;
            continue;
        }
        size_t j = i + 1;
        VeskPart part;
        part.spaced = spaced;
        part.placeholder = isUpper(s[i]);
        if (part.placeholder) {
            while (j < s.size() && isLowerOrDigit(s[j])) j++;
        } else {
            while (j < s.size() && !isBlank(s[j]) && !isUpper(s[j])) j++;
        }
        part.text = s.substr(i, j - i);
        parts.push_back(std::move(part));
        spaced = false;
        i = j;
    }
    return parts;
}

int32_t addFragment(Vesk& env, const std::string& text) {
    for (size_t i = 0; i < env.fragments.size(); i++) {
        if (env.fragments[i] == text) return static_cast<int32_t>(i);
    }
    auto index = static_cast<int32_t>(env.fragments.size());
    env.fragments.push_back(text);
    // The tokenizer wants the longest fragment that the text continues with;
    // keeping the candidates per first byte, longest first, makes that a
    // short scan.
    env.fragmentsByByte.resize(256);
    std::vector<int32_t>& bucket = env.fragmentsByByte[static_cast<unsigned char>(text[0])];
    bucket.push_back(index);
    std::stable_sort(bucket.begin(), bucket.end(), [&](int32_t a, int32_t b) {
        return env.fragments[static_cast<size_t>(a)].size() >
               env.fragments[static_cast<size_t>(b)].size();
    });
    return index;
}

struct BuiltinRow {
    std::string_view s;
    std::string_view out;
    int prec;
    VeskAction action = VeskAction::None;
    VeskBinaryFn binary = nullptr;
    VeskUnaryFn unary = nullptr;
};

using A = VeskAction;

// Lower precedence numbers are reduced first; odd numbers associate from the
// right (their matches are searched from the last token backwards). Each row
// names what its nodes do; rows without an action only build structure.
constexpr BuiltinRow kBuiltinOperators[] = {
    {"Comment", "", 0},                                    // comments vanish before anything else
    {"for ( X ; X ; X )", "For1", 2, A::For},              // for head; its children go to the loop
    {"if ( X )", "If1", 2, A::If},                         // if head
    {"while ( X )", "While1", 2, A::While},                // while head
    {"If1 S", "S", 4, A::If},                              // if statement
    {"else S", "S", 4, A::Else},                           // else: runs when the last if was false
    {"For1 S", "S", 6, A::For},                            // for loop
    {"do S While1 ;", "S", 8, A::Do},                      // do loop
    {"While1 S", "S", 10, A::While},                       // while loop
    {"{ S }", "S", 12},                                    // block
    {"Xl ( X )", "X", 14, A::Call},                        // function call
    {"( X )", "X", 16, A::Paren},                          // parentheses
    {"Xl . Xl", "Xl", 18, A::Member},                      // member: the variable "a.b"
    {"Xl -> Xl", "Xl", 20, A::Arrow},                      // pointer member (no value)
    {"Xl [ X ]", "Xl", 22, A::Index},                      // array element: the variable "a2"
    {"~ X", "X", 25, A::Unary, nullptr, Vesk_complement},  // bitwise complement (right)
    {"& X", "X", 27},                                      // address (no value) (right)
    {"sizeof( Xl )", "X", 29},                             // size (no value) (right)
    {"+ X", "X", 31, A::Unary, nullptr, Vesk_plus},        // unary plus (right)
    {"Xl --", "X", 35, A::Decrement},                      // decrement (right)
    {"-X", "X", 37, A::Unary, nullptr,
     Vesk_negate},                     // negation; the sign touches its operand (right)
    {"Xl ++", "X", 39, A::Increment},  // increment (right)
    {"! X", "X", 41, A::Unary, nullptr, Vesk_not},        // logical not (right)
    {"X * X", "X", 42, A::Binary, Vesk_product},          // product
    {"X % X", "X", 44, A::Binary, Vesk_remainder},        // remainder of whole numbers
    {"X / X", "X", 46, A::Binary, Vesk_quotient},         // quotient
    {"X - X", "X", 48, A::Binary, Vesk_difference},       // difference
    {"X + X", "X", 50, A::Binary, Vesk_sum},              // sum
    {"X >> X", "X", 52, A::Binary, Vesk_shiftright},      // shift right
    {"X << X", "X", 54, A::Binary, Vesk_shiftleft},       // shift left
    {"X <= X", "X", 56, A::Binary, Vesk_atmost},          // at most
    {"X >= X", "X", 58, A::Binary, Vesk_atleast},         // at least
    {"X > X", "X", 60, A::Binary, Vesk_greater},          // greater
    {"X < X", "X", 62, A::Binary, Vesk_less},             // less
    {"X != X", "X", 64, A::Binary, Vesk_unequal},         // unequal
    {"X == X", "X", 66, A::Binary, Vesk_equal},           // equal
    {"X & X", "X", 68, A::Binary, Vesk_bitand},           // bitwise and
    {"X ^ X", "X", 70, A::Binary, Vesk_bitxor},           // bitwise exclusive or
    {"X | X", "X", 72, A::Binary, Vesk_bitor},            // bitwise or
    {"X && X", "X", 74, A::Binary, Vesk_and},             // logical and (both sides evaluated)
    {"X || X", "X", 76, A::Binary, Vesk_or},              // logical or (both sides evaluated)
    {"X ? X : X", "X", 79, A::Conditional},               // conditional (right)
    {"Xl = X", "X", 83, A::Assign},                       // assignment (right)
    {"Xl >>= X", "X", 83, A::Compound, Vesk_shiftright},  // compound assignments (right)
    {"Xl %= X", "X", 83, A::Compound, Vesk_remainder},    //
    {"Xl ^= X", "X", 83, A::Compound, Vesk_bitxor},       //
    {"Xl &= X", "X", 83, A::Compound, Vesk_bitand},       //
    {"Xl |= X", "X", 83, A::Compound, Vesk_bitor},        //
    {"Xl /= X", "X", 83, A::Compound, Vesk_quotient},     //
    {"Xl <<= X", "X", 83, A::Compound, Vesk_shiftleft},   //
    {"Xl *= X", "X", 83, A::Compound, Vesk_product},      //
    {"Xl -= X", "X", 83, A::Compound, Vesk_difference},   //
    {"Xl += X", "X", 83, A::Compound, Vesk_sum},          //
    {"X , X", "X", 102},                                  // comma (no value)
    {"X ;", "S", 104},                                    // expression statement
    {";", "S", 106},                                      // empty statement
    {"TextText", "Text", 108},                            // adjacent texts join
    {"Text;", "S", 110},                                  // text followed by a semicolon
    {"{Text}", "S", 110},          // a text in braces is a statement (loop bodies)
    {"TextS", "S", 112},           // text before a statement
    {"S S", "S", 114},             // statement list
    {"SText", "S", 114},           // statement before a text
    {"X", "Text", 117, A::Print},  // a bare expression left over becomes its value's text
};

constexpr bool precedencesAscend() {
    for (size_t i = 1; i < std::size(kBuiltinOperators); i++) {
        if (kBuiltinOperators[i].prec < kBuiltinOperators[i - 1].prec) return false;
    }
    return true;
}
static_assert(std::size(kBuiltinOperators) == 63, "the built-in table has 63 rows");
static_assert(precedencesAscend(), "rows of the built-in table are in precedence order");

}  // namespace

int Vesk_findop(const Vesk& env, std::string_view s) {
    for (size_t i = env.ops.size(); i-- > 0;) {
        if (env.ops[i].s == s) return static_cast<int>(i);
    }
    return -1;
}

void Vesk_addop(Vesk& env, VeskOp op) {
    std::vector<VeskPart> parts = splitPattern(op.s);
    if (op.s.size() >= VESK_OPLEN || op.out.size() >= VESK_TLEN || parts.empty()) {
        reportf("[WARNING] Vesk operator '%s' producing '%s' is not valid and was not added",
                op.s.c_str(), op.out.c_str());
        return;
    }
    int existing = Vesk_findop(env, op.s);
    if (existing >= 0) {
        env.ops[static_cast<size_t>(existing)].prec = op.prec;
    } else {
        op.nparts = static_cast<int>(parts.size());
        op.arity = static_cast<int>(std::count_if(parts.begin(), parts.end(),
                                                  [](const VeskPart& p) { return p.placeholder; }));
        for (VeskPart& part : parts) {
            if (!part.placeholder) part.fragment = addFragment(env, part.text);
        }
        op.parts = std::move(parts);
        // After every row of lower or equal precedence: the list stays
        // sorted, and rows of equal precedence keep their insertion order.
        auto at = std::upper_bound(env.ops.begin(), env.ops.end(), op.prec,
                                   [](int prec, const VeskOp& o) { return prec < o.prec; });
        env.ops.insert(at, std::move(op));
        return;
    }
    std::stable_sort(env.ops.begin(), env.ops.end(),
                     [](const VeskOp& a, const VeskOp& b) { return a.prec < b.prec; });
}

void Vesk_addop(Vesk& env, std::string_view s, std::string_view out, int prec,
                VeskOpHandler handler) {
    VeskOp op;
    op.s = s;
    op.out = out;
    op.prec = prec;
    op.op = std::move(handler);
    // A row spelled like a built-in one does what the built-in row says.
    auto builtin = std::find_if(std::begin(kBuiltinOperators), std::end(kBuiltinOperators),
                                [&](const BuiltinRow& row) { return row.s == s; });
    if (builtin != std::end(kBuiltinOperators)) {
        op.action = builtin->action;
        op.binary = builtin->binary;
        op.unary = builtin->unary;
    }
    Vesk_addop(env, std::move(op));
}

void Vesk_custom_operators(Vesk& env) {
    for (size_t i = std::size(kBuiltinOperators); i-- > 0;) {
        const BuiltinRow& row = kBuiltinOperators[i];
        Vesk_addop(env, row.s, row.out, row.prec);
    }
}
