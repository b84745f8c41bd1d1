// Rules about names and paths that need no operating system: the "_2" name of a conflict
// copy, case-blind comparison, exception matching and a folder path's trailing "\".
#pragma once
#include <string>
#include <vector>

// The longest name one folder holds, on a card (FAT) and on the PC, in characters; as the
// ANSI code page takes a character in one byte or two, a name of this many bytes fits.
constexpr size_t kLongestBaseName = 255;

// The name a conflict copy moves to: suffix inserted before the last "." of the last
// path component, or appended when that component has none. Looking only at the last
// component keeps a dotted folder name from receiving the suffix, which would aim the
// move at a folder that does not exist. A component that would pass kLongestBaseName
// bytes loses the end of its part before the extension instead (cut only after a byte
// below 0x80, so no two-byte character is split, and one byte at least kept): a copy
// under a name no folder can hold would fail at every HotSync. When even that cannot make
// it fit, the suffix goes in all the same.
std::string withSuffixBeforeExtension(const std::string& path, const std::string& suffix);

// The first of name (only when tryName), then name with "_2", "_3", ... (before its
// extension when beforeExtension, else at its end) that taken() does not refuse. Empty when
// every candidate up to "_" + (limit - 1) is taken.
template <typename Taken>
std::string firstFreeName(const std::string& name, bool tryName, bool beforeExtension, Taken taken,
                          unsigned long limit = ~0ul) {
    if (tryName && !taken(name)) return name;
    for (unsigned long n = 2; n < limit; ++n) {
        const std::string suffix = "_" + std::to_string(n);
        std::string candidate = beforeExtension ? withSuffixBeforeExtension(name, suffix) : name + suffix;
        if (!taken(candidate)) return candidate;
    }
    return std::string();
}

// Letters a to z in upper case, every other byte as it is.
std::string upperAscii(std::string text);

// Equal once the letters a to z are taken as A to Z, as Windows compares folder names and
// settings keys; every other byte must match exactly.
bool sameIgnoringCase(const std::string& a, const std::string& b);

// Index of the first exception name (already upper case) that is a prefix of the
// upper-cased entry name, or -1.
int matchException(const std::string& upperName, const std::vector<std::string>& exceptionNames);

// Both names end in "/" or neither does.
bool sameKindOfName(const std::string& a, const std::string& b);

// The path without the "\" characters at its end, as the Win32 calls want a folder named
// and as a folder is joined to the names below it (folder + "\" + name). The first
// character always stays: "\" alone, like the empty path, comes back as it is.
std::string withoutTrailingBackslashes(std::string path);
