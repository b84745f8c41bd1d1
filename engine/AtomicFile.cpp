#include "engine/AtomicFile.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "engine/PcPaths.h"
#include "engine/Win32Handles.h"
#include "names/AnsiCodePage.h"

namespace {

std::string folderOf(const std::string& path) {
    // By character: in a code page of two-byte characters "表" ends in the byte of "\".
    const size_t sep = names::findLastSeparator(names::ansiCodePage(), path, "\\/");
    if (sep == std::string::npos) return ".";
    if (sep == 0) return path.substr(0, 1);
    return path.substr(0, sep);
}

bool writeAll(HANDLE h, const char* data, size_t size) {
    while (size > 0) {
        const DWORD chunk = size > (1u << 20) ? (1u << 20) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(h, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

}  // namespace

AtomicFile::AtomicFile(const std::string& target) : target_(target) {
    // The temporary name is only chosen here, not created: whoever writes it creates it.
    // Creating an empty placeholder first (as GetTempFileName does) costs a file creation
    // and, once the writer replaces it, a deletion for every file copied; on a card of tens
    // of thousands of files that was the largest single cost of a first HotSync.
    // Process id and a running number keep names apart between processes and between
    // objects alive at once; a name that exists (left by a crash) is passed over.
    static std::atomic<uint32_t> counter{0};
    const std::string folder = folderOf(target);
    const std::string process = processTag();
    for (int attempt = 0; attempt < 64; ++attempt) {
        char name[48];
        std::snprintf(name, sizeof name, ".tw%s-%x.tmp", process.c_str(), static_cast<unsigned>(++counter));
        const bool separated =
            !folder.empty() && names::findLastSeparator(names::ansiCodePage(), folder, "\\/") == folder.size() - 1;
        const std::string path = folder + (separated ? "" : "\\") + name;
        if (pcfile::attributes(path) != INVALID_FILE_ATTRIBUTES) continue;
        // A missing folder (or any other failure) leaves the object invalid, as before.
        if (GetLastError() == ERROR_FILE_NOT_FOUND) tempPath_ = path;
        return;
    }
}

bool AtomicFile::isTempName(const std::string& base) {
    // ".tw" <hex> "-" <hex> ".tmp", as the constructor writes it.
    const std::string head = ".tw", tail = ".tmp";
    if (base.size() < head.size() + tail.size() + 3 || base.compare(0, head.size(), head) != 0 ||
        base.compare(base.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    const std::string middle = base.substr(head.size(), base.size() - head.size() - tail.size());
    const size_t dash = middle.find('-');
    const char* hex = "0123456789abcdef";
    return dash != std::string::npos && dash > 0 && dash + 1 < middle.size() &&
           middle.find_first_not_of(hex) == dash && middle.find_first_not_of(hex, dash + 1) == std::string::npos;
}

std::string AtomicFile::processOfTempName(const std::string& base) {
    return isTempName(base) ? base.substr(3, base.find('-') - 3) : std::string();
}

std::string AtomicFile::processTag() {
    char tag[16];
    std::snprintf(tag, sizeof tag, "%lx", static_cast<unsigned long>(GetCurrentProcessId()));
    return tag;
}

AtomicFile::~AtomicFile() {
    if (!committed_ && !tempPath_.empty()) {
        pcfile::setAttributes(tempPath_, FILE_ATTRIBUTE_NORMAL);
        pcfile::deleteFile(tempPath_);
    }
}

bool AtomicFile::commit(bool replace) {
    if (tempPath_.empty() || committed_) return false;
    if (!pcfile::moveFile(tempPath_, target_, (replace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH)) {
        return false;
    }
    committed_ = true;
    return true;
}

bool AtomicFile::writeWhole(const std::string& target, const std::string& bytes) {
    return writeWhole(target, bytes, [](AtomicFile& file) { return file.commit(); });
}

bool AtomicFile::writeWhole(const std::string& target, const std::string& bytes,
                            const std::function<bool(AtomicFile&)>& commitStep) {
    AtomicFile file(target);
    if (!file.valid()) return false;
    {
        OwnedHandle h(pcfile::createFile(file.tempPath(), GENERIC_WRITE, 0, CREATE_ALWAYS));
        if (!h.valid()) return false;
        if (!writeAll(h.get(), bytes.data(), bytes.size())) return false;
        if (!FlushFileBuffers(h.get())) return false;
    }
    return commitStep(file);
}

TemporaryFile::TemporaryFile(const char* prefix) {
    char folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length > MAX_PATH) return;
    char buffer[MAX_PATH + 1] = {};
    if (GetTempFileNameA(folder, prefix, 0, buffer) != 0) path_ = buffer;
}

TemporaryFile::~TemporaryFile() {
    if (!path_.empty()) {
        pcfile::setAttributes(path_, FILE_ATTRIBUTE_NORMAL);
        pcfile::deleteFile(path_);
    }
}

bool readWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    OwnedHandle h(pcfile::createFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
    if (!h.valid()) return false;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(h.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return false;
        if (got == 0) return true;
        bytes.append(buffer.data(), got);
    }
}

bool sameFileContents(const std::string& a, const std::string& b) {
    OwnedHandle ha(pcfile::createFile(a, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
    OwnedHandle hb(pcfile::createFile(b, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
    if (!ha.valid() || !hb.valid()) return false;
    LARGE_INTEGER sa, sb;
    if (!GetFileSizeEx(ha.get(), &sa) || !GetFileSizeEx(hb.get(), &sb)) return false;
    if (sa.QuadPart != sb.QuadPart) return false;
    std::vector<char> ba(1 << 16), bb(1 << 16);
    for (;;) {
        DWORD ga = 0, gb = 0;
        if (!ReadFile(ha.get(), ba.data(), static_cast<DWORD>(ba.size()), &ga, nullptr)) return false;
        if (!ReadFile(hb.get(), bb.data(), static_cast<DWORD>(bb.size()), &gb, nullptr)) return false;
        if (ga != gb) return false;
        if (ga == 0) return true;
        for (DWORD i = 0; i < ga; ++i) {
            if (ba[i] != bb[i]) return false;
        }
    }
}
