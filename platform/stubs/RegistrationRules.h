// The stand-in conduit manager's decisions about registrations, apart from the registry
// that stores them. OS-free.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ConduitEntry {
    uint32_t creator = 0;
    int32_t priority = 0;
    std::string path;
    std::string name;
};

// The registry key name of a creator: eight upper-case hex digits ("546E776B" for Tnwk).
// Key names compare without regard to case, creators do not, so the letters are not used.
std::string creatorKeyName(uint32_t creator);

// The creator of a key name made by creatorKeyName; false for any other text.
bool parseCreatorKeyName(const std::string& key, uint32_t& creator);

// The creator as its four characters when all are printable, else as 0x and eight hex digits.
std::string creatorText(uint32_t creator);

// Whether two library paths name the same file: case and slash direction do not count.
bool samePath(const std::string& a, const std::string& b);

// Whether an entry may be stored: creator not 0, a full path ("X:\..." or "\\server\...")
// shorter than 260 characters, a non-empty name shorter than 64, a priority of 0 to 255.
bool isValidEntry(const ConduitEntry& entry);

enum class RegisterOutcome { Store, Taken, Refused };

// What registering wanted does when existing (null: none) holds its creator: an invalid
// entry is Refused, a creator held under another path is Taken, anything else is stored.
RegisterOutcome registerOutcome(const ConduitEntry* existing, const ConduitEntry& wanted);

// Sorts into run order: rising priority, then rising creator.
void sortRunOrder(std::vector<ConduitEntry>& entries);
