// Runs a test in a scratch folder made the working folder (the program works
// relative to its own folder), with the lattice caches and hooks reset.
#pragma once

#include <string>

#include "platform/process.hpp"
#include "store/filecache.hpp"
#include "store/latticedir.hpp"
#include "support/test_support.hpp"

class InScratchFolder {
  public:
    InScratchFolder() : previous_(currentFolder()) {
        setCurrentFolder(folder_.path());
        resetState();
    }
    ~InScratchFolder() {
        resetState();
        setCurrentFolder(previous_);
    }
    const ScratchFolder& folder() const { return folder_; }
    void write(const std::string& name, const std::string& contents) const {
        folder_.write(name, contents);
    }
    std::string read(const std::string& name) const { return folder_.read(name); }

  private:
    static void resetState() {
        forgetlatticelist();
        digestCaching = false;
        resetLatticeDataFilesProvider();
    }
    ScratchFolder folder_;
    std::string previous_;
};
