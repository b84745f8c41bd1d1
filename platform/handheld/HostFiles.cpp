#include "platform/handheld/HostFiles.h"

#include <windows.h>
#include <cstdio>

bool readHostFile(const std::string& path, std::string& contents) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    contents.clear();
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) contents.append(buf, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool writeHostFileWhole(const std::string& path, const std::string& contents) {
    std::string temp = path + ".new";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(contents.data(), 1, contents.size(), f) == contents.size();
    ok = (std::fclose(f) == 0) && ok;
    if (ok) ok = MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    if (!ok) DeleteFileA(temp.c_str());
    return ok;
}
