// Everything known about one file, directory or database on either side.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "names/CodePage.h"

struct FileEntry {
    uint32_t attributes = 0;        // handheld attribute bits (0x10 directory on a card)
    uint32_t handheldTime = 0;      // 0: no handheld copy
    uint32_t lastHandheldTime = 0;  // from the state file; 0: no record
    uint32_t lastPcTime = 0;        // from the state file; 0: no record
    uint32_t pcTime = 0;            // 0: no PC copy
    uint32_t status = 0;            // 0 usable; 4 PC status unreadable; 1 handheld unreadable
    uint32_t creator = 0;           // main-memory databases only
    uint32_t size = 0;
    uint32_t pcSize = 0;            // the PC copy's size as last read (0xFFFFFFFF: 4 GB or more)
};

enum FileEntryStatus : uint32_t { ENTRY_OK = 0, ENTRY_HANDHELD_UNREADABLE = 1, ENTRY_PC_UNREADABLE = 4 };

// A code page's characters and their small forms (names/CodePage.h): two names are one in
// either case when they match character by character in small form.
using CaseFold = names::CodePage;
// A to Z as a to z and nothing else: the letters every code page shares.
inline const CaseFold& asciiCaseFold() { return names::asciiOnly(); }

// The order of the entry map: byte-wise, or character by character in small form for a
// place whose names differ in case only when they are one name (a FAT card, and the PC
// folder it is mirrored in: both take "Café" and "CAFÉ" as one name, so the fold must know
// the code page's letters, not only A to Z, and its two-byte characters, whose trail bytes
// are no letters). Either way a directory's name sorts right before the names inside it,
// and the first spelling inserted is the one the key keeps.
struct NameOrder {
    bool foldCase = false;
    const CaseFold* fold = nullptr;  // with foldCase: the code page; null: A to Z

    bool operator()(const std::string& a, const std::string& b) const {
        if (!foldCase) return a < b;
        return names::compareIgnoringCase(fold ? *fold : asciiCaseFold(), a, b) < 0;
    }
    // True when name begins with prefix, in this order's sense of equal characters (a
    // prefix ending inside a character of name does not begin it).
    bool startsWith(const std::string& name, const std::string& prefix) const {
        if (!foldCase) return name.compare(0, prefix.size(), prefix) == 0;
        return names::startsWithIgnoringCase(fold ? *fold : asciiCaseFold(), name, prefix);
    }
};

using EntryMap = std::map<std::string, FileEntry, NameOrder>;
