#include "platform/handheld/RamDatabase.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

uint32_t RamDatabase::largestItem() const {
    size_t largest = 0;
    for (const RamRecord& r : records) largest = r.data.size() > largest ? r.data.size() : largest;
    for (const RamResource& r : resources) largest = r.data.size() > largest ? r.data.size() : largest;
    return static_cast<uint32_t>(largest);
}

namespace {
const char kMagic[] = "TarnwickSim database 1";

std::string fourCcText(uint32_t code) {
    std::string s;
    for (int i = 3; i >= 0; --i) {
        unsigned char c = static_cast<unsigned char>(code >> (8 * i));
        if (c <= 0x20 || c >= 0x7F || c == '=') {
            char buf[16];
            std::snprintf(buf, sizeof buf, "0x%08x", code);
            return buf;
        }
        s += static_cast<char>(c);
    }
    return s;
}

bool parseUnsigned(const std::string& text, uint32_t& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > 0xFFFFFFFFULL) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool parseHex(const std::string& text, std::string& out) {
    out.clear();
    if (text.size() % 2 != 0) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        int hi = hexDigit(text[i]), lo = hexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
    }
    return true;
}

bool parseEscaped(const std::string& text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= text.size()) return false;
        switch (text[i]) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '0': out += '\0'; break;
        case '\\': out += '\\'; break;
        case 'x': {
            int hi = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
            int lo = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
            if (hi < 0 || lo < 0) return false;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
        }
        default: return false;
        }
    }
    return true;
}

// "key=value key=value ... hex=..|text=.." after the leading word; text= takes the rest.
bool splitFields(const std::string& rest, std::vector<std::pair<std::string, std::string>>& fields) {
    size_t pos = 0;
    while (pos < rest.size()) {
        while (pos < rest.size() && rest[pos] == ' ') ++pos;
        if (pos >= rest.size()) break;
        size_t eq = rest.find('=', pos);
        if (eq == std::string::npos) return false;
        std::string key = rest.substr(pos, eq - pos);
        if (key == "text") {
            fields.emplace_back(key, rest.substr(eq + 1));
            return true;
        }
        size_t end = rest.find(' ', eq);
        if (end == std::string::npos) end = rest.size();
        fields.emplace_back(key, rest.substr(eq + 1, end - eq - 1));
        pos = end;
    }
    return true;
}

bool itemData(const std::vector<std::pair<std::string, std::string>>& fields, std::string& data) {
    for (const auto& f : fields) {
        if (f.first == "hex") return parseHex(f.second, data);
        if (f.first == "text") return parseEscaped(f.second, data);
    }
    data.clear();
    return true;
}
}  // namespace

std::string hexBytes(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

uint32_t parseFourCc(const std::string& text, bool& ok) {
    ok = true;
    if (text.size() == 4 && text.compare(0, 2, "0x") != 0) {
        uint32_t v = 0;
        for (char c : text) v = (v << 8) | static_cast<unsigned char>(c);
        return v;
    }
    uint32_t v = 0;
    ok = parseUnsigned(text, v);
    return v;
}

std::string storeRamDatabase(const RamDatabase& db) {
    std::ostringstream out;
    char buf[64];
    out << kMagic << '\n';
    out << "name=" << db.name << '\n';
    std::snprintf(buf, sizeof buf, "attributes=0x%04x\n", db.attributes);
    out << buf;
    out << "version=" << db.version << '\n';
    out << "type=" << fourCcText(db.type) << '\n';
    out << "creator=" << fourCcText(db.creator) << '\n';
    out << "created=" << db.created << '\n';
    out << "modified=" << db.modified << '\n';
    out << "backup=" << db.backup << '\n';
    out << "modnum=" << db.modNumber << '\n';
    out << "uidseed=" << db.uniqueIdSeed << '\n';
    if (!db.appInfo.empty()) out << "appinfo=" << hexBytes(db.appInfo) << '\n';
    if (!db.sortInfo.empty()) out << "sortinfo=" << hexBytes(db.sortInfo) << '\n';
    for (const RamRecord& r : db.records) {
        std::snprintf(buf, sizeof buf, "record attr=0x%02x uid=0x%06x hex=", r.attributes, r.uniqueId & 0xFFFFFF);
        out << buf << hexBytes(r.data) << '\n';
    }
    for (const RamResource& r : db.resources)
        out << "resource type=" << fourCcText(r.type) << " id=" << r.id << " hex=" << hexBytes(r.data) << '\n';
    return out.str();
}

bool parseRamDatabase(const std::string& text, RamDatabase& db, std::string& error) {
    db = RamDatabase();
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line)) {
        error = "empty file";
        return false;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line != kMagic) {
        error = "not a stored database";
        return false;
    }
    bool haveName = false;
    int lineNo = 1;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        error = "line " + std::to_string(lineNo) + ": " + line.substr(0, 40);
        if (line.compare(0, 7, "record ") == 0 || line.compare(0, 9, "resource ") == 0) {
            bool resource = line[2] == 's';
            std::vector<std::pair<std::string, std::string>> fields;
            if (!splitFields(line.substr(resource ? 9 : 7), fields)) return false;
            std::string data;
            if (!itemData(fields, data)) return false;
            if (resource) {
                RamResource r;
                r.data = data;
                for (const auto& f : fields) {
                    bool ok = true;
                    uint32_t v = 0;
                    if (f.first == "type") r.type = parseFourCc(f.second, ok);
                    else if (f.first == "id") { ok = parseUnsigned(f.second, v) && v <= 0xFFFF; r.id = static_cast<uint16_t>(v); }
                    if (!ok) return false;
                }
                db.resources.push_back(r);
            } else {
                RamRecord r;
                r.data = data;
                for (const auto& f : fields) {
                    uint32_t v = 0;
                    if (f.first == "attr") {
                        if (!parseUnsigned(f.second, v) || v > 0xFF) return false;
                        r.attributes = static_cast<uint8_t>(v);
                    } else if (f.first == "uid") {
                        if (!parseUnsigned(f.second, v) || v > 0xFFFFFF) return false;
                        r.uniqueId = v;
                    }
                }
                db.records.push_back(r);
            }
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) return false;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        uint32_t v = 0;
        bool ok = true;
        if (key == "name") {
            if (value.empty() || value.size() > 31) return false;
            db.name = value;
            haveName = true;
        } else if (key == "attributes") {
            ok = parseUnsigned(value, v) && v <= 0xFFFF;
            db.attributes = static_cast<uint16_t>(v);
        } else if (key == "version") {
            ok = parseUnsigned(value, v) && v <= 0xFFFF;
            db.version = static_cast<uint16_t>(v);
        } else if (key == "type") {
            db.type = parseFourCc(value, ok);
        } else if (key == "creator") {
            db.creator = parseFourCc(value, ok);
        } else if (key == "created") {
            ok = parseUnsigned(value, db.created);
        } else if (key == "modified") {
            ok = parseUnsigned(value, db.modified);
        } else if (key == "backup") {
            ok = parseUnsigned(value, db.backup);
        } else if (key == "modnum") {
            ok = parseUnsigned(value, db.modNumber);
        } else if (key == "uidseed") {
            ok = parseUnsigned(value, db.uniqueIdSeed);
        } else if (key == "appinfo") {
            ok = parseHex(value, db.appInfo);
        } else if (key == "sortinfo") {
            ok = parseHex(value, db.sortInfo);
        } else {
            ok = false;
        }
        if (!ok) return false;
    }
    if (!haveName) {
        error = "no name";
        return false;
    }
    if (db.isResource() ? !db.records.empty() : !db.resources.empty()) {
        error = "records and resources do not match the attribute word";
        return false;
    }
    for (const RamRecord& r : db.records)
        if (r.uniqueId > db.uniqueIdSeed) db.uniqueIdSeed = r.uniqueId;
    error.clear();
    return true;
}
