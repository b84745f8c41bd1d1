#include "platform/stubs/StandinRegistry.h"

#include <windows.h>

namespace standin {
namespace {

class Key {
public:
    Key(const std::string& path, bool create) {
        LONG r = create ? RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                                          nullptr, &key_, nullptr)
                        : RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key_);
        status_ = r;
        if (r != ERROR_SUCCESS) key_ = nullptr;
    }
    ~Key() {
        if (key_) RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return key_; }
    bool missing() const { return status_ == ERROR_FILE_NOT_FOUND; }

    bool readString(const char* name, std::string& out) const {
        char buffer[1024];
        DWORD type = 0, size = sizeof buffer - 1;
        if (RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
            type != REG_SZ)
            return false;
        buffer[size] = 0;
        out = buffer;
        return true;
    }
    bool readDword(const char* name, DWORD& out) const {
        DWORD type = 0, size = sizeof out;
        return RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&out), &size) == ERROR_SUCCESS &&
               type == REG_DWORD;
    }
    bool writeString(const char* name, const std::string& value) const {
        return RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
    }
    bool writeDword(const char* name, DWORD value) const {
        return RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
               ERROR_SUCCESS;
    }

private:
    HKEY key_ = nullptr;
    LONG status_ = ERROR_SUCCESS;
};

std::string conduitKey(uint32_t creator) { return std::string(kConduitsKey) + "\\" + creatorKeyName(creator); }

}  // namespace

Found readConduit(uint32_t creator, ConduitEntry& out) {
    Key key(conduitKey(creator), false);
    if (!key.get()) return key.missing() ? Found::No : Found::Failed;
    ConduitEntry entry;
    DWORD type = 0, priority = 0;
    if (!key.readString("Name", entry.name) || !key.readString("File", entry.file) ||
        !key.readString("Directory", entry.directory) || !key.readDword("Type", type) ||
        !key.readDword("Priority", priority))
        return Found::Failed;
    entry.creator = creator;
    entry.type = static_cast<int32_t>(type);
    entry.priority = static_cast<int32_t>(priority);
    out = entry;
    return Found::Yes;
}

bool listConduits(std::vector<ConduitEntry>& out) {
    out.clear();
    Key key(kConduitsKey, false);
    if (!key.get()) return key.missing();
    std::vector<ConduitEntry> found;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        LONG r = RegEnumKeyExA(key.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) return false;
        uint32_t creator = 0;
        ConduitEntry entry;
        if (parseCreatorKeyName(name, creator) && readConduit(creator, entry) == Found::Yes) found.push_back(entry);
    }
    sortRunOrder(found);
    out.swap(found);
    return true;
}

bool writeConduit(const ConduitEntry& entry) {
    Key key(conduitKey(entry.creator), true);
    return key.get() && key.writeString("Creator", creatorText(entry.creator)) &&
           key.writeString("Name", entry.name) && key.writeString("File", entry.file) &&
           key.writeString("Directory", entry.directory) && key.writeDword("Type", static_cast<DWORD>(entry.type)) &&
           key.writeDword("Priority", static_cast<DWORD>(entry.priority));
}

Found deleteConduit(uint32_t creator) {
    LONG r = RegDeleteKeyA(HKEY_CURRENT_USER, conduitKey(creator).c_str());
    if (r == ERROR_SUCCESS) return Found::Yes;
    return r == ERROR_FILE_NOT_FOUND ? Found::No : Found::Failed;
}

namespace {
bool removeValue(const Key& key, const char* name) {
    LONG r = RegDeleteValueA(key.get(), name);
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}
}  // namespace

bool markInstallation(const Installation& in) {
    Key core(kCoreKey, true), own(kStandinKey, true);
    if (!core.get() || !own.get()) return false;
    if (in.folder.empty())
        return removeValue(core, kPathValue) && removeValue(core, kHotSyncPathValue) &&
               removeValue(own, kManagerLogValue);
    return core.writeString(kPathValue, in.folder) && core.writeString(kHotSyncPathValue, in.hotsyncPath) &&
           (in.managerLog.empty() ? removeValue(own, kManagerLogValue)
                                  : own.writeString(kManagerLogValue, in.managerLog));
}

bool readInstallation(Installation& out) {
    Key core(kCoreKey, false);
    Installation found;
    if (!core.get() || !core.readString(kPathValue, found.folder) ||
        !core.readString(kHotSyncPathValue, found.hotsyncPath))
        return false;
    Key own(kStandinKey, false);
    if (own.get()) own.readString(kManagerLogValue, found.managerLog);
    out = found;
    return true;
}

}  // namespace standin
