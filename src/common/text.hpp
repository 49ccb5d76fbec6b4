// Small text helpers used everywhere: names of lattices, cells, settings and
// switches are compared ignoring ASCII letter case.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

char lowerAscii(char c);
char upperAscii(char c);
std::string lowerCopy(std::string_view text);
bool equalNoCase(std::string_view a, std::string_view b);
bool startsWithNoCase(std::string_view text, std::string_view prefix);
// Position of the first occurrence ignoring case, or npos.
size_t findNoCase(std::string_view text, std::string_view needle, size_t from = 0);
bool containsNoCase(std::string_view text, std::string_view needle);
bool isBlank(char c);  // space, tab, CR, LF, VT, FF
std::string trimBlanks(std::string_view text);

// printf into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string vformat(const char* fmt, va_list args);

// C-style leading-number readers: whole numbers read the leading decimal
// digits (after an optional sign), decimals the leading floating-point number;
// both give 0 when there is none.
long long leadingInt(std::string_view text);
double leadingDouble(std::string_view text);
