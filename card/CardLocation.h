// What the two card routes have in common: "/"-separated relative names, the PC folder
// and archive folder of a card, and the refusal of names that would reach outside them.
#pragma once
#include <string>
#include <vector>
#include "engine/HandheldLocation.h"

class Settings;

class CardLocation : public HandheldLocation {
public:
    ~CardLocation() override;

    std::string relativeNameOf(const std::string& pcPath) override;
    std::string pcPathOf(const std::string& name) override;
    bool isDirectoryName(const std::string& name) override;
    // The card listing's name at the root, and the route's scratch names.
    bool reservedOnHandheld(const std::string& name) const override;

    // Where the handheld application leaves its listing of the card.
    static constexpr char kListingName[] = "/Tarnwick.txt";

    // The name the companion route sends a card file's new contents under, in the card
    // file's own folder, before they replace it.
    static constexpr char kUploadBase[] = ".tarnwick-upload";
    // The companion route sets a card file's old copy aside under this prefix and its own
    // base name, in its own folder, while the new copy takes its place.
    static constexpr char kAsidePrefix[] = ".tarnwick-old-";
    // The aside name of a card file; empty when it would be longer than a card name may be.
    static std::string asideNameOf(const std::string& name);
    // The card file an aside name stands for; empty when name is no aside name.
    static std::string originalOfAside(const std::string& name);

    const std::string& cardName() const { return cardName_; }
    // True when this card still shares its label with another card of this HotSync: it
    // could not be given a label of its own, so at the next HotSync its folder goes by
    // the order of the slots. The driver counts it as an error.
    bool sharesItsLabel() const { return sharesLabel_; }

    // The key a label's card had at its last HotSync as the records tell, recording
    // nothing: the key recorded for the label, else the "-Directories" key equal to its
    // folder name but for case. Empty when neither is there.
    static std::string recordedKeyOf(const Settings& store, const std::string& user, const std::string& label);
    // False when the card's name cannot serve as a PC folder name: the location then owns
    // no folder, touches nothing and its listing fails.
    bool usable() const { return usable_; }

protected:
    CardLocation(SyncContext* context, const std::string& cardName);

    // Chooses the location key (locationName_) for the label cardName_, then the folders
    // and "-Directories" record for it; logs the location line, and a line when the key is
    // not the label. A card whose label another card of this HotSync already has is
    // labelled with its key (labelCard), so its folder follows it to any slot. Refuses
    // (and logs) a label that maps to no usable folder name, a "-Directories" value that
    // is no absolute folder, and a folder another card of this HotSync already has.
    void setUpFolders();

    // Writes label onto the card and answers the label the card reads afterwards (the old
    // one when it could not be changed); logs what it did. A route that cannot label a card
    // answers cardName_ unchanged.
    virtual std::string labelCard(const std::string& label);

    // True for a card file name of the exact form, and in the place, that this route
    // writes its own scratch files under; every other name is a user's file.
    virtual bool isScratchName(const std::string& name) const = 0;

    // Inserts a handheld name into the entry map unless it could leave the PC folder;
    // a refused name is logged and gives null. A scratch name gives null without a line
    // and is kept in stagingLeftovers_ for the route to remove.
    FileEntry* acceptHandheldName(const std::string& name);

    // Logs a line of the handheld's listing that cannot be read, which fails the listing.
    void logUnreadableListingLine(const std::string& line) const;

    // True when name may be written below pcDirectory (and its base name into the
    // archive folder); otherwise logs the refusal.
    bool checkName(const std::string& name) const;

    // The card operations the leftovers of a killed HotSync are settled with; true when
    // done. The route logs its own failure lines.
    virtual bool renameCardFile(const std::string& name, const std::string& newBase) = 0;
    virtual bool deleteCardFile(const std::string& name) = 0;
    // Reads the handheld fields of a card file into its entry.
    virtual void readBackEntry(const std::string& name, FileEntry& entry) = 0;

    // Once the listing is in: removes the scratch files a killed HotSync left on the card,
    // with a line each.
    // An old copy set aside goes back to its name when the listing lacks that name (the
    // HotSync died before the new copy was in place) and is removed otherwise; until its
    // copy is back, the entry is kept out of this run, so it never reads as deleted.
    void settleLeftovers();
    // Deletes one scratch file on the card and logs it.
    void removeLeftover(const std::string& name);

    // What both routes do once a directory delete was tried: a deleted directory clears
    // the entry's handheld time; a failure in the main pass puts the name off to the
    // deferred pass without a line (its contents may still be going), and only a failure
    // in the deferred pass is logged, with the handheld's code.
    bool finishDirectoryDelete(bool deleted, int32_t code, const std::string& name, FileEntry& entry);

    std::string cardName_;
    bool usable_ = true;
    bool sharesLabel_ = false;
    // Staging files a killed HotSync left on the card, found by the listing.
    std::vector<std::string> stagingLeftovers_;

private:
    // The label's key: recorded before, else the label made a usable folder name, with
    // "_2", "_3", ... when another card (this HotSync or recorded) has it in any case.
    // Records the choice. Empty when the label maps to nothing usable.
    std::string chooseLocationKey();
    // Gives the card the label key when another card of this HotSync has its label and
    // no other card has, or had, key as its label; records key under the new label.
    void labelApart(const std::string& key);
};
