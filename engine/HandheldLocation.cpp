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
    if (entry.size == 0) entry.size = clampedSize(data.nFileSizeHigh, data.nFileSizeLow);
    return true;
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
    const size_t k = root.size() >= 2 ? root.rfind('\\', root.size() - 2) : std::string::npos;
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
    const std::string path = archivePathFor(name);
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
// or (for a folder) already a folder; empty when none is within reach.
std::string firstFree(const std::string& path, bool folder) {
    return firstFreeName(path, true, true, [folder](const std::string& candidate) {
        const Kind kind = kindOf(candidate);
        return !(kind == Kind::Missing || (folder && kind == Kind::Folder));
    }, 100000);
}

}  // namespace

std::string HandheldLocation::archivePathFor(const std::string& name) {
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
    return firstFree(path + "\\" + parts.back(), false);
}

bool HandheldLocation::deletePcFile(const std::string& name, FileEntry& entry) {
    if (!archivePcFile(name)) return false;
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
