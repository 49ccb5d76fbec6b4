// The two results-file converters of the command line (-bintotxt, -txttobin).
#pragma once

#include <string>

enum class ConvertDirection { BinaryToText, TextToBinary };

// Converts the file named on the command line and ends the process.
[[noreturn]] void runConverter(const std::string& commandLine, ConvertDirection direction);
