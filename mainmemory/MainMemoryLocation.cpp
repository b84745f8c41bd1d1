// The main-memory location: RAM databases of card 0 backed up as .pdb/.prc files.
#include "mainmemory/MainMemoryLocation.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "HotSyncApi.h"
#include "engine/AtomicFile.h"
#include "engine/HotSyncLog.h"
#include "engine/NameRules.h"
#include "engine/PcPaths.h"
#include "engine/ProgressSink.h"
#include "engine/StdioFile.h"
#include "mainmemory/DatabaseImage.h"
#include "mainmemory/DatabaseNames.h"
#include "settings/Settings.h"

namespace {

constexpr int32_t kCard = 0;
constexpr uint8_t kFindOptions = 0xC0;
const char* const kLocationKey = "MainMemory";

std::string codes(int32_t failureCode, int32_t syncError) { return "(" + hex(failureCode) + ":" + hex(syncError) + ")"; }

// 0 means "no handheld copy" to the engine, so a database never modified still counts.
uint32_t handheldTimeOf(uint32_t modificationDate) { return modificationDate == 0 ? 1u : modificationDate; }

// The whole of a database file goes to its place in one step: a backup that fails half-way
// leaves the previous backup as it was.
bool writeImageFile(DatabaseImage& image, const std::string& path,
                    const std::function<bool(AtomicFile&)>& commitStep) {
    const std::vector<uint8_t> bytes = image.toFileBytes();
    return AtomicFile::writeWhole(path, std::string(bytes.begin(), bytes.end()), commitStep);
}

}  // namespace

MainMemoryLocation::MainMemoryLocation(SyncContext* context) : HandheldLocation(context) {
    locationName_ = kLocationKey;
    progress().SetCardText("Backup up Main Memory");
    const std::string folder = settings().directoryOrRecord(context_->userName, kLocationKey, context_->pcFolder + kLocationKey);
    // A folder record edited by hand into something that is no absolute folder (or left
    // empty) would be taken relative to whatever the current folder is.
    if (!Settings::isAbsoluteFolder(folder)) {
        refused_ = true;
        log(std::string("Error: the PC folder recorded for ") + kLocationKey + " is no absolute folder, main memory skipped: \"" +
            folder + "\"");
        return;
    }
    pcDirectory_ = withoutTrailingBackslashes(folder);
    makeArchiveDirectory(kLocationKey);
    log("Main Memory: Location - " + pcDirectory_);
}

MainMemoryLocation::~MainMemoryLocation() = default;

bool MainMemoryLocation::listHandheld() {
    SmCardInfo card{};
    card.cardNo = kCard;
    HsResult result = SyncReadSingleCardInfo(&card);
    lastSyncError_ = result;
    if (result != 0) return false;

    int32_t count = card.ramDbCount;
    if (count == 0) return true;
    std::vector<SmDbListEntry> list(static_cast<size_t>(count));
    result = SmReadDbList(kCard, 0, 1, list.data(), &count);
    lastSyncError_ = result;
    if (result != 0) return false;
    // The call may lower the count; it may never raise it past what we gave it.
    if (count < 0) count = 0;
    if (static_cast<size_t>(count) > list.size()) count = static_cast<int32_t>(list.size());

    for (int32_t i = 0; i < count; ++i) {
        const SmDbListEntry& db = list[static_cast<size_t>(i)];
        const std::string name =
            databaseNameInFile(reinterpret_cast<const uint8_t*>(db.name), sizeof db.name);
        FileEntry& entry = entries_[name];
        entry.attributes = db.attributes;
        entry.handheldTime = handheldTimeOf(db.modificationDate);
        entry.creator = db.creator;
    }
    return true;
}

bool MainMemoryLocation::fetchHandheldFile(const std::string& name, const std::string& pcPath) {
    DatabaseImage image;
    if (image.readFromHandheld(name) &&
        writeImageFile(image, pcPath, [this](AtomicFile& staged) { return commitPcCopy(staged); }))
        return true;
    lastSyncError_ = image.lastSyncError;
    failureCode_ = image.failureCode;
    return false;
}

bool MainMemoryLocation::copyToPc(const std::string& name, FileEntry& entry) {
    const std::string path = pcPathOf(name);
    if (!fetchHandheldFile(name, path)) {
        log("Could not copy file from Palm to PC" + codes(failureCode_, lastSyncError_) + ": " + name);
        return false;
    }
    log("  " + name + ": Copied from Palm to PC");
    fillPcStatus(path, entry);
    return true;
}

bool MainMemoryLocation::refreshFromHandheld(const std::string& dbName, FileEntry& entry) {
    SmFindDbRequest request{};
    request.options = kFindOptions;
    request.cardNo = kCard;
    request.name = dbName.c_str();
    SmDbListEntry found{};
    const HsResult result = SyncFindDbByName(&request, &found);
    lastSyncError_ = result;
    if (result != 0) return false;
    entry.attributes = found.attributes;
    entry.handheldTime = handheldTimeOf(found.modificationDate);
    return true;
}

bool MainMemoryLocation::copyToHandheld(const std::string& name, FileEntry& entry) {
    const std::string path = pcPathOf(name);
    DatabaseImage image;
    // The file is read and checked before anything happens on the handheld: a damaged
    // file must never cost the handheld its copy.
    if (!image.readFile(path)) {
        lastSyncError_ = image.lastSyncError;
        failureCode_ = image.failureCode;
        log("Could not copy file from PC to Palm" + codes(failureCode_, lastSyncError_) + ": " + name);
        return false;
    }
    const std::string dbName = image.nameString();
    // A name filling the whole field has no NUL: no handheld database can bear it, and
    // creating it would cut it short under another name.
    if (dbName.size() >= sizeof image.name) {
        lastSyncError_ = 0;
        failureCode_ = DBIMAGE_NAME_UNREADABLE;
        log("Could not copy file from PC to Palm" + codes(failureCode_, lastSyncError_) + ": " + name);
        return false;
    }
    // Only the database the file stands for is replaced; should the file name another one
    // by now, the creation below refuses to write into that one instead.
    const bool oldDeleted = dbName == name && SmDeleteDb(name.c_str(), kCard) == 0;
    // The creation must succeed: writing into a database that is still there would add
    // the file's records to the ones it already holds.
    if (!image.writeToHandheld(dbName, true)) {
        lastSyncError_ = image.lastSyncError;
        failureCode_ = image.failureCode;
        // A half-written database would be taken for the handheld's own copy at the next
        // HotSync and backed up over the good PC file; remove it and record that the
        // handheld has no copy, so the next HotSync installs the file again.
        if (image.createdDatabase) SmDeleteDb(dbName.c_str(), kCard);
        if (image.createdDatabase || oldDeleted) entry.handheldTime = 0;
        log("Could not copy file from PC to Palm" + codes(failureCode_, lastSyncError_) + ": " + name);
        return false;
    }
    log("  " + name + ": Copied from PC to Palm");
    refreshFromHandheld(dbName, entry);
    return true;
}

bool MainMemoryLocation::archiveOnHandheld(const std::string& name) {
    if (context_ == nullptr || !context_->archive) return true;
    const std::string path = pcPathOf(name);
    const size_t slash = names::findLastSeparator(names::ansiCodePage(), path, "\\");
    const std::string fileName = slash == std::string::npos ? path : path.substr(slash + 1);
    // A name the archive already holds (an earlier version, or another database with the
    // same file name) gets a number: the archive never replaces what it was given.
    std::vector<std::string> earlier;
    const std::string target = archivePathFor(fileName, &earlier);
    if (target.empty() || !fetchHandheldFile(name, target)) {
        log("Could not archive Palm file" + codes(failureCode_, lastSyncError_) + ": " + name);
        return false;
    }
    logArchived(name, target, earlier);
    return true;
}

bool MainMemoryLocation::deleteOnHandheld(const std::string& name, FileEntry& entry) {
    if (!archiveOnHandheld(name)) return false;
    lastSyncError_ = SmDeleteDb(name.c_str(), kCard);
    if (lastSyncError_ != 0) {
        log("Could not delete Palm File(" + hex(lastSyncError_) + "): " + name);
        return false;
    }
    log("  " + name + ": Deleted on Palm");
    entry.handheldTime = 0;
    return true;
}

bool MainMemoryLocation::renameOnHandheld(const std::string& name, FileEntry& entry) {
    std::string newName;
    if (!newUniqueDatabaseName(name, entries_, newName)) {
        log("Could not Rename Palm File: " + name);
        return false;
    }
    // The copy is a whole database: its blocks and, for a resource database, its resources
    // come along, so the renamed copy keeps everything the original held.
    DatabaseImage image;
    bool ok = image.readFromHandheld(name);
    if (ok) {
        image.setName(newName);
        ok = image.writeToHandheld(newName, true);
        if (!ok && image.createdDatabase) SmDeleteDb(newName.c_str(), kCard);
    }
    if (!ok) {
        lastSyncError_ = image.lastSyncError;
        failureCode_ = image.failureCode;
        log("Could not rename Palm File(" + hex(lastSyncError_) + "): " + name + " --> " + newName);
        return false;
    }
    lastSyncError_ = 0;
    FileEntry& copy = entries_[newName];
    refreshFromHandheld(newName, copy);
    entry.handheldTime = 0;
    log("  " + name + ": Renamed on Palm --> " + newName);
    return true;
}

bool MainMemoryLocation::renameOnPc(const std::string& name, FileEntry& entry) {
    std::string newName;
    if (!newUniqueDatabaseName(name, entries_, newName)) {
        log("Could not rename PC File: " + newName);
        return false;
    }
    const std::string oldPath = pcPathOf(name);
    const std::string newPath = pcPathOf(newName);
    std::string content, renamed;
    // The new file never replaces one that is there, and a file too short to hold a name
    // field is no database to rename.
    if (pcfile::exists(newPath) || !readWholeFile(oldPath, content) ||
        !renamedDatabaseFile(content, newName, renamed) || !AtomicFile::writeWhole(newPath, renamed)) {
        log("Could not rename PC File: " + oldPath + " --> " + newPath);
        return false;
    }
    DeleteFileA(oldPath.c_str());
    FileEntry& moved = entries_[newName];
    fillPcStatus(newPath, moved);
    entry.pcTime = 0;
    log("  " + name + ": Renamed on PC --> " + newName);
    return true;
}

std::string MainMemoryLocation::relativeNameOf(const std::string& pcPath) {
    uint8_t field[32];
    size_t got = 0;
    if (StdioFile f = openStdioFile(pcPath, "rb")) got = std::fread(field, 1, sizeof field, f.get());
    const std::string name = databaseNameInFile(field, got);
    nameMap_[name] = pcPath;
    return name;
}

bool MainMemoryLocation::pathTakenByAnother(const std::string& path, const std::string& name) const {
    for (const auto& mapped : nameMap_)
        if (mapped.first != name && sameIgnoringCase(mapped.second, path)) return true;
    return pcfile::exists(path);
}

std::string MainMemoryLocation::pcPathOf(const std::string& name) {
    const auto known = nameMap_.find(name);
    if (known != nameMap_.end() && !known->second.empty()) return known->second;

    const bool resource = (entries_[name].attributes & DatabaseImage::kResourceAttribute) != 0;
    const std::string file = databaseFileName(name, resource);
    const std::string stem = pcDirectory_ + "\\" + file.substr(0, file.size() - 4);
    const std::string extension = file.substr(file.size() - 4);
    // Different names can give one file name ("Memo DB" and "Memo.DB", or names differing
    // only in case): a file that already stands for another database, or any file not
    // known to stand for this one, is never taken over; the name gets a number instead.
    std::string path = stem + extension;
    for (int n = 2; n < 10000 && pathTakenByAnother(path, name); ++n) path = stem + "_" + std::to_string(n) + extension;
    nameMap_[name] = path;
    return path;
}

bool MainMemoryLocation::isDirectoryName(const std::string&) { return false; }
