// The rules of names that depend on the code page they are written in, and on nothing of
// the operating system: which bytes make one character, when two names are one in either
// case, where a path is split, and the names Windows keeps for its devices. The engine, the
// settings, the card rules and the simulated card all take them from here. A code page of
// two-byte characters (932, 936, 949, 950) has trail bytes that look like "A" to "Z" or "\"
// and are neither: every rule here walks a name character by character.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace names {

// What the rules need to know of one code page. The Windows side fills it from the system
// (names/AnsiCodePage.h); asciiOnly() is the one that needs no system.
struct CodePage {
    unsigned number = 0;       // the Windows code page (0: ASCII letters only)
    bool lead[256] = {};       // bytes that begin a two-byte character
    unsigned char lower[256];  // the small form of each one-byte character (itself when none)
    // The small form of each two-byte character, indexed lead << 8 | trail; empty when no
    // two-byte character has case. A one-byte character's small form is one byte that
    // begins no two-byte character, a two-byte one's is two bytes: so each folded name
    // reads back character by character as the name did.
    std::vector<uint16_t> pairLower;
};

// A to Z as a to z, no two-byte characters: the letters every code page shares.
const CodePage& asciiOnly();

// The bytes of the character that begins at text[at]: 2 for a lead byte followed by a byte
// of 0x40 or more (a trail byte), else 1 (a lead byte at the end, or before "/", stands
// alone). at must be inside text.
size_t characterLength(const CodePage& cp, const std::string& text, size_t at);

// Compares names character by character, each in its small form: negative, 0 or positive.
// A strict weak order in which a name sorts right before every name it begins; in a code
// page of one-byte characters it is the order of the small forms' bytes.
int compareIgnoringCase(const CodePage& cp, const std::string& a, const std::string& b);
bool sameIgnoringCase(const CodePage& cp, const std::string& a, const std::string& b);
// True when name begins with the characters of prefix (in either case); a prefix that ends
// inside a character of name does not begin it.
bool startsWithIgnoringCase(const CodePage& cp, const std::string& name, const std::string& prefix);
// The one-byte letters a to z made A to Z; every other character, and each trail byte,
// stays as it is.
std::string upperAscii(const CodePage& cp, std::string text);

// The position of the first one-byte character at or after from that is in separators (a
// trail byte never is), or npos.
size_t findSeparator(const CodePage& cp, const std::string& text, const char* separators, size_t from = 0);
// The position of the last such character, or npos.
size_t findLastSeparator(const CodePage& cp, const std::string& text, const char* separators);
// Every one-byte character from made to; trail bytes of that value stay.
std::string replaceCharacter(const CodePage& cp, std::string text, char from, char to);

// The longest name one folder holds, on a card (FAT) and on the PC, in characters; as an
// ANSI code page takes a character in one byte or two, a name of this many bytes fits.
constexpr size_t kLongestBaseName = 255;

// The name a conflict copy moves to: suffix inserted before the last "." of the last
// path component ("/" or "\" separated), or appended when that component has none.
// Looking only at the last component keeps a dotted folder name from receiving the suffix,
// which would aim the move at a folder that does not exist. A component that would pass
// kLongestBaseName bytes loses the end of its part before the extension instead (whole
// characters only, one at least kept): a copy under a name no folder can hold would fail at
// every HotSync. When even that cannot make it fit, the suffix goes in all the same.
std::string withSuffixBeforeExtension(const CodePage& cp, const std::string& path, const std::string& suffix);

// The path without the "\" characters at its end, as the Win32 calls want a folder named
// and as a folder is joined to the names below it (folder + "\" + name). The first
// character always stays: "\" alone, like the empty path, comes back as it is; a trail
// byte of that value is no "\".
std::string withoutTrailingBackslashes(const CodePage& cp, std::string path);

// A name Windows opens a device for instead of a file, with any extension and blanks
// before the extension: CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9 (also with the
// superscript digits 1, 2 and 3), CONIN$, CONOUT$ and CLOCK$, in any case. Only the
// "\\?\" form of a path reaches a file of such a name.
bool isReservedDeviceName(const std::string& component);
bool isReservedDeviceName(const std::wstring& component);
// True when a component of a wide path ("\" or "/" separated) is such a name.
bool hasReservedComponent(const std::wstring& path);

// The "\\?\" form of a full path ("C:\..." or "\\server\share\..."), which the wide file
// functions take past 260 characters and with device names: "/" made "\", doubled
// separators made single, "." components dropped and ".." components taken back (that
// form passes every name on literally). A path already in that form, or relative, comes
// back unchanged but for "/" made "\".
std::wstring longPathForm(std::wstring path);

}  // namespace names
