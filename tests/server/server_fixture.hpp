// A project folder for the server tests: two lattices the checksums cover,
// and records made with the client's own checksum code.
#pragma once

#include <string>

#include "model/genome.hpp"
#include "results/checksum.hpp"
#include "results/record.hpp"
#include "results/text_results.hpp"
#include "store/filecache.hpp"
#include "support/test_support.hpp"

// Any text does for a lattice here: the checksum covers the file's content.
inline void writeProjectLattices(const ScratchFolder& dir) {
    dir.write("lattices/alpha.txt", "L=[0.5 2]\nD1 #L#\n");
    dir.write("lattices/beta.txt", "M=[1 3]\nD2 #M#\n");
}

// A record as the client writes it after a run, checksum included.
inline ResultRecord clientRecord(const std::string& lattice, int level, double score,
                                 int runs = 0) {
    Genome g;
    genomeInit(g);
    genomeSet(g, "len", level);
    genomeSet(g, "gap", 999 - level);
    if (runs > 0) genomeSet(g, "#runs", runs);
    ScoreLineFields fields{std::string("v4.44d"), lattice, std::string("")};
    // The client reads the files as they are now; the server's cache, on in
    // this process, must not answer for it.
    digestCaching = false;
    ChecksumFunction sum = [](const std::string& gl, const std::string& sl) {
        return recordChecksum(gl, sl);
    };
    ResultRecord r = formatScoreLine(g, score, 12.5, fields, sum, kProgramFormat);
    // Readers strip the trailing blank; the stored form is the read form.
    while (!r.scoreLine.empty() && r.scoreLine.back() == ' ') r.scoreLine.pop_back();
    return r;
}
