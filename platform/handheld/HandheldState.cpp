#include "platform/handheld/HandheldState.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "card/Companion.h"
#include "names/AnsiCodePage.h"
#include "platform/handheld/CardListing.h"
#include "platform/handheld/CardNames.h"
#include "platform/handheld/HostFiles.h"
#include "platform/handheld/StandinDevice.h"

namespace {
const uint16_t kOpenBit = 0x8000;
const size_t kReplyRecord = 1024;       // bytes of file contents per transfer record
const size_t kReplyTextPerRecord = 1000;  // text bytes per record, after the 8 lead bytes
const VfsVolume kFirstVolumeRef = 101;    // references are not indexes: a conduit must ask
const long kDefaultSliceFigure = 65536;

std::string boundedName(const char* text, size_t max) {
    size_t n = 0;
    while (n < max && text[n]) ++n;
    return std::string(text, n);
}

void copyName(char* field, const std::string& name) {
    std::memset(field, 0, 32);
    std::memcpy(field, name.data(), std::min<size_t>(name.size(), 31));
}

// "001-Memo%20DB.db": the position keeps the listing order and the names apart on a
// case-insensitive host; the escape keeps characters a host file name cannot hold out.
std::string storedFileName(size_t position, const std::string& name) {
    static const char digits[] = "0123456789ABCDEF";
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%03u-", static_cast<unsigned>(position));
    std::string out = prefix;
    for (unsigned char c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out + ".db";
}

// The parts of s between the separator characters; with a code page, by character (a second
// byte that reads as the separator separates nothing).
std::vector<std::string> split(const std::string& s, char sep, const names::CodePage& cp = names::asciiOnly()) {
    std::vector<std::string> parts;
    const char separators[2] = {sep, '\0'};
    size_t pos = 0;
    for (;;) {
        size_t next = names::findSeparator(cp, s, separators, pos);
        parts.push_back(s.substr(pos, next == std::string::npos ? std::string::npos : next - pos));
        if (next == std::string::npos) break;
        pos = next + 1;
    }
    return parts;
}

bool parseDecimal(const std::string& s, uint64_t& out) {
    if (s.empty() || s.size() > 19) return false;
    out = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

// "A,B" of a [UserN] creator key: each part a value the call gives with result 0, or
// "!N" for a call that answers N and leaves the value alone.
bool parseUserValue(const std::string& text, int32_t& result, int32_t& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    if (text[0] == '!') {
        result = static_cast<int32_t>(std::strtol(text.c_str() + 1, &end, 0));
        value = 0;
    } else {
        result = 0;
        value = static_cast<int32_t>(std::strtol(text.c_str(), &end, 0));
    }
    return end && *end == '\0';
}

std::string trimSlashes(std::string s) {
    while (s.size() > 1 && (s.back() == '\\' || s.back() == '/')) s.pop_back();
    return s;
}

// Replaces (or adds) key=value in a section of an INI text, keeping everything else.
std::string setIniValue(const std::string& text, const std::string& section, const std::string& key,
                        const std::string& value) {
    std::vector<std::string> lines = split(text, '\n');
    bool inSection = false;
    int sectionEnd = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string line = lines[i];
        size_t b = line.find_first_not_of(" \t");
        std::string t = b == std::string::npos ? std::string() : line.substr(b);
        if (!t.empty() && t[0] == '[') {
            if (inSection) break;
            size_t close = t.find(']');
            inSection = equalsNoCase(t.substr(1, close == std::string::npos ? std::string::npos : close - 1), section);
            if (inSection) sectionEnd = static_cast<int>(i);
            continue;
        }
        if (!inSection) continue;
        if (!t.empty() && t != "\r") sectionEnd = static_cast<int>(i);
        size_t eq = t.find('=');
        if (eq == std::string::npos) continue;
        std::string k = t.substr(0, eq);
        while (!k.empty() && (k.back() == ' ' || k.back() == '\t')) k.pop_back();
        if (equalsNoCase(k, key)) {
            bool cr = !line.empty() && line.back() == '\r';
            lines[i] = key + "=" + value + (cr ? "\r" : "");
            std::string out;
            for (size_t j = 0; j < lines.size(); ++j) out += lines[j] + (j + 1 < lines.size() ? "\n" : "");
            return out;
        }
    }
    std::string added = key + "=" + value;
    if (sectionEnd < 0) {
        std::string out = text;
        if (!out.empty() && out.back() != '\n') out += "\n";
        return out + "[" + section + "]\n" + added + "\n";
    }
    lines.insert(lines.begin() + sectionEnd + 1, added);
    std::string out;
    for (size_t j = 0; j < lines.size(); ++j) out += lines[j] + (j + 1 < lines.size() ? "\n" : "");
    return out;
}
}  // namespace

// ---------------------------------------------------------------- load and save

int HandheldState::load(const std::string& deviceDir) {
    dir_ = deviceDir;
    while (!dir_.empty() && (dir_.back() == '\\' || dir_.back() == '/')) dir_.pop_back();
    if (!readHostFile(dir_ + "\\device.ini", iniText_)) {
        loadError_ = "no device.ini in " + dir_;
        return 1;
    }
    ini_ = IniFile::parse(iniText_);
    if (!loadDatabases()) return 3;
    if (!loadVolumes()) return 4;
    if (!loadUsers()) return 5;
    return 0;
}

bool HandheldState::loadDatabases() {
    std::vector<std::string> files;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir_ + "\\ram\\*.db").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(data.cFileName);
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    std::sort(files.begin(), files.end());
    for (const std::string& f : files) {
        std::string text, error;
        RamDatabase db;
        if (!readHostFile(dir_ + "\\ram\\" + f, text) || !parseRamDatabase(text, db, error)) {
            loadError_ = "ram\\" + f + ": " + error;
            return false;
        }
        if (findDb(db.name)) {
            loadError_ = "ram\\" + f + ": a second database named " + db.name;
            return false;
        }
        dbs_.push_back({nextDbId_++, db});
    }
    return true;
}

bool HandheldState::loadVolumes() {
    bool companion = ini_.has("Device", "Companion");
    for (int i = 1; ini_.hasSection("Volume" + std::to_string(i)); ++i) {
        std::string section = "Volume" + std::to_string(i);
        auto v = std::make_unique<Volume>();
        v->ref = static_cast<VfsVolume>(kFirstVolumeRef + i - 1);
        v->index = i;
        v->label = ini_.get(section, "Label");
        std::string path = ini_.get(section, "Path", "card" + std::to_string(i));
        for (char& c : path)
            if (c == '/') c = '\\';
        // The code page the card keeps its names in; 1252 is the ANSI code page the
        // conduit works in here.
        const long codePage = ini_.getInt(section, "CodePage", 1252);
        if (codePage <= 0 || codePage > 65535 || !IsValidCodePage(static_cast<UINT>(codePage))) {
            loadError_ = section + ": no such code page " + ini_.get(section, "CodePage");
            return false;
        }
        if (!v->card.open(dir_ + "\\" + path, static_cast<unsigned>(codePage))) {
            loadError_ = section + ": cannot read the folder " + path;
            return false;
        }
        // The companion application leaves its card listing before every HotSync, unless
        // the test put a listing of its own there.
        if (companion && !v->card.find("/Tarnwick.txt")) {
            std::vector<const CardNode*> nodes = v->card.nodes();
            CardNode self;
            self.path = "/Tarnwick.txt";
            nodes.push_back(&self);
            v->card.putInMemory("/Tarnwick.txt", cardListingFile(nodes), now());
        }
        volumes_.push_back(std::move(v));
    }
    return true;
}

bool HandheldState::loadUsers() {
    if (ini_.hasSection("Conduits")) {
        loadError_ = "[Conduits]: the installed conduits are the conduit manager's registrations";
        return false;
    }
    for (int i = 1; ini_.hasSection("User" + std::to_string(i)); ++i) {
        std::string section = "User" + std::to_string(i);
        anyUser_ = false;
        User user;
        user.folder = trimSlashes(ini_.get(section, "Folder"));
        for (const auto& kv : ini_.entries(section)) {
            if (equalsNoCase(kv.first, "Folder")) continue;
            bool ok = true;
            uint32_t creator = parseFourCc(kv.first, ok);
            std::vector<std::string> parts = split(kv.second, ',');
            UserValue a{0, 0}, b{0, 0};
            if (!ok || parts.size() != 2 || !parseUserValue(parts[0], a.result, a.value) ||
                !parseUserValue(parts[1], b.result, b.value)) {
                loadError_ = "[" + section + "] " + kv.first + ": expected CREATOR=A,B";
                return false;
            }
            user.values[creator] = {a, b};
        }
        users_.push_back(user);
    }
    return true;
}

int HandheldState::save() {
    int rc = 0;
    std::string ramDir = dir_ + "\\ram";
    if (!dbs_.empty()) CreateDirectoryA(ramDir.c_str(), nullptr);
    std::vector<std::string> written;
    for (size_t i = 0; i < dbs_.size(); ++i) {
        std::string name = storedFileName(i + 1, dbs_[i].db.name);
        if (!writeHostFileWhole(ramDir + "\\" + name, storeRamDatabase(dbs_[i].db))) rc = 1;
        written.push_back(lowerCase(name));
    }
    // Only after every database is written do the files of deleted ones go.
    if (rc == 0) {
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((ramDir + "\\*.db").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            std::vector<std::string> stale;
            do {
                std::string f = data.cFileName;
                if (std::find(written.begin(), written.end(), lowerCase(f)) == written.end()) stale.push_back(f);
            } while (FindNextFileA(find, &data));
            FindClose(find);
            for (const std::string& f : stale) DeleteFileA((ramDir + "\\" + f).c_str());
        }
    }
    return rc;
}

// ---------------------------------------------------------------- helpers

uint32_t HandheldState::now() const { return handheldTimeOf(static_cast<int64_t>(std::time(nullptr))); }

HandheldState::DbSlot* HandheldState::findDb(const std::string& name) {
    for (DbSlot& s : dbs_)
        if (s.db.name == name) return &s;
    return nullptr;
}

const RamDatabase* HandheldState::database(const std::string& name) const {
    for (const DbSlot& s : dbs_)
        if (s.db.name == name) return &s.db;
    return nullptr;
}

HandheldState::DbSlot* HandheldState::dbOfHandle(uint8_t handle, int32_t& error) {
    auto it = handles_.find(handle);
    if (it == handles_.end()) {
        error = STANDIN_SM_BAD_HANDLE;
        return nullptr;
    }
    for (DbSlot& s : dbs_)
        if (s.id == it->second.id) return &s;
    error = STANDIN_SM_BAD_HANDLE;
    return nullptr;
}

bool HandheldState::isOpen(uint32_t id) const {
    for (const auto& kv : handles_)
        if (kv.second.id == id) return true;
    return false;
}

void HandheldState::touch(RamDatabase& db) {
    db.modified = now();
    ++db.modNumber;
}

void HandheldState::fillListEntry(const RamDatabase& db, bool open, SmDbListEntry& e) const {
    std::memset(&e, 0, sizeof e);
    e.cardNo = 0;
    e.attributes = static_cast<uint16_t>(db.attributes | (open ? kOpenBit : 0));
    e.type = db.type;
    copyName(e.name, db.name);
    e.creator = db.creator;
    e.version = db.version;
    e.modNumber = db.modNumber;
    e.creationDate = db.created;
    e.modificationDate = db.modified;
    e.backupDate = db.backup;
}

std::string HandheldState::databaseOfHandle(uint8_t handle) const {
    auto it = handles_.find(handle);
    if (it == handles_.end()) return {};
    for (const DbSlot& s : dbs_)
        if (s.id == it->second.id) return s.db.name;
    return {};
}

std::string HandheldState::nameOfFileRef(VfsFileRef file) const {
    auto it = files_.find(file);
    return it == files_.end() ? std::string() : it->second.path;
}

HandheldState::Volume* HandheldState::findVolume(VfsVolume ref) {
    for (auto& v : volumes_)
        if (v->ref == ref) return v.get();
    return nullptr;
}

const CardVolume* HandheldState::volume(VfsVolume ref) const {
    for (const auto& v : volumes_)
        if (v->ref == ref) return &v->card;
    return nullptr;
}

std::string HandheldState::companionCardName(const Volume& v) const {
    return v.label.empty() ? "Card" + std::to_string(v.index) : v.label;
}

HandheldState::Volume* HandheldState::volumeOfCard(const std::string& cardName) {
    for (auto& v : volumes_)
        if (companionCardName(*v) == cardName) return v.get();
    return nullptr;
}

// ---------------------------------------------------------------- Sync Manager

int32_t HandheldState::openDb(int32_t cardNo, const char* name, uint8_t mode, uint8_t* handle) {
    if (!name || !handle) return STANDIN_ERR_BAD_ARGUMENT;
    if (!(mode & (SM_OPEN_READ | SM_OPEN_WRITE))) return STANDIN_ERR_BAD_ARGUMENT;
    if (cardNo != 0) return STANDIN_SM_NOT_FOUND;
    DbSlot* slot = findDb(boundedName(name, 32));
    if (!slot) return STANDIN_SM_NOT_FOUND;
    for (unsigned h = 1; h <= 255; ++h) {
        if (handles_.count(static_cast<uint8_t>(h))) continue;
        handles_[static_cast<uint8_t>(h)] = {slot->id, mode};
        *handle = static_cast<uint8_t>(h);
        return 0;
    }
    return STANDIN_SM_TOO_MANY;
}

int32_t HandheldState::createDb(SmCreateRecord* create) {
    if (!create) return STANDIN_ERR_BAD_ARGUMENT;
    std::string name = boundedName(create->name, 32);
    if (name.empty() || name.size() > 31) return STANDIN_ERR_BAD_ARGUMENT;
    if (create->cardNo != 0) return STANDIN_SM_NOT_FOUND;
    // An existing database stays as it is; the caller may still open and write it.
    if (findDb(name)) return STANDIN_SM_EXISTS;
    unsigned free = 1;
    while (free <= 255 && handles_.count(static_cast<uint8_t>(free))) ++free;
    if (free > 255) return STANDIN_SM_TOO_MANY;
    RamDatabase db;
    db.name = name;
    db.attributes = static_cast<uint16_t>(create->flags & 0x7FFF);
    db.version = create->version;
    db.type = create->type;
    db.creator = create->creator;
    db.created = db.modified = now();
    dbs_.push_back({nextDbId_, db});
    handles_[static_cast<uint8_t>(free)] = {nextDbId_, SM_OPEN_READ | SM_OPEN_WRITE};
    ++nextDbId_;
    create->handle = static_cast<uint8_t>(free);
    return 0;
}

int32_t HandheldState::closeDb(uint8_t handle) {
    return handles_.erase(handle) ? 0 : STANDIN_SM_BAD_HANDLE;
}

int32_t HandheldState::deleteDb(const char* name, int32_t cardNo) {
    if (!name) return STANDIN_ERR_BAD_ARGUMENT;
    if (cardNo != 0) return STANDIN_SM_NOT_FOUND;
    std::string n = boundedName(name, 32);
    for (size_t i = 0; i < dbs_.size(); ++i) {
        if (dbs_[i].db.name != n) continue;
        if (isOpen(dbs_[i].id)) return STANDIN_SM_BUSY;
        dbs_.erase(dbs_.begin() + static_cast<long>(i));
        return 0;
    }
    return STANDIN_SM_NOT_FOUND;
}

int32_t HandheldState::readDbList(int32_t cardNo, uint16_t startIndex, int32_t, SmDbListEntry* entries, int32_t* count) {
    if (!entries || !count || *count < 0) return STANDIN_ERR_BAD_ARGUMENT;
    if (cardNo != 0 || startIndex >= dbs_.size()) return STANDIN_SM_NOT_FOUND;
    int32_t filled = 0;
    for (size_t i = startIndex; i < dbs_.size() && filled < *count; ++i, ++filled)
        fillListEntry(dbs_[i].db, isOpen(dbs_[i].id), entries[filled]);
    *count = filled;
    return 0;
}

int32_t HandheldState::readCardInfo(SmCardInfo* info) {
    if (!info) return STANDIN_ERR_BAD_ARGUMENT;
    if (info->cardNo != 0) return STANDIN_SM_NOT_FOUND;
    info->ramDbCount = static_cast<uint16_t>(dbs_.size());
    return 0;
}

int32_t HandheldState::readOpenDbInfo(SmOpenDbInfoRequest* request, SmOpenDbInfo* info) {
    if (!request || !info) return STANDIN_ERR_BAD_ARGUMENT;
    int32_t error = 0;
    DbSlot* slot = dbOfHandle(request->handle, error);
    if (!slot) return error;
    std::memset(info, 0, sizeof *info);
    fillListEntry(slot->db, true, info->entry);
    info->recordCount = slot->db.itemCount();
    info->appInfoSize = static_cast<uint32_t>(slot->db.appInfo.size());
    info->sortInfoSize = static_cast<uint32_t>(slot->db.sortInfo.size());
    info->maxRecordSize = slot->db.largestItem();
    return 0;
}

int32_t HandheldState::findDbByName(SmFindDbRequest* request, SmDbListEntry* found) {
    if (!request || !request->name || !found) return STANDIN_ERR_BAD_ARGUMENT;
    if (request->cardNo != 0) return STANDIN_SM_NOT_FOUND;
    DbSlot* slot = findDb(boundedName(request->name, 32));
    if (!slot) return STANDIN_SM_NOT_FOUND;
    fillListEntry(slot->db, isOpen(slot->id), *found);
    return 0;
}

namespace {
// Copies an item into the caller's raw record; a buffer that cannot hold it gets nothing.
int32_t deliver(const std::string& data, SmRawRecord* record, bool body) {
    record->dataSize = static_cast<uint32_t>(data.size());
    if (!body) return 0;
    if (data.size() > record->bufferSize) return STANDIN_SM_TOO_SMALL;
    if (!data.empty()) {
        if (!record->buffer) return STANDIN_ERR_BAD_ARGUMENT;
        std::memcpy(record->buffer, data.data(), data.size());
    }
    return 0;
}

bool incoming(const SmRawRecord* record, std::string& data) {
    if (record->dataSize != 0 && !record->buffer) return false;
    data.assign(static_cast<const char*>(record->buffer), record->dataSize);
    return true;
}
}  // namespace

int32_t HandheldState::readRecordByIndex(SmRawRecord* record) {
    if (!record) return STANDIN_ERR_BAD_ARGUMENT;
    int32_t error = 0;
    DbSlot* slot = dbOfHandle(record->handle, error);
    if (!slot) return error;
    if (slot->db.isResource()) return STANDIN_SM_WRONG_KIND;
    if (record->index >= slot->db.records.size()) return STANDIN_SM_NOT_FOUND;
    const RamRecord& r = slot->db.records[record->index];
    int32_t rc = deliver(r.data, record, true);
    record->recordId = r.uniqueId;
    record->attributes = r.attributes;
    return rc;
}

int32_t HandheldState::readResourceByIndex(SmRawRecord* record, int32_t withBody) {
    if (!record) return STANDIN_ERR_BAD_ARGUMENT;
    int32_t error = 0;
    DbSlot* slot = dbOfHandle(record->handle, error);
    if (!slot) return error;
    if (!slot->db.isResource()) return STANDIN_SM_WRONG_KIND;
    if (record->index >= slot->db.resources.size()) return STANDIN_SM_NOT_FOUND;
    const RamResource& r = slot->db.resources[record->index];
    int32_t rc = deliver(r.data, record, withBody != 0);
    record->recordId = r.type;
    record->index = r.id;
    record->attributes = 0;
    return rc;
}

int32_t HandheldState::writeRecord(SmRawRecord* record) {
    if (!record) return STANDIN_ERR_BAD_ARGUMENT;
    int32_t error = 0;
    DbSlot* slot = dbOfHandle(record->handle, error);
    if (!slot) return error;
    if (!(handles_[record->handle].mode & SM_OPEN_WRITE)) return STANDIN_SM_READ_ONLY;
    if (slot->db.isResource()) return STANDIN_SM_WRONG_KIND;
    std::string data;
    if (!incoming(record, data)) return STANDIN_ERR_BAD_ARGUMENT;
    RamDatabase& db = slot->db;
    uint32_t id = record->recordId & 0xFFFFFF;
    RamRecord* target = nullptr;
    if (id != 0)
        for (RamRecord& r : db.records)
            if (r.uniqueId == id) target = &r;
    if (!target) {
        if (id == 0) {
            id = ++db.uniqueIdSeed & 0xFFFFFF;
        } else if (id > db.uniqueIdSeed) {
            db.uniqueIdSeed = id;
        }
        db.records.push_back(RamRecord());
        target = &db.records.back();
        target->uniqueId = id;
    }
    target->attributes = record->attributes;
    target->data = data;
    record->recordId = id;
    touch(db);
    return 0;
}

int32_t HandheldState::writeResource(SmRawRecord* record) {
    if (!record) return STANDIN_ERR_BAD_ARGUMENT;
    int32_t error = 0;
    DbSlot* slot = dbOfHandle(record->handle, error);
    if (!slot) return error;
    if (!(handles_[record->handle].mode & SM_OPEN_WRITE)) return STANDIN_SM_READ_ONLY;
    if (!slot->db.isResource()) return STANDIN_SM_WRONG_KIND;
    std::string data;
    if (!incoming(record, data)) return STANDIN_ERR_BAD_ARGUMENT;
    RamDatabase& db = slot->db;
    RamResource* target = nullptr;
    for (RamResource& r : db.resources)
        if (r.type == record->recordId && r.id == record->index) target = &r;
    if (!target) {
        db.resources.push_back(RamResource());
        target = &db.resources.back();
        target->type = record->recordId;
        target->id = record->index;
    }
    target->data = data;
    touch(db);
    return 0;
}

int32_t HandheldState::readBlock(uint8_t handle, SmBlockRecord* block, bool sortInfo) {
    if (!block) return STANDIN_ERR_BAD_ARGUMENT;
    int32_t error = 0;
    DbSlot* slot = dbOfHandle(handle, error);
    if (!slot) return error;
    const std::string& data = sortInfo ? slot->db.sortInfo : slot->db.appInfo;
    if (data.empty()) return STANDIN_SM_NOT_FOUND;
    block->dataSize = static_cast<uint32_t>(data.size());
    if (data.size() > block->bufferSize) return STANDIN_SM_TOO_SMALL;
    if (!block->buffer) return STANDIN_ERR_BAD_ARGUMENT;
    std::memcpy(block->buffer, data.data(), data.size());
    return 0;
}

int32_t HandheldState::writeBlock(uint8_t handle, SmBlockRecord* block, bool sortInfo) {
    if (!block) return STANDIN_ERR_BAD_ARGUMENT;
    int32_t error = 0;
    DbSlot* slot = dbOfHandle(handle, error);
    if (!slot) return error;
    if (!(handles_[handle].mode & SM_OPEN_WRITE)) return STANDIN_SM_READ_ONLY;
    if (block->bufferSize != 0 && !block->buffer) return STANDIN_ERR_BAD_ARGUMENT;
    std::string data(static_cast<const char*>(block->buffer), block->bufferSize);
    (sortInfo ? slot->db.sortInfo : slot->db.appInfo) = data;
    touch(slot->db);
    return 0;
}

// ---------------------------------------------------------------- companion application

int32_t HandheldState::callRemoteModule(SmRemoteCall* call) {
    if (!call || (call->paramSize != 0 && !call->param)) return STANDIN_ERR_BAD_ARGUMENT;
    if (!ini_.has("Device", "Companion") || call->creator != kCompanionCreator || call->type != kCompanionType)
        return STANDIN_SM_NO_APPLICATION;
    // The request text ends at its NUL or at the parameter size, whichever comes first.
    std::string text = boundedName(call->param ? call->param : "", call->paramSize);
    call->actualResultSize = 0;
    call->resultCode = call->request == 0 ? companionProbe() : companionRequest(call->request, text);
    return 0;
}

bool HandheldState::putTransferDatabase(const std::string& bytes, bool textReply, bool reply) {
    // With TransferAdds a reply goes into a transfer database left on the handheld, after
    // its records, as a companion does that opens the database it finds.
    const bool adds = reply && ini_.getInt("Device", "TransferAdds", 0) != 0;
    RamDatabase db;
    for (size_t i = 0; i < dbs_.size(); ++i) {
        if (dbs_[i].db.name != kCompanionTransferDatabase) continue;
        if (isOpen(dbs_[i].id)) return false;
        if (adds) db = dbs_[i].db;
        dbs_.erase(dbs_.begin() + static_cast<long>(i));
        break;
    }
    db.name = kCompanionTransferDatabase;
    db.creator = kCompanionCreator;
    db.type = kCompanionTransferType;
    db.modified = now();
    if (db.created == 0) db.created = db.modified;
    size_t piece = textReply ? kReplyTextPerRecord : kReplyRecord;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        RamRecord r;
        r.uniqueId = ++db.uniqueIdSeed;
        if (textReply) {
            // Eight lead bytes of the companion's own, which the conduit drops.
            uint32_t seq = static_cast<uint32_t>(at / piece);
            r.data = "Tnwk";
            for (int s = 24; s >= 0; s -= 8) r.data += static_cast<char>((seq >> s) & 0xFF);
        }
        r.data += bytes.substr(at, piece);
        db.records.push_back(r);
    }
    dbs_.push_back({nextDbId_++, db});
    return true;
}

bool HandheldState::takeTransferDatabase(std::string& bytes) {
    bytes.clear();
    for (size_t i = 0; i < dbs_.size(); ++i) {
        if (dbs_[i].db.name != kCompanionTransferDatabase) continue;
        if (isOpen(dbs_[i].id)) return false;
        for (const RamRecord& r : dbs_[i].db.records) bytes += r.data;
        dbs_.erase(dbs_.begin() + static_cast<long>(i));
        return true;
    }
    return false;
}

int32_t HandheldState::companionProbe() {
    long mode = ini_.getInt("Device", "Companion", 0);
    if (mode == 2 || mode == 3) {
        std::string listing;
        if (!readHostFile(dir_ + "\\listing.txt", listing)) {
            listing.clear();
            for (const auto& v : volumes_) {
                // The companion's own card listing file is not one of the user's files.
                std::vector<const CardNode*> nodes;
                for (const CardNode* n : v->card.nodes())
                    if (!n->inMemory) nodes.push_back(n);
                listing += cardSection(companionCardName(*v), nodes);
            }
        }
        if (!putTransferDatabase(listing, true, false)) return STANDIN_COMPANION_FAILED;
    }
    return static_cast<int32_t>(mode);
}

int32_t HandheldState::companionRequest(uint16_t request, const std::string& text) {
    // The conduit sends names in the ANSI code page: ポ ends in the byte of "|".
    std::vector<std::string> fields = split(text, '|', names::ansiCodePage());
    if (request == 9) {
        if (fields.size() != 1 || !volumeOfCard(fields[0])) return STANDIN_COMPANION_BAD_REQUEST;
        return static_cast<int32_t>(ini_.getInt("Device", "SliceFigure", kDefaultSliceFigure));
    }
    size_t wanted = request == 2 ? 4 : request == 8 ? 3 : 2;
    if (request < 2 || request > 8 || fields.size() != wanted) return STANDIN_COMPANION_BAD_REQUEST;
    Volume* v = volumeOfCard(fields[0]);
    if (!v) return STANDIN_COMPANION_BAD_REQUEST;
    CardVolume& card = v->card;
    std::string nameText = fields[1];
    bool append = false;
    if (request == 3 && !nameText.empty() && nameText[0] == '*') {
        append = true;
        nameText.erase(0, 1);
    }
    if (request == 5 || request == 6) nameText += "/";  // the conduit sends directories bare
    CardName name;
    if (!card.parseName(nameText.c_str(), name)) return STANDIN_COMPANION_BAD_REQUEST;
    const CardNode* node = card.find(name.path);

    switch (request) {
    case 2: {
        uint64_t offset = 0, length = 0;
        if (!parseDecimal(fields[2], offset) || !parseDecimal(fields[3], length)) return STANDIN_COMPANION_BAD_REQUEST;
        if (!node) return STANDIN_COMPANION_NOT_FOUND;
        if (node->directory) return STANDIN_COMPANION_FAILED;
        std::string bytes;
        if (card.readRange(name.path, offset, length, bytes) != 0) return STANDIN_COMPANION_FAILED;
        return putTransferDatabase(bytes, false, true) ? 0 : STANDIN_COMPANION_FAILED;
    }
    case 3: {
        std::string bytes;
        // The request consumes the transfer database, so the next slice starts from none.
        if (!takeTransferDatabase(bytes)) return STANDIN_COMPANION_NOT_FOUND;
        int32_t rc = card.writeFile(name.path, bytes, append);
        return rc == 0 ? 0 : rc == VFS_ERR_NOT_FOUND ? STANDIN_COMPANION_NOT_FOUND : STANDIN_COMPANION_FAILED;
    }
    case 4:
        if (!node || (name.markedDirectory && !node->directory)) return STANDIN_COMPANION_NOT_FOUND;
        return putTransferDatabase(entryLine(*node), true, true) ? 0 : STANDIN_COMPANION_FAILED;
    case 5: {
        if (node) return node->directory ? 0 : STANDIN_COMPANION_FAILED;
        int32_t rc = card.createDirectory(name.path);
        return rc == 0 ? 0 : rc == VFS_ERR_NOT_FOUND ? STANDIN_COMPANION_NOT_FOUND : STANDIN_COMPANION_FAILED;
    }
    case 6:
        if (!node) return 0;
        if (!node->directory || name.path == "/") return STANDIN_COMPANION_FAILED;
        return card.remove(name.path) == 0 ? 0 : STANDIN_COMPANION_FAILED;
    case 7:
        if (!node) return 0;
        if (node->directory) return STANDIN_COMPANION_FAILED;
        return card.remove(name.path) == 0 ? 0 : STANDIN_COMPANION_FAILED;
    case 8: {
        if (!node) return STANDIN_COMPANION_NOT_FOUND;
        int32_t rc = card.rename(name.path, fields[2]);
        return rc == 0 ? 0
               : rc == VFS_ERR_EXISTS ? STANDIN_COMPANION_EXISTS
               : rc == VFS_ERR_BAD_NAME ? STANDIN_COMPANION_BAD_REQUEST
                                        : STANDIN_COMPANION_FAILED;
    }
    }
    return STANDIN_COMPANION_BAD_REQUEST;
}

// ---------------------------------------------------------------- VFS

int32_t HandheldState::vfsSupport(uint32_t* a, uint32_t* b) {
    if (!a || !b) return VFS_ERR_BAD_NAME;
    uint32_t usable = ini_.getInt("Device", "Vfs", 0) != 0 ? 1 : 0;
    *a = usable;
    *b = usable;
    return 0;
}

int32_t HandheldState::vfsVolumeEnumerate(uint16_t* count, VfsVolume* volumes) {
    if (!count) return VFS_ERR_BAD_NAME;
    if (!volumes) {
        *count = static_cast<uint16_t>(volumes_.size());
        return 0;
    }
    uint16_t n = 0;
    for (; n < *count && n < volumes_.size(); ++n) volumes[n] = volumes_[n]->ref;
    *count = n;
    return 0;
}

int32_t HandheldState::vfsVolumeGetLabel(VfsVolume volume, char* label, uint32_t* length) {
    if (!label || !length) return VFS_ERR_BAD_NAME;
    Volume* v = findVolume(volume);
    if (!v) return STANDIN_VFS_NO_VOLUME;
    // The length is the buffer's size; the label is cut to fit with its NUL.
    if (*length == 0) return STANDIN_VFS_WRONG_KIND;
    size_t n = std::min<size_t>(v->label.size(), *length - 1);
    std::memcpy(label, v->label.data(), n);
    label[n] = '\0';
    *length = static_cast<uint32_t>(n);
    return 0;
}

int32_t HandheldState::vfsVolumeSetLabel(VfsVolume volume, const char* label) {
    if (!label) return VFS_ERR_BAD_NAME;
    Volume* v = findVolume(volume);
    if (!v) return STANDIN_VFS_NO_VOLUME;
    std::string text = label;
    for (unsigned char c : text)
        if (c < 0x20 || std::strchr("\\/:*?\"<>|", c)) return VFS_ERR_BAD_NAME;
    if (text.size() > 255) return VFS_ERR_BAD_NAME;
    // A card holds its new label at once: a HotSync killed after labelling leaves the card
    // under that label. device.ini is replaced whole, so it has the old label or the new.
    const std::string changed = setIniValue(iniText_, "Volume" + std::to_string(v->index), "Label", text);
    if (!writeHostFileWhole(dir_ + "\\device.ini", changed)) return STANDIN_VFS_HOST_FAILED;
    iniText_ = changed;
    v->label = text;
    return 0;
}

namespace {
// The node a name stands for, checking the name and a trailing "/" against its kind.
int32_t resolve(CardVolume& card, const char* text, CardName& name, const CardNode*& node) {
    if (!card.parseName(text, name)) return VFS_ERR_BAD_NAME;
    node = card.find(name.path);
    if (!node) return VFS_ERR_NOT_FOUND;
    if (name.markedDirectory && !node->directory) return STANDIN_VFS_WRONG_KIND;
    return 0;
}
}  // namespace

int32_t HandheldState::vfsFileGet(VfsVolume volume, const char* cardName, const char* pcPath) {
    Volume* v = findVolume(volume);
    if (!v) return STANDIN_VFS_NO_VOLUME;
    if (!pcPath || !*pcPath) return VFS_ERR_BAD_NAME;
    CardName name;
    const CardNode* node = nullptr;
    int32_t rc = resolve(v->card, cardName, name, node);
    if (rc != 0) return rc;
    return v->card.copyToHost(name.path, pcPath);
}

int32_t HandheldState::vfsFilePut(VfsVolume volume, const char* cardName, const char* pcPath) {
    Volume* v = findVolume(volume);
    if (!v) return STANDIN_VFS_NO_VOLUME;
    if (!pcPath || !*pcPath) return VFS_ERR_BAD_NAME;
    CardName name;
    if (!v->card.parseName(cardName, name) || name.markedDirectory) return VFS_ERR_BAD_NAME;
    return v->card.copyFromHost(name.path, pcPath);
}

int32_t HandheldState::vfsFileDelete(VfsVolume volume, const char* text) {
    Volume* v = findVolume(volume);
    if (!v) return STANDIN_VFS_NO_VOLUME;
    CardName name;
    const CardNode* node = nullptr;
    int32_t rc = resolve(v->card, text, name, node);
    if (rc != 0) return rc;
    for (const auto& kv : files_)
        if (kv.second.volume == volume && v->card.key(kv.second.path) == v->card.key(name.path)) return STANDIN_VFS_WRONG_KIND;
    return v->card.remove(name.path);
}

int32_t HandheldState::vfsDirCreate(VfsVolume volume, const char* text) {
    Volume* v = findVolume(volume);
    if (!v) return STANDIN_VFS_NO_VOLUME;
    CardName name;
    if (!v->card.parseName(text, name)) return VFS_ERR_BAD_NAME;
    return v->card.createDirectory(name.path);
}

int32_t HandheldState::vfsFileRename(VfsVolume volume, const char* text, const char* newBaseName) {
    Volume* v = findVolume(volume);
    if (!v) return STANDIN_VFS_NO_VOLUME;
    if (!newBaseName) return VFS_ERR_BAD_NAME;
    CardName name;
    const CardNode* node = nullptr;
    int32_t rc = resolve(v->card, text, name, node);
    if (rc != 0) return rc;
    return v->card.rename(name.path, newBaseName);
}

int32_t HandheldState::vfsFileOpen(VfsVolume volume, const char* text, uint16_t, VfsFileRef* file) {
    if (!file) return VFS_ERR_BAD_NAME;
    Volume* v = findVolume(volume);
    if (!v) return STANDIN_VFS_NO_VOLUME;
    CardName name;
    const CardNode* node = nullptr;
    int32_t rc = resolve(v->card, text, name, node);
    if (rc != 0) return rc;
    VfsFileRef ref = nextFileRef_++;
    files_[ref] = {volume, node->path};
    *file = ref;
    return 0;
}

namespace {
const CardNode* nodeOf(HandheldState&, const CardVolume* card, const std::string& path) {
    return card ? card->find(path) : nullptr;
}
}  // namespace

int32_t HandheldState::vfsFileGetDate(VfsFileRef file, uint16_t which, uint32_t* date) {
    auto it = files_.find(file);
    if (it == files_.end()) return STANDIN_VFS_BAD_REF;
    if (!date || which < 1 || which > 3) return VFS_ERR_BAD_NAME;
    const CardNode* node = nodeOf(*this, volume(it->second.volume), it->second.path);
    if (!node) return VFS_ERR_NOT_FOUND;
    *date = node->time;
    return 0;
}

int32_t HandheldState::vfsFileGetAttributes(VfsFileRef file, uint32_t* attributes) {
    auto it = files_.find(file);
    if (it == files_.end()) return STANDIN_VFS_BAD_REF;
    if (!attributes) return VFS_ERR_BAD_NAME;
    const CardNode* node = nodeOf(*this, volume(it->second.volume), it->second.path);
    if (!node) return VFS_ERR_NOT_FOUND;
    *attributes = node->attributes | (node->directory ? VFS_ATTR_DIRECTORY : 0);
    return 0;
}

int32_t HandheldState::vfsFileSize(VfsFileRef file, uint32_t* size) {
    auto it = files_.find(file);
    if (it == files_.end()) return STANDIN_VFS_BAD_REF;
    if (!size) return VFS_ERR_BAD_NAME;
    const CardNode* node = nodeOf(*this, volume(it->second.volume), it->second.path);
    if (!node) return VFS_ERR_NOT_FOUND;
    *size = node->size;
    return 0;
}

int32_t HandheldState::vfsFileClose(VfsFileRef file) { return files_.erase(file) ? 0 : STANDIN_VFS_BAD_REF; }

// ---------------------------------------------------------------- user data

int32_t HandheldState::userByFolder(const char* folder, uint32_t* user) {
    if (!folder || !user) return STANDIN_ERR_BAD_ARGUMENT;
    if (anyUser_) {
        *user = 1;
        return 0;
    }
    std::string wanted = trimSlashes(folder);
    for (size_t i = 0; i < users_.size(); ++i) {
        if (equalsNoCase(users_[i].folder, wanted)) {
            *user = static_cast<uint32_t>(i + 1);
            return 0;
        }
    }
    return STANDIN_SM_NOT_FOUND;
}

int32_t HandheldState::userValue(uint32_t user, uint32_t creator, int32_t* value, bool second) {
    if (!value) return STANDIN_ERR_BAD_ARGUMENT;
    if (anyUser_ && user == 1) return -1;
    if (user == 0 || user > users_.size()) return STANDIN_ERR_BAD_ARGUMENT;
    const User& u = users_[user - 1];
    auto it = u.values.find(creator);
    // A conduit the user has no value for answers -1, as for a user who never set one.
    if (it == u.values.end()) return -1;
    const UserValue& v = second ? it->second.second : it->second.first;
    if (v.result == 0) *value = v.value;
    return v.result;
}
