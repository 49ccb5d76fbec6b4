// A C stream that writes into memory, for data that writes itself through
// stdio but must be whole (checksummed, say) before it goes to a file.
#pragma once

#include <cstdio>
#include <string>

class MemoryStream {
  public:
    MemoryStream();
    ~MemoryStream();
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;

    // The stream to write to; none when it could not be made.
    std::FILE* file() const { return file_; }
    // Closes the stream and moves what was written into `out`. false when the
    // stream could not be made or a write to it failed.
    bool take(std::string& out);

  private:
    std::FILE* file_ = nullptr;
    char* buffer_ = nullptr;
    size_t size_ = 0;
};
