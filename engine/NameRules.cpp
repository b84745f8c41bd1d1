#include "engine/NameRules.h"

std::string withSuffixBeforeExtension(const std::string& path, const std::string& suffix) {
    const size_t lastSeparator = path.find_last_of("\\/");
    const size_t componentStart = lastSeparator == std::string::npos ? 0 : lastSeparator + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < componentStart) dot = path.size();
    const size_t length = path.size() - componentStart + suffix.size();
    size_t cut = dot;
    if (length > kLongestBaseName) {
        const size_t over = length - kLongestBaseName;
        cut = dot - componentStart > over ? dot - over : componentStart;
        while (cut > componentStart && static_cast<unsigned char>(path[cut - 1]) >= 0x80) --cut;
        if (cut == componentStart) cut = dot;  // cannot be made to fit
    }
    return path.substr(0, cut) + suffix + path.substr(dot);
}

namespace {
char upperAsciiChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

std::string upperAscii(std::string text) {
    for (char& c : text) c = upperAsciiChar(c);
    return text;
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (upperAsciiChar(a[i]) != upperAsciiChar(b[i])) return false;
    }
    return true;
}

int matchException(const std::string& upperName, const std::vector<std::string>& exceptionNames) {
    for (size_t i = 0; i < exceptionNames.size(); ++i) {
        const std::string& prefix = exceptionNames[i];
        if (upperName.compare(0, prefix.size(), prefix) == 0) return static_cast<int>(i);
    }
    return -1;
}

bool sameKindOfName(const std::string& a, const std::string& b) {
    const bool aDir = !a.empty() && a.back() == '/';
    const bool bDir = !b.empty() && b.back() == '/';
    return aDir == bDir;
}

std::string withoutTrailingBackslashes(std::string path) {
    while (path.size() > 1 && path.back() == '\\') path.pop_back();
    return path;
}
