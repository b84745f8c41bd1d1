#include "platform/handheld/CardNames.h"

#include <cstring>

bool validBaseName(const names::CodePage& cp, const std::string& base) {
    if (base.empty() || base.size() > 255 || base == "." || base == "..") return false;
    for (size_t i = 0; i < base.size(); i += names::characterLength(cp, base, i)) {
        const unsigned char c = static_cast<unsigned char>(base[i]);
        if (names::characterLength(cp, base, i) == 1 && (c < 0x20 || std::strchr("/\\:*?\"<>|", c))) return false;
    }
    return true;
}

bool parseCardName(const names::CodePage& cp, const char* text, CardName& out) {
    if (!text || text[0] != '/') return false;
    std::string s(text);
    out.markedDirectory = false;
    if (s == "/") {
        out.path = "/";
        out.markedDirectory = true;
        return true;
    }
    if (s.back() == '/') {
        out.markedDirectory = true;
        s.pop_back();
    }
    size_t pos = 1;
    while (pos <= s.size()) {
        size_t next = names::findSeparator(cp, s, "/", pos);
        if (next == std::string::npos) next = s.size();
        if (!validBaseName(cp, s.substr(pos, next - pos))) return false;
        pos = next + 1;
    }
    out.path = s;
    return true;
}

std::string parentOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
