// One card reached through the companion application on the handheld: every handheld
// operation is a request over the HotSync link, file contents and text replies travel
// through the transfer database "TarnwickData".
#pragma once
#include <cstdint>
#include <string>
#include "card/CardLocation.h"

class RemoteCardLocation : public CardLocation {
public:
    // cardName as the listing names it; listingFile is the driver's copy of the listing of
    // all cards (the driver creates and deletes it). Sends the slice-size request.
    RemoteCardLocation(SyncContext* context, const std::string& cardName, const std::string& listingFile);
    ~RemoteCardLocation() override;

    bool listHandheld() override;
    bool fetchHandheldFile(const std::string& name, const std::string& pcPath) override;
    bool copyToPc(const std::string& name, FileEntry& entry) override;
    bool copyToHandheld(const std::string& name, FileEntry& entry) override;
    bool deleteOnHandheld(const std::string& name, FileEntry& entry) override;
    bool archiveOnHandheld(const std::string& name) override;
    bool renameOnHandheld(const std::string& name, FileEntry& entry) override;
    bool createHandheldDirectory(const std::string& name, FileEntry& entry) override;
    bool deleteHandheldDirectory(const std::string& name, FileEntry& entry) override;

    // One request to the companion application. With resultCode null a nonzero result
    // code is logged and counts as failure; otherwise it is handed over.
    bool callCompanion(uint16_t request, const std::string* argument, int32_t* resultCode = nullptr);
    // Asks the handheld for the entry lines of name and merges them into the entry map.
    bool refreshEntry(const std::string& name);

    uint32_t sliceSize() const { return sliceSize_; }
    int32_t lastCallError() const { return lastCallError_; }

protected:
    bool renameCardFile(const std::string& name, const std::string& newBase) override;
    bool deleteCardFile(const std::string& name) override;
    // The upload name and the aside names, in any folder (each is written beside the card
    // file it stands for); a folder's name ends in "/".
    bool isScratchName(const std::string& name) const override;
    void readBackEntry(const std::string& name, FileEntry& entry) override;

private:
    bool fetchSlices(const std::string& name, uint32_t size, const std::string& target);
    // Enters one entry line of the listing or a reply; an empty line carries nothing.
    // False when the line cannot be read (nothing is entered then).
    bool mergeLine(const std::string& line);

    uint32_t sliceSize_ = 131072;
    int32_t lastCallError_ = 0;
    std::string listingFile_;
};
