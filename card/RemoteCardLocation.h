// One card reached through the companion application on the handheld: every handheld
// operation is a request over the HotSync link, file contents and text replies travel
// through the transfer database "TarnwickData".
#pragma once
#include <cstdint>
#include <string>
#include "card/CardLocation.h"

class DatabaseImage;

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
    // Asks the handheld for the entry line of name and merges it into the entry map. False,
    // with a line, when no reply came or it is not exactly one readable line for name (the
    // entry is then left as it was).
    bool refreshEntry(const std::string& name);

    // Makes sure no transfer database is on the handheld: deletes it, and takes a delete
    // that answers an error for done only when a search then finds none; tries that
    // three times. False when one stays (nothing is logged: the caller says what
    // could not be done). A search that fails for another reason is taken for "none": the
    // transfers' own checks (a fresh database for each upload slice, exact byte counts and
    // reply lines) still refuse whatever another transfer left.
    static bool clearTransferDatabase();

    uint32_t sliceSize() const { return sliceSize_; }
    int32_t lastCallError() const { return lastCallError_; }

protected:
    bool renameCardFile(const std::string& name, const std::string& newBase) override;
    bool deleteCardFile(const std::string& name) override;
    // The upload name and the aside names, in any folder (each is written beside the card
    // file it stands for); a folder's name ends in "/".
    bool isScratchName(const std::string& name) const override;
    void readBackEntry(const std::string& name, FileEntry& entry) override;
    // Asks the companion for the file's time and size again; the entry keeps what the
    // listing said (the engine decides on that). A reply that cannot be read answers true
    // (its line is logged) and the operation meets the file as before.
    bool handheldFileAsListed(const std::string& name, const FileEntry& entry) override;

private:
    // Fetches the file's slices into target. False when one fails, carries other than its
    // share of size bytes, or Cancel was pressed between two slices; target then holds part
    // of the file and must not be used.
    bool fetchSlices(const std::string& name, uint32_t size, const std::string& target);
    // clearTransferDatabase when a transfer database may still be on the handheld (since the
    // start, or a delete that failed); logs one line when one stays.
    bool clearTransfer();
    // Deletes the transfer database once its records were read or sent; a delete that fails
    // leaves the next transfer to clear it first.
    void discardTransfer();
    // Sends request with argument and reads the reply the companion leaves in the transfer
    // database into image, which is then deleted. The database is cleared first, so the
    // reply holds nothing of another transfer. False when the clearing, the call or the
    // read failed.
    bool requestReply(uint16_t request, const std::string& argument, DatabaseImage& image);
    // Writes one upload slice into a transfer database created for it, so it carries only
    // its own records; one in the way is cleared first. False when that cannot be done (a
    // part-written database is deleted again).
    bool writeTransfer(DatabaseImage& image);
    // Enters one entry line of the listing or a reply; an empty line carries nothing.
    // False when the line cannot be read (nothing is entered then).
    bool mergeLine(const std::string& line);

    uint32_t sliceSize_ = 131072;
    int32_t lastCallError_ = 0;
    // A transfer database may be on the handheld that no transfer of this location has just
    // written: the driver's listing whose delete failed, or a delete of ours that failed.
    bool transferMayBeLeft_ = true;
    std::string listingFile_;
};
