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
    uint32_t pcSize = 0;            // the PC copy's size as last read (0xFFFFFFFF: 4 GB or more)
};

enum FileEntryStatus : uint32_t { ENTRY_OK = 0, ENTRY_HANDHELD_UNREADABLE = 1, ENTRY_PC_UNREADABLE = 4 };

// The small form of every byte of a name in a single-byte code page: two bytes are one
// letter in two cases when their small forms are equal. Other bytes are their own.
struct CaseFold {
    unsigned char lower[256];
};
// A to Z as a to z and nothing else: the letters every code page shares.
inline const CaseFold& asciiCaseFold() {
    static const CaseFold table = [] {
        CaseFold t{};
        for (int c = 0; c < 256; ++c) t.lower[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return t;
    }();
    return table;
}

// The order of the entry map: byte-wise, or with the letters of a case fold taken in their
// small form for a place whose names differ in case only when they are one name (a FAT card,
// and the PC folder it is mirrored in: both take "Café" and "CAFÉ" as one name, so the fold
// must know the code page's letters, not only A to Z). Either way a directory's name sorts
// right before the names inside it, and the first spelling inserted is the one the key keeps.
struct NameOrder {
    bool foldCase = false;
    const CaseFold* fold = nullptr;  // with foldCase: the code page's letters; null: A to Z

    unsigned char folded(char c) const {
        const unsigned char b = static_cast<unsigned char>(c);
        return (fold ? *fold : asciiCaseFold()).lower[b];
    }
    bool operator()(const std::string& a, const std::string& b) const {
        if (!foldCase) return a < b;
        const CaseFold& f = fold ? *fold : asciiCaseFold();
        const size_t n = a.size() < b.size() ? a.size() : b.size();
        for (size_t i = 0; i < n; ++i) {
            const unsigned char x = f.lower[static_cast<unsigned char>(a[i])];
            const unsigned char y = f.lower[static_cast<unsigned char>(b[i])];
            if (x != y) return x < y;
        }
        return a.size() < b.size();
    }
    // True when name begins with prefix, in this order's sense of equal letters.
    bool startsWith(const std::string& name, const std::string& prefix) const {
        if (name.size() < prefix.size()) return false;
        for (size_t i = 0; i < prefix.size(); ++i) {
            if (foldCase ? folded(name[i]) != folded(prefix[i]) : name[i] != prefix[i]) return false;
        }
        return true;
    }
};

using EntryMap = std::map<std::string, FileEntry, NameOrder>;
