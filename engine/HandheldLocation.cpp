// The PC side of every location: name conversions, file status, folder and file
// operations, the archive. The synchronisation algorithm itself is in Synchronise.cpp.
#include "engine/HandheldLocation.h"

#include <windows.h>

#include <algorithm>
#include <ctime>
#include <vector>

#include "engine/HotSyncLog.h"
#include "engine/AtomicFile.h"
#include "engine/NameRules.h"
#include "engine/PcPaths.h"
#include "settings/Settings.h"

namespace {

uint64_t toUint64(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

uint32_t clampedSize(DWORD high, DWORD low) { return high != 0 ? 0xFFFFFFFFu : low; }

const std::string* sameContentsAmong(const std::string& path, const std::vector<std::string>& copies);

}  // namespace

HandheldLocation::HandheldLocation(SyncContext* context) : context_(context) {}
HandheldLocation::~HandheldLocation() = default;

void HandheldLocation::compareNamesWithoutCase() { entries_ = EntryMap(NameOrder{true, &pcfile::ansiCaseFold()}); }

// ---- virtual operations with a base behaviour ----

bool HandheldLocation::createHandheldDirectory(const std::string&, FileEntry&) { return false; }
bool HandheldLocation::deleteHandheldDirectory(const std::string&, FileEntry&) { return false; }

bool HandheldLocation::renameOnPc(const std::string& name, FileEntry& entry) {
    const std::string path = pcPathOf(name);
    const std::string newName = conflictNameFor(name);
    const std::string newPath = pcPathOf(newName);
    // The move refuses an existing target, so an earlier conflict copy is never replaced.
    if (!pcfile::moveFile(path, newPath, 0)) {
        log("Could not rename PC File: " + name);
        return false;
    }
    FileEntry& moved = entries_[newName];
    fillPcStatus(newPath, moved);
    // entries_ may have rebalanced, but std::map never moves its elements: entry is valid.
    entry.pcTime = 0;
    log("  " + name + ": Renamed on PC --> " + newName);
    return true;
}

std::string HandheldLocation::relativeNameOf(const std::string& pcPath) {
    return pcPath.size() > pcDirectory_.size() ? pcPath.substr(pcDirectory_.size()) : std::string();
}

std::string HandheldLocation::pcPathOf(const std::string& name) { return pcDirectory_ + "\\" + name; }

bool HandheldLocation::isDirectoryName(const std::string&) { return false; }

bool HandheldLocation::reservedOnHandheld(const std::string& /*name*/) const { return false; }

bool HandheldLocation::handheldFileAsListed(const std::string& /*name*/, const FileEntry& /*entry*/) { return true; }

std::string HandheldLocation::conflictNameFor(const std::string& name) const {
    // A folder of the candidate's name takes it as much as a file does: the move aside
    // would meet it, fail, and fail again at every later HotSync.
    return firstFreeName(name, false, true, [this](const std::string& candidate) {
        const bool folder = !candidate.empty() && candidate.back() == '/';
        const std::string otherKind = folder ? candidate.substr(0, candidate.size() - 1) : candidate + "/";
        return entries_.count(candidate) != 0 || entries_.count(otherKind) != 0;
    });
}

// ---- helpers ----

void HandheldLocation::log(const std::string& text) const { HotSyncLog(text); }

uint32_t HandheldLocation::pcTimeFromFileTime(uint64_t fileTime) {
    constexpr uint64_t kUnixEpoch = 116444736000000000ull;  // 1970-01-01 in 100 ns since 1601
    const int64_t seconds = (static_cast<int64_t>(fileTime) - static_cast<int64_t>(kUnixEpoch)) / 10000000;
    const uint32_t t = static_cast<uint32_t>(seconds);
    return t == 0 ? 1u : t;
}

bool HandheldLocation::fillPcStatus(const std::string& pcPath, FileEntry& entry) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!pcfile::attributesEx(withoutTrailingBackslashes(pcPath), data)) {
        entry.status = ENTRY_PC_UNREADABLE;
        return false;
    }
    entry.pcTime = pcTimeFromFileTime(toUint64(data.ftLastWriteTime));
    entry.pcSize = clampedSize(data.nFileSizeHigh, data.nFileSizeLow);
    if (entry.size == 0) entry.size = entry.pcSize;
    return true;
}

namespace {
// Whether path holds what a listing saw: no file (time 0), or a file of that time and size.
bool pcPathAsListed(const std::string& path, uint32_t time, uint32_t size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!pcfile::attributesEx(path, data)) {
        const DWORD error = GetLastError();
        return time == 0 && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
    }
    return time != 0 && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           HandheldLocation::pcTimeFromFileTime(toUint64(data.ftLastWriteTime)) == time &&
           clampedSize(data.nFileSizeHigh, data.nFileSizeLow) == size;
}
}  // namespace

bool HandheldLocation::pcFileAsListed(const std::string& name, const FileEntry& entry) {
    return pcPathAsListed(pcPathOf(name), entry.pcTime, entry.pcSize);
}

bool HandheldLocation::commitPcCopy(AtomicFile& staged) {
    const PcCopyGuard* guard = pcCopyGuard_;
    if (guard == nullptr || staged.targetPath() != guard->path) return staged.commit();
    const uint32_t time = guard->present ? guard->time : 0;
    // A missing target is taken only by a move that replaces nothing: one saved in the
    // moment between the check and the move still stays.
    if (pcPathAsListed(guard->path, time, guard->size) && staged.commit(guard->present)) return true;
    if (pcPathAsListed(guard->path, time, guard->size)) return false;  // the move itself failed
    log("  " + guard->name + ": Changed on PC during this HotSync, not replaced; the next HotSync compares both");
    return false;
}

bool HandheldLocation::guardedCopyToPc(const std::string& name, FileEntry& entry) {
    PcCopyGuard guard;
    guard.name = name;
    guard.path = pcPathOf(name);
    guard.present = entry.pcTime != 0;
    guard.time = entry.pcTime;
    guard.size = entry.pcSize;
    struct Reset {
        const PcCopyGuard*& slot;
        ~Reset() { slot = nullptr; }
    } reset{pcCopyGuard_};
    pcCopyGuard_ = &guard;
    return copyToPc(name, entry);
}

bool HandheldLocation::pcFolderExists(const std::string& path) const {
    // Only a folder counts: a plain file of that name would make every file look
    // deleted on the PC.
    const DWORD attributes = pcfile::attributes(withoutTrailingBackslashes(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool HandheldLocation::isClaimedDatabase(const std::string& name) {
    if (context_ == nullptr || context_->creators == nullptr) return false;
    const FileEntry& entry = entries_[name];
    if (entry.creator == 0) return false;
    const CreatorList& list = *context_->creators;
    return std::find(list.begin(), list.end(), entry.creator) != list.end();
}

Settings& HandheldLocation::settings() const {
    return (context_ != nullptr && context_->settings != nullptr) ? *context_->settings : TheSettings();
}

ProgressSink& HandheldLocation::progress() {
    return (context_ != nullptr && context_->progress != nullptr) ? *context_->progress : silentProgress_;
}

std::string HandheldLocation::directoryOf(const std::string& key) const {
    // A folder entered as "C:\\Sync\\Card\\" names the same folder; every relative name is
    // cut from paths built as folder + "\\" + name, so the separator must not come twice.
    return withoutTrailingBackslashes(settings().directoryOf(context_->userName, key));
}

void HandheldLocation::setDirectoryOf(const std::string& key, const std::string& folder) const {
    settings().setDirectoryOf(context_->userName, key, folder);
}

std::string HandheldLocation::makeArchiveDirectory(const std::string& key) {
    std::string root = context_->pcFolder;
    if (root.empty()) return std::string();  // no root: archiving fails rather than guessing
    if (root.back() != '\\') root += '\\';
    // The archive lies beside the PC root, so the location folders (root + key) never
    // contain it: ...\User1\Sync\ gives ...\User1\Archive\Sync\<key>.
    // By character: a folder name may end in a two-byte character whose second byte is "\".
    const size_t k = root.size() >= 2 ? names::findLastSeparator(names::ansiCodePage(), root.substr(0, root.size() - 1), "\\")
                                      : std::string::npos;
    if (k == std::string::npos) return std::string();
    std::string archive = root.substr(0, k) + "\\Archive";
    pcfile::createDirectory(archive);
    archive += root.substr(k);
    pcfile::createDirectory(withoutTrailingBackslashes(archive));
    archive += key;
    pcfile::createDirectory(archive);
    archiveDirectory_ = archive;
    return archive;
}

// ---- PC operations ----

bool HandheldLocation::createPcDirectory(const std::string& name, FileEntry& entry) {
    const std::string path = pcPathOf(name);
    if (!pcfile::createDirectory(withoutTrailingBackslashes(path))) {
        log("Could not create PC directory: " + path);
        return false;
    }
    fillPcStatus(path, entry);
    return true;
}

bool HandheldLocation::deletePcDirectory(const std::string& name, FileEntry& entry) {
    const std::string path = pcPathOf(name);
    if (pcfile::removeDirectory(withoutTrailingBackslashes(path))) {
        entry.pcTime = 0;
        return true;
    }
    // A folder sorts before its contents, so in the main pass it usually still holds
    // files that are deleted later in the same pass: try again in the deferred pass.
    if (pass_ == 1) {
        deferred_.push_back(name);
    } else {
        log("Could not delete PC Directory: " + path);
    }
    return false;
}

bool HandheldLocation::archivePcFile(const std::string& name) {
    if (context_ == nullptr || !context_->archive) return true;
    std::vector<std::string> earlier;
    const std::string path = archivePathFor(name, &earlier);
    if (!path.empty() && sameContentsAmong(pcPathOf(name), earlier) != nullptr) {
        log("  " + name + ": Already in the archive");
        return true;
    }
    bool ok = false;
    if (!path.empty()) {
        // Through a temporary file, so a failed copy leaves nothing half-written behind.
        AtomicFile target(path);
        ok = target.valid() && pcfile::copyFile(pcPathOf(name), target.tempPath(), false) &&
             target.commit();
    }
    if (!ok) {
        log("Could not archive PC File: " + name);
        return false;
    }
    log("  " + name + ": Archived");
    return true;
}

namespace {

enum class Kind { Missing, File, Folder };

Kind kindOf(const std::string& path) {
    const DWORD attributes = pcfile::attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return Kind::Missing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::Folder : Kind::File;
}

// The first of path, then path with "_2", "_3", ... before its extension, that is missing
// or (for a folder) already a folder; empty when none is within reach. The files passed over
// on the way go into taken when it is given.
std::string firstFree(const std::string& path, bool folder, std::vector<std::string>* taken = nullptr) {
    return firstFreeName(path, true, true, [folder, taken](const std::string& candidate) {
        const Kind kind = kindOf(candidate);
        const bool refused = !(kind == Kind::Missing || (folder && kind == Kind::Folder));
        if (refused && taken != nullptr && kind == Kind::File) taken->push_back(candidate);
        return refused;
    }, 100000);
}

// The first of copies holding the same bytes as path, or none.
const std::string* sameContentsAmong(const std::string& path, const std::vector<std::string>& copies) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!pcfile::attributesEx(path, data)) return nullptr;
    for (const std::string& copy : copies) {
        WIN32_FILE_ATTRIBUTE_DATA other;
        if (pcfile::attributesEx(copy, other) && other.nFileSizeLow == data.nFileSizeLow &&
            other.nFileSizeHigh == data.nFileSizeHigh && sameFileContents(path, copy))
            return &copy;
    }
    return nullptr;
}

}  // namespace

std::string HandheldLocation::archivePathFor(const std::string& name, std::vector<std::string>* earlier) {
    if (archiveDirectory_.empty()) return std::string();
    // The name's own folders, without the components that could lead out of the archive.
    // Split by character: a trail byte of the value of "\" (in "表", "ソ") is none.
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = names::findSeparator(names::ansiCodePage(), name, "/\\", start);
        if (end == std::string::npos) end = name.size();
        const std::string part = name.substr(start, end - start);
        if (!part.empty() && part != "." && part != "..") parts.push_back(part);
        start = end + 1;
    }
    if (parts.empty()) return std::string();
    std::string path = withoutTrailingBackslashes(archiveDirectory_);
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        // A file already archived under a folder's name gets the folder a number instead.
        path = firstFree(path + "\\" + parts[i], true);
        if (path.empty()) return path;
        if (kindOf(path) == Kind::Missing && !pcfile::createDirectory(path)) return std::string();
    }
    return firstFree(path + "\\" + parts.back(), false, earlier);
}

void HandheldLocation::logArchived(const std::string& name, const std::string& copy,
                                   const std::vector<std::string>& earlier) {
    // A deletion that fails at every HotSync (a file held open, say) archives the same
    // version again each time: one copy of it is enough.
    if (sameContentsAmong(copy, earlier) != nullptr) {
        pcfile::setAttributes(copy, FILE_ATTRIBUTE_NORMAL);
        if (pcfile::deleteFile(copy)) {
            log("  " + name + ": Already in the archive");
            return;
        }
    }
    log("  " + name + ": Archived");
}

bool HandheldLocation::deletePcFile(const std::string& name, FileEntry& entry) {
    if (!archivePcFile(name)) return false;
    // Checked after the archive copy: a version saved before it is in the archive, one saved
    // after it is not deleted.
    if (!pcFileAsListed(name, entry)) {
        log("Could not delete PC File: " + name + " changed on PC during this HotSync; the next HotSync compares both");
        return false;
    }
    if (!pcfile::deleteFile(pcPathOf(name))) {
        log("Could not delete PC File: " + name);
        return false;
    }
    log("  " + name + ": Deleted on PC");
    entry.pcTime = 0;
    return true;
}

std::string HandheldLocation::formatTimestamp(uint32_t secondsSince1970) {
    const std::time_t t = static_cast<std::time_t>(secondsSince1970);
    const std::tm* local = std::localtime(&t);
    if (local == nullptr) return std::string();
    char buffer[64];
    const size_t length = std::strftime(buffer, sizeof buffer, "%m/%d/%y %H:%M:%S", local);
    return std::string(buffer, length);
}
