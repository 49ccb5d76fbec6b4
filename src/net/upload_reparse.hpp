// The reparse before an upload: the records of the results file that are
// worth sending, in the record form, with what is left for a later upload.
#pragma once

#include <cstdint>
#include <string>

#include "results/record.hpp"

struct ReparsedResults {
    ResultsList records;  // valid, without duplicates and ranking records
    std::string text;     // the same records in the record form
    std::string rest;     // the part of the file after the byte limit
    bool partial = false;
};

// Reads the results file record by record. With a byte limit (0: none), the
// reading stops after the record that ends beyond it and the rest of the file
// goes to `rest`. False when the file cannot be opened.
bool reparseResults(const std::string& path, int64_t byteLimit, ReparsedResults& out);
