// The run driver's rules that need no operating system: the user's folder, which conduit
// databases to leave out, the error lines. (The listing of all cards is read by the card
// rules, card/CardRules.h, the one reader of that format.)
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The user's folder: the PC folder up to its last backslash, a backslash at the very end
// not counting; the whole PC folder when it has none.
std::string UserFolderOf(const std::string& pcFolder);

// Whether an installed conduit's creator is left out of the main-memory backup, from the
// results and values of the two per-user queries.
bool CreatorIsClaimed(int32_t resultA, int32_t valueA, int32_t resultB, int32_t valueB);

// "Error: <step>:<result in lower-case hex>".
std::string VolumeStepErrorLine(int32_t stepCode, int32_t result);
