// Making and removing a test's folder tree, shared by the suites that build real folders.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// Deletes a folder tree given in the wide form, names of any code page and any length.
inline void removeWideTree(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = data.cFileName;
                if (name != L"." && name != L"..") removeWideTree(path + L"\\" + name);
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
        RemoveDirectoryW(path.c_str());
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryW(path.c_str());
    } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    }
}

// path (a path in the ANSI code page) as the wide calls take it at any length: made whole,
// with "\\?\" before a drive path. Empty when it cannot be converted.
inline std::wstring longHostPath(const std::string& path) {
    const int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (n <= 1) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], n);
    wide.pop_back();
    if (wide.compare(0, 4, L"\\\\?\\") == 0) return wide;
    // Made whole first: the long form takes every separator and dot literally.
    std::wstring whole(32768, L'\0');
    const DWORD got = GetFullPathNameW(wide.c_str(), 32768, &whole[0], nullptr);
    if (got == 0 || got >= 32768) return std::wstring();
    wide = whole.substr(0, got);
    const bool drive = wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\';
    return drive ? L"\\\\?\\" + wide : wide;
}

// A name the wide calls gave, as the ANSI calls would give it: "?" (or a look-alike) for a
// character the ANSI code page lacks.
inline std::string ansiHostName(const wchar_t* name) {
    const int n = WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string narrow(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, name, -1, &narrow[0], n, nullptr, nullptr);
    narrow.pop_back();
    return narrow;
}

// Deletes path (a full path in the ANSI code page) and everything below it, also names
// outside that code page and paths past 260 characters. A folder link is removed as a
// link: what it points at is never entered, so a test that plants one cannot make
// clean-up delete elsewhere.
inline void removeTree(const std::string& path) {
    const std::wstring wide = longHostPath(path);
    if (!wide.empty()) removeWideTree(wide);
}

// The folder of the running test program (bin/, where the product and the stand-ins lie).
inline std::string binFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path);
    return s.substr(0, s.rfind('\\'));
}

// The positions of the "\" separators of an ANSI path, by character: in a code page of
// two-byte characters a second byte may be that of "\" and separates nothing.
inline std::vector<size_t> separatorsOf(const std::string& path) {
    std::vector<size_t> at;
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) ++i;
        else if (path[i] == '\\') at.push_back(i);
    }
    return at;
}

// Creates path and its missing parents (a full path, "X:\..."), at any length; true when
// the folder is there afterwards.
inline bool makeFolders(const std::string& path) {
    for (size_t at : separatorsOf(path))
        if (at >= 3) CreateDirectoryW(longHostPath(path.substr(0, at)).c_str(), nullptr);
    const std::wstring whole = longHostPath(path);
    CreateDirectoryW(whole.c_str(), nullptr);
    const DWORD attributes = GetFileAttributesW(whole.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
