#include "server/samples.hpp"

#include <mutex>

#include "common/text.hpp"
#include "platform/files.hpp"
#include "results/binary_results.hpp"

std::string sampleFilePath(const std::string& lattice) {
    return std::string(kSampleFolder) + "/" + lowerCopy(lattice) + "_100.bin";
}

bool rebuildSampleFile(ProjectDb& db, const std::string& lattice) {
    ResultsList best;
    listInit(best);
    {
        std::lock_guard<std::mutex> guard(db.lock);
        Stmt s = dbPrepare(db,
                           "SELECT genome_line, score_line, score FROM results WHERE lattice = ? "
                           "ORDER BY rechecked DESC, score DESC, id LIMIT ?");
        if (!s) return false;
        dbBind(s.get(), 1, lattice);
        dbBind(s.get(), 2, int64_t{kSampleSize});
        while (dbStep(s.get())) {
            listAppend(best,
                       ResultRecord{dbText(s.get(), 0), dbText(s.get(), 1), dbDouble(s.get(), 2)});
        }
    }
    // Two ingests may finish together; one writer per file at a time.
    static std::mutex writing;
    std::lock_guard<std::mutex> guard(writing);
    makeDirectory(kSampleFolder);
    std::string path = sampleFilePath(lattice);
    std::string temp = path + ".part";
    if (!saveBinaryResults(best, temp) || fileSize(temp) <= 0) {
        removeFile(temp);
        return false;
    }
    return renameFile(temp, path);
}

void rebuildAllSampleFiles(ProjectDb& db, const std::vector<std::string>& lattices) {
    for (const std::string& lattice : lattices) rebuildSampleFile(db, lattice);
}
