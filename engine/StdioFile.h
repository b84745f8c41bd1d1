// A C stdio file closed when its owner goes away. OS-free: the native build uses it too.
#pragma once
#include <cstdio>
#include <memory>
#include <string>

struct StdioFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using StdioFile = std::unique_ptr<std::FILE, StdioFileCloser>;

// The file opened with fopen's mode; empty when it cannot be opened.
inline StdioFile openStdioFile(const std::string& path, const char* mode) {
    return StdioFile(std::fopen(path.c_str(), mode));
}

// Closes the file now; false when what was written may not have reached it. The flush is
// checked on its own: some C runtimes answer 0 from fclose although its flush failed.
inline bool closeStdioFile(StdioFile& file) {
    std::FILE* f = file.release();
    const bool flushed = std::fflush(f) == 0;
    return (std::fclose(f) == 0) && flushed;
}
