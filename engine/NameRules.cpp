#include "engine/NameRules.h"

std::string cardRelativeName(const std::string& pcDirectory, const std::string& pcPath) {
    std::string name = pcPath.size() > pcDirectory.size() ? pcPath.substr(pcDirectory.size()) : std::string();
    for (char& c : name) {
        if (c == '\\') c = '/';
    }
    return name;
}

std::string cardPcPath(const std::string& pcDirectory, const std::string& name) {
    std::string tail = name;
    if (!tail.empty() && tail.back() == '/') tail.pop_back();
    for (char& c : tail) {
        if (c == '/') c = '\\';
    }
    return pcDirectory + tail;
}

std::string withSuffixBeforeExtension(const std::string& path, const std::string& suffix) {
    const size_t lastSeparator = path.find_last_of("\\/");
    const size_t componentStart = lastSeparator == std::string::npos ? 0 : lastSeparator + 1;
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < componentStart) return path + suffix;
    return path.substr(0, dot) + suffix + path.substr(dot);
}

std::string upperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
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
