// Converting a results file between its text and binary forms.
#pragma once

#include <string>

// Loads `input` and writes all its records to `output`, each in the form
// asked for. A missing input or one that is not a plain file, an output that
// is the input itself, a binary input that is not a valid binary results
// file, or an input in which no record is found is reported and nothing is
// written, so that a mistyped command cannot replace a good file with an
// empty one. Returns whether the output was written.
bool convertResults(const std::string& input, bool binaryInput, const std::string& output,
                    bool binaryOutput);

// The name with its extension (the text after the last "." of the file name)
// replaced, or the extension added when it has none.
std::string replaceExtension(const std::string& path, const std::string& extension);
