#include "card/CardLocation.h"
#include <windows.h>
#include <algorithm>
#include <vector>
#include "card/CardRules.h"
#include "engine/HotSyncLog.h"
#include "engine/NameRules.h"
#include "engine/PcPaths.h"
#include "settings/Settings.h"

CardLocation::CardLocation(SyncContext* context, const std::string& cardName)
    : HandheldLocation(context), cardName_(cardName) {
    // A card is FAT: a name differing in case only is the same file there, as it is in the
    // PC folder. Taken apart, a rename in case would read as one file deleted and another
    // made, and the deletion would take the file from both sides.
    compareNamesWithoutCase();
}

CardLocation::~CardLocation() = default;

std::string CardLocation::relativeNameOf(const std::string& pcPath) {
    return card::cardRelativeName(names::ansiCodePage(), pcDirectory_, pcPath);
}

std::string CardLocation::pcPathOf(const std::string& name) { return card::cardPcPath(pcDirectory_, name); }

bool CardLocation::isDirectoryName(const std::string& name) { return !name.empty() && name.back() == '/'; }

namespace {
// The longest name one folder of a card holds.
constexpr size_t kLongestCardBaseName = 255;
}  // namespace

bool CardLocation::reservedOnHandheld(const std::string& name) const {
    // The handheld application leaves its listing of the card at the root: a PC file sent
    // under that name would be read as the listing (or lost to the next one).
    return sameIgnoringCase(card::withoutTrailingSlash(name), kListingName) || isScratchName(name);
}

std::string CardLocation::asideNameOf(const std::string& name) {
    const std::string base = kAsidePrefix + card::baseNameOf(name);
    return base.size() > kLongestCardBaseName ? std::string() : card::folderPartOf(name) + base;
}

std::string CardLocation::originalOfAside(const std::string& name) {
    const std::string base = card::baseNameOf(name);
    const size_t prefix = sizeof kAsidePrefix - 1;
    // The card is FAT: the name in any case is the one the route writes.
    if (base.size() <= prefix || !sameIgnoringCase(base.substr(0, prefix), kAsidePrefix)) return std::string();
    return card::folderPartOf(name) + base.substr(prefix);
}

namespace {
bool containsIgnoringCase(const std::vector<std::string>& list, const std::string& name) {
    return std::any_of(list.begin(), list.end(), [&](const std::string& item) { return sameIgnoringCase(item, name); });
}
}  // namespace

std::string CardLocation::chooseLocationKey() {
    const std::string& label = cardName_;
    const std::string base = card::folderNameForLabel(names::ansiCodePage(), label);
    if (base.empty()) return std::string();
    Settings& store = settings();
    const std::string& user = context_->userName;
    LocationClaims* claims = context_->claims;
    // A count of matches is never negative.
    const size_t seen = claims ? static_cast<size_t>(std::count(claims->labels.begin(), claims->labels.end(), label)) : 0;
    const std::string record = card::labelRecordKey(label, static_cast<unsigned>(seen + 1));
    auto claimedNow = [&](const std::string& key) { return claims && containsIgnoringCase(claims->keys, key); };

    // What this label was given before stays its key, so nothing churns between HotSyncs.
    std::string key = store.cardKeyOf(user, record);
    if (!key.empty() && !claimedNow(key) && card::folderNameForLabel(names::ansiCodePage(), key) == key) return key;

    const std::vector<std::string> folders = store.directoryKeys(user);
    const std::vector<std::string> given = store.cardKeysGiven(user);
    auto adopt = [&](const std::string& known) {
        store.setCardKeyOf(user, record, known);
        return known;
    };
    auto usableKey = [&](const std::string& known) { return !claimedNow(known) && card::folderNameForLabel(names::ansiCodePage(), known) == known; };
    // A label whose record was lost or never written still names the folder its card has:
    // the key spelt as the label's folder name first; then, for a label no other card of
    // this HotSync has, a numbered key of that very spelling ("Card A_2") that no recorded
    // label was given, as the keys made for cards sharing a label read; then the key that
    // differs from it in case only (tools write FAT labels in upper case), unless another
    // card of this HotSync holds it. Anything else would copy the card again into a second
    // folder and strand its exceptions and history under the old key.
    for (const std::string& known : folders)
        if (known == base && usableKey(known)) return adopt(known);
    if (seen == 0) {
        for (const std::string& known : folders)
            if (card::numberedFrom(known, base) && usableKey(known) && !containsIgnoringCase(given, known)) return adopt(known);
    }
    for (const std::string& known : folders)
        if (sameIgnoringCase(known, base) && usableKey(known)) return adopt(known);
    const std::vector<std::string> lastRuns = store.lastBackupKeys(user);
    // A record under exactly the label is this card's own from before labels were
    // recorded (the label was the key then); one in other case belongs to another card.
    auto heldByOther = [&](const std::vector<std::string>& keys, const std::string& candidate) {
        return std::any_of(keys.begin(), keys.end(), [&](const std::string& k) {
            return sameIgnoringCase(k, candidate) && !(seen == 0 && k == label && candidate == label);
        });
    };
    auto taken = [&](const std::string& candidate) {
        if (claimedNow(candidate) || sameIgnoringCase(candidate, "MainMemory") ||
            containsIgnoringCase(given, candidate) || heldByOther(folders, candidate) ||
            heldByOther(lastRuns, candidate))
            return true;
        // A made-up name must not adopt a folder or state file that is already there.
        const std::string folder = context_->pcFolder + candidate;
        return candidate != label && (pcfile::exists(folder) || pcfile::exists(folder + ".txt"));
    };
    key = firstFreeName(base, true, false, taken);
    store.setCardKeyOf(user, record, key);
    return key;
}

std::string CardLocation::recordedKeyOf(const Settings& store, const std::string& user, const std::string& label) {
    const std::string key = store.cardKeyOf(user, card::labelRecordKey(label, 1));
    if (!key.empty()) return key;
    const std::string base = card::folderNameForLabel(names::ansiCodePage(), label);
    if (base.empty()) return std::string();
    std::string other;
    for (const std::string& known : store.directoryKeys(user)) {
        if (known == base) return known;
        if (other.empty() && sameIgnoringCase(known, base)) other = known;
    }
    return other;
}

std::string CardLocation::labelCard(const std::string& /*label*/) { return cardName_; }

void CardLocation::labelApart(const std::string& key) {
    LocationClaims* claims = context_->claims;
    if (!claims || std::find(claims->labels.begin(), claims->labels.end(), cardName_) == claims->labels.end()) return;
    if (key == cardName_) return;
    // The card takes its key as its label only when that label is nobody's: a card that
    // has it now, or had it at an earlier HotSync, would share it with this one.
    Settings& store = settings();
    const std::string record = card::labelRecordKey(key, 1);
    const std::string recorded = store.cardKeyOf(context_->userName, record);
    const bool labelFree = std::find(claims->labels.begin(), claims->labels.end(), key) == claims->labels.end() &&
                           (recorded.empty() || recorded == key);
    const std::string now = labelFree ? labelCard(key) : cardName_;
    if (now == cardName_) {
        // Kept apart in this HotSync by the order of the slots only: at the next one the
        // other card may take this one's folder. The error summary tells the user.
        sharesLabel_ = true;
        log("Error: could not give the card its own label " + key + "; give one of the cards labelled " +
            card::printableName(cardName_) + " another label");
        return;
    }
    // The key now goes with the new label; the record that gave it to the n-th card of the
    // old label would hand this card's folder to another card of that label later.
    const auto seen = static_cast<unsigned>(std::count(claims->labels.begin(), claims->labels.end(), cardName_));
    store.setCardKeyOf(context_->userName, card::labelRecordKey(cardName_, seen + 1), std::string());
    cardName_ = now;
    store.setCardKeyOf(context_->userName, card::labelRecordKey(now, 1), key);
}

void CardLocation::setUpFolders() {
    // The card's label becomes a folder under the PC root and under the archive root, and
    // the key of its settings records. A label Windows cannot keep as a folder name is
    // mapped to one that it can; two cards never share a key or a folder.
    const std::string key = chooseLocationKey();
    if (key.empty()) {
        usable_ = false;
        refused_ = true;
        log("Error: card name not usable as a PC folder, card skipped: " + card::printableName(cardName_));
        return;
    }
    locationName_ = key;
    // A second card of one label is labelled with its own key, so that from now on its
    // folder follows it into any slot instead of going to whichever card comes first.
    labelApart(key);
    // A key equal but for case is the card's own folder, read under a label in other case.
    if (!sameIgnoringCase(key, cardName_)) {
        const bool unusable = card::folderNameForLabel(names::ansiCodePage(), cardName_) != cardName_;
        log(card::printableName(cardName_) + ": PC folder name " + key +
            (unusable ? " (the label is no usable folder name)" : " (another card has this name)"));
    }
    const std::string folder = settings().directoryOrRecord(context_->userName, locationName_, context_->pcFolder + locationName_);
    // A folder entered as "C:\\Sync\\Card\\" names the same folder.
    pcDirectory_ = withoutTrailingBackslashes(folder);
    LocationClaims* claims = context_->claims;
    if (claims) {
        claims->labels.push_back(cardName_);
        claims->keys.push_back(locationName_);
    }
    // A folder record edited by hand into something that is no absolute folder (or left
    // empty) would be taken relative to whatever the current folder is.
    if (!Settings::isAbsoluteFolder(folder)) {
        usable_ = false;
        refused_ = true;
        log("Error: the PC folder recorded for " + locationName_ + " is no absolute folder, card skipped: \"" + folder + "\"");
        return;
    }
    if (claims) {
        // A folder recorded by hand for two keys would still be shared.
        if (containsIgnoringCase(claims->folders, pcDirectory_)) {
            usable_ = false;
            refused_ = true;
            log("Error: PC folder already used by another card, card skipped: " + pcDirectory_);
            return;
        }
        claims->folders.push_back(pcDirectory_);
    }
    archiveDirectory_ = makeArchiveDirectory(locationName_);
    log(card::printableName(cardName_) + ": Location - " + pcDirectory_);
}

bool CardLocation::checkName(const std::string& name) const {
    if (card::isSafeRelativeName(names::ansiCodePage(), name)) return true;
    log("Error: unsafe file name from the handheld skipped: " + card::printableName(name));
    return false;
}

void CardLocation::logUnreadableListingLine(const std::string& line) const {
    log("Error: unreadable line in the file list from the handheld: " + card::printableName(line));
}

FileEntry* CardLocation::acceptHandheldName(const std::string& name) {
    if (!checkName(name)) {
        // The card may hold the only copy: a file that cannot be mirrored ends the HotSync
        // with the error summary, not with a success that leaves it out.
        countFailure();
        return nullptr;
    }
    if (!isDirectoryName(name) && isScratchName(name)) {
        stagingLeftovers_.push_back(name);
        return nullptr;
    }
    // The handheld's own files take no part on either side, so they are never deleted.
    if (reservedOnHandheld(name)) return nullptr;
    return &entries_[name];
}

void CardLocation::removeLeftover(const std::string& name) {
    if (deleteCardFile(name)) {
        log("  " + name + ": Removed on Palm (left by an interrupted HotSync)");
    } else {
        log("Could not remove Palm File left by an interrupted HotSync: " + name);
    }
}

void CardLocation::settleLeftovers() {
    for (const std::string& leftover : stagingLeftovers_) {
        const std::string original = originalOfAside(leftover);
        if (original.empty()) {
            removeLeftover(leftover);
            continue;
        }
        // Only a name of ours is put back (the aside name passed the same check).
        if (!card::isSafeRelativeName(names::ansiCodePage(), original)) continue;
        const auto listed = entries_.find(original);
        if (listed != entries_.end() && listed->second.handheldTime != 0) {
            removeLeftover(leftover);  // the new copy made it into place
            continue;
        }
        FileEntry& entry = entries_[original];
        if (renameCardFile(leftover, card::baseNameOf(original))) {
            readBackEntry(original, entry);
            log("  " + original + ": Restored on Palm");
        } else {
            log("Could not restore Palm File: " + original);
            countFailure();
        }
        if (entry.handheldTime == 0) entry.status = ENTRY_HANDHELD_UNREADABLE;
    }
    stagingLeftovers_.clear();
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
    log("Could not delete Palm Directory(" + hex(code) + "): " + name);
    return false;
}
