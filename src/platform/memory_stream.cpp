#include "platform/memory_stream.hpp"

#include <stdio.h>

#include <cstdlib>

MemoryStream::MemoryStream() : file_(open_memstream(&buffer_, &size_)) {}

MemoryStream::~MemoryStream() {
    if (file_) std::fclose(file_);
    std::free(buffer_);
}

bool MemoryStream::take(std::string& out) {
    out.clear();
    if (!file_) return false;
    bool ok = !std::ferror(file_);
    // The buffer and its size are final only once the stream is closed.
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (ok && buffer_) out.assign(buffer_, size_);
    std::free(buffer_);
    buffer_ = nullptr;
    size_ = 0;
    return ok;
}
