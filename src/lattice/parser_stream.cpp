// Interpreting a whole lattice: Vesk runs the file and every piece of text it
// produces is cut into statements here.
#include <algorithm>
#include <cstdio>

#include "common/report.hpp"
#include "common/text.hpp"
#include "lattice/parser.hpp"
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
    }
    CurrentParser(const CurrentParser&) = delete;
    CurrentParser& operator=(const CurrentParser&) = delete;
};

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
    if (++parser.warnings[text] <= kWarningRepeatsShown) report(text);
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
        reportf("[FATAL] Lattice code wrote more than %lld bytes of text",
                static_cast<long long>(latticeLimits.textBytes));
        return 1;
    }
    size_t start = 0;
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        bool end = ((c == '\n' || c == ';') && !p.inList && !p.inBraces && !p.inBrackets) ||
                   (c == ';' && p.inList) || (c == '}' && p.inBraces);
        if (end) {
            p.inList = p.inBraces = false;
            p.pending.append(text.substr(start, i + 1 - start));
            std::string statement = std::move(p.pending);
            p.pending.clear();
            if (CellPtr cell = parselatticestatement(p, statement)) p.machine = cell;
            if (latticeRejected) return 1;
            if (p.cells.created > latticeLimits.madeCells) {
                p.stopped = true;
                parserWarningSummary(p);
                reportf("[FATAL] Lattice makes more than %llu elements",
                        static_cast<unsigned long long>(latticeLimits.madeCells));
                return 1;
            }
            start = i + 1;
            // The character after a statement end only switches modes.
            if (++i >= text.size()) break;
            c = text[i];
        }
        applyModeSwitch(p, c);
    }
    if (start < text.size()) p.pending.append(text.substr(start));
    return 0;
}

CellPtr interpretlattice(std::string_view text, Genome& genome, const std::string& name,
                         bool verbose, CellPtr* parameters) {
    LatticeParser parser;
    madeInit(parser.cells);
    parser.genome = &genome;
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
    if (latticeRejected || parser.stopped) return nullptr;

    std::string rest = parser.pending;
    while (!rest.empty() && static_cast<unsigned char>(rest.back()) <= 32) rest.pop_back();
    if (!rest.empty()) {
        report(unfinishedWarning(rest));
        parsetextstream(";\n");
    }
    if (!parser.machine) {
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
