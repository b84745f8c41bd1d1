#include "platform/handheld/CardVolume.h"
#include "platform/handheld/CardNames.h"
#include "platform/handheld/HostFiles.h"
#include "platform/handheld/StandinDevice.h"
#include "VfsApi.h"
#include "names/AnsiCodePage.h"

#include <windows.h>

#include <algorithm>
#include <utility>

namespace {
const int64_t kFileTimeTo1970 = 11644473600LL;
const int64_t k1904To1970 = 2082844800LL;
const uint32_t kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE;

uint32_t timeOf(const FILETIME& ft) {
    uint64_t t = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return handheldTimeOf(static_cast<int64_t>(t / 10000000ULL) - kFileTimeTo1970);
}

// A name a wide call gave back, in codePage; false when a character of it has no exact form
// there (a card under that code page could not hold the name).
bool narrowExactly(const wchar_t* name, UINT codePage, std::string& out) {
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(codePage, flags, name, -1, nullptr, 0, nullptr, utf8 ? nullptr : &usedDefault);
    if (n <= 0 || usedDefault) return false;
    out.assign(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, flags, name, -1, &out[0], n, nullptr, nullptr);
    out.pop_back();  // the terminating zero
    return true;
}

// A name for a temporary file beside the target, unique within this process. The target's
// name is cut where the whole would pass the 255 characters a host folder holds per name:
// a card takes a name of that length, and staging it must not fail for the suffix.
std::wstring partName(const std::wstring& target) {
    static unsigned counter = 0;
    const std::wstring suffix = L".tw" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) + L".part";
    const size_t base = target.find_last_of(L'\\') + 1;
    const size_t keep = std::min(target.size() - base, 255 - suffix.size());
    return longForm(target.substr(0, base + keep) + suffix);
}

// Whether a base name has the form partName gives: "<name>.tw<digits>-<digits>.part".
bool isPartName(const std::string& base) {
    const std::string suffix = ".part";
    if (base.size() <= suffix.size() || base.compare(base.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const std::string stem = base.substr(0, base.size() - suffix.size());
    const size_t tw = stem.rfind(".tw");
    if (tw == std::string::npos || tw == 0) return false;
    const std::string numbers = stem.substr(tw + 3);
    const size_t dash = numbers.find('-');
    return dash != std::string::npos && dash > 0 && dash + 1 < numbers.size() &&
           numbers.find_first_not_of("0123456789", dash + 1) == std::string::npos &&
           numbers.find_first_not_of("0123456789") == dash;
}

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (valid()) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE get() const { return h_; }
    void close() {
        if (valid()) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE h_;
};

bool writeAll(HANDLE h, const char* data, size_t size) {
    while (size > 0) {
        DWORD chunk = size > (1u << 20) ? (1u << 20) : static_cast<DWORD>(size), done = 0;
        if (!WriteFile(h, data, chunk, &done, nullptr) || done == 0) return false;
        data += done;
        size -= done;
    }
    return true;
}

// Writes bytes, or a host file's contents, into an open file.
bool fill(HANDLE out, const std::string* bytes, const std::wstring* source) {
    if (bytes) return writeAll(out, bytes->data(), bytes->size());
    Handle in(CreateFileW(source->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in.valid()) return false;
    std::string buf(1 << 16, '\0');
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in.get(), &buf[0], static_cast<DWORD>(buf.size()), &got, nullptr)) return false;
        if (got == 0) return true;
        if (!writeAll(out, buf.data(), got)) return false;
    }
}

// Writes bytes (or a host file's contents) to target through a temporary file beside it.
// On failure the temporary file is gone, the target untouched and the last error kept.
// Used for the card's own files: the device folder outlives a killed process.
bool replaceWhole(const std::wstring& target, const std::string* bytes, const std::wstring* source) {
    const std::wstring part = partName(target);
    bool ok = false;
    {
        Handle out(CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out.valid()) return false;
        ok = fill(out.get(), bytes, source);
    }
    if (ok) ok = MoveFileExW(part.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    if (!ok) {
        DWORD error = GetLastError();
        DeleteFileW(part.c_str());
        SetLastError(error);
    }
    return ok;
}

// Writes a copy out of the card straight into the host path it was asked for, as the card
// library does: keeping a good file from being replaced by a broken-off copy is the
// caller's business (the conduit hands over a staged name of its own). Staging here as
// well cost every file copied to the PC a second creation and rename. What a failure
// leaves of the new file is removed; the last error is kept.
bool writeOut(const std::wstring& target, const std::string* bytes, const std::wstring* source) {
    bool ok = false;
    {
        Handle out(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out.valid()) return false;
        ok = fill(out.get(), bytes, source);
    }
    if (!ok) {
        DWORD error = GetLastError();
        DeleteFileW(target.c_str());
        SetLastError(error);
    }
    return ok;
}
// Moves a host file or folder. A rename in case only goes through a free name beside it:
// wine takes a direct one for a rename onto the same file and keeps the old spelling, where
// a FAT card shows the new one.
bool moveHost(const std::wstring& from, const std::wstring& to, bool caseOnly) {
    if (!caseOnly || from == to) return MoveFileW(from.c_str(), to.c_str()) != 0;
    const std::wstring between = partName(from);
    if (!MoveFileW(from.c_str(), between.c_str())) return false;
    if (MoveFileW(between.c_str(), to.c_str())) return true;
    const DWORD error = GetLastError();
    MoveFileW(between.c_str(), from.c_str());
    SetLastError(error);
    return false;
}
}  // namespace

std::string CardVolume::key(const std::string& path) const {
    // FAT takes a letter in either case as one, for every letter of the card's code page
    // ("Café" and "CAFÉ"), so the key is the name's small form, kept as UTF-8.
    std::wstring wide = widen(path, codePage_);
    if (!wide.empty()) {
        std::wstring small(wide.size(), L'\0');
        if (LCMapStringW(LOCALE_INVARIANT, LCMAP_LOWERCASE, wide.data(), static_cast<int>(wide.size()), &small[0],
                         static_cast<int>(small.size())) == static_cast<int>(wide.size()))
            wide.swap(small);
    }
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n, nullptr, nullptr);
    return out;
}

uint32_t handheldTimeOf(int64_t unixSeconds) { return static_cast<uint32_t>(unixSeconds + k1904To1970); }

bool CardVolume::open(const std::string& hostDir, unsigned codePage) {
    hostDir_ = hostDir;
    codePage_ = codePage;
    nodes_.clear();
    // Made whole once, so every path below it can take the long form.
    const std::wstring given = widen(hostDir, CP_ACP);
    const DWORD full = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (full == 0) return false;
    std::wstring whole(full, L'\0');
    const DWORD got = GetFullPathNameW(given.c_str(), full, &whole[0], nullptr);
    if (got == 0 || got >= full) return false;
    whole.resize(got);
    while (whole.size() > 3 && whole.back() == L'\\') whole.pop_back();
    wideDir_ = whole;
    const std::wstring dir = longForm(wideDir_);
    DWORD attributes = GetFileAttributesW(dir.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (!CreateDirectoryW(dir.c_str(), nullptr)) return false;
    } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
    }
    CardNode root;
    root.path = "/";
    root.directory = true;
    root.attributes = FILE_ATTRIBUTE_DIRECTORY;
    nodes_["/"] = root;
    restat(nodes_["/"]);
    scan(wideDir_, "");
    return true;
}

void CardVolume::scan(const std::wstring& hostDir, const std::string& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(longForm(hostDir + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    std::vector<std::wstring> leftovers;
    std::vector<std::pair<std::wstring, std::string>> subdirs;
    do {
        const std::wstring wide = data.cFileName;
        if (wide == L"." || wide == L"..") continue;
        // A card keeps its names in its own code page: a host name that has no form there
        // is no name such a card could hold, and the volume does not show it.
        std::string name;
        if (!narrowExactly(data.cFileName, codePage_, name)) continue;
        // A copy staged by a process that was killed before it could rename it: on a real
        // card nothing of the kind exists, and taken for a card file it would be synchronised.
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && isPartName(name)) {
            leftovers.push_back(wide);
            continue;
        }
        CardNode node;
        node.path = path + "/" + name;
        node.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        node.size = node.directory ? 0 : data.nFileSizeLow;
        node.time = timeOf(data.ftLastWriteTime);
        node.attributes = data.dwFileAttributes & kKeptAttributes;
        nodes_[key(node.path)] = node;
        if (node.directory) subdirs.emplace_back(wide, name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    for (const std::wstring& f : leftovers) DeleteFileW(longForm(hostDir + L"\\" + f).c_str());
    for (const auto& d : subdirs) scan(hostDir + L"\\" + d.first, path + "/" + d.second);
}

bool CardVolume::restat(CardNode& node) const {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(hostPath(node.path).c_str(), GetFileExInfoStandard, &data)) return false;
    node.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    node.size = node.directory ? 0 : data.nFileSizeLow;
    node.time = timeOf(data.ftLastWriteTime);
    node.attributes = data.dwFileAttributes & kKeptAttributes;
    node.inMemory = false;
    node.contents.clear();
    return true;
}

const CardNode* CardVolume::find(const std::string& path) const {
    auto it = nodes_.find(key(path));
    return it == nodes_.end() ? nullptr : &it->second;
}

std::wstring CardVolume::hostPath(const std::string& path) const {
    if (path == "/") return longForm(wideDir_);
    std::wstring tail = widen(path, codePage_);
    for (wchar_t& c : tail)
        if (c == L'/') c = L'\\';
    return longForm(wideDir_ + tail);
}

bool CardVolume::parseName(const char* text, CardName& out) const {
    return parseCardName(names::codePage(codePage_), text, out);
}

std::vector<const CardNode*> CardVolume::nodes() const {
    std::vector<const CardNode*> out;
    for (const auto& kv : nodes_)
        if (kv.first != "/") out.push_back(&kv.second);
    return out;
}

size_t CardVolume::childCount(const std::string& path) const {
    std::string prefix = path == "/" ? "/" : key(path) + "/";
    size_t n = 0;
    for (auto it = nodes_.lower_bound(prefix); it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it)
        if (it->first != "/") ++n;
    return n;
}

int32_t CardVolume::createDirectory(const std::string& path) {
    if (path == "/" || find(path)) return VFS_ERR_EXISTS;
    const CardNode* parent = find(parentOf(path));
    if (!parent) return VFS_ERR_NOT_FOUND;
    if (!parent->directory) return STANDIN_VFS_WRONG_KIND;
    std::string real = (parent->path == "/" ? std::string() : parent->path) + "/" + baseOf(path);
    if (!CreateDirectoryW(hostPath(real).c_str(), nullptr)) return STANDIN_VFS_HOST_FAILED;
    CardNode node;
    node.path = real;
    node.directory = true;
    restat(node);
    nodes_[key(real)] = node;
    return 0;
}

int32_t CardVolume::remove(const std::string& path) {
    if (path == "/") return VFS_ERR_BAD_NAME;
    auto it = nodes_.find(key(path));
    if (it == nodes_.end()) return VFS_ERR_NOT_FOUND;
    CardNode& node = it->second;
    if (node.directory) {
        if (childCount(path) != 0) return STANDIN_VFS_NOT_EMPTY;
        if (!RemoveDirectoryW(hostPath(node.path).c_str())) return STANDIN_VFS_HOST_FAILED;
    } else if (!node.inMemory) {
        const std::wstring host = hostPath(node.path);
        if (!DeleteFileW(host.c_str())) {
            // A read-only file goes as it would on a card: the attribute does not protect it.
            SetFileAttributesW(host.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(host.c_str())) return STANDIN_VFS_HOST_FAILED;
        }
    }
    nodes_.erase(it);
    return 0;
}

int32_t CardVolume::rename(const std::string& path, const std::string& newBase) {
    if (path == "/") return VFS_ERR_BAD_NAME;
    if (!validBaseName(names::codePage(codePage_), newBase)) return VFS_ERR_BAD_NAME;
    auto it = nodes_.find(key(path));
    if (it == nodes_.end()) return VFS_ERR_NOT_FOUND;
    std::string oldPath = it->second.path;
    std::string parent = parentOf(oldPath);
    std::string newPath = (parent == "/" ? std::string() : parent) + "/" + newBase;
    bool sameKey = key(newPath) == key(oldPath);
    if (!sameKey && find(newPath)) return VFS_ERR_EXISTS;
    if (!it->second.inMemory && !moveHost(hostPath(oldPath), hostPath(newPath), sameKey))
        return STANDIN_VFS_HOST_FAILED;
    // Re-key the node and, for a directory, everything below it.
    std::string oldKey = key(oldPath);
    std::vector<CardNode> moved;
    for (auto at = nodes_.begin(); at != nodes_.end();) {
        const std::string& key = at->first;
        bool below = key == oldKey || (key.size() > oldKey.size() && key.compare(0, oldKey.size(), oldKey) == 0 &&
                                       key[oldKey.size()] == '/');
        if (below) {
            CardNode node = at->second;
            node.path = newPath + node.path.substr(oldPath.size());
            moved.push_back(node);
            at = nodes_.erase(at);
        } else {
            ++at;
        }
    }
    for (CardNode& node : moved) nodes_[key(node.path)] = node;
    return 0;
}

int32_t CardVolume::copyToHost(const std::string& path, const std::string& hostTarget) const {
    const CardNode* node = find(path);
    if (!node) return VFS_ERR_NOT_FOUND;
    if (node->directory) return STANDIN_VFS_WRONG_KIND;
    const std::wstring source = hostPath(node->path);
    const std::wstring target = hostWidePath(hostTarget);
    bool ok = node->inMemory ? writeOut(target, &node->contents, nullptr) : writeOut(target, nullptr, &source);
    return ok ? 0 : STANDIN_VFS_HOST_FAILED;
}

int32_t CardVolume::copyFromHost(const std::string& path, const std::string& hostSource) {
    if (path == "/") return VFS_ERR_BAD_NAME;
    const CardNode* existing = find(path);
    if (existing && existing->directory) return VFS_ERR_EXISTS;
    const CardNode* parent = find(parentOf(path));
    if (!parent) return VFS_ERR_NOT_FOUND;
    if (!parent->directory) return STANDIN_VFS_WRONG_KIND;
    std::string real = existing ? existing->path : (parent->path == "/" ? std::string() : parent->path) + "/" + baseOf(path);
    const std::wstring source = hostWidePath(hostSource);
    if (!replaceWhole(hostPath(real), nullptr, &source)) return STANDIN_VFS_HOST_FAILED;
    CardNode node;
    node.path = real;
    restat(node);
    nodes_[key(real)] = node;
    return 0;
}

int32_t CardVolume::writeFile(const std::string& path, const std::string& bytes, bool append) {
    if (path == "/") return VFS_ERR_BAD_NAME;
    const CardNode* existing = find(path);
    if (existing && existing->directory) return STANDIN_VFS_WRONG_KIND;
    if (append && !existing) return VFS_ERR_NOT_FOUND;
    const CardNode* parent = find(parentOf(path));
    if (!parent) return VFS_ERR_NOT_FOUND;
    if (!parent->directory) return STANDIN_VFS_WRONG_KIND;
    std::string real = existing ? existing->path : (parent->path == "/" ? std::string() : parent->path) + "/" + baseOf(path);
    const std::wstring host = hostPath(real);
    if (append && !existing->inMemory) {
        Handle out(CreateFileW(host.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out.valid() || !writeAll(out.get(), bytes.data(), bytes.size())) return STANDIN_VFS_HOST_FAILED;
    } else {
        std::string whole = append ? existing->contents + bytes : bytes;
        if (!replaceWhole(host, &whole, nullptr)) return STANDIN_VFS_HOST_FAILED;
    }
    CardNode node;
    node.path = real;
    restat(node);
    nodes_[key(real)] = node;
    return 0;
}

int32_t CardVolume::readRange(const std::string& path, uint64_t offset, uint64_t length, std::string& out) const {
    out.clear();
    const CardNode* node = find(path);
    if (!node) return VFS_ERR_NOT_FOUND;
    if (node->directory) return STANDIN_VFS_WRONG_KIND;
    if (node->inMemory) {
        if (offset < node->contents.size()) out = node->contents.substr(static_cast<size_t>(offset), static_cast<size_t>(length));
        return 0;
    }
    Handle in(CreateFileW(hostPath(node->path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in.valid()) return STANDIN_VFS_HOST_FAILED;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(in.get(), at, nullptr, FILE_BEGIN)) return STANDIN_VFS_HOST_FAILED;
    std::string buf(1 << 16, '\0');
    while (out.size() < length) {
        uint64_t want = length - out.size();
        DWORD chunk = want < buf.size() ? static_cast<DWORD>(want) : static_cast<DWORD>(buf.size()), got = 0;
        if (!ReadFile(in.get(), &buf[0], chunk, &got, nullptr)) return STANDIN_VFS_HOST_FAILED;
        if (got == 0) break;
        out.append(buf.data(), got);
    }
    return 0;
}

void CardVolume::putInMemory(const std::string& path, const std::string& bytes, uint32_t time) {
    CardNode node;
    node.path = path;
    node.size = static_cast<uint32_t>(bytes.size());
    node.time = time;
    node.attributes = FILE_ATTRIBUTE_ARCHIVE;
    node.inMemory = true;
    node.contents = bytes;
    nodes_[key(path)] = node;
}
