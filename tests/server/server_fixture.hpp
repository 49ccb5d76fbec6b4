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

// The checksum covers the file's content; the pages show the records'
// parameters (len, gap) in the units of their ranges here.
inline void writeProjectLattices(const ScratchFolder& dir) {
    dir.write("lattices/alpha.txt", "len=[0.5m 2m]\ngap=[1T 3T]\nD1 #len#\n");
    dir.write("lattices/beta.txt", "len=[1cm 3cm]\ngap=[5ns 9ns]\nD2 #len#\n");
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
