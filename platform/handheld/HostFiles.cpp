#include "platform/handheld/HostFiles.h"

#include <windows.h>
#include <cstdio>
#include <utility>

#include "names/CodePage.h"

std::wstring longForm(std::wstring path) { return names::longPathForm(std::move(path)); }

std::wstring widen(const std::string& text, unsigned codePage) {
    std::wstring out;
    if (text.empty()) return out;
    const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return out;
    out.resize(static_cast<size_t>(n));
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::wstring hostWidePath(const std::string& path) { return longForm(widen(path, CP_ACP)); }

bool readHostFile(const std::string& path, std::string& contents) {
    FILE* f = _wfopen(hostWidePath(path).c_str(), L"rb");
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
    const std::wstring target = hostWidePath(path), temp = hostWidePath(path + ".new");
    FILE* f = _wfopen(temp.c_str(), L"wb");
    if (!f) return false;
    bool ok = std::fwrite(contents.data(), 1, contents.size(), f) == contents.size();
    ok = (std::fclose(f) == 0) && ok;
    if (ok) ok = MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    if (!ok) DeleteFileW(temp.c_str());
    return ok;
}
