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
#include <vector>

#include "app/common/list.hpp"
#include "beamline/cell.hpp"
#include "lattice/vesk.hpp"
#include "platform/files.hpp"
#include "results/genome.hpp"

// The positional layout of an element type: entry 0 is the type name (its
// default, when present, the name prefix that selects the type), entries 1..
// the attribute names with their optional default units.
struct ParseFormat {
    std::vector<std::string> names;
    std::vector<std::optional<std::string>> defaults;

    int count() const { return static_cast<int>(names.size()); }
};

struct LatticeParser {
    List<CellPtr> cells;  // every cell made, intermediates included
    CellPtr machine;      // the cell of the last statement that made one
    ParseFormat format;
    std::vector<ParseFormat> typeFormats;
    std::unique_ptr<Vesk> environment;
    Genome* genome = nullptr;
    std::string pending;
    bool inList = false, inBraces = false, inBrackets = false;
    std::FILE* reportFile = nullptr;  // parse report, when switched on
    int depth = 0;                    // nesting of statement interpretation
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
inline constexpr int64_t kMaxLatticeBytes = int64_t(16) << 20;

// Reads "lattices/<name>.txt" and interprets it; none when the lattice was
// rejected. A missing file is fatal.
// Reads a lattice file as Windows text mode did (CR LF becomes LF), refusing
// files beyond the size limit.
ReadStatus readLatticeFile(const std::string& path, std::string& text);
CellPtr loadlattice(const std::string& name, Genome& genome, bool verbose, CellPtr* parameters);
CellPtr interpretlattice(std::string_view text, Genome& genome, const std::string& name,
                         bool verbose, CellPtr* parameters);
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
// "Solenoid(S) Radius(m) ..." as the report shows a format.
std::string formatToText(const ParseFormat& format);
// The format guessed from an element name when no format is current.
ParseFormat guessedFormat(std::string_view name);
// The genome parameter name of attribute `attribute` of element `element`.
std::string parameterName(const ParseFormat& format, std::string_view element,
                          std::string_view attribute);
// Steps of one statement, each in its own file.
CellPtr parseElement(LatticeParser& parser, std::string_view text, size_t wordLength);
void registerCell(LatticeParser& parser, const CellPtr& cell);
bool isWordChar(char c);
