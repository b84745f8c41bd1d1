#include "card/CardRules.h"

namespace card {
namespace {

bool isSpecialPathChar(unsigned char c) {
    if (c < 0x20) return true;
    switch (c) {
        case '\\': case '/': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
            return true;
        default:
            return false;
    }
}

bool readNumber(const std::string& s, size_t& pos, uint32_t& value) {
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t' || s[pos] == '\r' || s[pos] == '\n' ||
                              s[pos] == '\v' || s[pos] == '\f'))
        ++pos;
    size_t start = pos;
    uint64_t v = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
        v = v * 10 + static_cast<uint64_t>(s[pos] - '0');
        if (v > 0xFFFFFFFFull) return false;
        ++pos;
    }
    if (pos == start) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

// A component the PC folder keeps as it is, device names included.
bool carriedComponent(const names::CodePage& cp, const std::string& component) {
    if (component.empty() || component == "." || component == "..") return false;
    char last = 0;
    for (size_t i = 0; i < component.size(); i += names::characterLength(cp, component, i)) {
        last = names::characterLength(cp, component, i) == 1 ? component[i] : 0;
        if (last != 0 && isSpecialPathChar(static_cast<unsigned char>(last))) return false;
    }
    return last != '.' && last != ' ';
}

}  // namespace

bool isSafePathComponent(const names::CodePage& cp, const std::string& component) {
    return carriedComponent(cp, component) && !names::isReservedDeviceName(component);
}

std::string folderNameForLabel(const names::CodePage& cp, const std::string& label) {
    std::string name = label;
    for (size_t i = 0; i < name.size(); i += names::characterLength(cp, name, i))
        if (names::characterLength(cp, name, i) == 1 && (isSpecialPathChar(static_cast<unsigned char>(name[i])) || name[i] == '='))
            name[i] = '_';
    // Dots, blanks, ";" and "[" are never trail bytes: byte-wise is character-wise here.
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    size_t lead = 0;
    while (lead < name.size() && name[lead] == ' ') ++lead;
    name.erase(0, lead);
    // A settings key beginning with these would read as a comment or a section.
    if (!name.empty() && (name[0] == ';' || name[0] == '[')) name[0] = '_';
    if (names::isReservedDeviceName(name)) {
        size_t stem = name.find('.');
        if (stem == std::string::npos) stem = name.size();
        while (stem > 0 && name[stem - 1] == ' ') --stem;
        name.insert(stem, "_");
    }
    return isSafePathComponent(cp, name) ? name : std::string();
}

bool numberedFrom(const std::string& key, const std::string& base) {
    if (key.size() < base.size() + 2 || key.compare(0, base.size(), base) != 0 || key[base.size()] != '_') return false;
    const std::string number = key.substr(base.size() + 1);
    if (number[0] == '0' || number.size() > 9) return false;
    for (char c : number)
        if (c < '0' || c > '9') return false;
    return number != "1";
}

std::string labelRecordKey(const std::string& label, unsigned occurrence) {
    static const char digits[] = "0123456789abcdef";
    std::string key = "L";  // never empty, and never read as a comment or a section
    for (char c : label) {
        key += digits[static_cast<unsigned char>(c) >> 4];
        key += digits[static_cast<unsigned char>(c) & 0xF];
    }
    if (occurrence > 1) key += "-" + std::to_string(occurrence);
    return key;
}

bool isSafeRelativeName(const names::CodePage& cp, const std::string& name) {
    if (name.size() < 2 || name[0] != '/') return false;
    size_t start = 1;
    while (start < name.size()) {
        size_t slash = names::findSeparator(cp, name, "/", start);
        size_t end = slash == std::string::npos ? name.size() : slash;
        if (!carriedComponent(cp, name.substr(start, end - start))) return false;
        if (slash == std::string::npos) break;
        start = slash + 1;  // a final "/" leaves start == size: a directory name
    }
    return true;
}

std::string printableName(const std::string& name) {
    std::string out = name;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

bool parseListingLine(const std::string& line, ListingLine& out) {
    size_t tab = line.find('\t');
    if (tab == std::string::npos || tab >= 512) return false;
    ListingLine parsed;
    parsed.name = line.substr(0, tab);
    size_t pos = tab + 1;
    if (!readNumber(line, pos, parsed.time) || !readNumber(line, pos, parsed.attributes) ||
        !readNumber(line, pos, parsed.size))
        return false;
    out = parsed;
    return true;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t lf = text.find('\n'); lf != std::string::npos; lf = text.find('\n', start)) {
        size_t end = lf;
        if (end > start && text[end - 1] == '\r') --end;
        lines.push_back(text.substr(start, end - start));
        start = lf + 1;
    }
    return lines;
}

std::vector<ListingSection> parseCardListing(const std::string& text) {
    std::vector<ListingSection> sections;
    size_t start = 0;
    while (start < text.size()) {
        const size_t lf = text.find('\n', start);
        size_t end = lf == std::string::npos ? text.size() : lf;
        const size_t next = lf == std::string::npos ? text.size() : lf + 1;
        if (end > start && text[end - 1] == '\r') --end;
        const size_t length = end - start;
        if (length >= 2 && text[start] == '<' && text[end - 1] == '>') {
            sections.push_back(ListingSection{text.substr(start + 1, length - 2), {}});
        } else if (!sections.empty()) {
            sections.back().lines.push_back(text.substr(start, length));
        }
        start = next;
    }
    return sections;
}

const ListingSection* findListingSection(const std::vector<ListingSection>& listing,
                                         const std::string& cardName) {
    for (const ListingSection& section : listing)
        if (section.cardName == cardName) return &section;
    return nullptr;
}

uint32_t sliceSizeFromFigure(int32_t figure, uint32_t current) {
    if (figure <= 0 || static_cast<uint32_t>(figure) >= current) return current;
    uint32_t v = static_cast<uint32_t>(figure);
    uint32_t w = v - v / 10;
    w -= w % 1024;
    return w == 0 ? 1024 : w;
}

std::string baseNameOf(const std::string& name) {
    size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string folderPartOf(const std::string& name) {
    size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

std::string withoutTrailingSlash(const std::string& name) {
    if (!name.empty() && name.back() == '/') return name.substr(0, name.size() - 1);
    return name;
}

std::string cardPcPath(const std::string& pcDirectory, const std::string& name) {
    std::string tail = withoutTrailingSlash(name);
    for (char& c : tail)
        if (c == '/') c = '\\';
    return pcDirectory + tail;
}

std::string cardRelativeName(const names::CodePage& cp, const std::string& pcDirectory, const std::string& pcPath) {
    // The folder's own path ends on a character boundary, so the rest reads from its start.
    std::string name = pcPath.size() > pcDirectory.size() ? pcPath.substr(pcDirectory.size()) : std::string();
    return names::replaceCharacter(cp, std::move(name), '\\', '/');
}

}  // namespace card
