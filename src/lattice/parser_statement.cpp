// One statement of a lattice: a name already made, a format declaration, a
// control command, a definition NAME:..., a parameter NAME=..., a bracketed
// group, a list, a reversed or mirrored line, a repetition or an element.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <unordered_set>

#include "common/report.hpp"
#include "common/text.hpp"
#include "common/version.hpp"
#include "lattice/parser.hpp"

namespace {

bool isLatin(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

// Blanks and control characters survive only between two parts of a value
// list ("S1 0.3", "D1 [1 2]"), so "D1 , D2 ;" becomes "D1,D2".
std::string standardForm(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i] == '\t' ? ' ' : text[i];
        unsigned char u = static_cast<unsigned char>(c);
        if (u >= 1 && u <= 32) {
            if (out.empty() || i + 1 >= text.size()) continue;
            unsigned char last = static_cast<unsigned char>(out.back());
            char next = text[i + 1];
            bool afterValue = isLatin(static_cast<char>(last)) || last == '"' || last == '\'' ||
                              last == ']' || last == 0xB0;
            bool beforeValue = isLatin(next) || next == '"' || next == '\'' || next == '[' ||
                               next == '.' || next == '-' || next == '+';
            if (!(afterValue && beforeValue)) continue;
        }
        out += c;
    }
    while (!out.empty() && out.back() == ';') out.pop_back();
    return out;
}

CellPtr controlCommand(LatticeParser& parser, std::string_view text) {
    size_t end = 1;
    while (end < text.size() && isWordChar(text[end])) end++;
    std::string command(text.substr(1, end - 1));
    if (!equalNoCase(command, "MINVER")) {
        if (parser.check) {
            parserFinding(parser, "",
                          "unknown control command !" + command + didYouMean(command, {"MINVER"}));
            return nullptr;
        }
        report("[FATAL] Unknown control command !" + command + parserWhere(parser));
        return nullptr;
    }
    float needed = static_cast<float>(leadingDouble(text.substr(end)));
    if (needed > kVersionNumber) {
        std::string message =
            format("Lattice needs Pelto version %g or higher (you are using %g)",
                   static_cast<double>(needed), static_cast<double>(kVersionNumber));
        if (parser.check) {
            parserFinding(parser, "", message);
        } else {
            report(message);
        }
        latticeRejected = true;
    }
    return nullptr;
}

CellPtr formatDeclaration(LatticeParser& parser, std::string_view text) {
    int depth = 0;
    size_t close = text.size();
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '{') depth++;
        if (text[i] == '}' && --depth == 0) {
            close = i;
            break;
        }
    }
    parser.format = parseformat(text.substr(1, close - 1));
    if (parser.check) checkFormat(parser, parser.format);
    if (parser.format.count() > 0 && parser.format.defaults[0]) {
        addTypeFormat(parser, parser.format);
    }
    parserReport(parser, "Parse format {" + formatToText(parser.format) + "}\n");
    if (close + 1 < text.size()) return parselatticestatement(parser, text.substr(close + 1));
    return nullptr;
}

std::string listContext(std::string_view text, size_t itemEnd) {
    size_t start = itemEnd > 30 ? itemEnd - 30 : 0;
    std::string_view stretch = text.substr(start, 60);
    std::string out = start > 0 ? "..." : "";
    out += stretch;
    if (start + stretch.size() < text.size()) out += "...";
    return out;
}

void appendChildren(Cell& composite, const CellPtr& cell) {
    if (composite.children.size() >= kMaxCompositeChildren) return;
    if (cell->kind == Composite) {
        for (const CellPtr& child : cell->children) {
            if (composite.children.size() >= kMaxCompositeChildren) break;
            composite.children.push_back(child);
        }
    } else {
        composite.children.push_back(cell);
    }
}

CellPtr list(LatticeParser& parser, std::string_view text) {
    parserReport(parser, "Parsing comma-separated list '" + std::string(text) + "'\n{\n");
    CellPtr composite = cellCreate(Composite, text);
    if (text.find(',') != std::string_view::npos) {
        int parens = 0;
        size_t start = 0;
        for (size_t i = 0; i <= text.size(); i++) {
            char c = i < text.size() ? text[i] : ',';
            if (c == '(') parens++;
            if (c == ')') parens--;
            if (c != ',' || parens != 0) continue;
            std::string_view item = text.substr(start, i - start);
            bool last = i == text.size();
            start = i + 1;
            if (last && item.empty()) {
                if (parser.check) {
                    parserFinding(parser, "", "the line ends with a comma");
                } else {
                    report("[WARNING] Comma-separated list ends with empty item" +
                           parserWhere(parser));
                }
                break;
            }
            parser.lineDepth++;
            CellPtr cell = item.empty() ? nullptr : parselatticestatement(parser, item);
            parser.lineDepth--;
            if (!cell) {
                parserWarn(parser, "[WARNING] Missing element in comma separated list\n" +
                                       listContext(text, i));
                continue;
            }
            appendChildren(*composite, cell);
        }
        if (composite->children.size() >= kMaxCompositeChildren) {
            parserFatal(parser, format("[FATAL] Lattice line '%.60s' holds more than %zu elements",
                                       std::string(text).c_str(), kMaxCompositeChildren));
        }
    }
    // Every position gets its own cell: earlier repeats become copies, the
    // last occurrence keeps the cell itself.
    std::vector<CellPtr>& children = composite->children;
    std::unordered_set<const Cell*> later;
    for (size_t i = children.size(); i-- > 0;) {
        if (!later.insert(children[i].get()).second) {
            CellPtr copy = cellCopy(*children[i]);
            madeAppend(parser.cells, copy);
            children[i] = copy;
        }
    }
    parserReport(parser, "}\n");
    return composite;
}

// The parts of a line name cells made earlier; a check says when one does not.
CellPtr linePart(LatticeParser& parser, std::string_view text) {
    parser.lineDepth++;
    CellPtr cell = parselatticestatement(parser, text);
    parser.lineDepth--;
    return cell;
}

CellPtr reversed(LatticeParser& parser, std::string_view text, bool& registered) {
    CellPtr inner = linePart(parser, text.substr(1));
    if (!inner || inner->kind != Composite) {
        registered = true;  // an element comes back as it is
        return inner;
    }
    CellPtr line = cellCreate(Composite, text);
    line->children.assign(inner->children.rbegin(), inner->children.rend());
    return line;
}

CellPtr mirrored(LatticeParser& parser, std::string_view text, bool& registered) {
    CellPtr inner = linePart(parser, text.substr(1));
    if (!inner) {
        registered = true;
        return nullptr;
    }
    if (inner->kind == Composite) {
        CellPtr line = cellCreate(Composite, text);
        std::vector<CellPtr> children = inner->children;
        for (const CellPtr& child : children) {
            std::string name = !child->name.empty() && child->name[0] == '~' ? child->name.substr(1)
                                                                             : "~" + child->name;
            CellPtr mirror = parselatticestatement(parser, name);
            if (mirror) appendChildren(*line, mirror);
        }
        return line;
    }
    const CellAttribute* angle = cellFindAttribute(*inner, "angle");
    bool straight = angle ? (angle->kind == AttributeNumber && angle->number == 0)
                          : equalNoCase(inner->typeName, "drift");
    if (straight) {
        registered = true;
        return inner;
    }
    CellPtr mirror = cellCreate(Machine, text);
    mirror->typeName = inner->typeName;
    for (size_t i = inner->attributes.size(); i-- > 0;)
        mirror->attributes.push_back(inner->attributes[i]);
    cellNegate(*mirror, "angle");
    return mirror;
}

CellPtr repetition(LatticeParser& parser, std::string_view text, size_t star) {
    long long n = leadingInt(text.substr(0, star));
    CellPtr inner = linePart(parser, text.substr(star + 1));
    if (!inner) return nullptr;
    size_t m = inner->kind == Composite ? inner->children.size() : 1;
    if (n > 0 && m > 0 &&
        (static_cast<unsigned long long>(n) > kMaxCompositeChildren ||
         static_cast<unsigned long long>(n) * m > kMaxCompositeChildren)) {
        parserFatal(parser, format("[FATAL] Repetition '%.60s' would make more than %zu elements",
                                   std::string(text).c_str(), kMaxCompositeChildren));
        return nullptr;
    }
    CellPtr line = cellCreate(Composite, text);
    for (long long i = 0; i < n * static_cast<long long>(m); i++) {
        line->children.push_back(
            inner->kind == Composite ? inner->children[static_cast<size_t>(i) % m] : inner);
    }
    return line;
}

CellPtr interpret(LatticeParser& parser, std::string_view text) {
    parserReport(parser, "'" + std::string(text) + "'\n");
    if (text.empty()) return nullptr;
    if (CellPtr made = madeFind(parser.cells, text)) return made;
    if (parser.check) {
        checkUndefinedName(parser, text);
        if (parser.lineDepth == 0 && isBareName(text)) parser.lastBareNew = text;
    }

    std::string standard = standardForm(text);
    if (standard != text) {
        parserReport(parser, "Standard form: '" + standard + "'\n");
        return parselatticestatement(parser, standard);
    }
    if (text[0] == '!' && text.size() > 1 && isWordChar(text[1])) {
        return controlCommand(parser, text);
    }
    if (text[0] == '{') return formatDeclaration(parser, text);

    size_t w = 0;
    while (w < text.size() && isWordChar(text[w])) w++;
    std::string_view word = text.substr(0, w);
    if (w < text.size() && text[w] == ':') {
        CellPtr cell = linePart(parser, text.substr(w + 1));
        if (!cell) {
            cell = cellCreate(Composite, "");
            madeAppend(parser.cells, cell);
        }
        madeRename(parser.cells, *cell, word);
        parserReport(parser, "Finshed composite element '" + std::string(word) + "'\n");
        return cell;
    }
    if (w < text.size() && text[w] == '=') {
        ParseFormat saved = parser.format;
        parser.format = parseformat("Parameter Value");
        std::string spaced(text);
        spaced[w] = ' ';
        CellPtr cell = parselatticestatement(parser, spaced);
        parser.format = saved;
        return cell;
    }

    // One pass over the brackets: is the whole text one group, and where are
    // the list separators and the repetition star outside brackets?
    int depth = 0;
    bool wholeGroup = text.size() >= 2;
    bool separator = false;
    size_t star = std::string_view::npos;
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        if (c == '(' || c == '[') depth++;
        if (c == ')' || c == ']') depth--;
        if (depth <= 0 && i + 1 < text.size()) wholeGroup = false;
        if (depth == 0 && (c == ',' || c == ';')) separator = true;
        if (depth == 0 && c == '*') star = i;
    }
    if (wholeGroup) return parselatticestatement(parser, text.substr(1, text.size() - 2));

    CellPtr cell;
    bool registered = false;
    if (separator) {
        cell = list(parser, text);
    } else if (text[0] == '-' && text.size() >= 2) {
        cell = reversed(parser, text, registered);
    } else if (text[0] == '~' && text.size() >= 2) {
        cell = mirrored(parser, text, registered);
    } else if (star != std::string_view::npos) {
        cell = repetition(parser, text, star);
    } else if (w == text.size() || text[w] == ' ') {
        cell = parseElement(parser, text, w);
    } else {
        parserReport(parser, "Cannot parse '" + std::string(text) + "'\n");
        if (parser.check) {
            std::string shown(text.substr(0, 60));
            for (char& c : shown) {
                if (static_cast<unsigned char>(c) < 32) c = ' ';
            }
            parserFinding(parser, "", "cannot parse '" + shown + "'");
            return nullptr;
        }
        report("Cannot parse the following expression...");
        report(std::string(text));
        report("[FATAL]" + parserWhere(parser));
        return nullptr;
    }
    if (cell && !registered) registerCell(parser, cell);
    return cell;
}

}  // namespace

void registerCell(LatticeParser& parser, const CellPtr& cell) {
    int64_t old = madeFindIndex(parser.cells, cell->name);
    if (old >= 0) {
        parserWarn(parser, "[WARNING] Element '" + cell->name + "' overwritten");
        madeRemoveAt(parser.cells, static_cast<uint32_t>(old));
    }
    madeAppend(parser.cells, cell);
}

CellPtr parselatticestatement(LatticeParser& parser, std::string_view text) {
    if (parser.depth >= kMaxStatementDepth) {
        parserFatal(parser, format("[FATAL] Lattice statement nested more than %d deep: '%.60s'",
                                   kMaxStatementDepth, std::string(text).c_str()));
        return nullptr;
    }
    parser.depth++;
    CellPtr cell = interpret(parser, text);
    parser.depth--;
    return cell;
}
