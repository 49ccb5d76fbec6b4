#include "results/convert.hpp"

#include "common/report.hpp"
#include "platform/files.hpp"
#include "results/binary_results.hpp"
#include "results/text_results.hpp"

bool convertResults(const std::string& input, bool binaryInput, const std::string& output,
                    bool binaryOutput) {
    if (!fileExists(input)) {
        reportf("Cannot convert '%s': file not found", input.c_str());
        return false;
    }
    // Reading a FIFO or a device would wait for ever or never end.
    if (!isRegularFile(input)) {
        reportf("Cannot convert '%s': not a plain file", input.c_str());
        return false;
    }
    ResultsList results;
    if (binaryInput) {
        BinaryLoadStatus status = BinaryLoadStatus::Ok;
        results = loadBinaryResults(input, kProgramFormat, &status);
        if (status != BinaryLoadStatus::Ok) {
            reportf("Cannot convert '%s': not a binary results file", input.c_str());
            return false;
        }
    } else {
        results = loadResults(input, std::nullopt);
    }
    // Checked once the input is known to be what it claims: a wrong kind of
    // input is the likelier mistake and deserves its own message.
    if (isSameFile(input, output)) {
        reportf("Cannot convert '%s': the output would overwrite the input; name another output",
                input.c_str());
        return false;
    }
    // Writing nothing over an existing output would only lose it.
    if (results.count() == 0) {
        reportf("Cannot convert '%s': no results found", input.c_str());
        return false;
    }
    bool written = binaryOutput ? saveBinaryResults(results, output)
                                : saveResults(results, results.count(), output, false);
    if (!written && binaryOutput) reportf("Could not write '%s'", output.c_str());
    return written;
}

std::string replaceExtension(const std::string& path, const std::string& extension) {
    size_t slash = path.find_last_of("/\\");
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return path + "." + extension;
    }
    return path.substr(0, dot + 1) + extension;
}
