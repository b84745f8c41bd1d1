#include "settings/Settings.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "names/AnsiCodePage.h"

namespace {

// Values are read through a buffer of at first this many characters, terminating zero
// included; a longer answer gets a larger buffer.
constexpr DWORD kStringBuffer = 1023;
// Exception values may be long; they start with a larger buffer of their own.
constexpr DWORD kExceptionValueBuffer = 8191;
constexpr size_t kExceptionKeyBuffer = 18127;
constexpr size_t kDirectoryKeyBuffer = 9127;

// The settings file lies beside the module that holds this code (the conduit DLL), not
// beside the host program, so it is found from an address inside this module.
std::string settingsPathBesideModule() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&settingsPathBesideModule), &module)) {
        return std::string();
    }
    char buffer[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(module, buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::string();
    std::string path(buffer, length);
    size_t dot = path.rfind('.');
    if (dot == std::string::npos) return std::string();
    return path.substr(0, dot + 1) + "ini";
}

class LibrarySettings final : public Settings {
public:
    ~LibrarySettings() override = default;
};

}  // namespace

Settings::Settings() : path_(settingsPathBesideModule()) {}
Settings::Settings(std::string path) : path_(std::move(path)) {}
Settings::~Settings() = default;

// With no usable path every read yields its default and every write is dropped, rather
// than letting the profile calls fall back to a file in the Windows folder.

int32_t Settings::readInt(const std::string& section, const std::string& key, int32_t def) const {
    if (path_.empty()) return def;
    return static_cast<int32_t>(
        GetPrivateProfileIntA(section.c_str(), key.c_str(), def, path_.c_str()));
}

bool Settings::writeInt(const std::string& section, const std::string& key, int32_t value) const {
    char text[32];
    wsprintfA(text, "%d", value);
    return writeString(section, key, text);
}

// The profile call cuts what does not fit: a value then comes back one character short of
// the buffer, a list of key names two short. The buffer starts at the given size and
// doubles until the answer fits, so nothing is silently dropped.
static std::vector<char> readProfileWhole(const std::string& path, const char* section, const char* key,
                                          const char* def, DWORD bufferSize, DWORD& length) {
    const DWORD cut = key == nullptr ? 2 : 1;
    for (DWORD size = bufferSize < 2 ? 2 : bufferSize;; size *= 2) {
        std::vector<char> buffer(size, '\0');
        length = GetPrivateProfileStringA(section, key, def, buffer.data(), size, path.c_str());
        if (length + cut < size || size > (1u << 30)) return buffer;
    }
}

static std::string readProfileString(const std::string& path, const std::string& section,
                                     const std::string& key, const std::string& def,
                                     DWORD bufferSize) {
    if (path.empty()) return def;
    DWORD length = 0;
    std::vector<char> buffer = readProfileWhole(path, section.c_str(), key.c_str(), def.c_str(), bufferSize, length);
    return std::string(buffer.data(), length);
}

std::string Settings::readString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
    return readProfileString(path_, section, key, def, kStringBuffer);
}

bool Settings::writeString(const std::string& section, const std::string& key,
                           const std::string& value) const {
    if (path_.empty()) return false;
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path_.c_str()) != 0;
}

std::vector<std::string> Settings::keysOf(const std::string& section, size_t bufferSize) const {
    std::vector<std::string> keys;
    if (path_.empty() || bufferSize < 2) return keys;
    DWORD length = 0;
    std::vector<char> buffer =
        readProfileWhole(path_, section.c_str(), nullptr, "", static_cast<DWORD>(bufferSize), length);
    // A sequence of zero-terminated names.
    size_t pos = 0;
    while (pos < length) {
        size_t end = pos;
        while (end < length && buffer[end] != '\0') ++end;
        if (end >= length) break;  // cut off by the buffer's end
        if (end > pos) keys.emplace_back(buffer.data() + pos, end - pos);
        pos = end + 1;
    }
    return keys;
}

bool Settings::archiveEnabled(const std::string& user) const { return readInt(user, "Archive", 1) != 0; }
void Settings::setArchiveEnabled(const std::string& user, bool on) const { writeInt(user, "Archive", on ? 1 : 0); }
int32_t Settings::frequency(const std::string& user) const { return readInt(user, "Frequency", 0); }
int32_t Settings::maxDelete(const std::string& user) const { return readInt(user, "MaxDelete", 50); }
void Settings::setFrequency(const std::string& user, int32_t code) const { writeInt(user, "Frequency", code); }
bool Settings::backupConduitDatabases(const std::string& user) const { return readInt(user, "ConduitDB", 1) != 0; }
int32_t Settings::mainPermanentAction(const std::string& user) const {
    return readInt(user, "MainPerm", ACTION_SYNCHRONISE);
}
void Settings::setMainTemporaryAction(const std::string& user, int32_t code) const { writeInt(user, "MainTemp", code); }
int32_t Settings::cardPermanentAction(const std::string& user) const {
    return readInt(user, "CardPerm", ACTION_SYNCHRONISE);
}
void Settings::setCardTemporaryAction(const std::string& user, int32_t code) const { writeInt(user, "CardTemp", code); }

void Settings::copyPermanentToTemporary(const std::string& user) const {
    setMainTemporaryAction(user, mainPermanentAction(user));
    setCardTemporaryAction(user, cardPermanentAction(user));
}

std::string Settings::directoryOf(const std::string& user, const std::string& key) const {
    return readString(user + "-Directories", key, "");
}

void Settings::setDirectoryOf(const std::string& user, const std::string& key,
                              const std::string& folder) const {
    writeString(user + "-Directories", key, folder);
}

std::vector<std::string> Settings::directoryKeys(const std::string& user) const {
    return keysOf(user + "-Directories", kDirectoryKeyBuffer);
}

std::string Settings::directoryOrRecord(const std::string& user, const std::string& key, const std::string& folder) const {
    const std::string recorded = directoryOf(user, key);
    if (!recorded.empty()) return recorded;
    // An empty value is a record too: it was edited by hand and names no folder.
    for (const std::string& known : directoryKeys(user))
        if (sameIgnoringCase(known, key)) return recorded;
    setDirectoryOf(user, key, folder);
    return folder;
}

bool Settings::isAbsoluteFolder(const std::string& path) {
    auto separator = [](char c) { return c == '\\' || c == '/'; };
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (path.size() >= 3 && letter(path[0]) && path[1] == ':' && separator(path[2])) return true;
    // "\\server\share", "\\?\C:\..." and "\\.\...": a name must follow the two separators.
    return path.size() >= 3 && separator(path[0]) && separator(path[1]) && !separator(path[2]);
}

int32_t Settings::lastBackup(const std::string& user, const std::string& location) const {
    return readInt(user + "-LastBackup", location, 0);
}

bool Settings::setLastBackup(const std::string& user, const std::string& location, int32_t time) const {
    return writeInt(user + "-LastBackup", location, time);
}

std::string Settings::heldDeletions(const std::string& user, const std::string& location) const {
    return readString(user + "-HeldDeletions", location, "");
}

bool Settings::setHeldDeletions(const std::string& user, const std::string& location, const std::string& sides) const {
    if (heldDeletions(user, location) == sides) return true;
    return WritePrivateProfileStringA((user + "-HeldDeletions").c_str(), location.c_str(),
                                      sides.empty() ? nullptr : sides.c_str(), path_.c_str()) != 0;
}

ActionCode Settings::exceptionAction(const std::string& keyword) {
    if (keyword == "SKIP") return ACTION_DO_NOTHING;
    if (keyword == "HHTOPC") return ACTION_HH_OVERWRITES;
    if (keyword == "PCTOHH") return ACTION_PC_OVERWRITES;
    if (keyword == "FAST") return ACTION_SYNCHRONISE;
    return ACTION_SLOW;  // "SYNC" and every keyword not recognised
}

void Settings::readExceptions(const std::string& user, const std::string& location,
                              std::vector<std::string>& names, std::vector<std::string>& values,
                              std::vector<int32_t>& actions) const {
    const std::string section = user + "-" + location + "-Exceptions";
    for (const std::string& key : keysOf(section, kExceptionKeyBuffer)) {
        std::string value = readProfileString(path_, section, key, "", kExceptionValueBuffer);
        std::string name = upperAscii(key);
        int32_t action = ACTION_SLOW;
        size_t bar = value.find('|');
        if (bar != std::string::npos) {
            action = exceptionAction(value.substr(bar + 1));
            value.erase(bar);
        }
        names.push_back(std::move(name));
        values.push_back(std::move(value));
        actions.push_back(action);
    }
}

std::string Settings::newCardName(const std::string& user) const {
    const std::vector<std::string> keys = directoryKeys(user);
    auto taken = [&keys](const std::string& candidate) {
        for (const std::string& key : keys) {
            if (key == candidate) return true;
        }
        return false;
    };
    std::string candidate = "Card";
    for (unsigned n = 1; taken(candidate); ++n) candidate = "Card" + std::to_string(n);
    return candidate;
}

std::vector<std::string> Settings::lastBackupKeys(const std::string& user) const {
    return keysOf(user + "-LastBackup", kDirectoryKeyBuffer);
}

std::string Settings::cardKeyOf(const std::string& user, const std::string& labelRecord) const {
    return readString(user + "-CardKeys", labelRecord, "");
}

void Settings::setCardKeyOf(const std::string& user, const std::string& labelRecord, const std::string& key) const {
    if (key.empty()) {
        if (!path_.empty() && !cardKeyOf(user, labelRecord).empty())
            WritePrivateProfileStringA((user + "-CardKeys").c_str(), labelRecord.c_str(), nullptr, path_.c_str());
        return;
    }
    writeString(user + "-CardKeys", labelRecord, key);
}

std::vector<std::string> Settings::cardKeysGiven(const std::string& user) const {
    std::vector<std::string> given;
    const std::string section = user + "-CardKeys";
    for (const std::string& record : keysOf(section, kDirectoryKeyBuffer)) given.push_back(readString(section, record, ""));
    return given;
}

Settings& TheSettings() {
    static LibrarySettings settings;
    return settings;
}
