// Interpreting a whole lattice: Vesk runs the file and every piece of text it
// produces is cut into statements here.
#include <algorithm>
#include <cstdio>

#include "common/report.hpp"
#include "common/text.hpp"
#include "lattice/parser.hpp"
#include "model/units.hpp"
#include "platform/files.hpp"
#include "store/latticedir.hpp"

std::string latticeParseReport;
bool latticeRejected = false;
LatticeLimits latticeLimits;

namespace {

LatticeParser* currentParser = nullptr;

// Makes a parser current for one interpretation and always clears it again,
// also when a fatal message unwinds past it in a test.
struct CurrentParser {
    explicit CurrentParser(LatticeParser& parser) { currentParser = &parser; }
    ~CurrentParser() {
        if (currentParser && currentParser->reportFile) {
            std::fclose(currentParser->reportFile);
            currentParser->reportFile = nullptr;
        }
        currentParser = nullptr;
        setUnitWarningContext("");
        setUnitWarningsShown(true);
    }
    CurrentParser(const CurrentParser&) = delete;
    CurrentParser& operator=(const CurrentParser&) = delete;
};

// Offsets of the lines of the file, for turning a place into a line number.
std::vector<size_t> lineStartsOf(std::string_view text) {
    std::vector<size_t> starts{0};
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\n') starts.push_back(i + 1);
    }
    return starts;
}

int lineAt(const LatticeParser& p, int64_t offset) {
    if (offset < 0) return p.statementLine;
    auto after =
        std::upper_bound(p.lineStarts.begin(), p.lineStarts.end(), static_cast<size_t>(offset));
    return static_cast<int>(after - p.lineStarts.begin());
}

// A statement starts at its first visible character. Plain text comes with
// its own place in the file; text that code printed has the place of the
// code stretch.
void noteStatementStart(LatticeParser& p, std::string_view text, size_t i) {
    if (p.statementOffset >= 0 || static_cast<unsigned char>(text[i]) <= 32 || !p.environment) {
        return;
    }
    const Vesk& env = *p.environment;
    bool verbatim = env.textEnd - env.textStart == text.size();
    p.statementOffset = verbatim ? env.textStart + i : env.textStart;
}

void applyModeSwitch(LatticeParser& p, char c) {
    if ((c == ':' || c == ',') && !p.inBraces && !p.inBrackets) p.inList = true;
    if (c == '[') p.inBrackets = true;
    if (c == ']') p.inBrackets = false;
    if (c == '{') p.inBraces = true;
}

std::string unfinishedWarning(const std::string& pending) {
    std::string text =
        "[WARNING] The following parsing element was unfinished and could be ignored.\n";
    size_t firstLineEnd = text.size();
    text += pending;
    if (text.size() >= 151) text = text.substr(0, 146) + "...";
    for (size_t i = firstLineEnd; i < text.size(); i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 1 && c <= 31) text[i] = ' ';
    }
    return text;
}

CellPtr parametersCell(LatticeParser& parser) {
    CellPtr params = cellCreate(Machine, "ParametersCell");
    params->typeName = "Parameters";
    for (uint32_t i = parser.cells.count(); i-- > 0;) {
        const Cell& cell = *parser.cells[i];
        if (cell.kind != Machine || !equalNoCase(cell.typeName, "Parameter")) continue;
        CellAttribute value = cellAttribute(cell, "Value");
        value.name = cell.name;
        params->attributes.push_back(value);
    }
    return params;
}

std::string windowsTextMode(std::string text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

}  // namespace

LatticeParser* currentLatticeParser() {
    return currentParser;
}

void parserReport(LatticeParser& parser, const std::string& text) {
    if (parser.reportFile) std::fwrite(text.data(), 1, text.size(), parser.reportFile);
}

void parserWarn(LatticeParser& parser, const std::string& text) {
    if (parser.check) {
        std::string_view message = text;
        if (message.starts_with("[WARNING] ")) message.remove_prefix(10);
        size_t lineEnd = message.find('\n');
        parserFinding(parser, "", std::string(message.substr(0, lineEnd)));
        return;
    }
    // The place goes on the first line: the list warning shows the list
    // itself on the second.
    std::string located = text;
    located.insert(std::min(located.find('\n'), located.size()), parserWhere(parser));
    if (++parser.warnings[located] <= kWarningRepeatsShown) report(located);
}

void parserFatal(LatticeParser& parser, const std::string& text) {
    if (!parser.check) {
        report(text);
        return;
    }
    // A check reports the limit like any other finding and stops there; a
    // server showing a lattice page must not end with it.
    std::string_view message = text;
    if (message.starts_with("[FATAL] ")) message.remove_prefix(8);
    parserFinding(parser, "", std::string(message));
    parser.stopped = true;
}

std::string parserWhere(const LatticeParser& parser) {
    return parser.sourcePath.empty() ? "" : " at " + parserLocation(parser);
}

std::string parserLocation(const LatticeParser& parser) {
    return format("%s:%d", parser.sourcePath.c_str(), parser.statementLine);
}

void parserFinding(LatticeParser& parser, std::string_view element, std::string message) {
    if (!parser.check) return;
    parser.check->findings.push_back(
        {parser.statementLine, std::string(element), std::move(message)});
}

void parserWarningSummary(LatticeParser& parser) {
    std::vector<std::pair<std::string, int64_t>> repeated;
    for (const auto& [text, count] : parser.warnings) {
        if (count > kWarningRepeatsShown) repeated.emplace_back(text, count);
    }
    std::sort(repeated.begin(), repeated.end());
    for (const auto& [text, count] : repeated) {
        reportf("%s ... repeated %lld times", text.c_str(), static_cast<long long>(count));
    }
    parser.warnings.clear();
}

int parsetextstream(std::string_view text) {
    if (!latticeParseReport.empty()) {
        appendToFile(kTextStreamLog, "\x95" + std::string(text));
    }
    if (latticeRejected) return 1;
    if (!currentParser) {
        report("[FATAL] No parser set in parsetextstream");
        return 1;
    }
    LatticeParser& p = *currentParser;
    if (p.stopped) return 1;
    // Code that writes text for ever must end, with the same limit as a file.
    p.textBytes += static_cast<int64_t>(text.size());
    if (p.textBytes > latticeLimits.textBytes) {
        p.stopped = true;
        parserWarningSummary(p);
        parserFatal(p, format("[FATAL] Lattice code wrote more than %lld bytes of text",
                              static_cast<long long>(latticeLimits.textBytes)));
        return 1;
    }
    size_t start = 0;
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        noteStatementStart(p, text, i);
        bool end = ((c == '\n' || c == ';') && !p.inList && !p.inBraces && !p.inBrackets) ||
                   (c == ';' && p.inList) || (c == '}' && p.inBraces);
        if (end) {
            p.inList = p.inBraces = false;
            p.pending.append(text.substr(start, i + 1 - start));
            std::string statement = std::move(p.pending);
            p.pending.clear();
            p.statementLine = lineAt(p, p.statementOffset);
            p.statementOffset = -1;
            if (p.check) checkStatementEnd(p, statement);
            p.lastBareNew.clear();
            if (CellPtr cell = parselatticestatement(p, statement)) p.machine = cell;
            if (latticeRejected) return 1;
            if (p.cells.created > latticeLimits.madeCells) {
                p.stopped = true;
                parserWarningSummary(p);
                parserFatal(p, format("[FATAL] Lattice makes more than %llu elements",
                                      static_cast<unsigned long long>(latticeLimits.madeCells)));
                return 1;
            }
            start = i + 1;
            // The character after a statement end only switches modes.
            if (++i >= text.size()) break;
            c = text[i];
            noteStatementStart(p, text, i);
        }
        applyModeSwitch(p, c);
    }
    if (start < text.size()) p.pending.append(text.substr(start));
    return 0;
}

CellPtr interpretlattice(std::string_view text, Genome& genome, const std::string& name,
                         bool verbose, CellPtr* parameters, const InterpretOptions& options) {
    LatticeParser parser;
    madeInit(parser.cells);
    parser.genome = &genome;
    parser.sourcePath = options.path.empty() ? latticeFilePath(name) : options.path;
    parser.lineStarts = lineStartsOf(text);
    parser.check = options.check;
    if (parser.check) setUnitWarningsShown(false);
    if (!latticeParseReport.empty()) {
        removeFile(kTextStreamLog);
        parser.reportFile = std::fopen(latticeParseReport.c_str(), "w");
    }
    if (verbose) reportf("Interpreting lattice file '%s'...", name.c_str());
    parser.environment = Vesk_new();
    Vesk_setdelimiters(*parser.environment, "#", "#", VESK_START_IN_TEXT | VESK_NEWLINE_RESETS);
    Vesk_setcallback(*parser.environment, parsetextstream);
    parser.environment->dumps = !latticeParseReport.empty();
    latticeRejected = false;
    CurrentParser guard(parser);

    Vesk_run(*parser.environment, text);
    parserWarningSummary(parser);
    if (options.parameters) *options.parameters = parser.parameters;
    if (latticeRejected || parser.stopped) return nullptr;

    std::string rest = parser.pending;
    while (!rest.empty() && static_cast<unsigned char>(rest.back()) <= 32) rest.pop_back();
    if (!rest.empty()) {
        parser.statementLine = lineAt(parser, parser.statementOffset);
        if (parser.check) {
            // An open bracket or brace keeps line ends from ending statements.
            bool open = rest.find_first_of("[{") != std::string::npos;
            parserFinding(parser, "",
                          open ? "a '[' or '{' is never closed, so the rest of the file is read "
                                 "as part of this statement"
                               : "the last statement has no end (a ';' or a line end)");
        } else {
            report(unfinishedWarning(rest));
        }
        parsetextstream(";\n");
        if (options.parameters) *options.parameters = parser.parameters;
    }
    if (parser.check) checkMachine(parser);
    if (!parser.machine) {
        if (parser.check) {
            parser.statementLine = 0;
            parserFinding(parser, "", "no beamline: the file must end with the name of its line");
            return nullptr;
        }
        report(
            "[FATAL] parser.machine is still NULL due to lattice file error.\nThis was probably "
            "caused by not specifying the entire lattice cell at the end of the file.");
        return nullptr;
    }
    if (parser.machine->kind == Machine) {
        CellPtr wrap = cellCreate(Composite, name);
        wrap->children.push_back(parser.machine);
        madeAppend(parser.cells, wrap);
        parser.machine = wrap;
    } else {
        madeRename(parser.cells, *parser.machine, name);
    }
    if (parser.reportFile) {
        std::string summary =
            format("%u cells created including intermediates: ", parser.cells.count());
        for (const CellPtr& cell : parser.cells) summary += cell->name + " ";
        summary += "\n\nBeamline: ";
        for (const CellPtr& child : parser.machine->children) summary += child->name + " ";
        parserReport(parser, summary);
    }
    CellPtr result = cellCopy(*parser.machine);
    if (parameters) *parameters = parametersCell(parser);
    if (verbose) {
        reportProgress(format("Interpreting lattice file '%s'... Done", name.c_str()));
        int params = 0;
        for (const std::string& n : genome.names) params += !isMetaName(n);
        reportf("Beamline consists of %d units, genome of %d parameters", result->childCount(),
                params);
    }
    return result;
}

ReadStatus readLatticeFile(const std::string& path, std::string& text) {
    ReadStatus status = readWholeFile(path, text, kMaxLatticeBytes);
    if (status == ReadStatus::Ok) text = windowsTextMode(std::move(text));
    return status;
}

CellPtr loadlattice(const std::string& name, Genome& genome, bool verbose, CellPtr* parameters) {
    std::string path = latticeFilePath(name);
    if (!isSafeFileName(name + ".txt")) {
        reportf("[FATAL] Machine lattice file %s not found", path.c_str());
        return nullptr;
    }
    path = findFileNoCase(path);
    std::string text;
    ReadStatus status = readLatticeFile(path, text);
    if (status == ReadStatus::TooLarge) {
        reportf("[FATAL] Machine lattice file %s is larger than %lld bytes", path.c_str(),
                static_cast<long long>(kMaxLatticeBytes));
        return nullptr;
    }
    if (status != ReadStatus::Ok) {
        reportf("[FATAL] Machine lattice file %s not found", path.c_str());
        return nullptr;
    }
    return interpretlattice(text, genome, name, verbose, parameters);
}
