// A scratch world for the card suites: a device folder for the simulated handheld, a PC
// root for the locations, a settings file, and a way to run one HotSync of one location.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "engine/ProgressSink.h"
#include "engine/SyncContext.h"
#include "settings/Settings.h"

class Workspace {
    std::string root_;  // first: the settings file lies in it

public:
    // deviceIni is the content of device.ini; the volume folders are made by the test.
    explicit Workspace(const std::string& deviceIni);
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    const std::string& root() const { return root_; }
    std::string device(const std::string& relative) const;   // "card1/a.txt" -> host path
    std::string pc(const std::string& relative) const;       // below pcRoot, "/" allowed
    std::string archive(const std::string& card) const;      // the card's archive folder
    const std::string& pcRoot() const { return pcRoot_; }     // ends with "\"

    int load();                // the device folder into the simulated handheld (0: loaded)
    void unload();             // card changes are already in the device folder
    // The driver's file-list step: asks the companion for the listing of all cards and
    // leaves it in listingPath(); false when the companion gave none.
    bool fetchListing();
    const std::string& listingPath() const { return listing_; }

    Settings settings;
    SyncContext context;

private:
    std::string pcRoot_;
    std::string listing_;
    ProgressSink progress_;
};

std::string hostPath(std::string path);  // "/" -> "\"
void writeFile(const std::string& path, const std::string& bytes);  // makes the folders
std::string readFile(const std::string& path);
bool exists(const std::string& path);
void setMtime(const std::string& path, int64_t unixSeconds);
int64_t mtime(const std::string& path);
void removeFile(const std::string& path);
std::string patterned(size_t size, unsigned seed);  // bytes that differ at every offset
// Every file below folder, "/"-separated relative names, hidden ones included.
std::vector<std::string> filesBelow(const std::string& folder);

std::vector<std::string> logLines();
bool logHas(const std::string& line);
bool logContains(const std::string& part);
void clearLogAndTrace();
std::vector<std::string> traceOf(const std::string& call);  // the argument fields
