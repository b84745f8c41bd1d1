// The per-user settings file beside the conduit module (a private-profile INI file).
// Nothing is cached: every accessor goes to the file.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "engine/ActionCode.h"

class Settings {
public:
    Settings();                                   // path beside this module, ".ini"
    explicit Settings(std::string path);          // for tests
    virtual ~Settings();

    const std::string& path() const { return path_; }

    // The writes answer false when the file could not be written (GetLastError tells why;
    // read-only, held open by another program, a full disk); the file then keeps what it had.
    int32_t readInt(const std::string& section, const std::string& key, int32_t def) const;
    bool writeInt(const std::string& section, const std::string& key, int32_t value) const;
    std::string readString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    bool writeString(const std::string& section, const std::string& key,
                     const std::string& value) const;
    // All key names of a section in file order, read through a buffer of at first bufferSize
    // characters that grows until every name fits. readString, too, returns the whole value.
    std::vector<std::string> keysOf(const std::string& section, size_t bufferSize) const;

    bool archiveEnabled(const std::string& user) const;
    void setArchiveEnabled(const std::string& user, bool on) const;
    int32_t frequency(const std::string& user) const;
    void setFrequency(const std::string& user, int32_t code) const;
    // "MaxDelete": the share of a location's files on one side, in percent, that one
    // HotSync under synchronisation may delete before the deletions are held back for the
    // user to confirm (default 50; 100 or more turns the guard off).
    int32_t maxDelete(const std::string& user) const;
    bool backupConduitDatabases(const std::string& user) const;
    int32_t mainPermanentAction(const std::string& user) const;
    void setMainTemporaryAction(const std::string& user, int32_t code) const;
    int32_t cardPermanentAction(const std::string& user) const;
    void setCardTemporaryAction(const std::string& user, int32_t code) const;
    // After each HotSync the one-time actions equal the permanent ones again.
    void copyPermanentToTemporary(const std::string& user) const;

    // Per-location records.
    std::string directoryOf(const std::string& user, const std::string& key) const;
    void setDirectoryOf(const std::string& user, const std::string& key, const std::string& folder) const;
    std::vector<std::string> directoryKeys(const std::string& user) const;
    // The folder recorded for key, as it was written (an empty value included); when key
    // has no record at all, folder is recorded for it and answered.
    std::string directoryOrRecord(const std::string& user, const std::string& key, const std::string& folder) const;
    // True for a path a "-Directories" value may name: a drive's folder ("C:\...", "C:/...")
    // or a network share's ("\\server\share..."), the "\\?\" forms included. A relative
    // path, one relative to the current drive ("\Sync", "C:Sync") and the empty one are not.
    static bool isAbsoluteFolder(const std::string& path);
    int32_t lastBackup(const std::string& user, const std::string& location) const;
    bool setLastBackup(const std::string& user, const std::string& location, int32_t time) const;
    // The sides of a location whose deletions stay held until the user confirms them with a
    // one-time overwrite (section user + "-HeldDeletions": "PC", "Palm" or "PC Palm"), so a
    // hold lasts from one HotSync to the next; empty when none is held. Empty sides remove
    // the record; false when the record could not be written.
    std::string heldDeletions(const std::string& user, const std::string& location) const;
    bool setHeldDeletions(const std::string& user, const std::string& location, const std::string& sides) const;
    void readExceptions(const std::string& user, const std::string& location,
                        std::vector<std::string>& names, std::vector<std::string>& values,
                        std::vector<int32_t>& actions) const;
    std::string newCardName(const std::string& user) const;
    // Keys of the "-LastBackup" section, in file order.
    std::vector<std::string> lastBackupKeys(const std::string& user) const;
    // Which location key each card label was given (section user + "-CardKeys"; the
    // label's record key is made by the card rules): empty when none was recorded. An
    // empty key removes the record.
    std::string cardKeyOf(const std::string& user, const std::string& labelRecord) const;
    void setCardKeyOf(const std::string& user, const std::string& labelRecord, const std::string& key) const;
    // Every location key given to a card label so far.
    std::vector<std::string> cardKeysGiven(const std::string& user) const;
    // The action code of an exception keyword (the text after "|"), compared with case.
    static ActionCode exceptionAction(const std::string& keyword);

private:
    std::string path_;
};

// The library's one settings object, created on first use.
Settings& TheSettings();
