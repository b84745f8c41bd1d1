#include "platform/handheld/HostFiles.h"

#include <windows.h>
#include <cstdio>

namespace {
// The path in the ANSI code page for the wide calls, in the long form when it needs it.
std::wstring widePath(const std::string& path) {
    std::wstring out;
    if (!path.empty()) {
        const int n = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
        out.resize(static_cast<size_t>(n > 0 ? n : 0));
        if (n > 0) MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), &out[0], n);
    }
    for (wchar_t& c : out)
        if (c == L'/') c = L'\\';
    if (out.size() >= MAX_PATH - 12 && out.size() >= 3 && out[1] == L':' && out[2] == L'\\') out = L"\\\\?\\" + out;
    return out;
}
}  // namespace

bool readHostFile(const std::string& path, std::string& contents) {
    FILE* f = _wfopen(widePath(path).c_str(), L"rb");
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
    const std::wstring target = widePath(path), temp = widePath(path + ".new");
    FILE* f = _wfopen(temp.c_str(), L"wb");
    if (!f) return false;
    bool ok = std::fwrite(contents.data(), 1, contents.size(), f) == contents.size();
    ok = (std::fclose(f) == 0) && ok;
    if (ok) ok = MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    if (!ok) DeleteFileW(temp.c_str());
    return ok;
}
