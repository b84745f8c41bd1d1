// Everything known about one file, directory or database on either side.
#pragma once
#include <cstdint>
#include <map>
#include <string>

struct FileEntry {
    uint32_t attributes = 0;        // handheld attribute bits (0x10 directory on a card)
    uint32_t handheldTime = 0;      // 0: no handheld copy
    uint32_t lastHandheldTime = 0;  // from the state file; 0: no record
    uint32_t lastPcTime = 0;        // from the state file; 0: no record
    uint32_t pcTime = 0;            // 0: no PC copy
    uint32_t status = 0;            // 0 usable; 4 PC status unreadable; 1 handheld unreadable
    uint32_t creator = 0;           // main-memory databases only
    uint32_t size = 0;
};

enum FileEntryStatus : uint32_t { ENTRY_OK = 0, ENTRY_HANDHELD_UNREADABLE = 1, ENTRY_PC_UNREADABLE = 4 };

// Keys compare byte-wise (std::string's own order), so a directory's name sorts right
// before the names inside it.
using EntryMap = std::map<std::string, FileEntry>;
