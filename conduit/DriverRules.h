// The run driver's rules that need no operating system: the card names of the listing
// file, the user's folder, which conduit databases to leave out, the error lines.
#pragma once
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

// Card names from the listing text: every line "<name>" gives name (also the empty one);
// all other lines are skipped.
std::vector<std::string> ListingCardNames(std::istream& listing);

// The user's folder: the PC folder up to its last backslash, a backslash at the very end
// not counting; the whole PC folder when it has none.
std::string UserFolderOf(const std::string& pcFolder);

// Whether an installed conduit's creator is left out of the main-memory backup, from the
// results and values of the two per-user queries.
bool CreatorIsClaimed(int32_t resultA, int32_t valueA, int32_t resultB, int32_t valueB);

// "Error: <step>:<result in lower-case hex>".
std::string VolumeStepErrorLine(int32_t stepCode, int32_t result);
