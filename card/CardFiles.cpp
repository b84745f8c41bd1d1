#include "card/CardFiles.h"
#include <windows.h>
#include <cstdio>
#include <memory>
#include "card/CardRules.h"

namespace card {
namespace {
struct FileCloser {
    void operator()(FILE* f) const { fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;
}  // namespace

TempFile::TempFile() {
    char folder[MAX_PATH + 1] = {};
    DWORD n = GetTempPathA(MAX_PATH, folder);
    if (n == 0 || n > MAX_PATH) return;
    char name[MAX_PATH + 1] = {};
    if (GetTempFileNameA(folder, "tmp", 0, name) == 0) return;
    path_ = name;
}

TempFile::~TempFile() {
    if (!path_.empty()) DeleteFileA(path_.c_str());
}

StagedFile::StagedFile(const std::string& target) : target_(target) {
    char name[MAX_PATH + 1] = {};
    if (GetTempFileNameA(pcFolderOf(target).c_str(), ".tw", 0, name) == 0) {
        error_ = GetLastError();
        return;
    }
    path_ = name;
}

StagedFile::~StagedFile() {
    if (!path_.empty()) DeleteFileA(path_.c_str());
}

bool StagedFile::commit() {
    if (path_.empty()) return false;
    if (!MoveFileExA(path_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        error_ = GetLastError();
        return false;
    }
    path_.clear();
    return true;
}

bool readWholeFile(const std::string& path, std::string& content) {
    FilePtr f(fopen(path.c_str(), "rb"));
    if (!f) return false;
    content.clear();
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f.get())) > 0) content.append(buffer, n);
    return true;
}

bool appendFileTo(const std::string& from, const std::string& to, uint64_t maxBytes) {
    uint32_t size = 0;
    if (!pcFileSize(from, size) || size > maxBytes) return false;
    FilePtr in(fopen(from.c_str(), "rb"));
    if (!in) return false;
    FilePtr out(fopen(to.c_str(), "ab"));
    if (!out) return false;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, in.get())) > 0)
        if (fwrite(buffer, 1, n, out.get()) != n) return false;
    if (ferror(in.get())) return false;
    FILE* raw = out.release();
    return fclose(raw) == 0;
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
