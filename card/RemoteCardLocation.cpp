#include "card/RemoteCardLocation.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>
#include "HotSyncApi.h"
#include "card/CardFiles.h"
#include "card/CardRules.h"
#include "card/Companion.h"
#include "engine/AtomicFile.h"
#include "engine/HotSyncLog.h"
#include "engine/NameRules.h"
#include "engine/PcPaths.h"
#include "engine/ProgressSink.h"
#include "engine/StdioFile.h"
#include "mainmemory/DatabaseImage.h"

namespace {
enum CompanionRequest : uint16_t {
    REQ_GET_SLICE = 2,
    REQ_PUT_SLICE = 3,
    REQ_ENTRY_INFO = 4,
    REQ_MAKE_DIR = 5,
    REQ_REMOVE_DIR = 6,
    REQ_DELETE_FILE = 7,
    REQ_RENAME = 8,
    REQ_SLICE_FIGURE = 9
};

// How often a transfer database that will not go is asked to go before a transfer gives up.
constexpr int kClearAttempts = 3;
constexpr char kTransferLine[] = "Could not delete the transfer database on the handheld: ";

// Where a card file's new contents are sent before they replace it: hidden, so no HotSync
// ever takes a part-sent copy for a card file, and in the card file's own folder, so one
// rename puts it in place. One fixed name per folder (files are sent one at a time) keeps
// it short whatever the length of the card file's own name.
std::string uploadNameOf(const std::string& name) { return card::folderPartOf(name) + CardLocation::kUploadBase; }

uint32_t sliceCount(uint32_t size, uint32_t slice) { return size / slice + (size % slice != 0 ? 1 : 0); }

// The bytes slice `index` of a file of `size` bytes carries: the slice size, or what is left
// of the file for the last one.
uint32_t sliceBytes(uint32_t size, uint32_t slice, uint32_t index) {
    const uint64_t offset = uint64_t(index) * slice;
    return offset >= size ? 0u : static_cast<uint32_t>(std::min<uint64_t>(slice, size - offset));
}

uint64_t recordBytes(const DatabaseImage& image) {
    uint64_t total = 0;
    for (const std::vector<uint8_t>& record : image.records) total += record.size();
    return total;
}

// Writes the records of one fetched slice, whole and in record order, to out, only when
// together they hold exactly `expected` bytes. Any other count means records of another
// transfer mixed in, or a card file that changed since it was listed: nothing is written
// then, and the slice has failed.
bool appendRecords(const DatabaseImage& image, FILE* out, uint32_t expected) {
    if (image.records.size() != image.recordCount || recordBytes(image) != expected) return false;
    for (const std::vector<uint8_t>& record : image.records) {
        if (!record.empty() && std::fwrite(record.data(), 1, record.size(), out) != record.size()) return false;
    }
    return true;
}

bool transferDatabaseFound() {
    SmFindDbRequest request{};
    request.cardNo = 0;
    request.name = kCompanionTransferDatabase;
    SmDbListEntry found{};
    return SyncFindDbByName(&request, &found) == 0;
}
}  // namespace

RemoteCardLocation::RemoteCardLocation(SyncContext* context, const std::string& cardName,
                                       const std::string& listingFile)
    : CardLocation(context, cardName), listingFile_(listingFile) {
    if (context_->progress) context_->progress->SetCardText("Synchronizing Palm Card: " + cardName_);
    setUpFolders();
    if (!usable_) return;
    int32_t figure = 0;
    if (callCompanion(REQ_SLICE_FIGURE, nullptr, &figure)) sliceSize_ = card::sliceSizeFromFigure(figure, sliceSize_);
}

RemoteCardLocation::~RemoteCardLocation() = default;

bool RemoteCardLocation::callCompanion(uint16_t request, const std::string* argument, int32_t* resultCode) {
    std::string text = cardName_;
    if (argument) text += "|" + *argument;
    uint8_t resultBuffer[32] = {};
    SmRemoteCall call;
    std::memset(&call, 0, sizeof call);
    call.creator = kCompanionCreator;
    call.type = kCompanionType;
    call.request = request;
    call.paramSize = static_cast<uint32_t>(text.size() + 1);
    call.param = text.c_str();
    call.resultBufferSize = sizeof resultBuffer;
    call.resultBuffer = resultBuffer;
    lastCallError_ = SyncCallRemoteModule(&call);
    if (lastCallError_ != 0) {
        log("Error communicating with handheld(SyncCallRemoteModule:" + hex(uint32_t(request)) + ":" +
            hex(lastCallError_) + ")");
        return false;
    }
    if (resultCode) {
        *resultCode = call.resultCode;
        return true;
    }
    if (call.resultCode != 0) {
        log(hex(call.resultCode));
        return false;
    }
    return true;
}

bool RemoteCardLocation::mergeLine(const std::string& line) {
    if (line.empty()) return true;
    card::ListingLine parsed;
    if (!card::parseListingLine(line, parsed)) return false;
    FileEntry* entry = acceptHandheldName(parsed.name);
    if (!entry) return true;
    // Time 0 would mean "not on the handheld" and turn a listed file into a deletion.
    entry->handheldTime = parsed.time != 0 ? parsed.time : 1;
    entry->attributes = parsed.attributes;
    entry->size = parsed.size;
    return true;
}

bool RemoteCardLocation::clearTransferDatabase() {
    for (int attempt = 0; attempt < kClearAttempts; ++attempt) {
        if (SmDeleteDb(kCompanionTransferDatabase, 0) == 0 || !transferDatabaseFound()) return true;
    }
    return false;
}

bool RemoteCardLocation::clearTransfer() {
    if (!transferMayBeLeft_) return true;
    if (!clearTransferDatabase()) {
        log(kTransferLine + std::string(kCompanionTransferDatabase));
        return false;
    }
    transferMayBeLeft_ = false;
    return true;
}

void RemoteCardLocation::discardTransfer() {
    transferMayBeLeft_ = SmDeleteDb(kCompanionTransferDatabase, 0) != 0;
}

bool RemoteCardLocation::requestReply(uint16_t request, const std::string& argument, DatabaseImage& image) {
    if (!clearTransfer()) return false;
    const bool read = callCompanion(request, &argument) && image.readFromHandheld(kCompanionTransferDatabase);
    discardTransfer();
    return read;
}

bool RemoteCardLocation::writeTransfer(DatabaseImage& image) {
    // Created for this slice, the database holds its records and nothing else; records
    // added to one that was there already would go to the card with them.
    bool written = image.writeToHandheld(kCompanionTransferDatabase, true);
    if (!written && !image.createdDatabase) {
        // One was in the way: a slice the companion did not consume, or one a failed delete
        // left.
        transferMayBeLeft_ = true;
        written = clearTransfer() && image.writeToHandheld(kCompanionTransferDatabase, true);
    }
    if (written) transferMayBeLeft_ = true;  // until the companion takes it
    else if (image.createdDatabase) discardTransfer();
    return written;
}

bool RemoteCardLocation::refreshEntry(const std::string& name) {
    TemporaryFile reply;
    DatabaseImage image;
    std::string text;
    bool read = reply.valid() && requestReply(REQ_ENTRY_INFO, name, image) &&
                image.writeRecordsToFile(reply.path(), true) && readWholeFile(reply.path(), text);
    // The companion describes the one name it was asked about: more lines, or another
    // name, would be records of another transfer, and their times could be stale.
    std::vector<std::string> lines;
    if (read) {
        for (const std::string& line : card::splitLines(text))
            if (!line.empty()) lines.push_back(line);
    }
    card::ListingLine parsed;
    const NameOrder& order = entries_.key_comp();
    read = read && lines.size() == 1 && card::parseListingLine(lines[0], parsed) && !order(parsed.name, name) &&
           !order(name, parsed.name) && mergeLine(lines[0]);
    if (!read) log("Could not read the Palm file's information: " + name);
    return read;
}

bool RemoteCardLocation::handheldFileAsListed(const std::string& name, const FileEntry& entry) {
    // A new file needs no look: its upload is renamed onto no existing name, so a card file
    // made since stays (and the companion answers an error for a name it does not have).
    if (entry.handheldTime == 0) return true;
    auto it = entries_.find(name);
    if (it == entries_.end()) return true;
    const FileEntry listed = it->second;
    const bool read = refreshEntry(name);
    const FileEntry now = it->second;
    it->second = listed;
    return !read || (now.handheldTime == entry.handheldTime && now.size == entry.size);
}

bool RemoteCardLocation::listHandheld() {
    if (!usable_) return false;
    std::string text;
    const card::ListingSection* section = nullptr;
    std::vector<card::ListingSection> listing;
    if (readWholeFile(listingFile_, text)) {
        listing = card::parseCardListing(text);
        section = card::findListingSection(listing, cardName_);
    }
    // A missing section is a failed listing; a section without lines is a card that holds
    // nothing yet, which the PC's files must be able to fill. A line that cannot be read
    // means the section is not what the companion wrote: the file it stood for, and any
    // the damage took with it, would read as deleted on the card and be deleted on the PC,
    // so such a section fails as a missing one does.
    bool readable = section != nullptr;
    for (size_t i = 0; readable && i < section->lines.size(); ++i) {
        readable = mergeLine(section->lines[i]);
        if (!readable) logUnreadableListingLine(section->lines[i]);
    }
    if (readable) {
        settleLeftovers();
        return true;
    }
    log("Error getting file list from the handheld(" + hex(0u) + ")");
    return false;
}

bool RemoteCardLocation::renameCardFile(const std::string& name, const std::string& newBase) {
    std::string argument = name + "|" + newBase;
    return callCompanion(REQ_RENAME, &argument);
}

bool RemoteCardLocation::isScratchName(const std::string& name) const {
    // A PC folder of such a name is kept back too: on the card it would stand in the way
    // of the scratch file.
    const std::string file = card::withoutTrailingSlash(name);
    // In any case: on the FAT card that is the very file the route writes.
    return sameIgnoringCase(card::baseNameOf(file), kUploadBase) || !originalOfAside(file).empty();
}

bool RemoteCardLocation::deleteCardFile(const std::string& name) { return callCompanion(REQ_DELETE_FILE, &name); }

void RemoteCardLocation::readBackEntry(const std::string& name, FileEntry& /*entry*/) {
    // The reply goes into the entry map, where entry is name's entry. Without it the file
    // takes no part in this HotSync, which then must not end as a success.
    if (!refreshEntry(name)) countFailure();
}

bool RemoteCardLocation::fetchSlices(const std::string& name, uint32_t size, const std::string& target) {
    // Each slice's records go straight into the target, opened once for the whole file: a
    // scratch file per slice (made, written, read back, appended, deleted) cost several file
    // creations and deletions per card file, which on a big card was most of a first HotSync.
    StdioFile out(pcfile::openStream(target, L"wb"));
    if (!out) return false;
    // Even an entry of size 0 asks for its first slice, so whatever the card holds really
    // arrives and nothing is reported as copied that was not.
    uint32_t slices = sliceCount(size, sliceSize_);
    if (slices == 0) slices = 1;
    for (uint32_t i = 0; i < slices; ++i) {
        // Cancel ends the copy between two slices, as any interrupted copy: a big file would
        // otherwise hold the HotSync until its last slice.
        if (i > 0 && progress().IsCancelled()) return false;
        uint64_t offset = uint64_t(i) * sliceSize_;
        std::string argument = name + "|" + std::to_string(offset) + "|" + std::to_string(sliceSize_);
        DatabaseImage image;
        if (!requestReply(REQ_GET_SLICE, argument, image) ||
            !appendRecords(image, out.get(), sliceBytes(size, sliceSize_, i)))
            return false;
    }
    // A write the disk refused (a full disk, say) shows at the latest here; the copy has
    // then failed and must not be moved over the PC file.
    return closeStdioFile(out);
}

bool RemoteCardLocation::fetchHandheldFile(const std::string& name, const std::string& pcPath) {
    uint32_t size = entries_[name].size;
    // Fetched beside the target and moved over it only when every slice has arrived, so a
    // transfer that breaks off never leaves a truncated copy in place of the PC file.
    AtomicFile staged(pcPath);
    bool ok = staged.valid() && fetchSlices(name, size, staged.tempPath()) && commitPcCopy(staged);
    if (!ok) log("Error getting file from card: " + name);
    return ok;
}

bool RemoteCardLocation::copyToPc(const std::string& name, FileEntry& entry) {
    std::string path = pcPathOf(name);
    if (checkName(name) && fetchHandheldFile(name, path)) {
        log("  " + name + ": Copied from Palm to PC");
        fillPcStatus(path, entry);
        return true;
    }
    log("Could not copy file from Palm to PC: " + name);
    return false;
}

bool RemoteCardLocation::copyToHandheld(const std::string& name, FileEntry& entry) {
    // The slices go to a hidden file, which replaces the card file only once all of them
    // have arrived: a HotSync broken off part-way, or killed, leaves the card file as it was.
    const std::string upload = uploadNameOf(name);
    // One left by a HotSync that was killed part-way goes first. The first slice would
    // replace it anyway, so a failure here is left to the sending to show.
    callCompanion(REQ_DELETE_FILE, &upload);
    std::string path = pcPathOf(name);
    uint32_t size = 0;
    bool ok = card::pcFileSize(path, size);
    // Even a slice whose answer was lost may have reached the card.
    bool sent = false;
    // The slices are read by code that takes no long path: a deep PC file is sent from a
    // short copy.
    const card::ShortSourceName source(path);
    ok = ok && !source.path().empty();
    // An empty file still goes as one empty slice, so the card really gets it.
    uint32_t slices = ok ? sliceCount(size, sliceSize_) : 0;
    if (ok && slices == 0) slices = 1;
    for (uint32_t i = 0; ok && i < slices; ++i) {
        // Cancel ends the copy between two slices; the part sent goes below.
        if (i > 0 && progress().IsCancelled()) {
            ok = false;
            break;
        }
        DatabaseImage image;
        // A slice that does not hold its share of the size read before is of a PC file that
        // changed while it was being sent: the card must not get a mix of two versions.
        ok = image.loadFileSlice(source.path(), kCompanionTransferDatabase, kCompanionCreator,
                                 kCompanionTransferType, i * sliceSize_, sliceSize_) &&
             recordBytes(image) == sliceBytes(size, sliceSize_, i) && writeTransfer(image);
        if (!ok) break;
        std::string target = i == 0 ? upload : "*" + upload;
        sent = true;
        ok = callCompanion(REQ_PUT_SLICE, &target);
        // The companion consumes the database it takes; one it refused may still be there.
        transferMayBeLeft_ = !ok;
    }
    // Nothing of this copy may linger for the next fetch or reply to be mixed into.
    if (transferMayBeLeft_) discardTransfer();
    // The companion renames onto no existing name, so a listed card copy has to make way.
    // It is set aside, not deleted: a HotSync killed before the new copy is in place then
    // leaves the old one on the card under a name that says whose it is, and the next
    // listing puts it back (settleLeftovers); taken for a file deleted on the card, it would
    // cost the PC its copy. A new file has none to move (a companion may answer an error
    // for a name it does not have); should an unlisted file be there after all, the rename
    // into place fails and the card keeps it.
    const std::string aside = asideNameOf(name);
    bool setAside = false, cardCopyGone = false;
    if (ok && entry.handheldTime != 0) {
        if (!aside.empty())
            ok = setAside = renameCardFile(name, card::baseNameOf(aside));
        else  // no room for the aside name: the old copy can only go first
            ok = cardCopyGone = deleteCardFile(name);
    }
    ok = ok && renameCardFile(upload, card::baseNameOf(name));
    if (ok) {
        // Should this fail, the next listing removes it, finding the new copy in place.
        if (setAside) deleteCardFile(aside);
        log("  " + name + ": Copied from PC to Palm");
        if (refreshEntry(name)) return true;
        // The card has the new copy, but its time could not be read. Recorded with the old
        // one, the next HotSync would take the file for changed on the card, or on both
        // sides; without a history it finds two equal copies and settles them. The
        // operation counts as failed, so the HotSync does not end as a success.
        entry.lastHandheldTime = 0;
        entry.lastPcTime = 0;
        return false;
    }
    // A part-sent copy is no copy of anything; the PC file still has all of it.
    if (sent) callCompanion(REQ_DELETE_FILE, &upload);
    // Should the old copy not go back now, the next listing puts it back.
    if (setAside) renameCardFile(aside, card::baseNameOf(name));
    if (cardCopyGone) {
        // The card's old copy is gone. Were the entry left with its history, the next
        // HotSync would take the missing card file for a deletion on the handheld and
        // delete the PC file; without it the PC file is simply new and is sent again.
        entry.handheldTime = 0;
        entry.lastHandheldTime = 0;
        entry.lastPcTime = 0;
    }
    log("Could not copy file from PC to Palm: " + name);
    return false;
}

bool RemoteCardLocation::deleteOnHandheld(const std::string& name, FileEntry& entry) {
    if (!archiveOnHandheld(name)) return false;
    if (callCompanion(REQ_DELETE_FILE, &name)) {
        log("  " + name + ": Deleted on Palm");
        entry.handheldTime = 0;
        return true;
    }
    log("Could not delete Palm File: " + name);
    return false;
}

bool RemoteCardLocation::archiveOnHandheld(const std::string& name) {
    if (!context_->archive) return true;
    std::vector<std::string> earlier;
    const std::string target = checkName(name) ? archivePathFor(name, &earlier) : std::string();
    if (!target.empty() && fetchHandheldFile(name, target)) {
        logArchived(name, target, earlier);
        return true;
    }
    log("Could not archive Palm file: " + name);
    return false;
}

bool RemoteCardLocation::renameOnHandheld(const std::string& name, FileEntry& entry) {
    const std::string newName = conflictNameFor(name);
    const std::string newBase = card::baseNameOf(newName);
    if (!renameCardFile(name, newBase)) {
        log("Could not rename Palm File(" + hex(lastCallError_) + "): " + name + " --> " + newBase);
        return false;
    }
    entries_[newName];
    // Unread, the moved copy reaches the PC only at the next HotSync.
    if (!refreshEntry(newName)) countFailure();
    entry.handheldTime = 0;
    log("  " + name + ": Renamed on Palm --> " + newName);
    callCompanion(REQ_DELETE_FILE, &name);
    return true;
}

bool RemoteCardLocation::createHandheldDirectory(const std::string& name, FileEntry& /*entry*/) {
    std::string directory = card::withoutTrailingSlash(name);
    if (callCompanion(REQ_MAKE_DIR, &directory)) {
        if (!refreshEntry(name)) countFailure();
        return true;
    }
    log("Could not create Palm directory: " + name);
    return false;
}

bool RemoteCardLocation::deleteHandheldDirectory(const std::string& name, FileEntry& entry) {
    std::string directory = card::withoutTrailingSlash(name);
    const bool deleted = callCompanion(REQ_REMOVE_DIR, &directory);
    return finishDirectoryDelete(deleted, lastCallError_, name, entry);
}
