#include "conduit/DriverRules.h"
#include <cstdio>

std::string UserFolderOf(const std::string& pcFolder) {
    std::string::size_type end = pcFolder.size();
    if (end > 0 && pcFolder[end - 1] == '\\') --end;
    if (end == 0) return pcFolder;
    std::string::size_type slash = pcFolder.rfind('\\', end - 1);
    if (slash == std::string::npos) return pcFolder;
    return pcFolder.substr(0, slash);
}

bool CreatorIsClaimed(int32_t resultA, int32_t valueA, int32_t resultB, int32_t valueB) {
    if (resultB == 0 && valueB != 3) return true;
    if (resultA == 0 && valueA != 3) return true;
    return resultA == -1 && resultB == -1;
}

std::string VolumeStepErrorLine(int32_t stepCode, int32_t result) {
    char line[48];
    std::snprintf(line, sizeof line, "Error: %d:%x", static_cast<int>(stepCode), static_cast<unsigned>(result));
    return line;
}
