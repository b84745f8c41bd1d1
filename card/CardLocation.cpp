#include "card/CardLocation.h"
#include "card/CardRules.h"

CardLocation::CardLocation(SyncContext* context, const std::string& cardName)
    : HandheldLocation(context), cardName_(cardName) {
    // A card is FAT: a name differing in case only is the same file there, as it is in the
    // PC folder. Taken apart, a rename in case would read as one file deleted and another
    // made, and the deletion would take the file from both sides.
    compareNamesWithoutCase();
}

CardLocation::~CardLocation() = default;

std::string CardLocation::relativeNameOf(const std::string& pcPath) {
    return card::cardRelativeName(pcDirectory_, pcPath);
}

std::string CardLocation::pcPathOf(const std::string& name) { return card::cardPcPath(pcDirectory_, name); }

bool CardLocation::isDirectoryName(const std::string& name) { return !name.empty() && name.back() == '/'; }

bool CardLocation::isStagingName(const std::string& base) const {
    return base == kUploadBase || HandheldLocation::isStagingName(base);
}

void CardLocation::setUpFolders() {
    // The card's name becomes a folder under the PC root and under the archive root; a
    // name such as "..\x" or "C:" would put both somewhere this location does not own.
    if (!card::isSafePathComponent(cardName_)) {
        usable_ = false;
        refused_ = true;
        log("Error: card name not usable as a PC folder, card skipped: " + card::printableName(cardName_));
        return;
    }
    pcDirectory_ = directoryOf(locationName_);
    if (pcDirectory_.empty()) {
        pcDirectory_ = context_->pcFolder + cardName_;
        setDirectoryOf(locationName_, pcDirectory_);
    }
    archiveDirectory_ = makeArchiveDirectory(cardName_);
    log(cardName_ + ": Location - " + pcDirectory_);
}

bool CardLocation::checkName(const std::string& name) const {
    if (card::isSafeRelativeName(name)) return true;
    log("Error: unsafe file name from the handheld skipped: " + card::printableName(name));
    return false;
}

FileEntry* CardLocation::acceptHandheldName(const std::string& name) {
    if (!checkName(name)) return nullptr;
    if (!isDirectoryName(name) && isStagingName(card::baseNameOf(name))) {
        stagingLeftovers_.push_back(name);
        return nullptr;
    }
    return &entries_[name];
}

bool CardLocation::finishDirectoryDelete(bool deleted, int32_t code, const std::string& name, FileEntry& entry) {
    if (deleted) {
        entry.handheldTime = 0;
        return true;
    }
    if (pass_ == 1) {
        deferred_.push_back(name);
        return false;
    }
    log("Could not delete Palm Directory(" + card::hex(code) + "): " + name);
    return false;
}
