// Scattering tables of matter components. A table is a set of files named by
// a pattern with one "%d": file k = 1, 2, ... (while it exists) is the binary
// row k, a sequence of 13-byte records (rate of events per metre, momentum
// loss and transverse kick in MeV/c as little-endian 32-bit floats, and a
// signed byte naming the process); file 0 is text with one line per row:
// momentum (MeV/c, ascending), mean continuous loss per metre A, its variance
// per metre B and the variance per metre of each transverse component C.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr size_t kScatterRecordBytes = 13;
inline constexpr int kMaxScatterRows = 10000;
inline constexpr int64_t kMaxScatterRowBytes = int64_t(16) << 20;
inline constexpr int64_t kMaxScatterCoefficientBytes = int64_t(4) << 20;

// Process codes of the records; the names are the ones the loader shows.
enum ScatterProcess : int8_t {
    ScatterNone = 0,
    ScatterNuclear = 1,
    ScatterHardElectron = 2,
    ScatterSoftElectron = 3,
    ScatterResonance = 4,
    ScatterDiscrete = 5,
    ScatterCherenkov = 6,
};
inline constexpr int kScatterProcessCount = 7;

// "Nuclear", "Hard electron", ...; "None" for 0 and for unknown codes.
const char* scatterProcessName(int code);

struct ScatterRecord {
    float rate = 0;  // events per metre
    float loss = 0;  // MeV/c
    float kick = 0;  // MeV/c
    int8_t process = 0;
};

struct ScatterCoefficients {
    double momentum = 0;            // MeV/c
    double meanLoss = 0;            // A, MeV/c per metre
    double lossVariance = 0;        // B, (MeV/c)^2 per metre
    double transverseVariance = 0;  // C, (MeV/c)^2 per metre and component
};

struct ScatterRow {
    ScatterCoefficients coefficients;
    std::vector<ScatterRecord> records;
    // cumulative[i] = rate[0] + ... + rate[i]; the last is the row's total
    // event rate per metre.
    std::vector<double> cumulative;
    double eventLoss = 0;  // S = sum of rate x loss, MeV/c per metre
    double totalLoss = 0;  // D = A + S, the mean loss when scattering is off

    double totalRate() const { return cumulative.empty() ? 0 : cumulative.back(); }
};

struct ScatterTable {
    std::vector<ScatterRow> rows;                   // ascending momentum
    int processRecords[kScatterProcessCount] = {};  // records per known process code
};

// A row file. Refused: a size that is not a whole number of records, no
// records, a rate that is negative or not finite, a loss or kick that is not
// finite, or a total rate that is not positive (the tracking divides by it).
bool parseScatterRecords(std::string_view bytes, std::vector<ScatterRecord>& out,
                         std::string& error);

// The coefficient file for `rows` rows: exactly that many lines of four
// numbers (blank lines are passed over), momenta positive and strictly
// ascending, variances not negative.
bool parseScatterCoefficients(std::string_view text, size_t rows,
                              std::vector<ScatterCoefficients>& out, std::string& error);

// A pattern must hold "%d" once and no other "%".
bool isScatterPattern(std::string_view pattern);
std::string scatterFileName(std::string_view pattern, int k);

// Loads a whole table from the files named by `pattern` (a path, looked up
// ignoring letter case). At least one row file is needed.
bool loadScatterTable(const std::string& pattern, ScatterTable& out, std::string& error);
