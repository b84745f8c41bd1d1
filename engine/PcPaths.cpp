#include "engine/PcPaths.h"

#include <cstdio>
#include <cwchar>
#include <vector>

namespace pcfile {
namespace {
constexpr size_t kLongFrom = MAX_PATH - 12;
}

std::wstring widePath(const std::string& path) {
    std::wstring wide;
    if (!path.empty()) {
        const int n = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
        wide.resize(static_cast<size_t>(n));
        if (n > 0) MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), &wide[0], n);
    }
    if (path.size() >= kLongFrom || names::hasReservedComponent(wide)) return names::longPathForm(wide);
    for (wchar_t& c : wide)
        if (c == L'/') c = L'\\';
    return wide;
}

bool needsLongForm(const std::string& path) {
    return path.size() >= kLongFrom || widePath(path).compare(0, 4, L"\\\\?\\") == 0;
}

namespace {
// The ANSI form of n wide characters, or none when one has no exact form. UTF-8 as the
// ANSI code page holds every character but takes neither flag nor question.
std::optional<std::string> exactAnsi(const wchar_t* text, int n) {
    if (n == 0) return std::string();
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* question = utf8 ? nullptr : &usedDefault;
    const int size = WideCharToMultiByte(CP_ACP, flags, text, n, nullptr, 0, nullptr, question);
    if (size <= 0 || usedDefault) return std::nullopt;
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, flags, text, n, &out[0], size, nullptr, nullptr);
    return out;
}
}  // namespace

std::optional<std::string> narrowName(const wchar_t* name) {
    return exactAnsi(name, static_cast<int>(wcslen(name)));
}

std::string readableName(const wchar_t* name) {
    std::string out;
    const size_t length = wcslen(name);
    for (size_t i = 0; i < length;) {
        // A surrogate pair is one character and is taken whole.
        const bool pair = i + 1 < length && name[i] >= 0xD800 && name[i] <= 0xDBFF && name[i + 1] >= 0xDC00 &&
                          name[i + 1] <= 0xDFFF;
        const int n = pair ? 2 : 1;
        const std::optional<std::string> ansi = exactAnsi(name + i, n);
        if (ansi) {
            out += *ansi;
        } else {
            const unsigned long code =
                pair ? 0x10000ul + ((static_cast<unsigned long>(name[i]) - 0xD800) << 10) + (name[i + 1] - 0xDC00)
                     : static_cast<unsigned long>(name[i]);
            char text[16];
            std::snprintf(text, sizeof text, "<U+%04lX>", code);
            out += text;
        }
        i += static_cast<size_t>(n);
    }
    return out;
}

DWORD attributes(const std::string& path) { return GetFileAttributesW(widePath(path).c_str()); }
bool exists(const std::string& path) { return attributes(path) != INVALID_FILE_ATTRIBUTES; }

bool attributesEx(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
    return GetFileAttributesExW(widePath(path).c_str(), GetFileExInfoStandard, &data) != 0;
}

bool setAttributes(const std::string& path, DWORD value) {
    return SetFileAttributesW(widePath(path).c_str(), value) != 0;
}

bool createDirectory(const std::string& path) { return CreateDirectoryW(widePath(path).c_str(), nullptr) != 0; }
bool removeDirectory(const std::string& path) { return RemoveDirectoryW(widePath(path).c_str()) != 0; }
bool deleteFile(const std::string& path) { return DeleteFileW(widePath(path).c_str()) != 0; }

bool moveFile(const std::string& from, const std::string& to, DWORD flags) {
    return MoveFileExW(widePath(from).c_str(), widePath(to).c_str(), flags) != 0;
}

bool copyFile(const std::string& from, const std::string& to, bool failIfExists) {
    return CopyFileW(widePath(from).c_str(), widePath(to).c_str(), failIfExists ? TRUE : FALSE) != 0;
}

HANDLE createFile(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileW(widePath(path).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

FILE* openStream(const std::string& path, const wchar_t* mode) { return _wfopen(widePath(path).c_str(), mode); }

FolderListing::FolderListing(const std::string& pattern)
    : data_(), find_(FindFirstFileW(widePath(pattern).c_str(), &data_)) {}

bool FolderListing::next() { return FindNextFileW(find_.get(), &data_) != 0; }

}  // namespace pcfile
