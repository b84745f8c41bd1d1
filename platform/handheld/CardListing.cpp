#include "platform/handheld/CardListing.h"

std::string listedName(const CardNode& node) { return node.directory ? node.path + "/" : node.path; }

std::string cardListingFile(const std::vector<const CardNode*>& nodes) {
    std::string out;
    for (const CardNode* n : nodes) out += listedName(*n) + "\n";
    return out;
}

std::string entryLine(const CardNode& node) {
    return listedName(node) + "\t" + std::to_string(node.time) + " " + std::to_string(node.attributes) + " " +
           std::to_string(node.size) + "\n";
}

std::string cardSection(const std::string& cardName, const std::vector<const CardNode*>& nodes) {
    std::string out = "<" + cardName + ">\n";
    for (const CardNode* n : nodes) out += entryLine(*n);
    return out;
}
