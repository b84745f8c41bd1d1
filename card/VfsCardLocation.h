// One card volume reached through the desktop VFS library: each file operation is one
// library call; the volume's file names come from the listing file the companion
// application leaves at the volume's root.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "card/CardLocation.h"
#include "card/VfsLibrary.h"

class VfsCardLocation : public CardLocation {
public:
    VfsCardLocation(SyncContext* context, VfsVolume volume);
    ~VfsCardLocation() override;

    bool listHandheld() override;
    bool fetchHandheldFile(const std::string& name, const std::string& pcPath) override;
    bool copyToPc(const std::string& name, FileEntry& entry) override;
    bool copyToHandheld(const std::string& name, FileEntry& entry) override;
    bool deleteOnHandheld(const std::string& name, FileEntry& entry) override;
    bool archiveOnHandheld(const std::string& name) override;
    bool renameOnHandheld(const std::string& name, FileEntry& entry) override;
    bool createHandheldDirectory(const std::string& name, FileEntry& entry) override;
    bool deleteHandheldDirectory(const std::string& name, FileEntry& entry) override;

    // The location name for this volume; labels an unlabelled volume first.
    std::string locationNameForVolume();
    // The order to synchronise the volumes in: the slots' order, except that of the cards
    // sharing a label the one whose files match what the records of that label hold comes
    // first, so it keeps the label's folder and the others are labelled apart. A few
    // recorded files are looked up on each such card; a tie keeps the slots' order.
    static std::vector<VfsVolume> synchronisingOrder(const SyncContext& context, const VfsLibrary& library,
                                                     const std::vector<VfsVolume>& volumes);
    // Fills the handheld fields of entry from the card; false when the file cannot be opened.
    bool readEntryInfo(const std::string& name, FileEntry& entry);

    VfsVolume volumeRef() const { return volumeRef_; }
    int32_t lastCallError() const { return lastCallError_; }

protected:
    bool renameCardFile(const std::string& name, const std::string& newBase) override;
    bool deleteCardFile(const std::string& name) override;
    bool reservedOnHandheld(const std::string& name) const override;
    // Reads the card file's time and size again (a file that cannot be opened answers true:
    // the operation itself then meets it as before).
    bool handheldFileAsListed(const std::string& name, const FileEntry& entry) override;
    // This route writes every card file in place: it leaves no scratch file on the card.
    bool isScratchName(const std::string& /*name*/) const override { return false; }
    void readBackEntry(const std::string& name, FileEntry& entry) override;
    std::string labelCard(const std::string& label) override;

private:
    // Copies a card file into target through a staged file; result and systemError tell
    // why it failed.
    bool getIntoPcFile(const std::string& name, const std::string& target, int32_t& result,
                       uint32_t& systemError);

    VfsVolume volumeRef_ = 0;
    int32_t lastCallError_ = 0;
    VfsLibrary library_;
};
