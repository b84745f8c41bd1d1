#include "platform/stubs/RegistrationRules.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "ConduitRegistration.h"

bool parseCreator(const char* text, uint32_t& creator) {
    if (!text || std::strlen(text) != 4) return false;
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(text[i]);
    creator = value;
    return true;
}

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
bool isFullPath(const std::string& p) {
    bool drive = p.size() >= 3 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':' &&
                 (p[2] == '\\' || p[2] == '/');
    bool share = p.size() >= 3 && (p[0] == '\\' || p[0] == '/') && (p[1] == '\\' || p[1] == '/');
    return drive || share;
}

const uint8_t kEntryMark[4] = {'C', 'm', 'E', 'n'};
}  // namespace

bool isValidText(CreatorText which, const char* value) {
    if (!value) return false;
    std::string text = value;
    switch (which) {
    case CreatorText::Name:
        return !text.empty() && text.size() < 64;
    case CreatorText::File:
        return isFullPath(text) && text.size() < 260;
    case CreatorText::Directory:
        return !text.empty() && text.size() < 64 && text.find_first_of("\\/:") == std::string::npos;
    }
    return false;
}

int copyOut(const std::string& value, char* buffer, int* size) {
    if (!buffer || !size || *size < 0) return CM_ERR_BAD_ARGUMENT;
    int needed = static_cast<int>(value.size()) + 1;
    bool fits = *size >= needed;
    *size = needed;
    if (!fits) return CM_ERR_BUFFER_TOO_SMALL;
    std::memcpy(buffer, value.c_str(), value.size() + 1);
    return 0;
}

void fillConduitEntry(uint8_t (&bytes)[12], uint32_t index, uint32_t creator) {
    std::memcpy(bytes, kEntryMark, 4);
    std::memcpy(bytes + 4, &index, 4);
    std::memcpy(bytes + 8, &creator, 4);
}

bool conduitEntryCreator(const uint8_t (&bytes)[12], uint32_t& creator) {
    if (std::memcmp(bytes, kEntryMark, 4) != 0) return false;
    std::memcpy(&creator, bytes + 8, 4);
    return true;
}

void sortRunOrder(std::vector<ConduitEntry>& entries) {
    std::sort(entries.begin(), entries.end(), [](const ConduitEntry& a, const ConduitEntry& b) {
        return a.priority != b.priority ? a.priority < b.priority : a.creator < b.creator;
    });
}
