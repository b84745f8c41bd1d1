#include "engine/NameRules.h"

int matchException(const std::string& upperName, const std::vector<std::string>& exceptionNames) {
    for (size_t i = 0; i < exceptionNames.size(); ++i) {
        const std::string& prefix = exceptionNames[i];
        if (upperName.compare(0, prefix.size(), prefix) == 0) return static_cast<int>(i);
    }
    return -1;
}

bool sameKindOfName(const std::string& a, const std::string& b) {
    const bool aDir = !a.empty() && a.back() == '/';
    const bool bDir = !b.empty() && b.back() == '/';
    return aDir == bDir;
}
