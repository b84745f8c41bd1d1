// A database in the simulated handheld's main memory, and the simulator's own text format
// for it (one file per database in the device folder's ram/). OS-free.
//
// Format: a first line "TarnwickSim database 1", then one "key=value" per line:
//   name, attributes, version, type, creator, created, modified, backup, modnum, uidseed,
//   appinfo, sortinfo (hex bytes), and one line per record or resource:
//   record attr=0x40 uid=0x000123 hex=48656c6c6f      (or text=Hello, with \n \t \\ \xNN)
//   resource type=tSTR id=1000 hex=...
// Four-character codes are written as four characters or as 0x12345678; dates are seconds
// since 1904 (the handheld's base). Blank lines and lines starting with '#' are ignored.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct RamRecord {
    uint8_t attributes = 0;
    uint32_t uniqueId = 0;  // 24 bits
    std::string data;
};

struct RamResource {
    uint32_t type = 0;
    uint16_t id = 0;
    std::string data;
};

struct RamDatabase {
    std::string name;  // at most 31 characters
    uint16_t attributes = 0;  // bit 0: resource database
    uint16_t version = 0;
    uint32_t type = 0;
    uint32_t creator = 0;
    uint32_t created = 0;
    uint32_t modified = 0;
    uint32_t backup = 0;
    uint32_t modNumber = 0;
    uint32_t uniqueIdSeed = 0;  // the last unique ID handed out
    std::string appInfo;
    std::string sortInfo;
    std::vector<RamRecord> records;
    std::vector<RamResource> resources;

    bool isResource() const { return (attributes & 1) != 0; }
    uint32_t itemCount() const {
        return static_cast<uint32_t>(isResource() ? resources.size() : records.size());
    }
    uint32_t largestItem() const;
};

std::string storeRamDatabase(const RamDatabase& db);
// Answers false with a reason when the text is not a stored database.
bool parseRamDatabase(const std::string& text, RamDatabase& db, std::string& error);

uint32_t parseFourCc(const std::string& text, bool& ok);
std::string hexBytes(const std::string& bytes);
