#include "names/CodePage.h"

#include <type_traits>

namespace names {

const CodePage& asciiOnly() {
    static const CodePage table = [] {
        CodePage t;
        for (int c = 0; c < 256; ++c) t.lower[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return t;
    }();
    return table;
}

size_t characterLength(const CodePage& cp, const std::string& text, size_t at) {
    // Every two-byte code page Windows has takes trail bytes from 0x40 up: "/", ".", ":" and
    // the other marks of a path below it are never a trail byte, whatever comes before them.
    return cp.lead[static_cast<unsigned char>(text[at])] && at + 1 < text.size() &&
                   static_cast<unsigned char>(text[at + 1]) >= 0x40
               ? 2
               : 1;
}

namespace {

// The character at text[at] in its small form, as one number: a one-byte character's byte
// times 256, a two-byte character's two bytes. A two-byte character never has 0 as its
// second byte, so the two kinds never meet, and the numbers order as the bytes would.
uint32_t foldedAt(const CodePage& cp, const std::string& text, size_t at, size_t& length) {
    length = characterLength(cp, text, at);
    const unsigned char first = static_cast<unsigned char>(text[at]);
    if (length == 1) return static_cast<uint32_t>(cp.lead[first] ? first : cp.lower[first]) << 8;
    const uint32_t pair = static_cast<uint32_t>(first) << 8 | static_cast<unsigned char>(text[at + 1]);
    return cp.pairLower.empty() ? pair : cp.pairLower[pair];
}

}  // namespace

int compareIgnoringCase(const CodePage& cp, const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        size_t la = 0, lb = 0;
        const uint32_t x = foldedAt(cp, a, i, la), y = foldedAt(cp, b, j, lb);
        if (x != y) return x < y ? -1 : 1;
        i += la;
        j += lb;
    }
    if (i < a.size()) return 1;
    return j < b.size() ? -1 : 0;
}

bool sameIgnoringCase(const CodePage& cp, const std::string& a, const std::string& b) {
    return compareIgnoringCase(cp, a, b) == 0;
}

bool startsWithIgnoringCase(const CodePage& cp, const std::string& name, const std::string& prefix) {
    size_t i = 0, j = 0;
    while (j < prefix.size()) {
        if (i >= name.size()) return false;
        size_t ln = 0, lp = 0;
        if (foldedAt(cp, name, i, ln) != foldedAt(cp, prefix, j, lp)) return false;
        i += ln;
        j += lp;
    }
    return true;
}

std::string upperAscii(const CodePage& cp, std::string text) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = characterLength(cp, text, i);
        if (length == 1 && text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 'a' + 'A');
        i += length;
    }
    return text;
}

size_t findSeparator(const CodePage& cp, const std::string& text, const char* separators, size_t from) {
    // A position inside a character is reached from the start: trail bytes are only known so.
    for (size_t i = 0; i < text.size();) {
        const size_t length = characterLength(cp, text, i);
        if (i >= from && length == 1) {
            for (const char* s = separators; *s; ++s)
                if (text[i] == *s) return i;
        }
        i += length;
    }
    return std::string::npos;
}

size_t findLastSeparator(const CodePage& cp, const std::string& text, const char* separators) {
    size_t last = std::string::npos;
    for (size_t at = findSeparator(cp, text, separators); at != std::string::npos;
         at = findSeparator(cp, text, separators, at + 1))
        last = at;
    return last;
}

std::string replaceCharacter(const CodePage& cp, std::string text, char from, char to) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = characterLength(cp, text, i);
        if (length == 1 && text[i] == from) text[i] = to;
        i += length;
    }
    return text;
}

std::string withSuffixBeforeExtension(const CodePage& cp, const std::string& path, const std::string& suffix) {
    const size_t lastSeparator = findLastSeparator(cp, path, "\\/");
    const size_t componentStart = lastSeparator == std::string::npos ? 0 : lastSeparator + 1;
    // The start of each character of the last component, and its last one-byte ".".
    std::vector<size_t> starts;
    size_t dot = path.size();
    for (size_t i = componentStart; i < path.size(); i += characterLength(cp, path, i)) {
        starts.push_back(i);
        if (characterLength(cp, path, i) == 1 && path[i] == '.') dot = i;
    }
    const size_t length = path.size() - componentStart + suffix.size();
    size_t cut = dot;
    if (length > kLongestBaseName) {
        const size_t over = length - kLongestBaseName;
        const size_t want = dot - componentStart > over ? dot - over : componentStart;
        // The last character start at or before want, past the first character.
        cut = componentStart;
        for (size_t start : starts)
            if (start <= want && start < dot) cut = start;
        // A byte of 0x80 or more may be one of a character's bytes in another code page: the
        // cut stays before such bytes, as names move between code pages.
        while (cut > componentStart && static_cast<unsigned char>(path[cut - 1]) >= 0x80) --cut;
        if (cut == componentStart) cut = dot;  // cannot be made to fit
    }
    return path.substr(0, cut) + suffix + path.substr(dot);
}

std::string withoutTrailingBackslashes(const CodePage& cp, std::string path) {
    for (;;) {
        const size_t last = findLastSeparator(cp, path, "\\");
        if (path.size() <= 1 || last != path.size() - 1) return path;
        path.pop_back();
    }
}

namespace {

template <typename String>
bool reservedDevice(const String& component) {
    size_t stem = 0;
    while (stem < component.size() && component[stem] != '.') ++stem;
    while (stem > 0 && component[stem - 1] == ' ') --stem;
    auto upper = [&](size_t i) -> unsigned long {
        const unsigned long c = static_cast<unsigned long>(static_cast<typename std::make_unsigned<typename String::value_type>::type>(component[i]));
        return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
    };
    auto is = [&](const char* word) {
        size_t i = 0;
        for (; word[i]; ++i)
            if (i >= stem || upper(i) != static_cast<unsigned char>(word[i])) return false;
        return i == stem;
    };
    if (is("CON") || is("PRN") || is("AUX") || is("NUL") || is("CONIN$") || is("CONOUT$") || is("CLOCK$")) return true;
    if (stem != 4) return false;
    const bool com = upper(0) == 'C' && upper(1) == 'O' && upper(2) == 'M';
    const bool lpt = upper(0) == 'L' && upper(1) == 'P' && upper(2) == 'T';
    // A digit or a superscript digit (U+00B9, U+00B2, U+00B3; so in Latin-1) after COM or LPT.
    const unsigned long d = upper(3);
    return (com || lpt) && ((d >= '0' && d <= '9') || d == 0xB9 || d == 0xB2 || d == 0xB3);
}

}  // namespace

bool isReservedDeviceName(const std::string& component) { return reservedDevice(component); }
bool isReservedDeviceName(const std::wstring& component) { return reservedDevice(component); }

bool hasReservedComponent(const std::wstring& path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) end = path.size();
        if (isReservedDeviceName(path.substr(start, end - start))) return true;
        start = end + 1;
    }
    return false;
}

std::wstring longPathForm(std::wstring path) {
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path;
    std::wstring prefix, root;
    size_t rest = 0;
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') {
        prefix = L"\\\\?\\";
        root = path.substr(0, 2);
        rest = 3;
    } else if (path.compare(0, 2, L"\\\\") == 0 && path.size() > 2 && path[2] != L'\\') {
        prefix = L"\\\\?\\UNC";
        rest = 2;
    } else {
        return path;  // a relative path has no long form
    }
    std::vector<std::wstring> parts;
    size_t start = rest;
    while (start <= path.size()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) end = path.size();
        const std::wstring part = path.substr(start, end - start);
        if (part == L"..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::wstring out = prefix + root;
    for (const std::wstring& part : parts) out += L"\\" + part;
    const bool trailing = path.back() == L'\\' && !parts.empty();
    if (trailing || out == prefix + root) out += L'\\';
    return out;
}

}  // namespace names
