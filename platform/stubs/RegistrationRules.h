// The stand-in conduit manager's decisions about registrations, apart from the registry
// that stores them. OS-free.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ConduitEntry {
    uint32_t creator = 0;
    int32_t type = 1;
    int32_t priority = 2;
    std::string name;       // empty until set
    std::string file;       // the conduit library's full path; empty until set
    std::string directory;  // empty until set
};

// The creator of its four-character text; false for null or any other length.
bool parseCreator(const char* text, uint32_t& creator);

// The registry key name of a creator: eight upper-case hex digits ("546E776B" for Tnwk).
// Key names compare without regard to case, creators do not, so the letters are not used.
std::string creatorKeyName(uint32_t creator);

// The creator of a key name made by creatorKeyName; false for any other text.
bool parseCreatorKeyName(const std::string& key, uint32_t& creator);

// The creator as its four characters when all are printable, else as 0x and eight hex digits.
std::string creatorText(uint32_t creator);

// Which text a CmSetCreator... call sets, and whether the value may be stored: a name of 1 to
// 63 characters, a full path ("X:\..." or "\\server\...") under 260 characters, a folder
// name of 1 to 63 characters without a path separator or drive colon.
enum class CreatorText { Name, File, Directory };
bool isValidText(CreatorText which, const char* value);

// Copies value out the way CmGetCreator... answers: 0, CM_ERR_BUFFER_TOO_SMALL (nothing
// copied) or CM_ERR_BAD_ARGUMENT (null buffer or size); *size becomes value's size with its
// terminating zero.
int copyOut(const std::string& value, char* buffer, int* size);

// The 12-byte entries of the conduit list (ordinal 5): a mark, the index, the creator.
void fillConduitEntry(uint8_t (&bytes)[12], uint32_t index, uint32_t creator);
// The creator an entry made by fillConduitEntry carries; false for any other bytes.
bool conduitEntryCreator(const uint8_t (&bytes)[12], uint32_t& creator);

// Sorts into run order: rising priority, then rising creator.
void sortRunOrder(std::vector<ConduitEntry>& entries);
