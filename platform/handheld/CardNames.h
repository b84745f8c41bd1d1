// Names on the simulated card: "/"-separated, beginning with "/", a directory's name
// possibly ending in "/". The card compares names without regard to case and keeps the
// case they were made with. OS-free.
#pragma once
#include <string>

struct CardName {
    std::string path;  // "/Docs/a.txt", "/" for the root; never a trailing "/" otherwise
    bool markedDirectory = false;  // the caller wrote a trailing "/"
};

// Answers false for names a card refuses: not beginning with "/", empty or "."/".."
// components, characters a FAT volume cannot hold, components over 255 characters.
bool parseCardName(const char* text, CardName& out);
// A single component for a rename ("report_2.txt").
bool validBaseName(const std::string& base);
std::string parentOf(const std::string& path);  // "/a/b" -> "/a", "/a" -> "/"
std::string baseOf(const std::string& path);    // "/a/b" -> "b"
