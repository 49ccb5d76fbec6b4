// The command line, kept as one text the way the program has always seen it:
// the program path, then the arguments separated by spaces.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Joins argv into one command line; arguments holding spaces are quoted.
std::string buildCommandLine(int argc, const char* const* argv);

// Makes the folder of the program the working directory: the folder of the
// running executable, or the folder of word 0 of the command line when the
// executable cannot be found. Returns the folder made current, or "".
std::string setWorkingFolder(const std::string& commandLine);

// " -" + name occurs (ignoring case) and its first occurrence is followed by
// white space or the end of the text.
bool hasSwitch(std::string_view commandLine, std::string_view name);

// Words are runs of non-space characters in which spaces inside double quotes
// do not end the word. Word 0 is the program path.
int countWords(std::string_view commandLine);
// The n-th word with one pair of surrounding quotes removed; "" when absent.
std::string word(std::string_view commandLine, int n);

// The first word after the program path that does not start with a hyphen.
std::optional<std::string> firstPlainWord(std::string_view commandLine);
// A lattice name as typed, spelt as its lattice file is when one matches
// (ignoring case). The folder is looked at on every call: lattices arrive
// while the program runs.
std::string latticeSpelling(const std::string& typed);
// Both: the lattice the command line names.
std::optional<std::string> latticeFromCommandLine(std::string_view commandLine);
