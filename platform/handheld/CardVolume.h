// One card volume of the simulated handheld: a folder of the device folder whose names,
// times, attributes and sizes are held in memory for the session. Host files are touched
// only to move contents; every write goes through a temporary file renamed over its target,
// so a copy replaces its target whole or leaves it as it was.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/handheld/CardNames.h"

struct CardNode {
    std::string path;  // with its case, "/" for the root
    bool directory = false;
    uint32_t size = 0;
    uint32_t time = 0;        // seconds since 1904
    uint32_t attributes = 0;  // FAT bits; 0x10 directory
    bool inMemory = false;    // a file the companion left that exists only in memory
    std::string contents;     // its bytes, when inMemory
};

// Handheld time of a host time (seconds since 1970).
uint32_t handheldTimeOf(int64_t unixSeconds);

class CardVolume {
public:
    // Scans the host folder (a path in the ANSI code page), creating it when missing; false
    // when it cannot be read. Card names are in codePage, as the card keeps them: a host
    // name that has no exact form there is left out, as no such card could hold it.
    bool open(const std::string& hostDir, unsigned codePage);

    const std::string& hostDir() const { return hostDir_; }
    unsigned codePage() const { return codePage_; }
    // The name's key in nodes_: its small form in the card's code page, as FAT compares.
    std::string key(const std::string& path) const;
    const CardNode* find(const std::string& path) const;
    // The host file of a card name, for the wide calls, in the "\\?\" form: a card takes
    // names a plain host path would open a device for ("aux.txt", "CON").
    std::wstring hostPath(const std::string& path) const;
    // A card name as this volume reads it (parseCardName in its code page).
    bool parseName(const char* text, CardName& out) const;
    // Every node but the root, parents before their contents.
    std::vector<const CardNode*> nodes() const;
    size_t childCount(const std::string& path) const;

    // hostTarget and hostSource are the conduit's paths, in the ANSI code page.
    // Results are VFS values (0, 10754, 10758, 10760 or the simulator's own, documented in
    // README.md); on a host failure the system's last error is left as the host set it.
    int32_t createDirectory(const std::string& path);
    int32_t remove(const std::string& path);
    int32_t rename(const std::string& path, const std::string& newBase);
    int32_t copyToHost(const std::string& path, const std::string& hostTarget) const;
    int32_t copyFromHost(const std::string& path, const std::string& hostSource);
    int32_t writeFile(const std::string& path, const std::string& bytes, bool append);
    int32_t readRange(const std::string& path, uint64_t offset, uint64_t length, std::string& out) const;
    void putInMemory(const std::string& path, const std::string& bytes, uint32_t time);

private:
    void scan(const std::wstring& hostDir, const std::string& path);
    bool restat(CardNode& node) const;
    std::map<std::string, CardNode> nodes_;  // by key()
    std::string hostDir_;
    std::wstring wideDir_;  // hostDir_ made whole
    unsigned codePage_ = 1252;
};
