// The texts the companion application leaves for the conduit: the card listing file
// "/Tarnwick.txt" (one name per line) and the entry lines of its replies and of the probe's
// listing of all cards ("name<TAB>time attributes size"). OS-free.
#pragma once
#include <string>
#include <vector>

#include "platform/handheld/CardVolume.h"

// A node's relative name as the listings give it: directories end in "/".
std::string listedName(const CardNode& node);
// "/Tarnwick.txt": every name of the volume, each line ended by LF.
std::string cardListingFile(const std::vector<const CardNode*>& nodes);
// One entry line: name, TAB, time, attributes and size in decimal, LF.
std::string entryLine(const CardNode& node);
// One card's section of the probe's listing: "<name>" and the entry line of every node.
std::string cardSection(const std::string& cardName, const std::vector<const CardNode*>& nodes);
