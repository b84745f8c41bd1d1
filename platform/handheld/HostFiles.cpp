#include "platform/handheld/HostFiles.h"

#include <windows.h>
#include <cstdio>

std::wstring longForm(std::wstring path) {
    if (path.size() < MAX_PATH - 12 || path.compare(0, 4, L"\\\\?\\") == 0) return path;
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
    if (path.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

std::wstring widen(const std::string& text, unsigned codePage) {
    std::wstring out;
    if (text.empty()) return out;
    const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return out;
    out.resize(static_cast<size_t>(n));
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::wstring hostWidePath(const std::string& path) {
    std::wstring wide = widen(path, CP_ACP);
    for (wchar_t& c : wide)
        if (c == L'/') c = L'\\';
    return longForm(wide);
}

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
