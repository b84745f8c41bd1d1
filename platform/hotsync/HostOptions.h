// The command line of the stand-in HotSync manager. OS-free, so the parser is testable
// without a conduit.
#pragma once
#include <string>
#include <vector>

struct HostOptions {
    // Install, Uninstall: mark or unmark this folder as the HotSync installation;
    // Manager: stand for the running HotSync manager until its window is closed.
    enum Verb { None, Sync, Configure, Install, Uninstall, Manager } verb = None;
    std::string device;
    std::string user;
    std::string pc;
    int type = 0;
    int action = 0;
    std::string conduit;  // empty: the registered conduits (none: Tarnwick.dll beside hotsync.exe)
    std::string log;      // sync: the HotSync log; manager: its start and stop lines
    std::string managerLog;  // install: where a manager started without --log logs
    std::string trace;
    std::vector<std::string> faults;  // --fault RULE, added after device.ini's [Faults]
    int cancelAfterMs = -1;  // negative: never press Cancel
};

// Fills the options from argv[1..]; answers false with a message for the user when the
// command line is not understood or lacks a required option.
bool parseHostOptions(const std::vector<std::string>& args, HostOptions& options, std::string& error);

// The PC folder as SyncProperties carries it: always ending in one backslash.
std::string pcFolderWithSlash(const std::string& pc);

const char* hostUsage();
