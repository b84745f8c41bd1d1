#include "engine/CardLocation.h"

#include "engine/NameRules.h"

std::string CardLocation::relativeNameOf(const std::string& pcPath) {
    return cardRelativeName(pcDirectory_, pcPath);
}

std::string CardLocation::pcPathOf(const std::string& name) { return cardPcPath(pcDirectory_, name); }

bool CardLocation::isDirectoryName(const std::string& name) { return !name.empty() && name.back() == '/'; }
