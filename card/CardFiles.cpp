#include "card/CardFiles.h"
#include <windows.h>
#include "engine/StdioFile.h"

namespace card {

bool appendFileTo(const std::string& from, const std::string& to, uint64_t maxBytes) {
    uint32_t size = 0;
    if (!pcFileSize(from, size) || size > maxBytes) return false;
    StdioFile in = openStdioFile(from, "rb");
    if (!in) return false;
    StdioFile out = openStdioFile(to, "ab");
    if (!out) return false;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, in.get())) > 0)
        if (fwrite(buffer, 1, n, out.get()) != n) return false;
    if (ferror(in.get())) return false;
    return closeStdioFile(out);
}

bool pcFileSize(const std::string& path, uint32_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.nFileSizeHigh != 0) return false;
    size = data.nFileSizeLow;
    return true;
}

uint32_t lastSystemError() { return GetLastError(); }

}  // namespace card
