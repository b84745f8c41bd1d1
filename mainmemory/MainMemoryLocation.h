// The databases in the handheld's main memory (card 0, RAM only) as a location: each
// database is one .pdb/.prc file in the location's PC folder, keyed by its database name.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "engine/HandheldLocation.h"

class MainMemoryLocation : public HandheldLocation {
public:
    explicit MainMemoryLocation(SyncContext* context);
    ~MainMemoryLocation() override;

    bool listHandheld() override;
    bool fetchHandheldFile(const std::string& name, const std::string& pcPath) override;
    bool copyToPc(const std::string& name, FileEntry& entry) override;
    bool copyToHandheld(const std::string& name, FileEntry& entry) override;
    bool deleteOnHandheld(const std::string& name, FileEntry& entry) override;
    bool archiveOnHandheld(const std::string& name) override;
    bool renameOnHandheld(const std::string& name, FileEntry& entry) override;
    bool renameOnPc(const std::string& name, FileEntry& entry) override;
    std::string relativeNameOf(const std::string& pcPath) override;
    std::string pcPathOf(const std::string& name) override;
    bool isDirectoryName(const std::string& name) override;

    // The codes of the last failure, as its log line shows them.
    int32_t lastSyncError() const { return lastSyncError_; }
    int32_t failureCode() const { return failureCode_; }
    // Database name -> PC file, so a PC file always maps back to the database inside it.
    const std::map<std::string, std::string>& nameMap() const { return nameMap_; }

private:
    // Sets handheldTime and attributes of an entry from the database's listing entry.
    bool refreshFromHandheld(const std::string& dbName, FileEntry& entry);
    bool pathTakenByAnother(const std::string& path, const std::string& name) const;

    std::map<std::string, std::string> nameMap_;
    int32_t lastSyncError_ = 0;
    int32_t failureCode_ = 0;
};
