#include "platform/stubs/RegistrationRules.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

std::string creatorKeyName(uint32_t creator) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(creator));
    return text;
}

bool parseCreatorKeyName(const std::string& key, uint32_t& creator) {
    if (key.size() != 8) return false;
    uint32_t value = 0;
    for (char c : key) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else return false;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    creator = value;
    return true;
}

std::string creatorText(uint32_t creator) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        unsigned char c = static_cast<unsigned char>(creator >> shift);
        if (c < 0x20 || c > 0x7E) {
            char hex[11];
            std::snprintf(hex, sizeof hex, "0x%08x", static_cast<unsigned>(creator));
            return hex;
        }
        text += static_cast<char>(c);
    }
    return text;
}

namespace {
char foldPathChar(char c) {
    return c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool isFullPath(const std::string& p) {
    bool drive = p.size() >= 3 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':' &&
                 (p[2] == '\\' || p[2] == '/');
    bool share = p.size() >= 3 && (p[0] == '\\' || p[0] == '/') && (p[1] == '\\' || p[1] == '/');
    return drive || share;
}
}  // namespace

bool samePath(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return foldPathChar(x) == foldPathChar(y); });
}

bool isValidEntry(const ConduitEntry& e) {
    return e.creator != 0 && isFullPath(e.path) && e.path.size() < 260 && !e.name.empty() && e.name.size() < 64 &&
           e.priority >= 0 && e.priority <= 255;
}

RegisterOutcome registerOutcome(const ConduitEntry* existing, const ConduitEntry& wanted) {
    if (!isValidEntry(wanted)) return RegisterOutcome::Refused;
    if (existing && !samePath(existing->path, wanted.path)) return RegisterOutcome::Taken;
    return RegisterOutcome::Store;
}

void sortRunOrder(std::vector<ConduitEntry>& entries) {
    std::sort(entries.begin(), entries.end(), [](const ConduitEntry& a, const ConduitEntry& b) {
        return a.priority != b.priority ? a.priority < b.priority : a.creator < b.creator;
    });
}
