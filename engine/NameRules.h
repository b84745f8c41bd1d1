// Rules about names and paths that need no operating system: the card form of relative
// names, the "_2" name of a conflict copy, and exception matching.
#pragma once
#include <string>
#include <vector>

// Card locations: a PC path below pcDirectory -> "/DCIM/a.jpg" ("\" becomes "/";
// a directory's path given with a trailing "\" gives a name ending in "/").
std::string cardRelativeName(const std::string& pcDirectory, const std::string& pcPath);
// The inverse: one trailing "/" dropped, "/" turned into "\", appended to pcDirectory.
std::string cardPcPath(const std::string& pcDirectory, const std::string& name);

// The name a conflict copy moves to: suffix inserted before the last "." of the last
// path component, or appended when that component has none. Looking only at the last
// component keeps a dotted folder name from receiving the suffix, which would aim the
// move at a folder that does not exist.
std::string withSuffixBeforeExtension(const std::string& path, const std::string& suffix);

// Letters a to z in upper case, every other byte as it is.
std::string upperAscii(std::string text);

// Index of the first exception name (already upper case) that is a prefix of the
// upper-cased entry name, or -1.
int matchException(const std::string& upperName, const std::vector<std::string>& exceptionNames);

// Both names end in "/" or neither does.
bool sameKindOfName(const std::string& a, const std::string& b);
