// The code pages of this system, described for the name rules (names/CodePage.h): filled
// from GetCPInfo, MultiByteToWideChar and LCMapStringW, so a name folds as the system's
// file functions fold it. Windows only (the header itself includes no <windows.h>).
#pragma once
#include <string>

#include "names/CodePage.h"

namespace names {

// The description of a code page, made once and kept for the life of the process (so the
// reference stays valid); one the system does not know gives A to Z only. Thread-safe.
const CodePage& codePage(unsigned number);
// The ANSI code page's: the code page of every name the conduit and the handheld calls take.
const CodePage& ansiCodePage();

}  // namespace names

// The name rules in the ANSI code page, for the names the conduit handles: a to z made A to Z
// in one-byte characters only, a comparison by character in either case (as the PC's
// folders, a FAT card and settings keys take names), and paths split by character.
std::string upperAscii(std::string text);
bool sameIgnoringCase(const std::string& a, const std::string& b);
// names::withSuffixBeforeExtension and names::withoutTrailingBackslashes in that code page.
std::string withSuffixBeforeExtension(const std::string& path, const std::string& suffix);
std::string withoutTrailingBackslashes(std::string path);
