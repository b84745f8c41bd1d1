// Whole HotSyncs through hotsync.exe: a scenario builds a device folder, runs the host on
// it with its own copy of the conduit (so its settings file is its own) and reads back the
// log, the PC folder, the card folders and the settings.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct LogLine {
    int activity = 0;
    std::string text;
};

struct HotSyncRun {
    int exitCode = -1;
    std::vector<LogLine> log;
    bool has(const std::string& text) const;
    size_t count(const std::string& text) const;
    // Lines of file operations that changed something ("  name: Copied ...", renames,
    // deletions) and every failure line.
    std::vector<std::string> changes() const;
    std::vector<std::string> failures() const;
    std::string dump() const;
};

class Scenario {
public:
    explicit Scenario(const std::string& name);

    const std::string& root() const { return root_; }
    std::string device() const { return root_ + "\\device"; }
    std::string pc() const { return pc_; }
    void setPc(const std::string& pc) { pc_ = pc; }
    std::string settingsFile() const { return root_ + "\\conduit\\Tarnwick.ini"; }

    void deviceIni(const std::string& text) const;
    // A card file of volume folder `folder`; times are host times (seconds since 1970),
    // 0 keeps the time of writing.
    void cardFile(const std::string& folder, const std::string& name, const std::string& content,
                  int64_t time = 0) const;

    HotSyncRun sync(const std::string& user = "E2E User", int type = 0, const std::string& extra = "") const;
    // Runs the HotSync with no display to show windows on.
    void withoutDisplay(bool on) { withoutDisplay_ = on; }
    // Runs a copy of the host from a folder of its own that lacks the desktop VFS library.
    void withoutVfsLibrary();
    std::string trace() const;

private:
    std::string root_;
    std::string pc_;
    bool withoutDisplay_ = false;
    std::string host_;  // folder of the host program; the test program's own by default
};

// Files below a folder, as relative names with "\", sorted; folders end with "\".
std::vector<std::string> FilesBelow(const std::string& folder);
bool ReadText(const std::string& path, std::string& text);
void WriteText(const std::string& path, const std::string& text, int64_t time = 0);
bool Exists(const std::string& path);
// A file whose name may lie outside the ANSI code page: folder + "\" + name.
void WriteWide(const std::string& folder, const std::wstring& name, const std::string& text);
bool ExistsWide(const std::string& folder, const std::wstring& name);
// Files of any name below a full folder path, through the "\\?\" form (so also "aux.txt",
// "Con\" and names of two-byte characters): name is relative, "\"-separated, and its
// folders are made as needed. Listing: sorted, folders ending in "\".
void WriteLong(const std::string& folder, const std::wstring& name, const std::string& text, int64_t time = 0);
bool ReadLong(const std::string& folder, const std::wstring& name, std::string& text);
bool RemoveLong(const std::string& folder, const std::wstring& name);
std::vector<std::wstring> LongFilesBelow(const std::string& folder);
std::string IniValue(const std::string& file, const std::string& section, const std::string& key);
void SetIniValue(const std::string& file, const std::string& section, const std::string& key, const std::string& value);
int64_t Now();
