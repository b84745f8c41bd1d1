// Whole-file reads and writes on the host, for the simulator's own stored files.
#pragma once
#include <string>

// A full host path in the "\\?\" form (names::longPathForm), so a deep card name, and one
// a plain path would open a device for ("aux.txt", "Con"), works as it does on a card;
// a relative path as it is.
std::wstring longForm(std::wstring path);
// The text in the wide form, from codePage; empty when it does not convert.
std::wstring widen(const std::string& text, unsigned codePage);
// A host path in the ANSI code page as the wide calls take it ("/" made "\"), in the
// "\\?\" form when it is too long for the plain one.
std::wstring hostWidePath(const std::string& path);

bool readHostFile(const std::string& path, std::string& contents);
// Writes through a temporary file beside the target and renames it over the target, so a
// failure leaves the old contents in place.
bool writeHostFileWhole(const std::string& path, const std::string& contents);
