#include "app/converters.hpp"

#include "app/cmdline.hpp"
#include "common/report.hpp"
#include "platform/console.hpp"
#include "platform/process.hpp"
#include "results/convert.hpp"

void runConverter(const std::string& commandLine, ConvertDirection direction) {
    bool toText = direction == ConvertDirection::BinaryToText;
    int words = countWords(commandLine);
    if (words <= 2) {
        report(toText ? "Usage: pelto -bintotxt binary_results_file [text_results_file]\n"
                      : "Usage: pelto -txttobin text_results_file [binary_results_file]\n");
        exitProcess(0);
    }
    std::string input = word(commandLine, 2);
    std::string output =
        words >= 4 ? word(commandLine, 3) : replaceExtension(input, toText ? "txt" : "bin");
    bool converted = convertResults(input, toText, output, !toText);
    // Messages start their line; close the last one before the shell prompt.
    if (displayMode != DisplayBackground) consoleWrite("\n");
    exitProcess(converted ? 0 : 1);
}
