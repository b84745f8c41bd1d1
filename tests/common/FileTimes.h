// A file's modification time in Unix seconds, set and read through the host's own calls,
// for the suites that age files on either side to make them count as changed.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

#include "tests/common/TestTree.h"

// FILETIME counts 100 ns steps since 1601.
constexpr int64_t kUnixEpochAsFiletime = 116444736000000000LL;

// Sets the modification time of a file or folder (a path of any length); does nothing if
// it cannot be opened.
inline void setWriteTime(const std::string& path, int64_t unixSeconds) {
    HANDLE h = CreateFileW(longHostPath(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    const int64_t t = unixSeconds * 10000000LL + kUnixEpochAsFiletime;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(t);
    ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
    SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
}

// The modification time, or 0 when the path cannot be read.
inline int64_t writeTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(longHostPath(path).c_str(), GetFileExInfoStandard, &data)) return 0;
    const int64_t t = (static_cast<int64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return (t - kUnixEpochAsFiletime) / 10000000LL;
}
