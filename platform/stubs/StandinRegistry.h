// Where the stand-in HotSync installation lives in the registry (HKEY_CURRENT_USER), and
// the reads and writes that CONDMGR.dll and hotsync.exe share. A setup program finds the
// installation by the same key (see platform/handheld/README.md).
#pragma once
#include <string>
#include <vector>

#include "platform/stubs/RegistrationRules.h"

namespace standin {

// Values Folder (the installation folder, where CONDMGR.dll lies) and ManagerCommand (the
// command line that starts the HotSync manager); written by `hotsync.exe install`.
constexpr const char* kHotSyncKey = "Software\\Tarnwick Standin\\HotSync";
// One subkey per registered conduit, named by creatorKeyName, with values Creator (text),
// Path, Name (REG_SZ) and Priority (REG_DWORD).
constexpr const char* kConduitsKey = "Software\\Tarnwick Standin\\HotSync\\Conduits";
constexpr const char* kFolderValue = "Folder";
constexpr const char* kManagerValue = "ManagerCommand";
// The class of the running manager's (hidden) window: closing it stops the manager.
constexpr const char* kManagerWindowClass = "TarnwickStandinHotSyncManager";

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

// Writes (or, with an empty folder, removes) the installation's two values; false when the
// registry refused. Registrations are left alone either way.
bool markInstallation(const std::string& folder, const std::string& managerCommand);

}  // namespace standin
