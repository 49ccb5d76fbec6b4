// Strict reading of the lines and numbers of the data files (particle lists,
// field maps, scattering coefficients). These files come from outside, so a
// number is accepted only when its whole field is a finite decimal number:
// a field that a C scanner would read half of, or "nan", is refused instead
// of turning into a wrong particle or field value.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Takes the next line off the front of `text` into `line` (without its end:
// LF, CR LF or CR). Returns false when `text` is used up.
bool nextDataLine(std::string_view& text, std::string_view& line);

// True when the line holds nothing but blanks (space, tab, CR, VT, FF).
bool isBlankDataLine(std::string_view line);

// A whole field, blanks around it allowed, as a finite number (an optional
// sign, digits with an optional point, an optional exponent).
bool readNumberField(std::string_view field, double& value);

// A whole field as a decimal integer that fits 32 bits.
bool readIntField(std::string_view field, int32_t& value);

// Fields separated by one or more blanks (space or tab).
std::vector<std::string_view> blankSeparatedFields(std::string_view line);

// Fields separated by single commas; an empty text gives one empty field.
std::vector<std::string_view> commaSeparatedFields(std::string_view line);

// A line of exactly `count` blank-separated numbers.
bool readNumberLine(std::string_view line, size_t count, double* values);

// The table of numbers that makes up the rest of a data file: every line
// that is not blank holds exactly `columns` numbers, and there are at most
// `maxRows` of them. Each row goes to `row`, which may refuse it by setting
// `error` and returning false. `lineNumber` counts the lines taken off `text`.
// Returns false with `error` saying which line is wrong; `rows` is the number
// of rows read.
bool readNumberTable(std::string_view& text, int& lineNumber, size_t columns, size_t maxRows,
                     const std::function<bool(const double* values, std::string& error)>& row,
                     size_t& rows, std::string& error);

// Reads a whole data file of at most `limit` bytes; on failure `error` says
// why in words naming the file.
bool readDataFile(const std::string& path, int64_t limit, std::string& text, std::string& error);
