// Names on the simulated card: "/"-separated, beginning with "/", a directory's name
// possibly ending in "/". The card compares names without regard to case and keeps the
// case they were made with. OS-free. Names are in the volume's code page and read by
// character (names/CodePage.h): a trail byte of the value of "\" is part of a name.
#pragma once
#include <string>

#include "names/CodePage.h"

struct CardName {
    std::string path;  // "/Docs/a.txt", "/" for the root; never a trailing "/" otherwise
    bool markedDirectory = false;  // the caller wrote a trailing "/"
};

// Answers false for names a card refuses: not beginning with "/", empty or "."/".."
// components, characters a FAT volume cannot hold, components over 255 bytes. Device
// names (CON, aux.txt) are names like any other on a card.
bool parseCardName(const names::CodePage& cp, const char* text, CardName& out);
// A single component for a rename ("report_2.txt").
bool validBaseName(const names::CodePage& cp, const std::string& base);
// "/" is no trail byte in any code page Windows has: these split byte-wise.
std::string parentOf(const std::string& path);  // "/a/b" -> "/a", "/a" -> "/"
std::string baseOf(const std::string& path);    // "/a/b" -> "b"
