// An owned C stream, closed when it goes out of scope.
#pragma once

#include <cstdio>
#include <memory>

struct StdioCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using StdioFile = std::unique_ptr<std::FILE, StdioCloser>;
