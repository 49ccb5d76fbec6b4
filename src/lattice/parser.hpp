// The lattice file interpreter. A lattice file is text with Vesk code
// stretches set off by "#"; Vesk runs the file and hands every piece of text
// it produces to the statement splitter here, which turns statements into
// cells (elements and beamlines) and registers the free parameters of the
// design in the genome.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/list.hpp"
#include "lattice/lattice_check.hpp"
#include "lattice/lattice_parameters.hpp"
#include "lattice/made_cells.hpp"
#include "lattice/vesk.hpp"
#include "model/cell.hpp"
#include "model/genome.hpp"
#include "platform/files.hpp"

// The positional layout of an element type: entry 0 is the type name (its
// default, when present, the name prefix that selects the type), entries 1..
// the attribute names with their optional default units.
struct ParseFormat {
    std::vector<std::string> names;
    std::vector<std::optional<std::string>> defaults;

    int count() const { return static_cast<int>(names.size()); }
};

struct LatticeParser {
    MadeCells cells;  // every cell made, intermediates included
    CellPtr machine;  // the cell of the last statement that made one
    ParseFormat format;
    std::vector<ParseFormat> typeFormats;
    // Name prefix (any case) -> the last of typeFormats declared with it.
    std::unordered_map<std::string, size_t, NoCaseHash, NoCaseEqual> formatByPrefix;
    size_t longestPrefix = 0;
    std::unique_ptr<Vesk> environment;
    Genome* genome = nullptr;
    std::string pending;
    bool inList = false, inBraces = false, inBrackets = false;
    std::FILE* reportFile = nullptr;  // parse report, when switched on
    int depth = 0;                    // nesting of statement interpretation
    int64_t textBytes = 0;            // text handed to the statement splitter so far
    bool stopped = false;             // a limit was passed; the lattice is refused
    // How often each repeated warning came; past a few, they are only counted.
    std::unordered_map<std::string, int64_t> warnings;
    // Where the statement being interpreted starts in the file, so that a
    // message can send the author to it.
    std::string sourcePath;
    std::vector<size_t> lineStarts;  // offsets of the file's lines
    int64_t statementOffset = -1;    // of the pending statement; -1 before its first character
    int statementLine = 0;           // of the statement being interpreted
    LatticeCheck* check = nullptr;   // a strict check collects findings here
    std::vector<LatticeParameter> parameters;  // the free parameters met, first time each
    int lineDepth = 0;                         // > 0 while the parts of a line are interpreted
    std::string lastBareNew;                   // a top-level statement that was a new bare name
};

// How an interpretation reports and what it hands back besides the beamline.
struct InterpretOptions {
    std::string path;               // the file, for messages; "lattices/NAME.txt" when empty
    LatticeCheck* check = nullptr;  // set: a strict check (findings instead of fatal stops)
    std::vector<LatticeParameter>* parameters = nullptr;  // receives the free parameters
};

// Parse report file name; empty when the report is off (the -parse switch
// names "PARSEreport.log").
extern std::string latticeParseReport;
// Set when a lattice asks for a newer program; stops the interpretation.
extern bool latticeRejected;
inline constexpr const char* kTextStreamLog = "parser.parsetextstream.log";

// Limits that keep a broken or hostile lattice from exhausting the machine.
inline constexpr int kMaxStatementDepth = 200;
inline constexpr size_t kMaxCompositeChildren = 100000;
// The file, and together with it all the text its code writes.
inline constexpr int64_t kMaxLatticeBytes = int64_t(16) << 20;
// Cells one interpretation may make, intermediates and replaced ones
// included: four times the longest line allowed.
inline constexpr uint64_t kMaxMadeCells = 4 * kMaxCompositeChildren;
// The limits in force; tests lower them.
struct LatticeLimits {
    int64_t textBytes = kMaxLatticeBytes;
    uint64_t madeCells = kMaxMadeCells;
};
extern LatticeLimits latticeLimits;
// The same warning is shown this often; later ones are counted and summed up.
inline constexpr int kWarningRepeatsShown = 3;

// Reads "lattices/<name>.txt" and interprets it; none when the lattice was
// rejected. A missing file is fatal.
// Reads a lattice file as Windows text mode did (CR LF becomes LF), refusing
// files beyond the size limit.
ReadStatus readLatticeFile(const std::string& path, std::string& text);
CellPtr loadlattice(const std::string& name, Genome& genome, bool verbose, CellPtr* parameters);
CellPtr interpretlattice(std::string_view text, Genome& genome, const std::string& name,
                         bool verbose, CellPtr* parameters, const InterpretOptions& options = {});
// The data files a lattice names: for each direct child of its beamline, from
// the last to the first, the text attributes whose names begin with "file",
// from the last to the first. None when the lattice makes no beamline.
std::optional<std::vector<std::string>> latticeDataFiles(const std::string& lattice);
// The Vesk text callback: 0 to go on, 1 to stop the run.
int parsetextstream(std::string_view text);
CellPtr parselatticestatement(LatticeParser& parser, std::string_view text);
ParseFormat parseformat(std::string_view text);

// --- shared by the interpreter's files ---
LatticeParser* currentLatticeParser();
void parserReport(LatticeParser& parser, const std::string& text);
// A warning of the interpreter; the same text past kWarningRepeatsShown
// times is counted and summed up by parserWarningSummary.
void parserWarn(LatticeParser& parser, const std::string& text);
void parserWarningSummary(LatticeParser& parser);
// "lattices/a.txt:12", the file and line of the statement being interpreted.
std::string parserLocation(const LatticeParser& parser);
// A limit that ends the program; under a check, a finding that stops the
// interpretation instead.
void parserFatal(LatticeParser& parser, const std::string& text);
// " at lattices/a.txt:12" for the end of a message; empty when the text
// interpreted is no file.
std::string parserWhere(const LatticeParser& parser);
// A finding of a strict check at the statement being interpreted; nothing
// when no check runs.
void parserFinding(LatticeParser& parser, std::string_view element, std::string message);
// "Solenoid(S) Radius(m) ..." as the report shows a format.
std::string formatToText(const ParseFormat& format);
// The format guessed from an element name when no format is current.
ParseFormat guessedFormat(std::string_view name);
// The genome parameter name of attribute `attribute` of element `element`.
std::string parameterName(const ParseFormat& format, std::string_view element,
                          std::string_view attribute);
// Steps of one statement, each in its own file.
CellPtr parseElement(LatticeParser& parser, std::string_view text, size_t wordLength);
// Declares a format whose type is chosen by a name prefix.
void addTypeFormat(LatticeParser& parser, const ParseFormat& format);
void registerCell(LatticeParser& parser, const CellPtr& cell);
bool isWordChar(char c);
// The strict check's looks at statements (parser_check.cpp); each is called
// only while a check runs.
void checkFormat(LatticeParser& parser, const ParseFormat& format);
// A number attribute k of `element`, `text` starting at its number.
void checkNumber(LatticeParser& parser, const ParseFormat& format, int k, std::string_view element,
                 std::string_view text);
void checkText(LatticeParser& parser, const ParseFormat& format, int k, std::string_view element,
               std::string_view value, bool quoted);
void checkRange(LatticeParser& parser, std::string_view element, std::string_view attribute,
                double lo, double hi, bool closed);
void checkUndefinedName(LatticeParser& parser, std::string_view text);
// A plain name (word characters, not a reversed line).
bool isBareName(std::string_view text);
void checkStatementEnd(LatticeParser& parser, std::string_view statement);
void checkMachine(LatticeParser& parser);
