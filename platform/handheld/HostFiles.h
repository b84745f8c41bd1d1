// Whole-file reads and writes on the host, for the simulator's own stored files.
#pragma once
#include <string>

bool readHostFile(const std::string& path, std::string& contents);
// Writes through a temporary file beside the target and renames it over the target, so a
// failure leaves the old contents in place.
bool writeHostFileWhole(const std::string& path, const std::string& contents);
