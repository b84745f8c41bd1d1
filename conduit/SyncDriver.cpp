#include "conduit/SyncDriver.h"
#include <algorithm>
#include <string>
#include <vector>
#include <windows.h>
#include "HotSyncApi.h"
#include "conduit/DriverRules.h"
#include "engine/Decision.h"
#include "engine/HotSyncLog.h"
#include "conduit/ProgressWindowSink.h"
#include "conduit/SyncJob.h"
#include "engine/HandheldLocation.h"
#include "engine/SyncContext.h"
#include "settings/Settings.h"
#include "mainmemory/DatabaseImage.h"
#include "mainmemory/MainMemoryLocation.h"
#include "card/CardRules.h"
#include "card/Companion.h"
#include "card/RemoteCardLocation.h"
#include "card/VfsCardLocation.h"
#include "engine/AtomicFile.h"

namespace {
enum CardMode : int32_t { CARD_MODE_CLIE = 1, CARD_MODE_HANDERA = 2, CARD_MODE_HANDSPRING = 3 };

void logLine(const std::string& text) { HotSyncLog(text); }

// Asks the companion application which way the card is reached. No answer leaves 0.
void probeCardMode(SyncJob& job) {
    char parameter[] = "Tarnwick";
    unsigned char result[32] = {};
    SmRemoteCall call = {};
    call.creator = kCompanionCreator;
    call.type = kCompanionType;
    call.request = 0;
    call.paramSize = sizeof parameter;
    call.param = parameter;
    call.resultBufferSize = sizeof result;
    call.resultBuffer = result;
    job.lastHandheldResult = SyncCallRemoteModule(&call);
    if (job.lastHandheldResult == 0) job.cardMode = call.resultCode;
}

// Leaves the databases of installed conduits to those conduits.
void gatherConduitCreators(SyncJob& job) {
    uint32_t user = 0;
    std::string folder = UserFolderOf(job.pcFolder);
    if (UdUserByFolder(folder.c_str(), &user) != 0) return;
    int32_t count = CmConduitCount();
    if (count <= 0) return;
    std::vector<CmConduitEntry> entries(static_cast<size_t>(count));
    int32_t filled = count;
    if (CmConduitList(entries.data(), &filled) != 0) return;
    // The list call may report fewer entries than were counted, never more than fit.
    size_t used = filled >= 0 && filled < count ? static_cast<size_t>(filled) : entries.size();
    for (size_t i = 0; i < used; ++i) {
        uint32_t creator = 0;
        CmEntryCreator(&entries[i], &creator);
        int32_t valueA = 0, valueB = 0;
        int32_t resultA = UdUserValueA(user, creator, &valueA);
        int32_t resultB = UdUserValueB(user, creator, &valueB);
        if (CreatorIsClaimed(resultA, valueA, resultB, valueB)) job.creators.push_back(creator);
    }
}

// Copies the companion's listing of all cards into the listing file and reads the card
// names from it, each once; names listed more than once go to `shared`. A listing that
// could not be written whole is no listing: the names missing from a cut copy would read
// as cards, or files, gone from the handheld.
bool readCardNames(const std::string& listingFile, std::vector<std::string>& names, std::vector<std::string>& shared) {
    {
        DatabaseImage image;
        if (!image.readFromHandheld(kCompanionTransferDatabase)) return false;
        if (!image.writeRecordsToFile(listingFile, true)) return false;
    }
    std::string text;
    const bool read = readWholeFile(listingFile, text);
    if (read) {
        for (const card::ListingSection& section : card::parseCardListing(text)) {
            if (std::find(names.begin(), names.end(), section.cardName) == names.end()) {
                names.push_back(section.cardName);
            } else if (std::find(shared.begin(), shared.end(), section.cardName) == shared.end()) {
                shared.push_back(section.cardName);
            }
        }
    }
    SmDeleteDb(kCompanionTransferDatabase, 0);
    return read;
}

enum class CardOutcome { Finished, Stop };

// A location counts as failed when it was abandoned, and also when any of its file
// operations failed: a HotSync that left a change uncarried must not end with the
// success line.
bool runLocation(HandheldLocation& location) {
    bool finished = location.synchronise();
    return finished && location.failedOperations() == 0;
}

CardOutcome companionRoute(SyncJob& job, SyncContext& context, int32_t& errors, bool transferClear) {
    TemporaryFile listing;
    std::vector<std::string> names, shared;
    if (!transferClear) logLine("Could not delete the transfer database on the handheld: " + std::string(kCompanionTransferDatabase));
    if (transferClear && !listing.path().empty() && readCardNames(listing.path(), names, shared)) {
        for (const std::string& name : names) {
            if (job.cancelRequested()) return CardOutcome::Stop;
            // The companion reaches a card by its name alone: of two cards that share one,
            // every request would reach the same card, whichever section it was listed in,
            // and one card's folder and files would go to the other. None of them is touched.
            if (std::find(shared.begin(), shared.end(), name) != shared.end()) {
                logLine("Error: more than one card is named " + card::printableName(name) +
                        " and the handheld cannot tell them apart, cards skipped; give each card its own label");
                ++errors;
                continue;
            }
            RemoteCardLocation location(&context, name, listing.path());
            if (!runLocation(location)) ++errors;
        }
        return CardOutcome::Finished;
    }
    logLine("Error getting file list from the handheld");
    logLine("Make sure the Tarnwick application is installed on the handheld");
    logLine("If this is the first HotSync after installing Tarnwick this error should go away the next time you HotSync.");
    ++errors;
    return CardOutcome::Finished;
}

// Fills the job's volume list; logs the failing step.
bool enumerateVolumes(SyncJob& job) {
    uint16_t count = 0;
    job.lastHandheldResult = job.vfs.VolumeEnumerate(&count, nullptr);
    if (job.lastHandheldResult != 0) {
        job.stepCode = 102;
        logLine(VolumeStepErrorLine(job.stepCode, job.lastHandheldResult));
        return false;
    }
    job.volumes.resize(count);
    job.lastHandheldResult = job.vfs.VolumeEnumerate(&count, job.volumes.empty() ? nullptr : job.volumes.data());
    if (job.lastHandheldResult != 0) {
        job.stepCode = 101;
        logLine(VolumeStepErrorLine(job.stepCode, job.lastHandheldResult));
        return false;
    }
    // The second call may report fewer volumes than the first; never trust more than fit.
    if (count < job.volumes.size()) job.volumes.resize(count);
    return true;
}

CardOutcome vfsRoute(SyncJob& job, SyncContext& context, int32_t& errors) {
    uint32_t a = 0, b = 0;
    job.vfs.Support(&a, &b);
    if (a == 0 || b == 0) return CardOutcome::Finished;
    if (!enumerateVolumes(job)) return CardOutcome::Stop;
    for (uint16_t volume : VfsCardLocation::synchronisingOrder(context, job.vfs, job.volumes)) {
        if (job.cancelRequested()) return CardOutcome::Stop;
        VfsCardLocation location(&context, volume);
        if (!runLocation(location) || location.sharesItsLabel()) ++errors;
    }
    return CardOutcome::Finished;
}
}  // namespace

void RunDriver(SyncJob& job, Settings& settings) {
    if (GetFileAttributesA(job.pcFolder.c_str()) == INVALID_FILE_ATTRIBUTES)
        CreateDirectoryA(job.pcFolder.c_str(), nullptr);

    ProgressWindowSink progress(job.progressWindow.get(), job.cancelEvent.get());
    SyncContext context;
    LocationClaims claims;
    context.claims = &claims;
    context.archive = job.archive;
    context.userName = job.userName;
    context.pcFolder = job.pcFolder;
    context.progress = &progress;
    context.settings = &settings;

    if (job.skipConduitDatabases) {
        gatherConduitCreators(job);
        context.creators = &job.creators;
    }

    int32_t errors = 0;
    // Whatever layer reported a file it could not carry, the summary says errors.
    const uint32_t failureLinesBefore = FailureLinesLogged();
    // An overwrite other than the user's permanent action was chosen for this HotSync:
    // HotSync hands it over once, so a location must not let "Frequency" skip it.
    auto oneTime = [](int32_t action, int32_t permanent) {
        const int32_t effective = effectiveAction(action);
        return (effective == ACTION_HH_OVERWRITES || effective == ACTION_PC_OVERWRITES) && action != permanent;
    };
    if (job.mainMemoryAction != ACTION_DO_NOTHING) {
        context.action = job.mainMemoryAction;
        context.oneTimeAction = oneTime(job.mainMemoryAction, settings.mainPermanentAction(job.userName));
        MainMemoryLocation location(&context);
        if (!runLocation(location)) errors = 1;
    }
    if (job.cancelRequested()) return;

    if (job.cardAction != ACTION_DO_NOTHING) {
        context.action = job.cardAction;
        context.oneTimeAction = oneTime(job.cardAction, settings.cardPermanentAction(job.userName));
        // The probe has the companion write its listing of every card into the transfer
        // database: one an earlier HotSync left there would be read with it.
        const bool transferClear = RemoteCardLocation::clearTransferDatabase();
        probeCardMode(job);
        if (job.cardMode == CARD_MODE_HANDERA) logLine("Handera Mode");
        if (job.cardMode == CARD_MODE_HANDSPRING) logLine("Handspring Mode");
        if (job.cardMode == CARD_MODE_CLIE) logLine("Clie Mode");
        CardOutcome outcome = job.cardMode == CARD_MODE_HANDERA || job.cardMode == CARD_MODE_HANDSPRING
                                  ? companionRoute(job, context, errors, transferClear)
                                  : vfsRoute(job, context, errors);
        if (outcome == CardOutcome::Stop) return;
    }
    if (job.cancelRequested()) return;

    LogSummary(errors != 0 || FailureLinesLogged() != failureLinesBefore);
}

void LogSummary(bool errors) {
    if (errors)
        HotSyncLogActivity("Tarnwick encountered 1 or more errors", LOG_SUMMARY_ERRORS);
    else
        HotSyncLogActivity("Tarnwick", LOG_SUMMARY_OK);
}
