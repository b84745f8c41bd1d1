// The stand-in HotSync installation in the registry (HKEY_CURRENT_USER), and the reads and
// writes that CONDMGR.dll, HsApi.dll and hotsync.exe share. A setup program finds the
// installation by the platform's own key and values (see platform/handheld/README.md).
#pragma once
#include <string>
#include <vector>

#include "platform/stubs/RegistrationRules.h"

namespace standin {

// The platform's record of the installation: Path (the folder holding CondMgr.dll,
// HsApi.dll and the manager) and HotSyncPath (the manager's full path).
constexpr const char* kCoreKey = "Software\\U.S. Robotics\\Pilot Desktop\\Core";
constexpr const char* kPathValue = "Path";
constexpr const char* kHotSyncPathValue = "HotSyncPath";
// The stand-in's own: ManagerLog (where a manager that HsApi.dll starts writes its lines).
constexpr const char* kStandinKey = "Software\\Tarnwick Standin\\HotSync";
constexpr const char* kManagerLogValue = "ManagerLog";
// One subkey per registered conduit, named by creatorKeyName, with values Creator (text),
// Name, File, Directory (REG_SZ), Type and Priority (REG_DWORD).
constexpr const char* kConduitsKey = "Software\\Tarnwick Standin\\HotSync\\Conduits";
// The class of the running manager's (hidden) window: closing it stops the manager, and
// kRefreshMessage sent to it makes it read the registrations again.
constexpr const char* kManagerWindowClass = "TarnwickStandinHotSyncManager";
constexpr unsigned kRefreshMessage = 0x0400 + 0x71;  // WM_USER + 0x71
// The named mutex that hotsync.exe holds while it runs a HotSync.
constexpr const char* kSyncRunningMutex = "TarnwickStandinHotSyncRunning";

enum class Found { Yes, No, Failed };

// Reads the creator's registration. Failed when the key exists but cannot be read whole.
Found readConduit(uint32_t creator, ConduitEntry& out);

// Every readable registration, in run order; subkeys that are not a creator's, or lack a
// value, are skipped. Answers false (and nothing) when the key exists but cannot be listed.
bool listConduits(std::vector<ConduitEntry>& out);

// Stores the entry under its creator's subkey; false when the registry refused.
bool writeConduit(const ConduitEntry& entry);

// Removes the creator's subkey. No when there was none.
Found deleteConduit(uint32_t creator);

struct Installation {
    std::string folder;       // Path
    std::string hotsyncPath;  // HotSyncPath
    std::string managerLog;   // ManagerLog, may be empty
};

// Writes (or, with an empty folder, removes) the installation's values; false when the
// registry refused. Registrations are left alone either way.
bool markInstallation(const Installation& installation);

// The recorded installation; false when Path or HotSyncPath is missing.
bool readInstallation(Installation& out);

}  // namespace standin
