// One place on the handheld mirrored into one folder on the PC. The synchronisation
// algorithm and every PC-side operation are written once here; the concrete classes
// (main memory, the two card routes) supply the handheld side.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>
#include "engine/Decision.h"
#include "engine/ProgressSink.h"
#include "engine/FileEntry.h"
#include "engine/SyncContext.h"

class AtomicFile;
class Settings;

class HandheldLocation {
public:
    explicit HandheldLocation(SyncContext* context);
    virtual ~HandheldLocation();
    HandheldLocation(const HandheldLocation&) = delete;
    HandheldLocation& operator=(const HandheldLocation&) = delete;

    // ---- handheld side, in this order ----
    virtual bool listHandheld() = 0;
    virtual bool fetchHandheldFile(const std::string& name, const std::string& pcPath) = 0;
    virtual bool copyToPc(const std::string& name, FileEntry& entry) = 0;
    virtual bool copyToHandheld(const std::string& name, FileEntry& entry) = 0;
    virtual bool deleteOnHandheld(const std::string& name, FileEntry& entry) = 0;
    virtual bool archiveOnHandheld(const std::string& name) = 0;
    virtual bool renameOnHandheld(const std::string& name, FileEntry& entry) = 0;
    virtual bool createHandheldDirectory(const std::string& name, FileEntry& entry);
    virtual bool deleteHandheldDirectory(const std::string& name, FileEntry& entry);
    virtual bool renameOnPc(const std::string& name, FileEntry& entry);
    virtual std::string relativeNameOf(const std::string& pcPath);
    virtual std::string pcPathOf(const std::string& name);
    virtual bool isDirectoryName(const std::string& name);
    // True for a PC name (relative, as the entry map holds it) that this place keeps for
    // itself on the handheld: such a PC file is never sent and never deleted, it stays on
    // the PC only (one log line says so).
    virtual bool reservedOnHandheld(const std::string& name) const;
    // Right before the engine replaces or deletes name's card copy, or copies a PC file to
    // a name the listing did not have on the card (entry.handheldTime 0): true when the card
    // still holds what the listing saw (the same time and size, or nothing). A card file
    // changed or made since is left as it is, so that the next HotSync decides with both
    // versions known. A place that cannot tell answers true (the base does), and so does one
    // whose check itself fails: the operation then meets the file as before.
    virtual bool handheldFileAsListed(const std::string& name, const FileEntry& entry);

    // Runs one synchronisation of this location; false when it was abandoned.
    bool synchronise();
    // File operations of the last synchronise that failed (each logged its own line).
    // synchronise stays true for them, so this is how a caller can tell a clean run.
    uint32_t failedOperations() const { return failures_; }

    // ---- used by the engine and the concrete classes ----
    void log(const std::string& text) const;
    bool fillPcStatus(const std::string& pcPath, FileEntry& entry);
    bool pcFolderExists(const std::string& path) const;
    bool isClaimedDatabase(const std::string& name);

    // PC operations.
    bool createPcDirectory(const std::string& name, FileEntry& entry);
    bool deletePcDirectory(const std::string& name, FileEntry& entry);
    bool deletePcFile(const std::string& name, FileEntry& entry);
    bool archivePcFile(const std::string& name);
    // True when name's PC file is still the one the scan listed: the same time and size,
    // or still missing when there was none. Any failure to read it answers false.
    bool pcFileAsListed(const std::string& name, const FileEntry& entry);
    // Moves a staged copy into place. When it is the copy of a handheld file the engine is
    // carrying to the PC (copyToPc), the PC file it would replace must be the one the scan
    // listed: one saved since is left as it is, with a line, and false comes back (the
    // staged copy goes with the object). Any other staged copy (an archive copy, say) is
    // simply committed.
    bool commitPcCopy(AtomicFile& staged);
    // Where the archive keeps a copy of name: its folders below archiveDirectory (made
    // when missing), and a name not taken there ("_2", "_3", ... before the extension),
    // so no version the archive was given is ever replaced. Empty when there is no archive
    // folder or no free name. earlier, when given, receives the archive's files of that
    // name passed over ("a.txt", "a_2.txt", ...), the versions archived before.
    std::string archivePathFor(const std::string& name, std::vector<std::string>* earlier = nullptr);
    // Logs name's archive copy just written at copy: when one of earlier holds the same
    // bytes the new copy is removed again and the line says the version was already there.
    void logArchived(const std::string& name, const std::string& copy, const std::vector<std::string>& earlier);
    // The name a conflict copy of name moves to: the first of "_2", "_3", ... before its
    // extension that no entry holds, on either side or in the state file.
    std::string conflictNameFor(const std::string& name) const;
    static std::string formatTimestamp(uint32_t secondsSince1970);

    // The folder record of this user (the "-Directories" section); a recorded folder comes
    // back without trailing backslashes, empty when there is none.
    std::string directoryOf(const std::string& key) const;
    void setDirectoryOf(const std::string& key, const std::string& folder) const;
    // The archive folder for a location key, beside the PC root; creates what is missing.
    std::string makeArchiveDirectory(const std::string& key);

    // Read access for the driver and for tests.
    EntryMap& entries() { return entries_; }
    const std::string& pcDirectory() const { return pcDirectory_; }
    const std::string& archiveDirectory() const { return archiveDirectory_; }
    const std::string& locationName() const { return locationName_; }
    SyncContext* context() const { return context_; }
    // The state file of this location: pcDirectory followed by ".txt".
    std::string statePath() const { return pcDirectory_ + ".txt"; }
    // A PC file time (100 ns units since 1601) in the engine's PC time: seconds since
    // 1970, never 0 (0 means "no PC copy"). The scan and fillPcStatus both use it, so a
    // file's time reads the same whichever of them looked at it.
    static uint32_t pcTimeFromFileTime(uint64_t fileTime);

protected:
    // Set by a concrete class whose place cannot be mirrored safely (a handheld name that
    // is no usable folder name): synchronise then touches nothing and answers false.
    bool refused_ = false;
    EntryMap entries_;
    std::vector<std::string> deferred_;
    std::string pcDirectory_;
    std::string archiveDirectory_;
    int32_t baseAction_ = ACTION_SYNCHRONISE;
    std::string locationName_;
    int32_t pass_ = 1;
    SyncContext* context_;
    std::vector<std::string> exceptionNames_;
    std::vector<std::string> exceptionValues_;
    std::vector<int32_t> exceptionActions_;

    // For a place whose names differ in case only when they are one name (a FAT card):
    // the entry map then takes such names as one entry, with the letters of the ANSI code
    // page in either case ("Café", "CAFÉ"). Call before anything is listed.
    void compareNamesWithoutCase();

    // Counts a failure that a concrete class logged outside the engine's operations (one
    // while listing, say), so the HotSync ends with the error summary.
    void countFailure() { ++failures_; }

    // The settings and progress sink of the context (a silent sink when it has none).
    Settings& settings() const;
    ProgressSink& progress();

private:
    bool scanRoot();
    bool loadStateFile();
    // Once the state file and the listing are in: a PC file of the form of the engine's
    // staged copies, made by one of unfinishedRuns (HotSyncs of this location that began
    // and never ended), that neither the state file nor the handheld knows, was left by a
    // HotSync that was killed; it is removed, with a line. Any other is a user's file of
    // that name and takes part like any other.
    void settlePcLeftovers(const std::vector<std::string>& unfinishedRuns);
    void runPasses();
    // False when the new state file could not be written whole; the old one then stays.
    bool saveStateFile() const;
    void applyException(const std::string& name);
    void handleEntry(const std::string& name, FileEntry& entry);
    bool resolveConflict(const std::string& name, FileEntry& entry);
    // For a file about to be copied to a side that holds a folder of its name: puts the
    // copy off to the deferred pass when that folder is being deleted there, and otherwise
    // renames the file on its own side to the conflict name, so both are kept. True when
    // it took the entry over.
    bool folderInTheWay(const std::string& name, FileEntry& entry, Operation operation);
    // True when this pass deletes the folder and everything below it on the PC (pc) or on
    // the handheld, and nothing is to arrive in it there.
    bool folderGoesFrom(EntryMap::iterator folder, bool pc);
    bool contentsIdentical(const std::string& name);
    void excludeBelowLinks();
    // The action in force for name once the exceptions are applied; logs nothing.
    int32_t actionFor(const std::string& name) const;
    // The index of the first exception naming name or a folder above it, names compared as
    // this location compares them, or -1.
    int exceptionFor(const std::string& name) const;
    // Counts what the passes would delete on each side and decides whether the guard
    // against mass deletion holds those deletions back; logs what it holds.
    void planDeletions();
    // Keeps the held sides in the settings, so the next HotSync holds them too.
    void recordHeldDeletions(bool pc, bool handheld);
    void reportHeldDeletions(Hold hold, const SideTally& side, int32_t share, bool onPc) const;
    bool heldBack(Operation operation) const;
    // Before an overwrite of the copy on the PC (onPc) or on the handheld: a copy changed
    // there since the last HotSync goes into the archive first ("Archive" on); false, with
    // the archive's line, when that copy failed and the overwrite must not happen.
    bool archiveBeforeOverwrite(const std::string& name, const FileEntry& entry, bool onPc);
    // Makes the folders above name that are missing on the side a copy or a folder
    // creation is about to write to (a folder deleted there that still has to receive
    // something); false when one cannot be made.
    bool makeFoldersAbove(const std::string& name, bool onPc);

    // Entries whose outcome this run settled; their current times go into the state
    // file. Every other entry (not reached before a cancel, skipped, excluded, or whose
    // operation failed) keeps the line the state file held, so the next HotSync sees
    // the same change again.
    std::unordered_set<const FileEntry*> settled_;
    // Relative names of PC links found by the scan: nothing at or below them is touched.
    std::vector<std::string> links_;
    // Folders the scan found holding, at any depth, a name kept on the PC only (one the
    // handheld reserves, or one outside the ANSI code page): they stay on the PC.
    std::unordered_set<const FileEntry*> pcOnlyFolders_;
    // PC files the scan found under the form of a staged copy.
    std::vector<std::string> pcLeftovers_;
    ProgressSink silentProgress_;
    uint32_t failures_ = 0;
    bool holdPcDeletions_ = false;
    bool holdHandheldDeletions_ = false;
    // Set when a record this HotSync depends on (the settings file, the state file) cannot
    // be written: what the run decides could not be remembered, so nothing is deleted on
    // either side, whatever the action.
    bool holdAllDeletions_ = false;
    // The copy to the PC under way (copyToPc) and what the scan saw at its PC path.
    struct PcCopyGuard {
        std::string name, path;
        bool present = false;
        uint32_t time = 0, size = 0;
    };
    const PcCopyGuard* pcCopyGuard_ = nullptr;
    // True unless name's card copy changed since the listing (a line then says it is not
    // replaced or deleted, as operation tells).
    bool handheldUnchanged(const std::string& name, const FileEntry& entry, const char* operation);
    // copyToPc with pcCopyGuard_ set for its target.
    bool guardedCopyToPc(const std::string& name, FileEntry& entry);
    // Logs that a record could not be written (what, its path, the system's error code) and
    // holds every deletion of this HotSync; counts a failure.
    void refuseDeletions(const std::string& what, const std::string& path, uint32_t error);
    // Whether the state file can be replaced at the end of this run (its staged copy made
    // beside it, the old one opened for writing); error is the system's code when not.
    bool stateFileWritable(uint32_t& error) const;
};
