// The operator table: every construct of the language, from a sum to a for
// loop and the joining of plain text, is one row, and the parser knows nothing
// beyond the rows.
#include <algorithm>
#include <array>
#include <string_view>

#include "app/common/report.hpp"
#include "app/common/text.hpp"
#include "lattice/vesk.hpp"

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

bool isOneOf(std::string_view text, std::initializer_list<std::string_view> set) {
    return std::find(set.begin(), set.end(), text) != set.end();
}

// Reads what nodes of an operator do from its pattern, so that an operator
// inserted again or a user row spelled like a built-in one behaves alike.
void classify(VeskOp& op) {
    const std::vector<VeskPart>& p = op.parts;
    std::string_view s = op.s;
    op.action = VeskAction::None;
    op.symbol.clear();

    // Statements go by the start of the pattern, whatever the case: "For1 S"
    // runs as a for loop just like a row written "for".
    if (startsWithNoCase(s, "while")) {
        op.action = VeskAction::While;
    } else if (startsWithNoCase(s, "else")) {
        op.action = VeskAction::Else;
    } else if (startsWithNoCase(s, "for")) {
        op.action = VeskAction::For;
    } else if (startsWithNoCase(s, "if")) {
        op.action = VeskAction::If;
    } else if (startsWithNoCase(s, "do")) {
        op.action = VeskAction::Do;
    }
    if (op.action != VeskAction::None) return;

    auto frag = [&](size_t i, std::string_view text) {
        return i < p.size() && !p[i].placeholder && p[i].text == text;
    };
    auto holder = [&](size_t i, std::string_view text) {
        return i < p.size() && p[i].placeholder && p[i].text == text;
    };

    if (op.arity == 3 && p.size() == 5 && frag(1, "?") && frag(3, ":")) {
        op.action = VeskAction::Conditional;
    } else if (op.arity == 2 && p.size() == 3 && p[0].placeholder && !p[1].placeholder &&
               p[2].placeholder) {
        const std::string& f = p[1].text;
        bool lvalueFirst = p[0].text == "Xl";
        if (lvalueFirst && f == "=") {
            op.action = VeskAction::Assign;
        } else if (lvalueFirst &&
                   isOneOf(f, {"+=", "-=", "*=", "/=", "%=", "&=", "^=", "|=", "<<=", ">>="})) {
            op.action = VeskAction::Compound;
            op.symbol = f.substr(0, f.size() - 1);
        } else if (lvalueFirst && p[2].text == "Xl" && f == ".") {
            op.action = VeskAction::Member;
        } else if (lvalueFirst && p[2].text == "Xl" && f == "->") {
            op.action = VeskAction::Arrow;
        } else if (isOneOf(f, {"*", "/", "+", "-", "<", "<=", ">", ">=", "==", "!=", "&&", "||",
                               "%", "&", "^", "|", "<<", ">>"})) {
            op.action = VeskAction::Binary;
            op.symbol = f;
        }
    } else if (op.arity == 2 && p.size() == 4 && holder(0, "Xl") && p[2].placeholder) {
        if (frag(1, "(") && frag(3, ")")) op.action = VeskAction::Call;
        if (frag(1, "[") && frag(3, "]")) op.action = VeskAction::Index;
    } else if (op.arity == 1) {
        if (p.size() == 3 && frag(0, "(") && frag(2, ")")) {
            op.action = VeskAction::Paren;
        } else if (op.out == "Text" && p.size() == 1) {
            op.action = VeskAction::Print;
        } else if (!s.empty() && isOneOf(s.substr(0, 1), {"+", "-", "!", "~"})) {
            op.action = VeskAction::Unary;
            op.symbol.assign(1, s[0]);
        } else if (p.size() == 2 && holder(0, "Xl") && frag(1, "++")) {
            op.action = VeskAction::Increment;
        } else if (p.size() == 2 && holder(0, "Xl") && frag(1, "--")) {
            op.action = VeskAction::Decrement;
        }
    }
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
};

// Lower precedence numbers are reduced first; odd numbers associate from the
// right (their matches are searched from the last token backwards).
constexpr BuiltinRow kBuiltinOperators[] = {
    {"Comment", "", 0},                // comments vanish before anything else
    {"for ( X ; X ; X )", "For1", 2},  // for head; its children go to the loop
    {"if ( X )", "If1", 2},            // if head
    {"while ( X )", "While1", 2},      // while head
    {"If1 S", "S", 4},                 // if statement
    {"else S", "S", 4},                // else: runs when the last if was false
    {"For1 S", "S", 6},                // for loop
    {"do S While1 ;", "S", 8},         // do loop
    {"While1 S", "S", 10},             // while loop
    {"{ S }", "S", 12},                // block
    {"Xl ( X )", "X", 14},             // function call
    {"( X )", "X", 16},                // parentheses
    {"Xl . Xl", "Xl", 18},             // member: the variable "a.b"
    {"Xl -> Xl", "Xl", 20},            // pointer member (no value)
    {"Xl [ X ]", "Xl", 22},            // array element: the variable "a2"
    {"~ X", "X", 25},                  // bitwise complement (right)
    {"& X", "X", 27},                  // address (no value) (right)
    {"sizeof( Xl )", "X", 29},         // size (no value) (right)
    {"+ X", "X", 31},                  // unary plus (right)
    {"Xl --", "X", 35},                // decrement (right)
    {"-X", "X", 37},                   // negation; the sign touches its operand (right)
    {"Xl ++", "X", 39},                // increment (right)
    {"! X", "X", 41},                  // logical not (right)
    {"X * X", "X", 42},                // product
    {"X % X", "X", 44},                // remainder of whole numbers
    {"X / X", "X", 46},                // quotient
    {"X - X", "X", 48},                // difference
    {"X + X", "X", 50},                // sum
    {"X >> X", "X", 52},               // shift right
    {"X << X", "X", 54},               // shift left
    {"X <= X", "X", 56},               // at most
    {"X >= X", "X", 58},               // at least
    {"X > X", "X", 60},                // greater
    {"X < X", "X", 62},                // less
    {"X != X", "X", 64},               // unequal
    {"X == X", "X", 66},               // equal
    {"X & X", "X", 68},                // bitwise and
    {"X ^ X", "X", 70},                // bitwise exclusive or
    {"X | X", "X", 72},                // bitwise or
    {"X && X", "X", 74},               // logical and (both sides evaluated)
    {"X || X", "X", 76},               // logical or (both sides evaluated)
    {"X ? X : X", "X", 79},            // conditional (right)
    {"Xl = X", "X", 83},               // assignment (right)
    {"Xl >>= X", "X", 83},             // compound assignments (right)
    {"Xl %= X", "X", 83},              //
    {"Xl ^= X", "X", 83},              //
    {"Xl &= X", "X", 83},              //
    {"Xl |= X", "X", 83},              //
    {"Xl /= X", "X", 83},              //
    {"Xl <<= X", "X", 83},             //
    {"Xl *= X", "X", 83},              //
    {"Xl -= X", "X", 83},              //
    {"Xl += X", "X", 83},              //
    {"X , X", "X", 102},               // comma (no value)
    {"X ;", "S", 104},                 // expression statement
    {";", "S", 106},                   // empty statement
    {"TextText", "Text", 108},         // adjacent texts join
    {"Text;", "S", 110},               // text followed by a semicolon
    {"{Text}", "S", 110},              // a text in braces is a statement (loop bodies)
    {"TextS", "S", 112},               // text before a statement
    {"S S", "S", 114},                 // statement list
    {"SText", "S", 114},               // statement before a text
    {"X", "Text", 117},                // a bare expression left over becomes its value's text
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
        classify(op);
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
    Vesk_addop(env, std::move(op));
}

void Vesk_custom_operators(Vesk& env) {
    for (size_t i = std::size(kBuiltinOperators); i-- > 0;) {
        const BuiltinRow& row = kBuiltinOperators[i];
        Vesk_addop(env, row.s, row.out, row.prec);
    }
}
