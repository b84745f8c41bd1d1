#include "card/VfsCardLocation.h"
#include <algorithm>
#include <cstddef>
#include <utility>
#include "card/CardFiles.h"
#include "card/CardRules.h"
#include "engine/AtomicFile.h"
#include "engine/HotSyncLog.h"
#include "engine/NameRules.h"
#include "engine/ProgressSink.h"
#include "engine/StateFile.h"
#include "settings/Settings.h"

namespace {
const char* const kCardListing = CardLocation::kListingName;
const char kMemoryStickIndex[] = "/MEMSTICK.IND";
}  // namespace

VfsCardLocation::VfsCardLocation(SyncContext* context, VfsVolume volume)
    : CardLocation(context, std::string()), volumeRef_(volume) {
    cardName_ = locationNameForVolume();
    if (context_->progress) context_->progress->SetCardText("Synchronizing Palm Card: " + cardName_);
    setUpFolders();
}

VfsCardLocation::~VfsCardLocation() = default;

namespace {
// The volume's label as the library gives it, cut to its buffer; empty when it has none or
// it cannot be read.
std::string labelOf(const VfsLibrary& library, VfsVolume volume) {
    char label[256];
    label[0] = 0;
    uint32_t length = 255;
    library.VolumeGetLabel(volume, label, &length);
    label[255] = 0;  // the library's text is not trusted to end inside the buffer
    return label;
}

// The location name of a label as it was read.
std::string locationNameOf(const std::string& label) {
    if (label.empty()) return "Default";
    // Keeps a card apart from the main-memory location's key.
    if (label == "MainMemory") return "MainMemoryCard";
    return label;
}

// How many of a few files the records of the label's folder hold are on the volume as
// they were then.
unsigned recordedFilesOn(const VfsLibrary& library, VfsVolume volume, const std::vector<std::pair<std::string, uint32_t>>& files) {
    unsigned found = 0;
    for (const auto& file : files) {
        VfsFileRef ref = 0;
        if (library.FileOpen(volume, file.first.c_str(), VFS_MODE_READ, &ref) != 0) continue;
        uint32_t time = 0;
        if (library.FileGetDate(ref, VFS_DATE_MODIFIED, &time) == 0 && (time != 0 ? time : 1) == file.second) ++found;
        library.FileClose(ref);
    }
    return found;
}

// Up to this many recorded files are looked up per card: enough to tell two cards apart,
// few enough to cost nothing beside a HotSync.
constexpr size_t kFilesCompared = 8;
}  // namespace

std::string VfsCardLocation::locationNameForVolume() {
    std::string label = labelOf(library_, volumeRef_);
    if (label.empty()) {
        std::string newLabel = context_->settings ? context_->settings->newCardName(context_->userName) : std::string();
        log("Setting Volume Label to: " + newLabel);
        library_.VolumeSetLabel(volumeRef_, newLabel.c_str());
        // The new label is read with the whole buffer again, or a labelled card would still
        // be Default.
        label = labelOf(library_, volumeRef_);
    }
    return locationNameOf(label);
}

std::string VfsCardLocation::labelCard(const std::string& label) {
    log("Setting Volume Label to: " + label);
    const int32_t result = library_.VolumeSetLabel(volumeRef_, label.c_str());
    const std::string now = locationNameOf(labelOf(library_, volumeRef_));
    if (result != 0) log("Could not set Volume Label(" + hex(result) + "): " + label);
    return result == 0 ? now : cardName_;
}

std::vector<VfsVolume> VfsCardLocation::synchronisingOrder(const SyncContext& context, const VfsLibrary& library,
                                                           const std::vector<VfsVolume>& volumes) {
    std::vector<std::string> names;
    for (VfsVolume volume : volumes) {
        const std::string label = labelOf(library, volume);
        // An unlabelled card is labelled when its turn comes, with a name no card has.
        names.push_back(label.empty() ? std::string() : locationNameOf(label));
    }
    std::vector<VfsVolume> order = volumes;
    if (!context.settings) return order;
    const Settings& store = *context.settings;
    for (size_t first = 0; first < volumes.size(); ++first) {
        if (names[first].empty() || std::find(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(first), names[first]) !=
                                        names.begin() + static_cast<std::ptrdiff_t>(first))
            continue;
        std::vector<size_t> group;
        for (size_t i = first; i < volumes.size(); ++i)
            if (names[i] == names[first]) group.push_back(i);
        if (group.size() < 2) continue;
        const std::string key = CardLocation::recordedKeyOf(store, context.userName, names[first]);
        if (key.empty()) continue;
        std::string folder = store.directoryOf(context.userName, key);
        if (folder.empty()) folder = context.pcFolder + key;
        std::string text;
        if (!readWholeFile(withoutTrailingBackslashes(folder) + ".txt", text)) continue;
        std::vector<std::pair<std::string, uint32_t>> files;
        parseStateText(text, [&](const std::string& name, uint32_t handheldTime, uint32_t) {
            if (files.size() < kFilesCompared && !name.empty() && name.back() != '/' && handheldTime != 0)
                files.emplace_back(name, handheldTime);
        });
        size_t keeper = first;
        unsigned best = 0;
        for (size_t i : group) {
            const unsigned found = recordedFilesOn(library, volumes[i], files);
            if (found > best) {
                best = found;
                keeper = i;
            }
        }
        // The keeper takes the group's first turn; the others keep the slots' order.
        size_t next = 0;
        for (size_t i : group) {
            if (i == keeper) continue;
            ++next;
            order[group[next]] = volumes[i];
        }
        order[first] = volumes[keeper];
    }
    return order;
}

bool VfsCardLocation::readEntryInfo(const std::string& name, FileEntry& entry) {
    VfsFileRef file = 0;
    lastCallError_ = library_.FileOpen(volumeRef_, name.c_str(), VFS_MODE_READ, &file);
    if (lastCallError_ != 0) {
        entry.status = ENTRY_HANDHELD_UNREADABLE;
        return false;
    }
    uint32_t time = 0;
    lastCallError_ = library_.FileGetDate(file, VFS_DATE_MODIFIED, &time);
    if (lastCallError_ != 0) {
        entry.status = ENTRY_HANDHELD_UNREADABLE;
    } else {
        // Time 0 would mean "not on the handheld" and turn an existing file into a deletion.
        entry.handheldTime = time != 0 ? time : 1;
    }
    uint32_t attributes = 0;
    lastCallError_ = library_.FileGetAttributes(file, &attributes);
    if (lastCallError_ != 0) {
        entry.status = ENTRY_HANDHELD_UNREADABLE;
    } else {
        entry.attributes = attributes;
        uint32_t size = 0;
        lastCallError_ = library_.FileSize(file, &size);
        if (lastCallError_ == 0) entry.size = size;
    }
    library_.FileClose(file);
    return true;
}

bool VfsCardLocation::handheldFileAsListed(const std::string& name, const FileEntry& entry) {
    FileEntry now;
    if (!readEntryInfo(name, now) || now.status != ENTRY_OK) return true;
    return now.handheldTime == entry.handheldTime && now.size == entry.size;
}

bool VfsCardLocation::listHandheld() {
    if (!usable_) return false;
    bool listed = false;
    TemporaryFile listing;
    lastCallError_ = listing.valid() ? library_.FileGet(volumeRef_, kCardListing, listing.path().c_str()) : -1;
    if (lastCallError_ == 0) {
        std::string text;
        // Every name ends with its LF: characters after the last one are a line cut short,
        // and whatever the cut took would read as files deleted on the card.
        const bool whole = readWholeFile(listing.path(), text) && (text.empty() || text.back() == '\n');
        if (!whole && !text.empty()) logUnreadableListingLine(text.substr(text.rfind('\n') + 1));
        if (whole) {
            listed = true;
            for (const std::string& line : card::splitLines(text)) {
                if (line == kCardListing || line == kMemoryStickIndex || line.empty()) continue;
                if (FileEntry* entry = acceptHandheldName(line)) readEntryInfo(line, *entry);
            }
        }
        library_.FileDelete(volumeRef_, kCardListing);
        if (listed) settleLeftovers();
    }
    if (listed) return true;
    if (lastCallError_ == VFS_ERR_NOT_FOUND) {
        log("Error getting file list from the handheld");
        log("Make sure the Tarnwick application is installed on the handheld");
    } else {
        log("Error getting VFS file list(" + hex(lastCallError_) + ")");
    }
    return false;
}

bool VfsCardLocation::reservedOnHandheld(const std::string& name) const {
    // A memory stick keeps its index at the root, which this route leaves alone.
    return sameIgnoringCase(card::withoutTrailingSlash(name), kMemoryStickIndex) || CardLocation::reservedOnHandheld(name);
}

bool VfsCardLocation::renameCardFile(const std::string& name, const std::string& newBase) {
    return library_.FileRename(volumeRef_, name.c_str(), newBase.c_str()) == 0;
}

bool VfsCardLocation::deleteCardFile(const std::string& name) {
    return library_.FileDelete(volumeRef_, name.c_str()) == 0;
}

void VfsCardLocation::readBackEntry(const std::string& name, FileEntry& entry) { readEntryInfo(name, entry); }

bool VfsCardLocation::getIntoPcFile(const std::string& name, const std::string& target, int32_t& result,
                                    uint32_t& systemError) {
    // Copied beside the target and moved over it only once complete: a copy that breaks
    // off leaves the PC file (or the archive copy) as it was.
    AtomicFile staged(target);
    if (!staged.valid()) {
        systemError = card::lastSystemError();
        result = 0;
        return false;
    }
    // The library cannot take a long path: a deep card file goes through a short name.
    bool fetched = false;
    const bool placed = card::writeThroughShortName(staged.tempPath(), [&](const std::string& shortPath) {
        result = lastCallError_ = library_.FileGet(volumeRef_, name.c_str(), shortPath.c_str());
        systemError = card::lastSystemError();
        return fetched = result == 0;
    });
    if (!fetched) return false;
    if (placed && commitPcCopy(staged)) return true;
    systemError = card::lastSystemError();
    return false;
}

bool VfsCardLocation::fetchHandheldFile(const std::string& name, const std::string& pcPath) {
    int32_t result = 0;
    uint32_t systemError = 0;
    if (getIntoPcFile(name, pcPath, result, systemError)) return true;
    log("Error getting file from card(" + hex(result) + ":" + hex(systemError) + "): " + name);
    return false;
}

bool VfsCardLocation::copyToPc(const std::string& name, FileEntry& entry) {
    if (!checkName(name)) {
        log("Could not copy file from Palm to PC(0:0): " + name);
        return false;
    }
    std::string path = pcPathOf(name);
    int32_t result = 0;
    uint32_t systemError = 0;
    if (getIntoPcFile(name, path, result, systemError)) {
        log("  " + name + ": Copied from Palm to PC");
        fillPcStatus(path, entry);
        return true;
    }
    log("Could not copy file from Palm to PC(" + hex(result) + ":" + hex(systemError) + "): " + name);
    return false;
}

bool VfsCardLocation::copyToHandheld(const std::string& name, FileEntry& entry) {
    std::string path = pcPathOf(name);
    // The library cannot take a long path: a deep PC file is sent from a short copy.
    const card::ShortSourceName source(path);
    int32_t result = lastCallError_ = source.path().empty() ? -1 : library_.FilePut(volumeRef_, name.c_str(), source.path().c_str());
    uint32_t systemError = card::lastSystemError();
    if (result == 0) {
        log("  " + name + ": Copied from PC to Palm");
        readEntryInfo(name, entry);
        return true;
    }
    log("Could not copy file from PC to Palm(" + hex(result) + ":" + hex(systemError) + "): " + name);
    return false;
}

bool VfsCardLocation::deleteOnHandheld(const std::string& name, FileEntry& entry) {
    if (!archiveOnHandheld(name)) return false;
    int32_t result = lastCallError_ = library_.FileDelete(volumeRef_, name.c_str());
    if (result == 0 || result == VFS_ERR_BAD_NAME) {
        log("  " + name + ": Deleted on Palm");
        entry.handheldTime = 0;
        return true;
    }
    log("Could not delete Palm File(" + hex(result) + "): " + name);
    return false;
}

bool VfsCardLocation::archiveOnHandheld(const std::string& name) {
    if (!context_->archive) return true;
    int32_t result = 0;
    uint32_t systemError = 0;
    std::vector<std::string> earlier;
    const std::string target = checkName(name) ? archivePathFor(name, &earlier) : std::string();
    if (!target.empty() && getIntoPcFile(name, target, result, systemError)) {
        logArchived(name, target, earlier);
        return true;
    }
    log("Could not archive Palm file(" + hex(result) + "): " + name);
    return false;
}

bool VfsCardLocation::renameOnHandheld(const std::string& name, FileEntry& entry) {
    const std::string newName = conflictNameFor(name);
    const std::string newBase = card::baseNameOf(newName);
    int32_t result = lastCallError_ = library_.FileRename(volumeRef_, name.c_str(), newBase.c_str());
    if (result != 0) {
        log("Could not rename Palm File(" + hex(result) + "): " + name + " --> " + newBase);
        return false;
    }
    readEntryInfo(newName, entries_[newName]);
    entry.handheldTime = 0;
    log("  " + name + ": Renamed on Palm --> " + newName);
    return true;
}

bool VfsCardLocation::createHandheldDirectory(const std::string& name, FileEntry& entry) {
    int32_t result = lastCallError_ = library_.DirCreate(volumeRef_, name.c_str());
    if (result == 0 || result == VFS_ERR_EXISTS) {
        readEntryInfo(name, entry);
        return true;
    }
    log("Could not create Palm directory(" + hex(result) + "): " + name);
    return false;
}

bool VfsCardLocation::deleteHandheldDirectory(const std::string& name, FileEntry& entry) {
    int32_t result = lastCallError_ = library_.FileDelete(volumeRef_, name.c_str());
    return finishDirectoryDelete(result == 0 || result == VFS_ERR_NOT_FOUND, result, name, entry);
}
