#include <unordered_set>

#include "common/text.hpp"
#include "net/download.hpp"
#include "platform/files.hpp"
#include "results/binary_results.hpp"
#include "results/text_results.hpp"

namespace {

// Lines compared as a reader sees them: records rebuilt from a binary file
// end their score line with a blank that the text reader strips, and without
// this every merge would add the same records again.
std::string recordKey(const std::string& genomeLine, const std::string& scoreLine) {
    auto cut = [](std::string s) {
        while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.pop_back();
        return lowerCopy(s);
    };
    return cut(genomeLine) + '\n' + cut(scoreLine);
}

// Adds the downloaded records that the local file does not hold yet.
void mergeSamples(const std::string& downloaded, const std::string& localPath) {
    report("Merging newly-downloaded sample results...");
    ResultsList fresh = loadResultsAny(downloaded, kProgramFormat);
    std::unordered_set<std::string> known;
    RecordReader reader;
    if (recordReaderOpen(reader, localPath)) {
        while (std::optional<ResultRecord> r = readRecord(reader, std::nullopt, nullptr, true)) {
            known.insert(recordKey(r->genomeLine, r->scoreLine));
        }
    }
    ResultsList added;
    for (const ResultRecord& r : fresh) {
        if (known.insert(recordKey(r.genomeLine, r.scoreLine)).second) listAppend(added, r);
    }
    if (added.count() > 0) saveResults(added, added.count(), localPath, true);
}

// Turns a downloaded binary file into the local text file. A download that
// holds no record at all is not the project's sample file (an error page, a
// damaged file) and does not replace the samples already here.
void convertSamples(const std::string& downloaded, const std::string& localPath) {
    report("Converting newly-downloaded sample results...");
    ResultsList fresh = loadResultsAny(downloaded, kProgramFormat);
    if (fresh.count() == 0) {
        reportf("No results in the sample file downloaded for %s; the old one is kept",
                localPath.c_str());
        return;
    }
    std::string text;
    for (const ResultRecord& r : fresh) text += recordText(r);
    if (!writeFileAtomic(localPath, text)) {
        reportf("Could not write %s; the old one is kept", localPath.c_str());
    }
}

}  // namespace

void downloadSample(const std::string& url, const std::string& localPath, double hours,
                    const NetSettings& net) {
    if (url.size() < 3) {
        report("[WARNING] Bad or no sample file URL specified");
        return;
    }
    makeDirectory(kSampleFolder);
    bool accumulate = net.sampleBehaviour == 'A';
    std::string target = localPath + (accumulate ? ".tmp" : "");
    target.replace(target.size() - 3, 3, url.substr(url.size() - 3));
    if (!isSafeRelativePath(target)) {
        reportf("[WARNING] Sample file URL %s gives no usable file name", url.c_str());
        return;
    }
    if (!downloadIfStale(localPath, hours, url, target, net)) return;
    if (accumulate) {
        mergeSamples(target, localPath);
        removeFile(target);
    } else if (equalNoCase(std::string_view(url).substr(url.size() - 3), "bin")) {
        convertSamples(target, localPath);
        removeFile(target);
    }
}

void downloadSamples(const std::string& urlTemplate, double hours,
                     const std::vector<std::string>& lattices, const NetSettings& net) {
    if (urlTemplate.find("{lattice}") == std::string::npos) {
        report("[WARNING] Sample files URL does not contain {lattice}, none downloaded");
        return;
    }
    for (const std::string& lattice : lattices) {
        if (!isPlainServerName(lattice)) continue;
        std::string url = urlTemplate;
        std::string encoded = urlEncodeName(lowerCopy(lattice));
        for (size_t at = url.find("{lattice}"); at != std::string::npos;
             at = url.find("{lattice}", at + encoded.size())) {
            url.replace(at, 9, encoded);
        }
        downloadSample(url, std::string(kSampleFolder) + "/" + lattice + ".txt", hours, net);
    }
}
