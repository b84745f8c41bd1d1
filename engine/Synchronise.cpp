// One synchronisation of a location: frequency check, PC scan, state file, exceptions,
// handheld listing, the main and the deferred pass, and the state written back.
#include "engine/HandheldLocation.h"

#include <windows.h>

#include <algorithm>
#include <ctime>
#include <deque>
#include <map>
#include <sstream>

#include "engine/AtomicFile.h"
#include "engine/Decision.h"
#include "engine/NameRules.h"
#include "engine/PcPaths.h"
#include "engine/StateFile.h"
#include "engine/Win32Handles.h"
#include "settings/Settings.h"

namespace {

uint32_t currentTime() { return static_cast<uint32_t>(std::time(nullptr)); }

// Which HotSyncs of a location began and did not end: the process tags of their staged
// copies, space-separated, under the location key. A HotSync adds its own tag before it
// copies anything and, once it ends, leaves only the tags whose leftovers it has not
// settled; a killed one keeps its tag, so the next run knows its leftovers from a user's
// file of the same form.
class UnfinishedRuns {
public:
    UnfinishedRuns(Settings& store, const std::string& user, const std::string& location)
        : store_(store), section_(user + "-Unfinished"), location_(location) {
        std::istringstream words(store_.readString(section_, location_, ""));
        for (std::string tag; words >> tag;) before_.push_back(tag);
        recorded_ = write(before_, AtomicFile::processTag());
        if (!recorded_) error_ = GetLastError();
    }
    ~UnfinishedRuns() { write(settled_ ? std::vector<std::string>() : before_, std::string()); }
    UnfinishedRuns(const UnfinishedRuns&) = delete;
    UnfinishedRuns& operator=(const UnfinishedRuns&) = delete;
    const std::vector<std::string>& before() const { return before_; }
    void settled() { settled_ = true; }
    // Whether this run's tag reached the settings file, and why not (the system's code).
    bool recorded() const { return recorded_; }
    uint32_t error() const { return error_; }

private:
    bool write(const std::vector<std::string>& tags, const std::string& own) const {
        std::string text;
        for (const std::string& tag : tags)
            if (tag != own) text += tag + " ";
        text += own;
        while (!text.empty() && text.back() == ' ') text.pop_back();
        return store_.writeString(section_, location_, text);
    }
    Settings& store_;
    const std::string section_, location_;
    std::vector<std::string> before_;
    bool settled_ = false;
    bool recorded_ = false;
    uint32_t error_ = 0;
};

}  // namespace

bool HandheldLocation::synchronise() {
    if (refused_) return false;
    const std::string& user = context_->userName;
    Settings& store = settings();
    const uint32_t now = currentTime();

    const uint32_t last = static_cast<uint32_t>(store.lastBackup(user, locationName_));
    if (last != 0) {
        log("Last Synchronize on: " + formatTimestamp(last));
        const int32_t code = store.frequency(user);
        const uint32_t period = frequencyPeriod(code);
        // Unsigned on purpose: a clock set back before the last run gives a huge
        // difference, so the location is synchronised rather than skipped for ever.
        if (period != 0 && now - last < period) {
            // An overwrite chosen for this HotSync only is gone by the next one that runs.
            // Where it confirms deletions the guard holds here, it is what the guard's line
            // asked for: it is carried out. Elsewhere the frequency wins, as it does for an
            // everyday overwrite (the conduit cannot tell the two apart), and the log says so.
            const bool confirmsHold = context_->oneTimeAction && !store.heldDeletions(user, locationName_).empty();
            if (!confirmsHold) {
                log(std::string("Skipping Synchronize - Frequency set to ") + frequencyWord(code));
                if (context_->oneTimeAction) log("The action chosen for this HotSync is not carried out here");
                return true;
            }
            log(std::string("Synchronizing although Frequency is set to ") + frequencyWord(code) +
                ": the action was chosen for this HotSync only");
        }
    }

    deferred_.clear();
    settled_.clear();
    failures_ = 0;
    links_.clear();
    pcLeftovers_.clear();
    pcOnlyFolders_.clear();
    exceptionNames_.clear();
    exceptionValues_.clear();
    exceptionActions_.clear();
    holdAllDeletions_ = false;

    if (!pcFolderExists(pcDirectory_)) {
        // A folder synchronised before that has gone (an unplugged drive, say) must not
        // read as "every file deleted on the PC".
        if (pcfile::exists(statePath())) {
            log("Sync directory missing, aborting...");
            return false;
        }
        pcfile::createDirectory(withoutTrailingBackslashes(pcDirectory_));
    }

    UnfinishedRuns unfinished(store, user, locationName_);
    // A run whose records cannot be kept must not act on them: a hold the guard could not
    // record, or deletions the state file would not remember, would come back as deletions
    // (or as files new again) at the next HotSync.
    if (!unfinished.recorded()) refuseDeletions("settings file", store.path(), unfinished.error());
    progress().SetFileText("Examining PC");
    if (!scanRoot()) return false;
    if (!loadStateFile()) log("Initial Backup");
    uint32_t stateError = 0;
    if (!holdAllDeletions_ && !stateFileWritable(stateError)) refuseDeletions("state file", statePath(), stateError);

    progress().SetFileText("Examining Handheld");
    store.readExceptions(user, locationName_, exceptionNames_, exceptionValues_, exceptionActions_);
    if (!listHandheld()) return false;
    settlePcLeftovers(unfinished.before());
    unfinished.settled();
    excludeBelowLinks();

    progress().SetRange(static_cast<uint32_t>(entries_.size()));
    runPasses();
    if (!saveStateFile()) {
        // Without its record the next HotSync would judge this run's changes against the
        // previous state: count it so the HotSync ends with the error summary, and leave
        // the time of the last run alone so no frequency setting skips the next one.
        log("Could not write state file: " + statePath());
        ++failures_;
        return true;
    }
    if (!store.setLastBackup(user, locationName_, static_cast<int32_t>(currentTime()))) {
        log("Could not write settings file: " + store.path() + " (error " + std::to_string(GetLastError()) +
            "): the time of this HotSync is not recorded");
        ++failures_;
    }
    return true;
}

void HandheldLocation::refuseDeletions(const std::string& what, const std::string& path, uint32_t error) {
    log("Could not write " + what + ": " + path + " (error " + std::to_string(error) +
        "): nothing is deleted on either side in this HotSync");
    holdAllDeletions_ = true;
    ++failures_;
}

bool HandheldLocation::stateFileWritable(uint32_t& error) const {
    // The new state goes to a staged copy beside the old one and is then moved over it.
    AtomicFile staged(statePath());
    OwnedHandle created(staged.valid() ? pcfile::createFile(staged.tempPath(), GENERIC_WRITE, 0, CREATE_NEW)
                                       : INVALID_HANDLE_VALUE);
    if (!created.valid()) {
        error = GetLastError();
        return false;
    }
    const DWORD attributes = pcfile::attributes(statePath());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;  // a first run: nothing to replace
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        error = ERROR_ACCESS_DENIED;
        return false;
    }
    OwnedHandle old(pcfile::createFile(statePath(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       OPEN_EXISTING));
    if (!old.valid()) {
        error = GetLastError();
        return false;
    }
    return true;
}

bool HandheldLocation::scanRoot() {
    const std::string root = withoutTrailingBackslashes(pcDirectory_);
    // Each folder with its entry key ("" for the root) and, for each key, its parent's:
    // a name kept on the PC only marks every folder above it.
    struct Folder {
        std::string path, key;
    };
    std::deque<Folder> folders{{root, std::string()}};
    std::map<std::string, std::string> parents;
    auto keepFoldersOf = [&](std::string key) {
        while (!key.empty()) {
            const FileEntry* folder = &entries_[key];
            if (!pcOnlyFolders_.insert(folder).second) break;
            key = parents[key];
        }
    };
    while (!folders.empty()) {
        const Folder folder = folders.front();
        folders.pop_front();
        pcfile::FolderListing find(folder.path + "\\*.*");
        bool complete = find.valid() || GetLastError() == ERROR_FILE_NOT_FOUND;
        if (find.valid()) {
            do {
                const WIN32_FIND_DATAW& data = find.data();
                const bool directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                const std::optional<std::string> exact = find.name();
                if (!exact) {
                    // No ANSI name reaches it: every call the handheld side makes with a
                    // "?" in its place would miss it, or meet another file of that form.
                    std::string shown = folder.path.substr(root.size()) + "\\" + pcfile::readableName(data.cFileName);
                    std::replace(shown.begin(), shown.end(), '\\', '/');
                    log("Kept on the PC only, the name has characters outside the ANSI code page: " + shown +
                        (directory ? "/" : ""));
                    keepFoldersOf(folder.key);
                    continue;
                }
                const std::string& name = *exact;
                if (name.empty() || name == "." || name == "..") continue;
                const std::string path = folder.path + "\\" + name;
                const std::string key = relativeNameOf(directory ? path + "\\" : path);
                if (reservedOnHandheld(key)) {
                    log("Kept on the PC only, the handheld reserves this name: " + key);
                    keepFoldersOf(folder.key);
                    continue;
                }
                // Nothing of this location is being staged yet: a file of that form may be
                // one a killed HotSync left, which the records tell once they are read.
                if (!directory && AtomicFile::isTempName(name)) pcLeftovers_.push_back(key);
                FileEntry& entry = entries_[key];
                entry.pcTime = pcTimeFromFileTime(
                    (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                    data.ftLastWriteTime.dwLowDateTime);
                entry.pcSize = data.nFileSizeHigh != 0 ? 0xFFFFFFFFu : data.nFileSizeLow;
                if (entry.size == 0) entry.size = entry.pcSize;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                    // A junction or symbolic link may lead out of the folder this
                    // location owns; a deletion carried over from the handheld would then
                    // delete files that are not ours. Nothing at or below it is touched.
                    log("Skipping link on PC: " + path);
                    links_.push_back(key);
                    continue;
                }
                if (directory) {
                    parents[key] = folder.key;
                    folders.push_back({path, key});
                }
            } while (find.next());
            complete = GetLastError() == ERROR_NO_MORE_FILES;
        }
        if (!complete) {
            // What a folder holds but could not be listed would read as deleted on the PC
            // and be deleted on the handheld: the location, or that folder, is left alone.
            log("Could not read PC Directory: " + folder.path);
            if (folder.path == root) return false;
            links_.push_back(relativeNameOf(folder.path + "\\"));
        }
    }
    return true;
}

void HandheldLocation::settlePcLeftovers(const std::vector<std::string>& unfinishedRuns) {
    for (const std::string& name : pcLeftovers_) {
        auto it = entries_.find(name);
        if (it == entries_.end()) continue;
        const FileEntry& entry = it->second;
        const std::string run = AtomicFile::processOfTempName(name.substr(name.find_last_of("/\\") + 1));
        if (std::find(unfinishedRuns.begin(), unfinishedRuns.end(), run) == unfinishedRuns.end()) continue;
        if (entry.lastPcTime != 0 || entry.lastHandheldTime != 0 || entry.handheldTime != 0) continue;
        const std::string path = pcPathOf(name);
        pcfile::setAttributes(path, FILE_ATTRIBUTE_NORMAL);
        // Either way it is no file of this location: not sent, not recorded.
        log((pcfile::deleteFile(path) ? "Removed a copy an interrupted HotSync left on the PC: "
                                      : "Could not remove a copy an interrupted HotSync left on the PC: ") + path);
        entries_.erase(it);
    }
    pcLeftovers_.clear();
}

void HandheldLocation::excludeBelowLinks() {
    for (const std::string& name : links_) {
        const bool folder = !name.empty() && (name.back() == '/' || name.back() == '\\');
        if (!folder) {
            auto it = entries_.find(name);
            if (it != entries_.end()) it->second.status = ENTRY_PC_UNREADABLE;
            continue;
        }
        for (auto it = entries_.lower_bound(name);
             it != entries_.end() && entries_.key_comp().startsWith(it->first, name); ++it) {
            it->second.status = ENTRY_PC_UNREADABLE;
        }
    }
}

bool HandheldLocation::loadStateFile() {
    std::string text;
    if (!readWholeFile(statePath(), text)) return false;
    parseStateText(text, [this](const std::string& name, uint32_t handheldTime, uint32_t pcTime) {
        FileEntry& entry = entries_[name];
        entry.lastHandheldTime = handheldTime;
        entry.lastPcTime = pcTime;
    });
    return true;
}

bool HandheldLocation::saveStateFile() const {
    std::string text;
    text.reserve(entries_.size() * 40);
    for (const auto& item : entries_) {
        const FileEntry& entry = item.second;
        if (settled_.count(&entry) != 0) {
            if (entry.handheldTime != 0 && entry.pcTime != 0)
                appendStateLine(text, entry.handheldTime, entry.pcTime, item.first);
        } else if (entry.lastHandheldTime != 0 || entry.lastPcTime != 0) {
            appendStateLine(text, entry.lastHandheldTime, entry.lastPcTime, item.first);
        }
    }
    // Written whole beside the old one and then moved over it: a crash or a full disk
    // leaves the previous state rather than half a file.
    return AtomicFile::writeWhole(statePath(), text);
}

void HandheldLocation::runPasses() {
    ProgressSink& sink = progress();
    baseAction_ = context_->action;
    planDeletions();

    pass_ = 1;
    int32_t index = 0;
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (sink.IsCancelled()) return;
        const std::string& name = it->first;
        FileEntry& entry = it->second;
        sink.SetFileProgress(++index, name, entry.size);
        if (!exceptionNames_.empty()) applyException(name);
        if (context_->action != ACTION_DO_NOTHING && !isClaimedDatabase(name)) {
            handleEntry(name, entry);
        }
        context_->action = baseAction_;
    }

    // Folders were put off in name order, a folder before the folders inside it: deleting
    // them the other way round takes the innermost first, so each one is empty by its turn.
    pass_ = 2;
    for (auto it = deferred_.rbegin(); it != deferred_.rend(); ++it) {
        if (sink.IsCancelled()) break;
        const std::string name = *it;
        FileEntry& entry = entries_[name];
        sink.SetFileProgress(-1, name, 0);
        // Under the action the main pass put it off with (its exception's, if any): a copy
        // that waited for a folder must not turn into a deletion under another one.
        context_->action = actionFor(name);
        if (!isClaimedDatabase(name)) handleEntry(name, entry);
    }
    context_->action = baseAction_;
}

int HandheldLocation::exceptionFor(const std::string& name) const {
    const NameOrder& order = entries_.key_comp();
    if (!order.foldCase) return matchException(upperAscii(name), exceptionNames_);
    // Where names are one in either case, so are an exception's: its name as the settings
    // hold it (A to Z in upper case) names "Müller.txt" under the spelling "MÜLLER.TXT" too.
    for (size_t i = 0; i < exceptionNames_.size(); ++i)
        if (order.startsWith(name, exceptionNames_[i])) return static_cast<int>(i);
    return -1;
}

int32_t HandheldLocation::actionFor(const std::string& name) const {
    if (exceptionNames_.empty()) return baseAction_;
    const int match = exceptionFor(name);
    return match < 0 ? baseAction_ : exceptionActions_[static_cast<size_t>(match)];
}

void HandheldLocation::planDeletions() {
    holdPcDeletions_ = holdHandheldDeletions_ = false;
    Settings& store = settings();
    const std::string& user = context_->userName;
    const std::string recorded = store.heldDeletions(user, locationName_);
    bool pcHeldBefore = recorded.find("PC") != std::string::npos;
    bool handheldHeldBefore = recorded.find("Palm") != std::string::npos;
    // The one-time overwrite the guard's line asks for is the confirmation of that side.
    if (baseAction_ == ACTION_HH_OVERWRITES) pcHeldBefore = false;
    if (baseAction_ == ACTION_PC_OVERWRITES) handheldHeldBefore = false;
    if (effectiveAction(baseAction_) != ACTION_SYNCHRONISE) {
        recordHeldDeletions(pcHeldBefore, handheldHeldBefore);
        return;
    }
    const int32_t share = store.maxDelete(user);
    SideTally pc, handheld;
    pc.heldBefore = pcHeldBefore;
    handheld.heldBefore = handheldHeldBefore;
    for (auto& item : entries_) {
        const FileEntry& entry = item.second;
        if (entry.status != ENTRY_OK || isDirectoryName(item.first)) continue;
        const bool knownPc = entry.lastPcTime != 0 && entry.pcTime != 0;
        const bool knownHandheld = entry.lastHandheldTime != 0 && entry.handheldTime != 0;
        if (entry.pcTime != 0) ++pc.files;
        if (entry.handheldTime != 0) ++handheld.files;
        pc.known += knownPc;
        handheld.known += knownHandheld;
        pc.otherKept += knownHandheld;
        handheld.otherKept += knownPc;
        const int32_t action = actionFor(item.first);
        if (action == ACTION_DO_NOTHING || effectiveAction(action) != ACTION_SYNCHRONISE) continue;
        if (isClaimedDatabase(item.first)) continue;
        const Operation operation = decide(entry, action, false).operation;
        if (operation == Operation::DeleteOnPc) ++pc.deletions;
        if (operation == Operation::DeleteOnHandheld) ++handheld.deletions;
    }
    // An empty card, or another card under the same label, reads as every file deleted on
    // one side. Copies still go ahead; the deletions wait, keeping their state lines, until
    // the user confirms them with a one-time overwrite.
    const Hold pcHold = guardFor(pc, share), handheldHold = guardFor(handheld, share);
    holdPcDeletions_ = pcHold != Hold::None;
    holdHandheldDeletions_ = handheldHold != Hold::None;
    recordHeldDeletions(holdPcDeletions_, holdHandheldDeletions_);
    // The line promises a hold that lasts until the user confirms it: only a hold the settings
    // now keep may say so. One that could not be written holds this HotSync's deletions all
    // the same (with every other), and the line about the settings file says why.
    const std::string kept = store.heldDeletions(user, locationName_);
    if (holdPcDeletions_ && kept.find("PC") != std::string::npos) reportHeldDeletions(pcHold, pc, share, true);
    if (holdHandheldDeletions_ && kept.find("Palm") != std::string::npos)
        reportHeldDeletions(handheldHold, handheld, share, false);
}

void HandheldLocation::recordHeldDeletions(bool pc, bool handheld) {
    std::string sides = pc ? "PC" : "";
    if (handheld) sides += sides.empty() ? "Palm" : " Palm";
    if (!settings().setHeldDeletions(context_->userName, locationName_, sides) && !holdAllDeletions_)
        refuseDeletions("settings file", settings().path(), GetLastError());
}

void HandheldLocation::reportHeldDeletions(Hold hold, const SideTally& side, int32_t share, bool onPc) const {
    const std::string other = onPc ? "Palm" : "PC";
    const std::string self = onPc ? "PC" : "Palm";
    std::string why;
    switch (hold) {
    case Hold::Share:
        why = "of its " + std::to_string(side.files) + " files; more than " + std::to_string(share) + "%";
        break;
    case Hold::EveryFile:
        why = side.deletions >= side.known ? "every file it shared with the " + other
                                           : "the " + other + " kept none of the files they shared";
        break;
    default: why = "held since an earlier HotSync"; break;
    }
    // The confirmation is an overwrite of the whole side: the line says what else it does.
    log("Holding back " + std::to_string(side.deletions) + (side.deletions == 1 ? " deletion on " : " deletions on ") + self + " (" + why +
        "): to carry them out, choose \"" + (onPc ? "Handheld overwrites desktop" : "Desktop overwrites handheld") +
        "\" once in the settings dialog; it also replaces " + self + " files changed since the last HotSync with the " +
        other + "'s copies" +
        (context_->archive ? ", keeping the replaced versions in the archive"
                           : "; \"Archive\" is off, so the deleted and replaced versions are not kept"));
}

bool HandheldLocation::heldBack(Operation operation) const {
    const bool deletion = operation == Operation::DeleteOnPc || operation == Operation::DeletePcDirectory ||
                          operation == Operation::DeleteOnHandheld || operation == Operation::DeleteHandheldDirectory;
    if (holdAllDeletions_ && deletion) return true;
    if (effectiveAction(context_->action) != ACTION_SYNCHRONISE) return false;
    switch (operation) {
    case Operation::DeleteOnPc:
    case Operation::DeletePcDirectory: return holdPcDeletions_;
    case Operation::DeleteOnHandheld:
    case Operation::DeleteHandheldDirectory: return holdHandheldDeletions_;
    default: return false;
    }
}

bool HandheldLocation::makeFoldersAbove(const std::string& name, bool onPc) {
    for (size_t slash = name.find('/', 1); slash != std::string::npos && slash + 1 < name.size();
         slash = name.find('/', slash + 1)) {
        const std::string folder = name.substr(0, slash + 1);
        if (!isDirectoryName(folder)) return true;
        FileEntry& entry = entries_[folder];
        if ((onPc ? entry.pcTime : entry.handheldTime) != 0) continue;
        if (entry.status != ENTRY_OK) return false;
        if (!(onPc ? createPcDirectory(folder, entry) : createHandheldDirectory(folder, entry))) return false;
    }
    return true;
}

void HandheldLocation::applyException(const std::string& name) {
    const int match = exceptionFor(name);
    if (match < 0) return;
    const int32_t code = exceptionActions_[static_cast<size_t>(match)];
    context_->action = code;
    const std::string& exception = exceptionNames_[static_cast<size_t>(match)];
    if (sameKindOfName(exception, name)) {
        log(std::string("Exception:") + exceptionLabel(code) + ":" + exception + " for " + ":" + name);
    }
}

void HandheldLocation::handleEntry(const std::string& name, FileEntry& entry) {
    const Decision decision = decide(entry, context_->action, isDirectoryName(name));
    if (decision.operation == Operation::Nothing) {
        if (entry.status == ENTRY_OK) settled_.insert(&entry);
        return;
    }
    if (decision.compareContentsFirst && contentsIdentical(name)) {
        settled_.insert(&entry);
        return;
    }
    // Held deletions keep their state lines and count as no failure: the guard's own line
    // has told the user how to carry them out.
    if (heldBack(decision.operation)) return;
    // While the PC's deletions are held, the card in this folder may be another one (of
    // the same label, say): a PC edit of a file gone from it stays on the PC, not written
    // onto that card, until the user says which side is right.
    if (decision.operation == Operation::CopyToHandheld && holdPcDeletions_ && entry.handheldTime == 0 &&
        entry.lastHandheldTime != 0 && effectiveAction(context_->action) == ACTION_SYNCHRONISE) {
        log("  " + name + ": Changed on PC, kept on the PC only while the deletions on PC are held");
        return;
    }
    // A folder holding a name kept on the PC only cannot go from the PC, and is no folder
    // the handheld lacks either: it stays as it is, without a line (the name's own line
    // says why), and goes across only when a file or folder inside it does. Its record
    // goes, so the handheld's deletion of it is not undone at the next HotSync.
    if ((decision.operation == Operation::DeletePcDirectory ||
         decision.operation == Operation::CreateHandheldDirectory) &&
        pcOnlyFolders_.count(&entry) != 0) {
        if (entry.status == ENTRY_OK) settled_.insert(&entry);
        return;
    }
    if (folderInTheWay(name, entry, decision.operation)) return;
    const size_t deferredBefore = deferred_.size();
    bool ok = false;
    switch (decision.operation) {
    case Operation::Nothing: break;
    // A copy into a folder deleted on the receiving side makes the folder again, so what
    // was added or changed inside it on the other side is kept.
    case Operation::CopyToPc:
        ok = archiveBeforeOverwrite(name, entry, true) && makeFoldersAbove(name, true) && guardedCopyToPc(name, entry);
        break;
    case Operation::CopyToHandheld:
        ok = handheldUnchanged(name, entry, "replaced") && archiveBeforeOverwrite(name, entry, false) &&
             makeFoldersAbove(name, false) && copyToHandheld(name, entry);
        break;
    case Operation::DeleteOnHandheld: ok = handheldUnchanged(name, entry, "deleted") && deleteOnHandheld(name, entry); break;
    case Operation::DeleteOnPc: ok = deletePcFile(name, entry); break;
    case Operation::Conflict: ok = resolveConflict(name, entry); break;
    case Operation::CreatePcDirectory: ok = makeFoldersAbove(name, true) && createPcDirectory(name, entry); break;
    case Operation::DeletePcDirectory: ok = deletePcDirectory(name, entry); break;
    case Operation::CreateHandheldDirectory:
        ok = makeFoldersAbove(name, false) && createHandheldDirectory(name, entry);
        break;
    case Operation::DeleteHandheldDirectory: ok = deleteHandheldDirectory(name, entry); break;
    }
    if (ok && entry.status == ENTRY_OK) settled_.insert(&entry);
    // A folder put off to the deferred pass has not failed yet.
    if (!ok && deferred_.size() == deferredBefore) ++failures_;
}

bool HandheldLocation::handheldUnchanged(const std::string& name, const FileEntry& entry, const char* operation) {
    // A file listed as missing must still be missing: one the user saved there since
    // would be replaced by a copy meant for no file.
    if (handheldFileAsListed(name, entry)) return true;
    log(std::string("Could not carry ") + name + ": changed on Palm during this HotSync, not " + operation +
        "; the next HotSync compares both");
    return false;
}

bool HandheldLocation::archiveBeforeOverwrite(const std::string& name, const FileEntry& entry, bool onPc) {
    // Only an overwrite replaces a copy changed since the last HotSync (synchronising moves
    // such a copy aside as a conflict): those contents are on no other side yet.
    if (onPc) return entry.pcTime == 0 || entry.pcTime == entry.lastPcTime || archivePcFile(name);
    return entry.handheldTime == 0 || entry.handheldTime == entry.lastHandheldTime || archiveOnHandheld(name);
}

bool HandheldLocation::folderGoesFrom(EntryMap::iterator folder, bool pc) {
    const Operation fileGoes = pc ? Operation::DeleteOnPc : Operation::DeleteOnHandheld;
    const Operation folderGoes = pc ? Operation::DeletePcDirectory : Operation::DeleteHandheldDirectory;
    if (pc && pcOnlyFolders_.count(&folder->second) != 0) return false;
    for (auto it = folder; it != entries_.end() && entries_.key_comp().startsWith(it->first, folder->first); ++it) {
        const FileEntry& entry = it->second;
        const bool directory = isDirectoryName(it->first);
        const Operation operation = decide(entry, actionFor(it->first), directory).operation;
        const bool there = (pc ? entry.pcTime : entry.handheldTime) != 0;
        if (operation == (directory ? folderGoes : fileGoes) && !heldBack(operation)) continue;
        if (operation == Operation::Nothing && !there) continue;
        return false;
    }
    return true;
}

bool HandheldLocation::folderInTheWay(const std::string& name, FileEntry& entry, Operation operation) {
    const bool toPc = operation == Operation::CopyToPc;
    if (!toPc && operation != Operation::CopyToHandheld) return false;
    const std::string folderName = name + "/";
    if (!isDirectoryName(folderName)) return false;
    auto folder = entries_.find(folderName);
    if (folder == entries_.end() || (toPc ? folder->second.pcTime : folder->second.handheldTime) == 0) return false;
    // The receiving side replaced the file by a folder of its name, or made one. A folder
    // on its way out there, with everything in it, is gone by the deferred pass, and the
    // copy waits for it.
    if (pass_ == 1 && folderGoesFrom(folder, toPc)) {
        deferred_.push_back(name);
        return true;
    }
    // A folder that stays keeps the name; the file keeps its contents under the conflict
    // name on its own side, from where it goes across like any new file.
    const std::string aside = conflictNameFor(name);
    if (!(toPc ? renameOnHandheld(name, entry) : renameOnPc(name, entry))) {
        ++failures_;
        return true;
    }
    if (entry.status == ENTRY_OK) settled_.insert(&entry);
    // Across at once, under the action that moved it: under the new name an exception of
    // the old one no longer holds, and the base action might delete it.
    handleEntry(aside, entries_[aside]);
    return true;
}

bool HandheldLocation::resolveConflict(const std::string& name, FileEntry& entry) {
    log("Conflict: " + name + " modified on both Palm and PC");
    // Whichever side moved further since the last run keeps its version under the
    // plain name; the other version moves aside under the "_2" name first.
    const uint32_t movedOnHandheld = entry.handheldTime - entry.lastHandheldTime;
    const uint32_t movedOnPc = entry.pcTime - entry.lastPcTime;
    const bool handheldAside = movedOnHandheld > movedOnPc;
    const std::string aside = conflictNameFor(name);
    const bool renamed = handheldAside ? renameOnHandheld(name, entry) : renameOnPc(name, entry);
    if (!renamed) {
        // Copying now would overwrite the version that was to be kept: leave both sides
        // as they are, so the next HotSync meets the same conflict again.
        log("Could not resolve Conflict: " + name + " left unchanged on Palm and PC");
        return false;
    }
    // The plain name's history belongs to the version that moved aside: should the copy
    // fail, the name must come back as new on one side, not as deleted on the other.
    entry.lastHandheldTime = 0;
    entry.lastPcTime = 0;
    const bool copied = handheldAside ? copyToHandheld(name, entry) : guardedCopyToPc(name, entry);
    // The moved version goes across in this HotSync: the pass meets it later when "_2"
    // sorts after the name, but a name shortened to fit the folder may sort before it.
    if (pass_ != 1 || entries_.key_comp()(aside, name)) handleEntry(aside, entries_[aside]);
    return copied;
}

bool HandheldLocation::contentsIdentical(const std::string& name) {
    TemporaryFile copy("tmp");
    if (!copy.valid()) return false;
    if (!fetchHandheldFile(name, copy.path())) return false;
    // Bytes, not text: a 0x1A or a CR LF must not make two different files look equal.
    return sameFileContents(copy.path(), pcPathOf(name));
}
