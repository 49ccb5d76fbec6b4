// The lexical layer: a program text becomes a flat list of tokens under a
// "Root" node. Delimiters switch between text mode (everything is text) and
// code mode (numbers, comments, operator fragments, identifiers).
#include <cstdlib>
#include <string>

#include "common/text.hpp"
#include "lattice/vesk.hpp"

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Length of the number at `pos`, or 0. A second point, or anything but a
// digit or sign after the exponent mark, rejects the whole token, so 1.2.3
// and 2ex are no numbers; a point alone is the member fragment.
size_t numberLength(std::string_view text, size_t pos) {
    enum State { Integer, AfterPoint, Fraction, ExponentSign, ExponentDigits };
    char first = text[pos];
    if (!isDigit(first) && first != '.') return 0;
    State state = isDigit(first) ? Integer : AfterPoint;
    size_t i = pos + 1;
    for (; i < text.size(); i++) {
        char c = text[i];
        bool exponent = c == 'e' || c == 'E';
        bool done = false;
        switch (state) {
            case Integer:
                if (isDigit(c)) break;
                if (c == '.')
                    state = AfterPoint;
                else if (exponent)
                    state = ExponentSign;
                else
                    done = true;
                break;
            case AfterPoint:
            case Fraction:
                if (isDigit(c))
                    state = Fraction;
                else if (c == '.')
                    return 0;
                else if (exponent)
                    state = ExponentSign;
                else
                    done = true;
                break;
            case ExponentSign:
                if (isDigit(c) || c == '+' || c == '-')
                    state = ExponentDigits;
                else
                    return 0;
                break;
            case ExponentDigits:
                if (!isDigit(c)) done = true;
                break;
        }
        if (done) break;
    }
    size_t length = i - pos;
    if (length == 1 && first == '.') return 0;
    return length;
}

size_t commentLength(std::string_view text, size_t pos) {
    std::string_view rest = text.substr(pos);
    if (rest.substr(0, 2) == "//") {
        size_t newline = rest.find('\n');
        return newline == std::string_view::npos ? rest.size() : newline;
    }
    if (rest.substr(0, 2) == "/*") {
        size_t close = rest.find("*/", 2);
        return close == std::string_view::npos ? rest.size() : close + 2;
    }
    return 0;
}

// Index of the longest fragment that the text continues with at `pos`, or -1.
int32_t fragmentAt(const Vesk& env, std::string_view text, size_t pos) {
    if (env.fragmentsByByte.empty()) return -1;
    for (int32_t index : env.fragmentsByByte[static_cast<unsigned char>(text[pos])]) {
        const std::string& f = env.fragments[static_cast<size_t>(index)];
        if (text.compare(pos, f.size(), f) == 0) return index;
    }
    return -1;
}

size_t identifierLength(std::string_view text, size_t pos) {
    if (!isLetter(text[pos]) && text[pos] != '_') return 0;
    size_t i = pos + 1;
    while (i < text.size() && (isLetter(text[i]) || isDigit(text[i]) || text[i] == '_')) i++;
    return i - pos;
}

std::unique_ptr<VeskNode> makeToken(Vesk& env, size_t start, size_t end, std::string_view kind) {
    auto node = std::make_unique<VeskNode>();
    node->env = &env;
    node->start = static_cast<uint32_t>(start);
    node->end = static_cast<uint32_t>(end);
    node->value = Value_kind(kind);
    return node;
}

}  // namespace

std::string_view VeskNode_source(const VeskNode& node) {
    std::string_view program = node.env->program;
    if (node.start >= program.size() || node.end <= node.start) return {};
    return program.substr(node.start, node.end - node.start);
}

std::unique_ptr<VeskNode> Vesk_tokenize(Vesk& env, std::string_view text) {
    env.program = text;
    std::string_view program = env.program;
    std::unique_ptr<VeskNode> root = makeToken(env, 0, program.size(), "Root");
    std::vector<std::unique_ptr<VeskNode>>& tokens = root->children;

    const bool startInText = (env.flags & VESK_START_IN_TEXT) != 0;
    bool inText = startInText;
    auto tooMany = [&] {
        if (tokens.size() <= env.maxTokens) return false;
        Vesk_refuse(env, format("[WARNING] Vesk code has more than %zu tokens; it is not run",
                                env.maxTokens));
        tokens.clear();
        return true;
    };
    size_t pos = 0;
    while (pos < program.size()) {
        if (tooMany()) return root;
        char c = program[pos];
        if (c == '\n' && (env.flags & VESK_NEWLINE_RESETS)) inText = startInText;

        const std::string& delimiter = inText == startInText ? env.open : env.close;
        if (!delimiter.empty() && program.compare(pos, delimiter.size(), delimiter) == 0) {
            inText = !inText;
            pos += delimiter.size();
            continue;
        }

        if (!inText) {
            if (size_t n = numberLength(program, pos)) {
                auto token = makeToken(env, pos, pos + n, "Xn");
                token->value.number =
                    std::strtod(std::string(program.substr(pos, n)).c_str(), nullptr);
                tokens.push_back(std::move(token));
                pos += n;
                continue;
            }
            if (size_t n = commentLength(program, pos)) {
                tokens.push_back(makeToken(env, pos, pos + n, "Comment"));
                pos += n;
                continue;
            }
            if (int32_t f = fragmentAt(env, program, pos); f >= 0) {
                size_t n = env.fragments[static_cast<size_t>(f)].size();
                auto token = makeToken(env, pos, pos + n, "Opfrag");
                token->index = f;
                tokens.push_back(std::move(token));
                pos += n;
                continue;
            }
            if (size_t n = identifierLength(program, pos)) {
                std::string_view name = program.substr(pos, n);
                auto token = makeToken(env, pos, pos + n, "Xl");
                token->value = Value_lvalue(name, Vesk_lookup(env, name));
                tokens.push_back(std::move(token));
                pos += n;
                continue;
            }
        }

        if (!tokens.empty() && Value_is(tokens.back()->value, "Text") &&
            tokens.back()->end == pos) {
            tokens.back()->end++;
        } else {
            tokens.push_back(makeToken(env, pos, pos + 1, "Text"));
        }
        pos++;
    }
    tooMany();
    return root;
}
