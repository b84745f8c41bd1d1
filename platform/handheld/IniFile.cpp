#include "platform/handheld/IniFile.h"

#include <cctype>
#include <cstdlib>

namespace {
std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}
}  // namespace

bool equalsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string lowerCase(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

IniFile IniFile::parse(const std::string& text) {
    IniFile ini;
    Section* current = nullptr;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            std::string name = trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            ini.sections_.push_back({name, {}});
            current = &ini.sections_.back();
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos || !current) continue;
        std::string value = line.substr(eq + 1);
        // A comment needs a blank before the semicolon, so values may hold ';' themselves.
        for (size_t i = 1; i < value.size(); ++i) {
            if (value[i] == ';' && std::isspace(static_cast<unsigned char>(value[i - 1]))) {
                value.resize(i);
                break;
            }
        }
        current->lines.emplace_back(trim(line.substr(0, eq)), trim(value));
    }
    return ini;
}

const IniFile::Section* IniFile::find(const std::string& section) const {
    for (const Section& s : sections_)
        if (equalsNoCase(s.name, section)) return &s;
    return nullptr;
}

bool IniFile::hasSection(const std::string& section) const { return find(section) != nullptr; }

bool IniFile::has(const std::string& section, const std::string& key) const {
    if (const Section* s = find(section))
        for (const auto& kv : s->lines)
            if (equalsNoCase(kv.first, key)) return true;
    return false;
}

std::string IniFile::get(const std::string& section, const std::string& key, const std::string& fallback) const {
    if (const Section* s = find(section))
        for (const auto& kv : s->lines)
            if (equalsNoCase(kv.first, key)) return kv.second;
    return fallback;
}

long IniFile::getInt(const std::string& section, const std::string& key, long fallback) const {
    if (!has(section, key)) return fallback;
    std::string v = get(section, key);
    char* end = nullptr;
    long n = std::strtol(v.c_str(), &end, 0);
    return (end && end != v.c_str()) ? n : fallback;
}

std::vector<std::pair<std::string, std::string>> IniFile::entries(const std::string& section) const {
    if (const Section* s = find(section)) return s->lines;
    return {};
}
