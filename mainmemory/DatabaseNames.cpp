#include "mainmemory/DatabaseNames.h"

#include <cstring>

namespace {
constexpr size_t kNameField = 32;
constexpr size_t kLongName = 31;  // a full name: its copies keep the length
bool isDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

std::string databaseFileName(const std::string& dbName, bool resource) {
    std::string file = dbName;
    for (char& c : file)
        if (c == ' ' || c == '.') c = '_';
    return file + (resource ? ".prc" : ".pdb");
}

std::string databaseNameInFile(const uint8_t* data, size_t size) {
    const size_t limit = size < kNameField ? size : kNameField;
    const void* nul = std::memchr(data, 0, limit);
    const size_t len = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - data) : limit;
    return std::string(reinterpret_cast<const char*>(data), len);
}

bool newUniqueDatabaseName(const std::string& name, const EntryMap& entries, std::string& candidate) {
    candidate = name;
    if (candidate.size() >= kLongName) {
        char& last = candidate.back();
        if (last == '9') return false;
        last = isDigit(last) ? static_cast<char>(last + 1) : '2';
    } else {
        candidate += '2';
    }
    while (entries.count(candidate) != 0) {
        char& last = candidate.back();
        if (last == '9') return false;
        ++last;
    }
    return true;
}

bool renamedDatabaseFile(const std::string& content, const std::string& newName, std::string& renamed) {
    if (content.size() < kNameField) return false;
    renamed = content;
    // The name and its NUL; a name filling the whole field has no room for the NUL, which
    // is how such a name is stored anyway.
    const size_t len = newName.size() < kNameField ? newName.size() : kNameField;
    std::memcpy(&renamed[0], newName.data(), len);
    if (len < kNameField) renamed[len] = '\0';
    return true;
}
