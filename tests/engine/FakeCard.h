// A card held in memory and a location over it, so the engine runs against real PC
// folders (under wine) with a handheld side the tests control completely. Its log lines
// follow the contract every card location keeps.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "card/CardRules.h"
#include "engine/AtomicFile.h"
#include "engine/HandheldLocation.h"
#include "engine/NameRules.h"
#include "engine/PcPaths.h"
#include "tests/common/TestTree.h"

struct FakeObject {
    std::string content;
    uint32_t time = 0;
    bool directory = false;
};

// A FAT card: names compared without regard to case (the code page's letters, not only A to
// Z) and kept as first written (writing over a file under another spelling keeps the old one).
struct FakeCard {
    std::map<std::string, FakeObject, NameOrder> objects{NameOrder{true, &pcfile::ansiCaseFold()}};
    uint32_t clock = 3000000000u;  // handheld times in their own base, above 2^31
    uint32_t pcClock = 0;          // PC times given to files the location writes
    bool failList = false;
    std::set<std::string> failCopyToPc, failCopyToHandheld, failDelete, failRename, failFetch;
    // Called as the location starts a card operation or checks a card file again ("copyToPc",
    // "copyToHandheld", "deleteOnHandheld", "check"), with the entry's name: a test changes
    // either side there, as a user saving a file during a HotSync does.
    std::function<void(const char* call, const std::string& name)> during;
    void duringCall(const char* call, const std::string& name) {
        if (during) during(call, name);
    }

    void put(const std::string& name, const std::string& content, uint32_t advance = 10) {
        clock += advance;
        objects[name] = FakeObject{content, clock, false};
    }
    void mkdir(const std::string& name) {
        clock += 10;
        objects[name] = FakeObject{std::string(), clock, true};
    }
    bool has(const std::string& name) const { return objects.count(name) != 0; }
    // The spelling the card keeps for name, or "" when absent.
    std::string spelling(const std::string& name) const {
        auto it = objects.find(name);
        return it == objects.end() ? std::string() : it->first;
    }
    // True when the folder name lies in is on the card (the root always is): a FAT card
    // makes nothing inside a folder that is not there.
    bool hasFolderOf(const std::string& name) const {
        const std::string tail = !name.empty() && name.back() == '/' ? name.substr(0, name.size() - 1) : name;
        const size_t slash = tail.rfind('/');
        return slash == 0 || slash == std::string::npos || has(tail.substr(0, slash + 1));
    }
    // Renames one object (a rename in case only included); the time is kept, as FAT does.
    void rename(const std::string& from, const std::string& to) {
        FakeObject moved = objects.at(from);
        objects.erase(from);
        objects[to] = moved;
    }
    std::string content(const std::string& name) const {
        auto it = objects.find(name);
        return it == objects.end() ? std::string("<absent>") : it->second.content;
    }
};

// Sets a file's modification time to t seconds since 1970 (a path of any length).
inline bool setPcFileTime(const std::string& path, uint32_t t) {
    HANDLE h = CreateFileW(longHostPath(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const uint64_t ft = static_cast<uint64_t>(t) * 10000000ull + 116444736000000000ull;
    FILETIME when{static_cast<DWORD>(ft), static_cast<DWORD>(ft >> 32)};
    const BOOL ok = SetFileTime(h, nullptr, nullptr, &when);
    CloseHandle(h);
    return ok != 0;
}

// Writes a PC file (a path of any length) whole.
inline bool writeBytes(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileW(longHostPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

class FakeLocation : public HandheldLocation {
public:
    FakeLocation(SyncContext* context, FakeCard& card, const std::string& pcDirectory,
                 const std::string& name = "Card")
        : HandheldLocation(context), card_(card) {
        compareNamesWithoutCase();
        pcDirectory_ = pcDirectory;
        locationName_ = name;
        makeArchiveDirectory(name);
    }

    const std::vector<std::string>& deferred() const { return deferred_; }

    // Card names, as both card locations form them.
    std::string relativeNameOf(const std::string& pcPath) override {
        return card::cardRelativeName(pcfile::ansiCaseFold(), pcDirectory_, pcPath);
    }
    std::string pcPathOf(const std::string& name) override { return card::cardPcPath(pcDirectory_, name); }
    bool isDirectoryName(const std::string& name) override { return !name.empty() && name.back() == '/'; }

    bool listHandheld() override {
        if (card_.failList) {
            log("Could not list card");
            return false;
        }
        for (const auto& item : card_.objects) {
            FileEntry& e = entries_[item.first];
            e.attributes = item.second.directory ? 0x10u : 0u;
            e.handheldTime = item.second.time;
            e.size = static_cast<uint32_t>(item.second.content.size());
        }
        return true;
    }

    bool fetchHandheldFile(const std::string& name, const std::string& pcPath) override {
        if (card_.failFetch.count(name) || !card_.has(name)) return false;
        return writeBytes(pcPath, card_.content(name));
    }

    bool copyToPc(const std::string& name, FileEntry& entry) override {
        card_.duringCall("copyToPc", name);
        const std::string path = pcPathOf(name);
        AtomicFile file(path);
        if (card_.failCopyToPc.count(name) || !card_.has(name) || !file.valid() ||
            !writeBytes(file.tempPath(), card_.content(name)) || !commitPcCopy(file)) {
            log("Could not copy to PC: " + name);
            return false;
        }
        card_.pcClock += 100;
        setPcFileTime(path, card_.pcClock);
        fillPcStatus(path, entry);
        log("  " + name + ": Copied from Palm to PC");
        return true;
    }

    bool copyToHandheld(const std::string& name, FileEntry& entry) override {
        card_.duringCall("copyToHandheld", name);
        std::string bytes;
        // A FAT card holds no file and folder of one name.
        if (card_.failCopyToHandheld.count(name) || !card_.hasFolderOf(name) || card_.has(name + "/") ||
            !readWholeFile(pcPathOf(name), bytes)) {
            log("Could not copy to Palm: " + name);
            return false;
        }
        card_.put(name, bytes);
        entry.handheldTime = card_.objects[name].time;
        log("  " + name + ": Copied from PC to Palm");
        return true;
    }

    bool archiveOnHandheld(const std::string& name) override {
        if (!context_->archive) return true;
        std::vector<std::string> earlier;
        const std::string target = archivePathFor(name, &earlier);
        if (target.empty() || !writeBytes(target, card_.content(name))) {
            log("Could not archive Palm File: " + name);
            return false;
        }
        logArchived(name, target, earlier);
        return true;
    }

    bool handheldFileAsListed(const std::string& name, const FileEntry& entry) override {
        card_.duringCall("check", name);
        if (card_.has(name + "/")) return false;  // a folder took the name since
        auto it = card_.objects.find(name);
        return it == card_.objects.end() ||
               (it->second.time == entry.handheldTime && it->second.content.size() == entry.size);
    }

    bool deleteOnHandheld(const std::string& name, FileEntry& entry) override {
        card_.duringCall("deleteOnHandheld", name);
        if (!archiveOnHandheld(name)) return false;
        if (card_.failDelete.count(name) || !card_.has(name)) {
            log("Could not delete Palm File: " + name);
            return false;
        }
        card_.objects.erase(name);
        entry.handheldTime = 0;
        log("  " + name + ": Deleted on Palm");
        return true;
    }

    bool renameOnHandheld(const std::string& name, FileEntry& entry) override {
        const std::string newName = conflictNameFor(name);
        if (card_.failRename.count(name) || card_.has(newName) || !card_.has(name)) {
            log("Could not rename Palm File: " + name);
            return false;
        }
        card_.objects[newName] = card_.objects[name];
        card_.objects.erase(name);
        FileEntry& moved = entries_[newName];
        moved.handheldTime = card_.objects[newName].time;
        entry.handheldTime = 0;
        log("  " + name + ": Renamed on Palm --> " + newName);
        return true;
    }

    bool createHandheldDirectory(const std::string& name, FileEntry& entry) override {
        if (!card_.hasFolderOf(name) || card_.has(name.substr(0, name.size() - 1))) {
            log("Could not create Palm directory: " + name);
            return false;
        }
        card_.mkdir(name);
        entry.handheldTime = card_.objects[name].time;
        return true;
    }

    bool deleteHandheldDirectory(const std::string& name, FileEntry& entry) override {
        auto next = card_.objects.upper_bound(name);
        const bool empty = next == card_.objects.end() || !card_.objects.key_comp().startsWith(next->first, name);
        if (!empty || !card_.has(name)) {
            if (pass_ == 1)
                deferred_.push_back(name);
            else
                log("Could not delete Palm Directory: " + name);
            return false;
        }
        card_.objects.erase(name);
        entry.handheldTime = 0;
        return true;
    }

private:
    FakeCard& card_;
};
