#include "app/converters.hpp"

#include "app/cmdline.hpp"
#include "app/common/report.hpp"
#include "platform/process.hpp"

void runConverter(const std::string& commandLine, ConvertDirection direction) {
    bool toText = direction == ConvertDirection::BinaryToText;
    if (countWords(commandLine) <= 2) {
        report(toText ? "Usage: pelto -bintotxt binary_results_file [text_results_file]\n"
                      : "Usage: pelto -txttobin text_results_file [binary_results_file]\n");
        exitProcess(0);
    }
    // The results-file readers and writers are not part of this build yet.
    report("Results-file conversion is not available in this build");
    exitProcess(1);
}
