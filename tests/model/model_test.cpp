// Random HotSync histories checked against a model of what the user did. A history starts
// with a few files in nested folders, then plays rounds of user actions on both sides, each
// followed by a HotSync with random settings (action, exceptions, "Archive", "MaxDelete",
// one injected failure, a Cancel); the card is at times reformatted or swapped; names come
// from a small pool (dot-names, names like the scratch files and the card listing, names in
// the ANSI code page, and on the PC names outside it, which stay there with a line; a folder
// deep enough that its paths pass 260 characters, a name as long as a folder holds). On the host
// routes a history has three cards, at most two of them in the handheld: between HotSyncs
// a card is taken out, put in, moved to the other slot or swapped for another, labels change
// in case and otherwise, two cards get one label, the card-key records are lost. After
// every HotSync:
//   1. every version the user made since the last HotSync is still on a side (any card or
//      PC folder), unless the action or an exception let the other side overwrite it;
//   2. a version leaves every side only when the user deleted the file on one side and the
//      other side's copy was unchanged (then, with "Archive" on, it is in the archive), and
//      nothing in the archive is overwritten;
//   3. after a clean HotSync (action 0, no exception, failure, Cancel, hold or shared label)
//      every card and its PC folder hold the same names, in any case, with the same
//      contents, and one more HotSync changes nothing;
//   4. a failed or cancelled HotSync is followed by a clean one, which must bring back 3;
//   5. nothing is written outside the PC folders, their state files and the archive, and
//      no staging file is left behind;
//   6. with "Archive" on, whatever the action and exceptions, every version new or changed
//      since both sides last held it is on a side or in the archive afterwards;
//   7. deletions the guard must hold (a card emptied, reformatted or swapped for another of
//      the same label, and every deletion on that side after a hold) stay held until the
//      one-time overwrite confirms them, however many files arrive meanwhile ("MaxDelete"
//      100 turns the guard off);
//   8. a card the HotSync did not reach (out of the handheld, or on the companion route
//      sharing its name with another card, which the log then says) is unchanged, and so is
//      every PC folder no card was synchronised with; no two cards share a folder; a version
//      reaches a card or folder only from that card or its own folder; a card keeps its
//      folder while its label stays the same in any case and no other card in the handheld
//      has it; on the VFS route no two cards are left with one label.
// Most histories run the engine in-process against one in-memory card (the engine runs one
// location; which card goes into which folder is the conduit's work); a smaller share runs
// hotsync.exe against the simulated handheld on both card routes.
//
// Environment: TARNWICK_MODEL_HISTORIES (in-process histories, default 80),
// TARNWICK_MODEL_HOST_HISTORIES (per card route, default 2), TARNWICK_MODEL_ROUNDS,
// TARNWICK_MODEL_SEED (replay that one seed on every route the test filter selects),
// TARNWICK_MODEL_FIRST_SEED (first seed of a run), TARNWICK_MODEL_VERBOSE=1 (print every
// history).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CancelAfter.h"
#include "FakeCard.h"
#include "StandinLog.h"
#include "engine/HotSyncLog.h"
#include "settings/Settings.h"
#include "tests/common/FileTimes.h"
#include "tests/robustness/SweepFiles.h"

namespace {

// The ANSI code page of the run: 1252, or 932 (Shift-JIS; the run is given a Japanese
// locale), whose two-byte characters the model takes as they are: their second byte may
// look like a letter or a "\\" and is neither.
bool doubleByte() {
    static const bool dbcs = GetACP() == 932;
    return dbcs;
}
bool leadByte(unsigned char b) { return doubleByte() && ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)); }

// The letters of the code page in their other case, as FAT and the PC take them ("Café" and
// "CAFÉ" are one name): 0 for a byte that is no letter with a one-byte other case.
unsigned char otherCase(unsigned char c) {
    if (std::isalpha(c)) return c ^ 0x20;
    if (doubleByte()) return 0;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c ^ 0x20;
    switch (c) {
        case 0x8A: case 0x8C: case 0x8E: return c + 0x10;
        case 0x9A: case 0x9C: case 0x9E: return c - 0x10;
        case 0x9F: return 0xFF;
        case 0xFF: return 0x9F;
        default: return 0;
    }
}
// Calls f on every one-byte character of s (a two-byte character is passed over whole).
template <typename F>
void forEachSingle(std::string& s, F f) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (leadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) {
            ++i;
            continue;
        }
        f(s[i]);
    }
}
std::string lower(std::string s) {
    forEachSingle(s, [](char& c) {
        const unsigned char b = static_cast<unsigned char>(c), o = otherCase(b);
        if (o && ((b < 0x80 && std::isupper(b)) || (b >= 0xC0 && b < 0xE0) || b == 0x8A || b == 0x8C || b == 0x8E || b == 0x9F))
            c = static_cast<char>(o);
    });
    return s;
}
bool within(const std::string& rel, const std::string& dir) {
    return rel.compare(0, dir.size(), dir) == 0 && (rel.size() == dir.size() || rel[dir.size()] == '\\');
}
bool isFolderName(const std::string& name) { return !name.empty() && name.back() == '/'; }
bool below(const std::string& key, const std::string& folderKey) {
    return key.size() > folderKey.size() && key.compare(0, folderKey.size(), folderKey) == 0;
}
// Where the last "\\" or "/" of a host path is, by character (npos when none).
size_t lastSeparator(const std::string& path) {
    size_t last = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        if (leadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) ++i;
        else if (path[i] == '\\' || path[i] == '/') last = i;
    }
    return last;
}
// A host path's "\\" made "/", by character.
std::string slashed(std::string path) {
    forEachSingle(path, [](char& c) {
        if (c == '\\') c = '/';
    });
    return path;
}
std::string baseOf(const std::string& path) { return path.substr(lastSeparator(path) + 1); }
// A path without the "_2", "_3", ... the archive puts before the extension of a taken name.
std::string unnumbered(const std::string& path) {
    const size_t base = lastSeparator(path) + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < base) dot = path.size();
    size_t digits = dot;
    while (digits > base && std::isdigit(static_cast<unsigned char>(path[digits - 1]))) --digits;
    if (digits == dot || digits <= base + 1 || path[digits - 1] != '_') return path;
    return path.substr(0, digits - 1) + path.substr(dot);
}
// The summary line of a HotSync that carried everything.
const char kSuccessSummary[] = "Tarnwick";
// A user's file named like the conduit's staged PC copies (no process has an odd id).
const char kUserTempLike[] = ".tw1a-2.tmp";
// The companion route's scratch names on the card, in any folder.
bool isCompanionScratch(const std::string& path) {
    const std::string base = lower(baseOf(path));
    return base == ".tarnwick-upload" || base.compare(0, 14, ".tarnwick-old-") == 0;
}
// Staging names of the conduit: its staged PC copies (".tw<pid>-<n>.tmp"), and on the card
// the simulated card's own ("<name>.tw<pid>-<n>.part") and, on the companion route, the
// route's scratch files.
bool isStaging(const std::string& path, bool card, bool companion) {
    const std::string base = baseOf(path);
    if (card) {
        const size_t tw = base.rfind(".tw");
        return (companion && isCompanionScratch(path)) ||
               (tw != std::string::npos && base.size() > 5 && base.compare(base.size() - 5, 5, ".part") == 0);
    }
    if (base == kUserTempLike || base.size() < 10 || base.compare(0, 3, ".tw") != 0 || base.compare(base.size() - 4, 4, ".tmp") != 0)
        return false;
    const std::string middle = base.substr(3, base.size() - 7);
    const size_t dash = middle.find('-');
    return dash != std::string::npos && dash > 0 && dash + 1 < middle.size() &&
           middle.find_first_not_of("0123456789abcdef") == dash && middle.find_first_not_of("0123456789abcdef", dash + 1) == std::string::npos;
}
// A card-style name ("/Docs/a.txt", folders ending in "/") as a path below a host folder.
std::string hostPath(const std::string& root, std::string name) {
    if (isFolderName(name)) name.pop_back();
    std::replace(name.begin(), name.end(), '/', '\\');
    return root + name;
}
// Listed through the ANSI calls, a name outside the ANSI code page reads with "?" in place
// of what that code page lacks; no card name holds one.
bool outsideAnsi(const std::string& key) { return key.find('?') != std::string::npos; }
size_t fromEnvironment(const char* name, size_t fallback) {
    const char* v = std::getenv(name);
    return v && *v ? static_cast<size_t>(std::strtoul(v, nullptr, 10)) : fallback;
}
bool verbose() { return fromEnvironment("TARNWICK_MODEL_VERBOSE", 0) != 0; }

template <typename T>
const T& pickOf(std::mt19937& rng, const std::vector<T>& from) {
    return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(rng)];
}
int pick(std::mt19937& rng, int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

// One side as the user sees it: every file and folder under its lower-case name, with its
// spelling and, for files, its content.
struct Item {
    std::string spelled;
    std::string content;
};
using View = std::map<std::string, Item>;

class Side {
public:
    virtual ~Side() = default;
    virtual View list() = 0;
    // A new content with a newer time; missing parent folders are made.
    virtual void write(const std::string& name, const std::string& content) = 0;
    virtual void mkdir(const std::string& name) = 0;
    virtual void remove(const std::string& name) = 0;  // a file, or a folder and all below it
    virtual void rename(const std::string& from, const std::string& to) = 0;  // times kept
    // The card only: takes the card out and puts in the other card of the same label (a
    // blank one the first time), keeping the one taken out for the next swap.
    virtual void swapCard() = 0;
};

// A real folder: the PC location, or a volume of the simulated handheld.
class FolderSide : public Side {
public:
    FolderSide(std::string root, uint32_t& clock, bool card, bool companion)
        : root_(std::move(root)), clock_(clock), card_(card), companion_(companion) {}
    View list() override {
        View v;
        const Tree t = scanTree(root_);
        for (const std::string& f : t.folders) v[lower(name(f) + "/")] = Item{name(f) + "/", ""};
        for (const auto& f : t.files)
            if (!isStaging(f.first, card_, companion_)) v[lower(name(f.first))] = Item{name(f.first), f.second};
        return v;
    }
    void write(const std::string& n, const std::string& content) override {
        writeHostFile(hostPath(root_, n), content);
        setWriteTime(hostPath(root_, n), clock_ += 10);
    }
    void mkdir(const std::string& n) override { makeFolders(hostPath(root_, n)); }
    void remove(const std::string& n) override {
        isFolderName(n) ? removeTree(hostPath(root_, n)) : (void)DeleteFileW(longHostPath(hostPath(root_, n)).c_str());
    }
    void rename(const std::string& from, const std::string& to) override {
        // Through a third name: a move to the same name in another case does nothing here.
        const std::string aside = hostPath(root_, from) + "~";
        move(hostPath(root_, from), aside);
        move(aside, hostPath(root_, to));
    }
    void swapCard() override {
        const std::string other = root_ + "~other", out = root_ + "~out";
        move(root_, out);
        if (!move(other, root_)) makeFolders(root_);
        move(out, other);
    }

private:
    static bool move(const std::string& from, const std::string& to) {
        return MoveFileW(longHostPath(from).c_str(), longHostPath(to).c_str()) != 0;
    }
    static std::string name(std::string rel) {
        return "/" + slashed(rel);
    }
    std::string root_;
    uint32_t& clock_;
    bool card_, companion_;
};

// Makes every folder above name the in-memory card lacks, as a card file system would.
void makeParents(FakeCard& card, const std::string& name) {
    for (size_t s = name.find('/', 1); s != std::string::npos && s + 1 < name.size(); s = name.find('/', s + 1))
        if (!card.has(name.substr(0, s + 1))) card.mkdir(name.substr(0, s + 1));
}

// The in-memory card of the engine suite.
class FakeSide : public Side {
public:
    explicit FakeSide(FakeCard& card) : card_(card) {}
    View list() override {
        View v;
        for (const auto& o : card_.objects) v[lower(o.first)] = Item{o.first, o.second.content};
        return v;
    }
    void write(const std::string& n, const std::string& content) override { makeParents(card_, n), card_.put(n, content); }
    void mkdir(const std::string& n) override { makeParents(card_, n), card_.mkdir(n); }
    void remove(const std::string& n) override {
        for (const std::string& k : under(n)) card_.objects.erase(k);
    }
    void rename(const std::string& from, const std::string& to) override {
        for (const std::string& k : under(from)) {
            const FakeObject o = card_.objects[k];
            card_.objects.erase(k);
            card_.objects[to + k.substr(from.size())] = o;
        }
    }
    void swapCard() override { std::swap(card_.objects, other_); }

private:
    std::vector<std::string> under(const std::string& n) {
        std::vector<std::string> keys;
        for (const auto& o : card_.objects)
            if (lower(o.first) == lower(n) || (isFolderName(n) && below(lower(o.first), lower(n)))) keys.push_back(o.first);
        return keys;
    }
    FakeCard& card_;
    decltype(FakeCard::objects) other_{NameOrder{true, &pcfile::ansiCaseFold()}};
};

// The settings of one HotSync.
struct Order {
    int action = 0;
    bool archive = false;
    int maxDelete = 0;  // "MaxDelete" in percent; 0 leaves the key out (the default, 50)
    std::vector<std::pair<std::string, std::string>> exceptions;  // name, keyword
    std::set<std::string> exceptionKeys;  // the folder keys (lower case) whose exceptions they are
    std::string cardFault;  // fake route "kind name", host routes a fault rule
    std::string pcLock;     // a PC name below lockFolder, or "state" for its state file, "archive", or "settings"
    std::string lockFolder;
    bool lockShared = false;  // the lock lets others read: copies from the file work, its deletion fails
    // The in-memory card: a change the user makes while the HotSync runs, at the card call
    // numbered during.at (the first one on or after it that does not touch the name itself).
    struct During {
        int at = -1;
        bool pc = false, remove = false;
        std::string name, content;
        std::string pcBefore, cardBefore;  // the name's contents on each side just before the change
    } during;
    int cancel = -1;        // fake route: entries before the Cancel; host routes: milliseconds
    // Host routes: the cards in the handheld, slot by slot (card number, label).
    std::vector<std::pair<size_t, std::string>> slots;
    bool dropCardKeys = false;  // host routes: the card-key records removed before it
    bool faulty() const { return !cardFault.empty() || !pcLock.empty() || cancel >= 0 || during.at >= 0; }
    bool clean() const { return action == 0 && exceptions.empty() && !faulty(); }
    std::string text() const {
        std::string s = "HotSync action " + std::to_string(action) + (archive ? ", Archive" : "");
        if (maxDelete) s += ", MaxDelete " + std::to_string(maxDelete);
        for (const auto& e : exceptions) s += ", exception " + e.first + "|" + e.second;
        if (!cardFault.empty()) s += ", failing " + cardFault;
        if (!pcLock.empty())
            s += std::string(", PC holds") + (lockShared ? " (others may read) " : " ") +
                 (pcLock == "archive" || pcLock == "settings" ? pcLock : lockFolder + " " + pcLock);
        if (during.at >= 0)
            s += ", during it at call " + std::to_string(during.at) + " " + (during.pc ? "PC" : "card") +
                 (during.remove ? ": delete " + during.name : ": write " + during.name + " = " + during.content.substr(0, during.content.size() - 2));
        if (cancel >= 0) s += ", Cancel at " + std::to_string(cancel);
        if (!slots.empty()) {
            s += ", cards";
            for (const auto& c : slots) s += std::string(" ") + char('A' + c.first) + "=" + c.second;
        }
        if (dropCardKeys) s += ", card keys removed";
        return s;
    }
};

class HeldOpen {  // a PC file or folder another program holds open, unshared; "" holds nothing
public:
    explicit HeldOpen(const std::string& path, DWORD share = 0)
        : h_(path.empty() ? INVALID_HANDLE_VALUE
                          : CreateFileW(longHostPath(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {}
    ~HeldOpen() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;

private:
    HANDLE h_;
};

// One way of running HotSyncs: the cards, their PC folders, the HotSync itself, and the
// folders it owns. A derived route fills in every member in its constructor.
class Route {
public:
    explicit Route(uint32_t seed) : root(freshWorkFolder("model_" + std::to_string(seed))) {}
    virtual ~Route() {
        // The ANSI calls of removeTree cannot name these.
        for (auto it = wideNames_.rbegin(); it != wideNames_.rend(); ++it) DeleteFileW(it->c_str()) || RemoveDirectoryW(it->c_str());
        removeTree(root);
    }
    // A PC file of a name outside the ANSI code page (rel: "\\"-separated below the folder
    // of key), its folder made when missing; false when it cannot be made.
    bool writeWide(const std::string& key, const std::wstring& rel, const std::string& content) {
        const std::wstring path = longHostPath(pcRoot + "\\" + key) + rel;
        const size_t slash = path.find_last_of(L'\\');
        if (CreateDirectoryW(path.substr(0, slash).c_str(), nullptr)) wideNames_.push_back(path.substr(0, slash));
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(h);
        if (std::find(wideNames_.begin(), wideNames_.end(), path) == wideNames_.end()) wideNames_.push_back(path);
        pcClock_ += 10;
        return true;
    }
    bool existsWide(const std::string& key, const std::wstring& rel) const {
        return GetFileAttributesW((longHostPath(pcRoot + "\\" + key) + rel).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    size_t cardCount() const { return cards_.size(); }
    Side& card(size_t i) { return *cards_[i]; }
    // The PC folder of a card's folder key (below pcRoot), as a side.
    Side& folder(const std::string& key) {
        std::unique_ptr<Side>& f = folders_[lower(key)];
        if (!f) f = std::make_unique<FolderSide>(pcRoot + "\\" + key, pcClock_, false, false);
        return *f;
    }
    // The folder keys below pcRoot, as spelt there.
    std::vector<std::string> folderKeys() const {
        std::vector<std::string> keys;
        for (const std::string& f : scanTree(pcRoot).folders)
            if (f.find('\\') == std::string::npos) keys.push_back(f);
        return keys;
    }
    // Which card went into which PC folder at the HotSync that wrote log (card number ->
    // folder key); a card the HotSync did not reach is not there.
    virtual std::map<size_t, std::string> pairs(const std::vector<std::string>& log) = 0;
    // The cards' labels as the handheld has them after a HotSync, slot by slot (a card may
    // have been given its own).
    virtual std::vector<std::string> labelsAfter(const Order&) { return {}; }
    virtual bool companion() const { return false; }
    // Runs one HotSync with the order's exceptions and settings, the PC name it names held
    // open; answers its log lines.
    std::vector<std::string> sync(const Order& order) {
        std::set<std::string> sections(order.exceptionKeys);
        for (const std::string& k : folderKeys()) sections.insert(lower(k));
        for (const std::string& k : sections) WritePrivateProfileStringA((user_ + "-" + k + "-Exceptions").c_str(), nullptr, nullptr, ini_.c_str());
        for (const std::string& k : order.exceptionKeys)
            for (const auto& e : order.exceptions)
                WritePrivateProfileStringA((user_ + "-" + k + "-Exceptions").c_str(), e.first.c_str(), ("x|" + e.second).c_str(), ini_.c_str());
        WritePrivateProfileStringA(user_.c_str(), "MaxDelete", order.maxDelete ? std::to_string(order.maxDelete).c_str() : nullptr, ini_.c_str());
        // "archive": a file where the archive folder belongs, so no archive copy can be made.
        const bool noArchive = order.pcLock == "archive";
        if (noArchive) MoveFileA(archive.c_str(), (archive + "~").c_str()), writeHostFile(archive, "in the way");
        prepare(order);
        const std::string lockRoot = pcRoot + "\\" + order.lockFolder;
        // "settings": the settings file can be read and not written, as one marked read-only.
        const DWORD share = order.pcLock == "settings" || order.lockShared ? FILE_SHARE_READ : 0;
        HeldOpen held(order.pcLock.empty() || noArchive ? ""
                      : order.pcLock == "state"    ? lockRoot + ".txt"
                      : order.pcLock == "settings" ? ini_
                                                   : hostPath(lockRoot, order.pcLock),
                      share);
        const std::vector<std::string> lines = run(order);
        if (noArchive) DeleteFileA(archive.c_str()), MoveFileA((archive + "~").c_str(), archive.c_str());
        return lines;
    }
    virtual std::string randomCardFault(std::mt19937& rng, const View& card) = 0;
    // The change the user made while the last HotSync ran, when it was made; only routes
    // that can make one (changesDuring) are given one.
    virtual const Order::During* changedDuring() const { return nullptr; }
    virtual bool changesDuring() const { return false; }
    // A name (lower case) the route keeps to itself on the card: the user has no card
    // file of that name, and a PC file of it stays on the PC only.
    virtual bool reserved(const std::string& /*key*/) const { return false; }
    // A path below root that is one of the conduit's or the card's scratch files.
    virtual bool staging(const std::string& rel) const { return isStaging(rel, false, false); }
    bool owned(const std::string& rel) const {  // rel: relative to root
        return std::any_of(owned_.begin(), owned_.end(), [&](const std::string& o) { return within(rel, o); });
    }
    const std::string root;
    std::string pcRoot, archive;
    int cancelRange = 0;

protected:
    // Writes what the HotSync of order reads (before any file is held open for it).
    virtual void prepare(const Order&) {}
    virtual std::vector<std::string> run(const Order& order) = 0;
    std::vector<std::unique_ptr<Side>> cards_;
    std::map<std::string, std::unique_ptr<Side>> folders_;
    std::string ini_, user_;
    std::vector<std::string> owned_;
    uint32_t pcClock_ = 0;
    std::vector<std::wstring> wideNames_;
};

// The engine in this process, over one in-memory card whose folder key is "Card": the
// engine runs one location at a time, and which card goes into which folder is the
// conduit's business, so more than one card is for the host routes.
class FakeRoute : public Route {
public:
    explicit FakeRoute(uint32_t seed) : Route(seed), settings_(root + "\\Tarnwick.ini") {
        pcRoot = root + "\\Sync";
        archive = root + "\\Archive";
        makeFolders(pcRoot + "\\Card");
        ini_ = root + "\\Tarnwick.ini";
        user_ = "Ann";
        owned_ = {"Sync\\Card", "Sync\\Card.txt", "Archive", "Tarnwick.ini"};
        cancelRange = 20;
        context_.userName = "Ann";
        context_.pcFolder = root + "\\Sync\\";
        context_.settings = &settings_;
        pcClock_ = static_cast<uint32_t>(std::time(nullptr)) - 1000000u;
        fake_.pcClock = pcClock_;
        cards_.push_back(std::make_unique<FakeSide>(fake_));
        folder("Card");
    }
    std::map<size_t, std::string> pairs(const std::vector<std::string>&) override { return {{0, "Card"}}; }
    std::string randomCardFault(std::mt19937& rng, const View& card) override {
        std::vector<std::string> names;
        for (const auto& i : card) names.push_back(i.second.spelled);
        if (names.empty()) names.push_back("/a.txt");
        const std::string kind = std::next(faults().begin(), pick(rng, static_cast<int>(faults().size())))->first;
        return kind + " " + pickOf(rng, names);
    }

private:
    using FaultSet = std::set<std::string> FakeCard::*;
    static const std::map<std::string, FaultSet>& faults() {
        static const std::map<std::string, FaultSet> kinds = {
            {"copyToPc", &FakeCard::failCopyToPc}, {"copyToHandheld", &FakeCard::failCopyToHandheld},
            {"delete", &FakeCard::failDelete}, {"rename", &FakeCard::failRename}, {"fetch", &FakeCard::failFetch}};
        return kinds;
    }
    std::vector<std::string> run(const Order& order) override {
        std::istringstream fault(order.cardFault);
        std::string kind, name;
        fault >> kind >> name;
        if (faults().count(kind)) (fake_.*faults().at(kind)).insert(name);
        CancelAfter cancel(order.cancel < 0 ? 1 << 30 : order.cancel);
        StandinLogClear();
        context_.archive = order.archive;
        context_.action = order.action;
        context_.progress = &cancel;
        // The PC clock is shared with the PC side's writes.
        fake_.pcClock = std::max(fake_.pcClock, pcClock_);
        // The user's change while the HotSync runs: at the chosen call, or the first after it
        // that is not about to write that very card file (no check can stand between a
        // write and the file it is writing).
        int calls = 0;
        duringDone_ = Order::During();
        const Order::During& d = order.during;
        fake_.during = [&](const char* call, const std::string& name) {
            if (d.at < 0 || duringDone_.at >= 0 || calls++ < d.at) return;
            const bool writing = std::string(call) == "copyToHandheld" || std::string(call) == "deleteOnHandheld";
            if (!d.pc && writing && lower(name) == lower(d.name)) return;
            Side& where = d.pc ? folder("Card") : card(0);
            std::string pcBefore;
            const std::string pcPath = hostPath(pcRoot + "\\Card", d.name);
            duringDone_.pcBefore = readWholeFile(pcPath, pcBefore) ? pcBefore : std::string("\x01");
            duringDone_.cardBefore = fake_.has(d.name) ? fake_.content(d.name) : std::string("\x02");
            if (d.remove) where.remove(d.name);
            else where.write(d.name, d.content);
            // A save the PC refused (a folder of that name is there by now) did not happen.
            std::string saved;
            if (d.pc && !d.remove && !(readWholeFile(pcPath, saved) && saved == d.content)) return;
            duringDone_.at = calls - 1;
            duringDone_.pc = d.pc, duringDone_.remove = d.remove, duringDone_.name = d.name, duringDone_.content = d.content;
        };
        const uint32_t failureLines = FailureLinesLogged();
        FakeLocation location(&context_, fake_, pcRoot + "\\Card");
        const bool finished = location.synchronise();
        fake_.during = nullptr;
        pcClock_ = std::max(fake_.pcClock, pcClock_);
        for (const auto& f : faults()) (fake_.*f.second).clear();
        // A card cannot hold a file without its folder: one the engine wrote into a folder
        // the card lacked gets that folder, as a card file system would make it.
        std::vector<std::string> names;
        for (const auto& o : fake_.objects) names.push_back(o.first);
        for (const std::string& n : names) makeParents(fake_, n);
        std::vector<std::string> lines;
        for (size_t i = 0; i < StandinLogCount(); ++i) lines.emplace_back(StandinLogText(i));
        // The summary the conduit would end with (a cancelled HotSync ends with none).
        if (!cancel.IsCancelled())
            lines.push_back(finished && location.failedOperations() == 0 && FailureLinesLogged() == failureLines
                                ? kSuccessSummary
                                : "Tarnwick encountered 1 or more errors");
        return lines;
    }
    const Order::During* changedDuring() const override { return duringDone_.at >= 0 ? &duringDone_ : nullptr; }
    bool changesDuring() const override { return true; }

private:
    Order::During duringDone_;
    Settings settings_;
    FakeCard fake_;
    SyncContext context_;
};

// hotsync.exe against the simulated handheld: the VFS route or the companion route, with
// three cards, at most two of them in the handheld at a time (the volumes of device.ini).
class HostRoute : public Route {
public:
    static constexpr size_t kCards = 3;
    HostRoute(bool companion, uint32_t seed) : Route(seed), companion_(companion) {
        pcRoot = root + "\\pc\\Modeller";
        archive = root + "\\pc\\Archive";
        for (const std::string& f : {pcRoot, root + "\\conduit"}) makeFolders(f);
        CopyFileA("Tarnwick.dll", (root + "\\conduit\\Tarnwick.dll").c_str(), FALSE);
        ini_ = root + "\\conduit\\Tarnwick.ini";
        user_ = "Modeller";
        owned_ = {"dev", "pc\\Modeller", "pc\\Archive", "conduit\\Tarnwick.ini", "log.txt", "trace.txt"};
        cancelRange = 1500;
        pcClock_ = static_cast<uint32_t>(std::time(nullptr)) - 1000000u;
        cardClock_ = pcClock_ - 500000u;
        for (size_t i = 0; i < kCards; ++i) {
            makeFolders(cardFolder(i));
            cards_.push_back(std::make_unique<FolderSide>(cardFolder(i), cardClock_, true, companion));
        }
    }
    bool reserved(const std::string& key) const override {
        if (key == "/tarnwick.txt" || key == "/tarnwick.txt/" || (!companion_ && key == "/memstick.ind")) return true;
        // The companion's scratch names, and whatever a folder of such a name holds.
        for (size_t end = key.find('/', 1); companion_; end = key.find('/', end + 1)) {
            if (isCompanionScratch(key.substr(0, end))) return true;
            if (end == std::string::npos) break;
        }
        return false;
    }
    bool staging(const std::string& rel) const override { return isStaging(rel, within(rel, "dev"), companion_); }
    std::string randomCardFault(std::mt19937& rng, const View&) override {
        const std::vector<std::string> vfs = {"VFSFileGet", "VFSFilePut", "VFSFileDelete", "VFSFileRename",
                                              "VFSDirCreate", "VFSFileOpen", "VFSFileGetDate"};
        const std::vector<std::string> requests = {"2", "3", "4", "5", "6", "7", "8"};
        const std::string nth = " nth=" + std::to_string(1 + pick(rng, 3));
        // On the companion route also the transfer database that will not go, once or for
        // the whole HotSync (the companion adds to one it finds: stale records would show).
        if (companion_ && pick(rng, 3) == 0) return "SmDeleteDb" + (pick(rng, 3) ? nth : std::string());
        return companion_ ? "SyncCallRemoteModule name=" + pickOf(rng, requests) + nth : pickOf(rng, vfs) + nth;
    }
    // The "<label>: Location - <folder>" lines name the card by its label (the one it was
    // given, when it was given one), and its folder.
    std::map<size_t, std::string> pairs(const std::vector<std::string>& log) override {
        std::map<size_t, std::string> out;
        const std::string mark = ": Location - ";
        for (const std::string& l : log) {
            const size_t at = l.find(mark);
            if (at == std::string::npos || l.rfind("  ", 0) == 0) continue;
            const std::string label = l.substr(0, at), path = l.substr(at + mark.size());
            std::vector<size_t> holders;
            for (size_t s = 0; s < lastSlots_.size(); ++s)
                if (lastLabels_[s] == label) holders.push_back(lastSlots_[s]);
            if (holders.size() == 1) out[holders[0]] = path.substr(path.find_last_of('\\') + 1);
        }
        return out;
    }
    std::vector<std::string> labelsAfter(const Order&) override { return lastLabels_; }
    bool companion() const override { return companion_; }

private:
    std::string cardFolder(size_t i) const { return root + "\\dev\\card" + char('A' + i); }
    void prepare(const Order& order) override {
        const std::string ini = root + "\\dev\\device.ini";
        std::string device = std::string("[Device]\r\n") + (companion_ ? "Companion=2\r\nTransferAdds=1\r\n" : "Companion=0\r\nVfs=1\r\n");
        for (size_t s = 0; s < order.slots.size(); ++s)
            device += "[Volume" + std::to_string(s + 1) + "]\r\nPath=card" + char('A' + order.slots[s].first) + "\r\nLabel=" +
                      order.slots[s].second + "\r\n";
        writeHostFile(ini, device);
        if (order.dropCardKeys) WritePrivateProfileStringA("Modeller-CardKeys", nullptr, nullptr, ini_.c_str());
        WritePrivateProfileStringA("Modeller", "Archive", order.archive ? "1" : "0", ini_.c_str());
        WritePrivateProfileStringA("Modeller", "Frequency", "0", ini_.c_str());
    }
    std::vector<std::string> run(const Order& order) override {
        const std::string ini = root + "\\dev\\device.ini";
        const std::string log = root + "\\log.txt", trace = root + "\\trace.txt";
        DeleteFileA(log.c_str());
        DeleteFileA(trace.c_str());
        std::vector<std::string> args = {"sync", "--device", root + "\\dev", "--user", "Modeller", "--pc",
                                         pcRoot, "--type", std::to_string(order.action),
                                         "--conduit", root + "\\conduit\\Tarnwick.dll", "--log", log, "--trace", trace};
        if (!order.cardFault.empty()) args.insert(args.end(), {"--fault", order.cardFault});
        if (order.cancel >= 0) args.insert(args.end(), {"--cancel-after", std::to_string(order.cancel)});
        runHotSync(args, trace);
        lastSlots_.clear(), lastLabels_.clear();
        for (size_t s = 0; s < order.slots.size(); ++s) {
            char label[256] = "";
            GetPrivateProfileStringA(("Volume" + std::to_string(s + 1)).c_str(), "Label", "", label, sizeof label, ini.c_str());
            lastSlots_.push_back(order.slots[s].first), lastLabels_.emplace_back(label);
        }
        std::vector<std::string> lines;
        for (const std::string& l : readLines(log)) lines.push_back(l.substr(l.find('\t') + 1));
        return lines;
    }
    bool companion_;
    uint32_t cardClock_ = 0;
    std::vector<size_t> lastSlots_;
    std::vector<std::string> lastLabels_;
};

// f: the in-memory card, v: the VFS route, c: the companion route.
std::unique_ptr<Route> makeRoute(char route, uint32_t seed) {
    if (route == 'f') return std::make_unique<FakeRoute>(seed);
    return std::make_unique<HostRoute>(route == 'c', seed);
}

// A folder so deep that its paths on the PC, in the archive and in the simulated card's
// host folder pass 260 characters, and a name as long as a folder holds.
const std::string& deepFolder() {
    static const std::string deep = "/Deep/" + std::string("Pictures from the long walk along the northern coast in the summer we moved") +
                                    "/" + std::string("Every day of it, one folder for each, sorted by the hour the pictures were taken") + "/";
    return deep;
}
const std::string& longestName() {
    static const std::string longest = std::string(251, 'L').replace(0, 44, "A letter that goes on and on until the limit") + ".txt";
    return longest;
}

// PC names outside the ANSI code page, as made below a folder, the part whose line the log
// shows, and that line's name. None the ANSI listing would best-fit into a name of the code
// page (a full-width "A" reads as "A" there), so the model sees each as a name with "?".
struct WideName {
    const wchar_t *rel, *shownPart;
    const char* shown;
};
const WideName kOutsideCp1252[] = {
    {L"\\\u65E5\u672C.txt", L"\\\u65E5\u672C.txt", "/<U+65E5><U+672C>.txt"},
    {L"\\Docs\\\u4E00.txt", L"\\Docs\\\u4E00.txt", "/Docs/<U+4E00>.txt"},
    {L"\\\u4E2D\u56FD\\a.txt", L"\\\u4E2D\u56FD", "/<U+4E2D><U+56FD>/"},
};
// Code page 932 holds those: Korean and Thai letters it lacks, none with a best fit there.
const WideName kOutsideCp932[] = {
    {L"\\\uD55C\uAE00.txt", L"\\\uD55C\uAE00.txt", "/<U+D55C><U+AE00>.txt"},
    {L"\\Docs\\\u0E01.txt", L"\\Docs\\\u0E01.txt", "/Docs/<U+0E01>.txt"},
    {L"\\\u0E02\u0E03\\a.txt", L"\\\u0E02\u0E03", "/<U+0E02><U+0E03>/"},
};
const WideName* const kOutsideAnsi = doubleByte() ? kOutsideCp932 : kOutsideCp1252;
constexpr size_t kOutsideAnsiCount = sizeof kOutsideCp1252 / sizeof *kOutsideCp1252;
const char kOutsideAnsiLine[] = "Kept on the PC only, the name has characters outside the ANSI code page: ";

// A history: the user's actions and the HotSyncs, each HotSync checked against the model.
class History {
public:
    History(std::unique_ptr<Route> route, uint32_t seed) : r_(std::move(route)), rng_(seed) {
        for (size_t i = 0; i < r_->cardCount(); ++i) cards_.push_back(CardState{std::string("Card") + char('A' + i), "", ""});
        // The first card's folder is its label's, so the PC side can be written before the
        // first HotSync.
        cards_[0].folder = multiCard() ? "CardA" : "Card";
        if (multiCard())
            for (size_t i = 0, n = 1 + pick(rng_, 2); i < n; ++i) slots_.push_back(i);
    }

    std::string content() { return "v" + std::to_string(++versions_) + "\r\n"; }
    // User actions on the card in focus and its PC folder, each recorded in the transcript.
    void write(bool pc, const std::string& n, const std::string& c) { side(pc).write(n, c), note(pc, "write " + n + " = " + trim(c)); }
    void mkdir(bool pc, const std::string& n) { side(pc).mkdir(n), note(pc, "mkdir " + n); }
    void remove(bool pc, const std::string& n) { side(pc).remove(n), note(pc, "delete " + n); }
    void rename(bool pc, const std::string& f, const std::string& t) { side(pc).rename(f, t), note(pc, "rename " + f + " -> " + t); }

    // The settings every HotSync starts from: the cards in the handheld with their labels.
    Order baseOrder() const {
        Order o;
        for (size_t c : slots_) o.slots.emplace_back(c, cards_[c].label);
        if (!multiCard()) o.exceptionKeys = {"card"};
        return o;
    }

    // One HotSync checked against the model; false once a problem was found.
    bool hotSync(const Order& order) {
        transcript_ += "  " + order.text() + "\n";
        ++hotSyncs_;
        const size_t n = r_->cardCount();
        std::vector<View> cb(n), ca(n);
        for (size_t i = 0; i < n; ++i) cb[i] = r_->card(i).list();
        std::map<std::string, View> pb, pa;  // by folder key in lower case
        for (const std::string& k : r_->folderKeys()) pb[lower(k)] = r_->folder(k).list();
        const Tree wholeBefore = scanTree(r_->root), archiveBefore = scanTree(r_->archive);
        const std::vector<std::string> log = r_->sync(order);
        fresh_ = false;
        // A change the user made while the HotSync ran counts as made before it: the version
        // written must survive like any other, and the one it replaced or deleted was the
        // user's to destroy, though it may have crossed to the other side first.
        // A version the user deleted while the HotSync ran was there when the HotSync looked,
        // and may go from every side.
        std::set<std::string> alsoBefore, userDestroyed, userDeleted;  // contents; names
        if (const Order::During* d = r_->changedDuring()) {
            View& v = d->pc ? pb[lower(cards_[0].folder)] : cb[0];
            const std::string key = lower(d->name);
            auto it = v.find(key);
            if (it != v.end()) alsoBefore.insert(it->second.content);
            if (!d->remove) v[key] = Item{it != v.end() ? it->second.spelled : d->name, d->content};
            else if (it != v.end()) userDestroyed.insert(it->second.content), userDeleted.insert(key);
        }
        const std::map<size_t, std::string> pairs = r_->pairs(log);
        const std::vector<std::string> labels = r_->labelsAfter(order);
        for (size_t s = 0; s < labels.size(); ++s) cards_[order.slots[s].first].label = labels[s];
        for (size_t i = 0; i < n; ++i) ca[i] = r_->card(i).list();
        for (const std::string& k : r_->folderKeys()) pa[lower(k)] = r_->folder(k).list(), (void)pb[lower(k)];
        const Tree wholeAfter = scanTree(r_->root), archiveAfter = scanTree(r_->archive);

        // The union of every card, every PC folder and the archive.
        std::multiset<std::string> sidesAfter, archived;
        for (const View& v : ca)
            for (const auto& i : v) sidesAfter.insert(i.second.content);
        for (const auto& f : pa)
            for (const auto& i : f.second) sidesAfter.insert(i.second.content);
        for (const auto& f : archiveAfter.files) archived.insert(f.second);

        // A card the HotSync did not synchronise, and a PC folder no card was synchronised
        // with, are as they were; no two cards share a folder.
        std::set<std::string> reached;
        for (const auto& p : pairs)
            if (!reached.insert(lower(p.second)).second) problem("two cards synchronised with the PC folder " + p.second);
        for (size_t i = 0; i < n; ++i)
            if (!pairs.count(i) && !same(cb[i], ca[i])) problem(cardName(i) + " changed, but the HotSync did not synchronise it");
        for (const auto& f : pa)
            if (!reached.count(f.first) && !same(pb[f.first], f.second)) problem("PC folder " + f.first + " changed, but no card was synchronised with it");
        bool sharedLabels = false;
        for (size_t s = 0; s < order.slots.size(); ++s) {
            const size_t c = order.slots[s].first;
            const std::string& label = order.slots[s].second;
            bool shared = false, sharedExactly = false;
            for (size_t t = 0; t < order.slots.size(); ++t)
                if (t != s && lower(order.slots[t].second) == lower(label)) shared = true, sharedExactly |= order.slots[t].second == label;
            sharedLabels |= shared;
            // The companion reaches a card by its name: cards sharing one are left alone
            // (under "Do nothing" the cards are not looked at).
            if (r_->companion() && sharedExactly && !order.faulty() && order.action != 6) {
                if (pairs.count(c)) problem(cardName(c) + " was synchronised although another card is named " + label);
                const std::string line = "Error: more than one card is named " + label +
                                         " and the handheld cannot tell them apart, cards skipped; give each card its own label";
                if (std::find(log.begin(), log.end(), line) == log.end()) problem("no line: " + line);
            }
            // A card keeps its folder while its label stays (in any case) and no other card
            // of the HotSync has it.
            const CardState& state = cards_[c];
            auto p = pairs.find(c);
            if (p != pairs.end() && !shared && !state.folder.empty() && lower(label) == lower(state.folderLabel) &&
                lower(p->second) != lower(state.folder))
                problem(cardName(c) + " labelled " + label + " moved from its PC folder " + state.folder + " to " + p->second);
        }
        if (!r_->companion() && multiCard() && !order.faulty() && order.action != 6)  // Do nothing: no card is looked at
            for (size_t s = 0; s < labels.size(); ++s)
                for (size_t t = s + 1; t < labels.size(); ++t)
                    if (labels[s] == labels[t]) problem("two cards are left with the label " + labels[s]);

        // 1 and 2, pair by pair: which versions may leave both sides.
        std::map<std::string, std::string> kept, deleted;  // content -> where it was
        bool holding = false;
        std::vector<std::pair<std::string, bool>> pairHeld;  // folder key, holding
        for (const auto& p : pairs) {
            const View &cbi = cb[p.first], &cai = ca[p.first];
            const std::string key = lower(p.second);
            const View &pbk = pb[key], &pak = pa[key];
            FolderState& st = folders_[key];
            Order effective = order;
            if (!order.exceptionKeys.count(key)) effective.exceptions.clear();
            const std::string where[2] = {cardName(p.first) + " ", "PC " + p.second + " "};
            std::vector<std::string> held[2];
            const bool expectHold[2] = {heldCandidates(false, cbi, pbk, effective, held[0], st),
                                        heldCandidates(true, pbk, cbi, effective, held[1], st)};
            for (bool pc : {false, true}) {
                const View &xb = pc ? pbk : cbi, &yb = pc ? cbi : pbk;
                for (const auto& i : xb) {
                    if (isFolderName(i.first)) continue;
                    const std::string& c = i.second.content;
                    // Unchanged on this side since both sides last held the same version.
                    const bool synced = st.agreed.count(i.first) && st.agreed.at(i.first) == c;
                    const bool overwritten = actionFor(effective, i.first) == (pc ? 2 : 3);
                    if (synced && !yb.count(i.first)) deleted[c] = where[pc] + i.second.spelled;  // an overwrite's deletion included
                    if (!(synced && at(yb, i.first) != c) && !overwritten) kept[c] = where[pc] + i.second.spelled;
                }
            }
            // A version on a side of this pair afterwards was on a side of it before: no
            // card's file reaches another card but through that card's own folder.
            std::set<std::string> from;
            for (const View* v : {&cbi, &pbk})
                for (const auto& i : *v) from.insert(i.second.content);
            from.insert(alsoBefore.begin(), alsoBefore.end());
            for (bool pc : {false, true})
                for (const auto& i : pc ? pak : cai)
                    if (!isFolderName(i.first) && !from.count(i.second.content))
                        problem("a version from elsewhere reached " + where[pc] + i.second.spelled + " (" + trim(i.second.content) + ")");
            // With "Archive" on, whatever the action: a version new or changed since both
            // sides last held it is on a side or in the archive afterwards.
            if (order.archive)
                for (bool pc : {false, true})
                    for (const auto& i : pc ? pbk : cbi)
                        if (!isFolderName(i.first) && !st.everAlike.count({i.first, i.second.content}) &&
                            !sidesAfter.count(i.second.content) && !archived.count(i.second.content) &&
                            !userDestroyed.count(i.second.content))
                            problem("changed version neither on a side nor in the archive: " + where[pc] + i.second.spelled + " (" +
                                    trim(i.second.content) + ")");
            // The guard: held deletions are not carried out before the user confirms them.
            bool pairHolding = false;
            for (bool pc : {false, true}) {
                const View& after = pc ? pak : cai;
                // A held file may be renamed aside on its side (a folder of the other side
                // takes its name): its version stays there, and that is no deletion.
                if (expectHold[pc])
                    for (const std::string& h : held[pc]) {
                        const std::string& version = (pc ? pbk : cbi).at(h).content;
                        if (!after.count(h) && !userDeleted.count(h) &&
                            std::none_of(after.begin(), after.end(), [&](const View::value_type& a) { return a.second.content == version; }))
                            problem("held deletion carried out on " + where[pc] + h);
                    }
                const std::string line = std::string(" on ") + (pc ? "PC" : "Palm") + " (";
                // The location's lines follow its "Location - " line, up to the next one.
                bool logged = false;
                for (size_t l = 0, mine = !multiCard(); l < log.size(); ++l) {
                    if (log[l].find(": Location - ") != std::string::npos && log[l].rfind("  ", 0) != 0)
                        mine = log[l].size() >= p.second.size() && log[l].compare(log[l].size() - p.second.size(), p.second.size(), p.second) == 0;
                    if (mine && log[l].rfind("Holding back ", 0) == 0 && log[l].find(line) != std::string::npos) logged = true;
                }
                pairHolding = pairHolding || logged;
                if (logged) st.hold[pc] = true;
                else if (order.action == (pc ? 2 : 3) || (order.action == 0 && held[pc].empty()) || order.faulty() || order.maxDelete >= 100)
                    st.hold[pc] = false;
            }
            holding = holding || pairHolding;
            pairHeld.emplace_back(key, pairHolding);
            if (order.archive)
                for (const auto& d : deleted)
                    if (!kept.count(d.first) && !sidesAfter.count(d.first) && !archived.count(d.first) && !userDestroyed.count(d.first))
                        problem("deleted " + d.second + " (" + trim(d.first) + ") is not in the archive");
            // The names the route keeps to itself: a PC file of one stays on the PC, and only there.
            for (const auto& i : pbk)
                if ((r_->reserved(i.first) || outsideAnsi(i.first)) && !isFolderName(i.first) && at(pak, i.first) != i.second.content)
                    problem("a PC file of a name the card keeps to itself changed: " + i.second.spelled);
            // A PC name outside the ANSI code page stays there, with its line.
            if (!order.faulty())
                for (size_t w : outsideAnsi_[key])
                    if (r_->existsWide(p.second, kOutsideAnsi[w].shownPart) &&
                        std::none_of(log.begin(), log.end(), [&](const std::string& l) { return lower(l) == lower(kOutsideAnsiLine + std::string(kOutsideAnsi[w].shown)); }))
                        problem(std::string("no line: ") + kOutsideAnsiLine + kOutsideAnsi[w].shown);
        }
        for (const auto& k : kept)
            if (!sidesAfter.count(k.first) && !userDestroyed.count(k.first)) problem("lost from every side: " + trim(k.first) + " of " + k.second);
        for (size_t i = 0; i < n; ++i)
            for (const auto& item : ca[i])
                if (r_->reserved(item.first) || outsideAnsi(item.first))
                    problem("sent to " + cardName(i) + " under a name it keeps to itself: " + item.second.spelled);
        for (const auto& f : archiveBefore.files) {
            auto now = archiveAfter.files.find(f.first);
            if (now == archiveAfter.files.end() || now->second != f.second) problem("archive overwrote " + f.first);
        }
        // A version is archived once: a deletion that fails at every HotSync must not add a
        // copy of the same version each time.
        std::set<std::pair<std::string, std::string>> archivedBefore;  // (name without its number, content)
        for (const auto& f : archiveBefore.files) archivedBefore.insert({unnumbered(f.first), f.second});
        for (const auto& f : archiveAfter.files)
            if (!archiveBefore.files.count(f.first) && archivedBefore.count({unnumbered(f.first), f.second}))
                problem("archived again: " + f.first + " (" + trim(f.second) + ")");
        // 5: nothing outside the owned folders, no staging file left.
        std::set<std::string> paths;
        for (const Tree* t : {&wholeBefore, &wholeAfter}) {
            for (const auto& f : t->files) paths.insert(f.first);
            paths.insert(t->folders.begin(), t->folders.end());
        }
        for (const std::string& p : paths) {
            const bool same = wholeBefore.files.count(p) ? wholeAfter.files.count(p) && wholeAfter.files.at(p) == wholeBefore.files.at(p)
                                                         : wholeBefore.folders.count(p) == wholeAfter.folders.count(p);
            if (!same && !r_->owned(p)) problem("written outside its folders: " + p);
            if (r_->staging(p) && (wholeAfter.files.count(p) || wholeAfter.folders.count(p))) problem("staging file left: " + p);
        }
        // A HotSync that ends with the success summary left both sides of every pair alike
        // (but for what the guard holds, names kept on the PC only, and what "Do nothing" or
        // a "SKIP" exception leaves alone; a change made while it ran may come after the
        // file's turn and waits for the next one).
        const bool skips = order.action == 6 || std::any_of(order.exceptions.begin(), order.exceptions.end(),
                                                            [](const std::pair<std::string, std::string>& e) { return e.second == "SKIP"; });
        if (std::find(log.begin(), log.end(), kSuccessSummary) != log.end() && !holding && !sharedLabels && !skips &&
            order.during.at < 0)
            for (const auto& p : pairs) {
                const View &cai = ca[p.first], &pak = pa[lower(p.second)];
                for (bool pc : {false, true})
                    for (const auto& i : pc ? pak : cai)
                        if (!isFolderName(i.first) && !pcOnly(pak, i.first) && at(pc ? cai : pak, i.first) != i.second.content)
                            problem("success summary, but " + (pc ? "PC " + p.second : cardName(p.first)) + " differs: " + i.second.spelled);
            }
        // 3: a clean HotSync that reached every card leaves each card and its folder alike,
        // and the next one does nothing.
        const bool everyCard = std::all_of(order.slots.begin(), order.slots.end(), [&](const std::pair<size_t, std::string>& c) { return pairs.count(c.first) != 0; });
        if (order.clean() && !holding && !sharedLabels && everyCard && problems_.empty()) {
            for (const auto& p : pairs) {
                const View &cai = ca[p.first], &pak = pa[lower(p.second)];
                for (const auto& i : cai)
                    if (!pak.count(i.first)) problem("only on " + cardName(p.first) + ": " + i.second.spelled);
                    else if (pak.at(i.first).content != i.second.content) problem(cardName(p.first) + " and its PC folder differ: " + i.second.spelled);
                for (const auto& i : pak)
                    if (!cai.count(i.first) && !pcOnly(pak, i.first)) problem("only on the PC, in " + p.second + ": " + i.second.spelled);
            }
            if (problems_.empty()) {
                Order again = baseOrder();
                again.archive = order.archive, again.maxDelete = order.maxDelete;
                for (const std::string& l : r_->sync(again))
                    if (isChangeLine(l)) problem("the HotSync after a clean one did: " + l);
                bool changed = false;
                for (size_t i = 0; i < n; ++i) changed |= !same(r_->card(i).list(), ca[i]);
                for (const auto& f : pa) changed |= !same(r_->folder(f.first).list(), f.second);
                if (changed) problem("the HotSync after a clean one changed the sides");
            }
        }
        if (!problems_.empty() || verbose())
            for (const std::string& l : log)
                if ((isChangeLine(l) || l.find(": Location - ") != std::string::npos) && logShown_++ < 30) lastLog_ += "    | " + l + "\n";
        for (const auto& p : pairs) {
            const std::string key = lower(p.second);
            FolderState& st = folders_[key];
            Order effective = order;
            if (!order.exceptionKeys.count(key)) effective.exceptions.clear();
            if (!order.faulty()) remember(ca[p.first], pa[key], cb[p.first], pb[key], effective, st);
            for (const auto& i : ca[p.first])
                if (!isFolderName(i.first) && pa[key].count(i.first) && pa[key].at(i.first).content == i.second.content)
                    st.everAlike.insert({i.first, i.second.content}), st.everAlikeNames.insert(i.first);
            cards_[p.first].folder = p.second;
            cards_[p.first].folderLabel = cards_[p.first].label;
            // A change made while the HotSync ran, to a file the HotSync had just made alike on
            // both sides: that version is what both sides last agreed on, as the engine's
            // records say, so the change is an ordinary edit of a synchronised file.
            const Order::During* d = r_->changedDuring();
            if (d && d->pcBefore == d->cardBefore && !isFolderName(d->name)) {
                st.agreed[lower(d->name)] = d->pcBefore;
                st.everAlike.insert({lower(d->name), d->pcBefore}), st.everAlikeNames.insert(lower(d->name));
            }
        }
        lastFaulty_ = order.faulty();
        return problems_.empty();
    }

    // A random history: a first HotSync of a few files, then rounds of actions and HotSyncs;
    // a failed or cancelled HotSync is followed by a clean one without actions (4). With
    // more than one card, cards go in and out of the handheld and change labels between
    // HotSyncs.
    bool play(int rounds) {
        for (int i = 0, n = 2 + pick(rng_, 3); i < n; ++i) focusOn(pickFocus()), randomAction(i % 3 == 2, 0);
        if (!hotSync(baseOrder())) return false;
        bool recover = false;
        for (int round = 1; round <= rounds; ++round) {
            transcript_ += "round " + std::to_string(round) + (recover ? " (no actions)" : "") + "\n";
            if (!recover && multiCard() && pick(rng_, 10) < 3) cardEvent();
            for (int i = 0, n = recover ? 0 : 1 + pick(rng_, 4); i < n; ++i) focusOn(pickFocus()), randomAction(pick(rng_, 2) == 1, 0);
            const Order order = randomOrder(recover);
            if (!hotSync(order)) return false;
            recover = order.faulty();
        }
        return true;
    }

    std::string report() const {
        std::string s;
        for (const std::string& p : problems_) s += "  " + p + "\n";
        return s + "history:\n" + transcript_ + (lastLog_.empty() ? "" : "  log of the failing HotSync:\n" + lastLog_);
    }
    const std::vector<std::string>& problems() const { return problems_; }
    size_t hotSyncs() const { return hotSyncs_; }

private:
    // A card as the user knows it: its label now, the PC folder it was last synchronised
    // with and the label it had then.
    struct CardState {
        std::string label, folder, folderLabel;
    };
    // What the model knows of one PC folder: what it and the card last synchronised with
    // it agreed on, every version both held after some HotSync and their names (what is
    // not among them is new or changed since), and whether the last HotSync held
    // deletions on the card (0) or the PC (1).
    struct FolderState {
        std::map<std::string, std::string> agreed;
        std::set<std::pair<std::string, std::string>> everAlike;
        std::set<std::string> everAlikeNames;
        bool hold[2] = {false, false};
    };
    bool multiCard() const { return r_->cardCount() > 1; }
    std::string cardName(size_t i) const { return multiCard() ? std::string("card ") + char('A' + i) : std::string("card"); }
    // The card the user acts on next: mostly one in the handheld.
    size_t pickFocus() {
        if (!multiCard()) return 0;
        if (!slots_.empty() && pick(rng_, 4)) return slots_[static_cast<size_t>(pick(rng_, static_cast<int>(slots_.size())))];
        return static_cast<size_t>(pick(rng_, static_cast<int>(cards_.size())));
    }
    void focusOn(size_t card) {
        if (card != focus_) focus_ = card, fresh_ = false;
    }
    FolderState& focusState() { return folders_[lower(cards_[focus_].folder)]; }
    // The card in focus (pc false) or its PC folder.
    Side& side(bool pc) { return pc ? r_->folder(cards_[focus_].folder) : r_->card(focus_); }
    bool hasFolder() const { return !cards_[focus_].folder.empty(); }
    static std::string at(const View& v, const std::string& key) {
        auto it = v.find(key);
        return it == v.end() ? std::string("\x01") : it->second.content;
    }
    static bool same(const View& a, const View& b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const View::value_type& x, const View::value_type& y) {
                   return x.first == y.first && x.second.content == y.second.content;
               });
    }
    static std::string trim(std::string c) {
        while (!c.empty() && (c.back() == '\n' || c.back() == '\r')) c.pop_back();
        return c;
    }
    static bool isChangeLine(const std::string& l) {
        for (const char* start : {"  ", "Could not", "Conflict", "Error"})
            if (l.rfind(start, 0) == 0) return true;
        return false;
    }
    void note(bool pc, const std::string& what) {
        const std::string who = pc ? "PC " + cards_[focus_].folder : cardName(focus_);
        transcript_ += "  " + who + ": " + what + "\n";
        fresh_ = false;
    }
    // The side as the generator sees it, listed once per change.
    const View& view(bool pc) {
        if (!fresh_) {
            cached_[0] = r_->card(focus_).list();
            cached_[1] = hasFolder() ? side(true).list() : View();
            fresh_ = true;
        }
        return cached_[pc];
    }
    void problem(const std::string& p) {
        if (std::find(problems_.begin(), problems_.end(), p) == problems_.end()) problems_.push_back(p);
    }
    // A PC name that stays on the PC only: one the card keeps to itself, one outside the
    // ANSI code page, and a folder holding such a name at any depth.
    bool pcOnly(const View& pc, const std::string& key) const {
        if (r_->reserved(key) || outsideAnsi(key)) return true;
        if (!isFolderName(key)) return false;
        for (auto it = pc.upper_bound(key); it != pc.end() && below(it->first, key); ++it)
            if (r_->reserved(it->first) || outsideAnsi(it->first)) return true;
        return false;
    }
    // The action the engine applies to a name: the first exception whose name starts it.
    static int actionFor(const Order& order, const std::string& key) {
        for (const auto& e : order.exceptions)
            if (key.compare(0, e.first.size(), lower(e.first)) == 0) return e.second == "SKIP" ? 6 : e.second == "HHTOPC" ? 2 : 3;
        return order.action;
    }

    // What both sides last agreed on: the base that "changed" and "deleted" refer to. Names
    // a HotSync skipped, or one that failed or was cancelled, may keep the engine's old
    // base; but a name the HotSync itself made alike (a copy, an exception's copy under a
    // skipped action, a version moved aside and copied across) is agreed whatever the
    // action.
    void remember(const View& ca, const View& pa, const View& cb, const View& pb, const Order& order, FolderState& st) {
        for (const auto& i : ca) {
            const std::string& c = i.second.content;
            if (!pa.count(i.first) || pa.at(i.first).content != c) continue;
            const bool madeAlike = at(cb, i.first) != c || at(pb, i.first) != c;
            if (actionFor(order, i.first) != 6 || madeAlike) st.agreed[i.first] = c;
        }
        // A name gone from both sides is no longer agreed, unless the HotSync skipped it: then
        // the engine keeps its base (a card swapped in under "Do nothing" lacks the name, and
        // when the first card is back, the PC's deletion of an unchanged file crosses).
        for (auto it = st.agreed.begin(); it != st.agreed.end();)
            it = !ca.count(it->first) && !pa.count(it->first) && actionFor(order, it->first) != 6 ? st.agreed.erase(it) : std::next(it);
    }
    // The deletions the guard must hold on side x (the other side y) under synchronisation:
    // files both sides agreed on, unchanged on x and gone from y, no exception naming them.
    // They are held when an earlier HotSync held that side's deletions and the user has not
    // confirmed them, or when y holds none of the files both sides ever held and two or more
    // would go (an emptied, reformatted or other card) in a HotSync without faults after one that
    // settled all; "MaxDelete" 100 turns the guard off.
    bool heldCandidates(bool pc, const View& x, const View& y, const Order& order, std::vector<std::string>& out, const FolderState& st) const {
        for (const auto& a : st.agreed) {
            const bool excepted = actionFor(order, a.first) != order.action;
            if (!isFolderName(a.first) && at(x, a.first) == a.second && !y.count(a.first) && !excepted) out.push_back(a.first);
        }
        const bool emptied = std::none_of(y.begin(), y.end(), [&](const View::value_type& i) { return st.everAlikeNames.count(i.first) != 0; });
        return order.action == 0 && order.maxDelete < 100 && !out.empty() &&
               (st.hold[pc] || (emptied && !lastFaulty_ && !order.faulty() && out.size() >= 2));
    }
    // The engine holds back a mass deletion on purpose (10 files or more): the generator
    // stays below it, counting what this side already deleted since both sides agreed.
    bool belowMassDeletion(bool pc, const std::string& key) {
        const View& mine = view(pc);
        size_t going = 0;
        for (const auto& a : focusState().agreed) going += !isFolderName(a.first) && !mine.count(a.first);
        for (const auto& m : mine) going += !isFolderName(m.first) && (m.first == key || below(m.first, key));
        return going <= 8;
    }
    // True when a folder above name is a file on this side: nothing can be made there.
    bool belowAFile(bool pc, const std::string& name) {
        for (size_t s = name.find('/', 1); s != std::string::npos && s + 1 < name.size(); s = name.find('/', s + 1))
            if (view(pc).count(lower(name.substr(0, s)))) return true;
        return isFolderName(name) && view(pc).count(lower(name.substr(0, name.size() - 1)));
    }
    // Names keep the spelling this side already has; only case renames change it.
    std::string spell(bool pc, const std::string& name) {
        const View& mine = view(pc);
        std::string out;
        for (size_t s = 1, e; s <= name.size(); s = e + 1) {
            e = std::min(name.find('/', s), name.size());
            const std::string prefix = name.substr(0, e + (e < name.size()));
            auto it = mine.find(lower(prefix));
            out += (it == mine.end() ? prefix : it->second.spelled).substr(out.size());
        }
        return out;
    }
    static std::string caseFlipped(std::mt19937& rng, std::string s) {
        forEachSingle(s, [&rng](char& ch) {
            if (otherCase(static_cast<unsigned char>(ch)) && pick(rng, 2)) ch = static_cast<char>(otherCase(static_cast<unsigned char>(ch)));
        });
        return s;
    }
    // Between HotSyncs: a card taken out, put in, moved to the other slot or swapped for
    // one that is out; a label changed in case, to another, or to another card's.
    void cardEvent() {
        std::vector<size_t> out;
        for (size_t i = 0; i < cards_.size(); ++i)
            if (std::find(slots_.begin(), slots_.end(), i) == slots_.end()) out.push_back(i);
        const size_t c = static_cast<size_t>(pick(rng_, static_cast<int>(cards_.size())));
        std::string what;
        switch (pick(rng_, 7)) {
        case 0:
            if (slots_.empty()) return;
            what = "take out card " + std::string(1, char('A' + slots_.back()));
            slots_.pop_back();
            break;
        case 1:
            if (slots_.size() >= 2 || out.empty()) return;
            slots_.insert(slots_.begin() + pick(rng_, static_cast<int>(slots_.size()) + 1), out[0]);
            what = "put in card " + std::string(1, char('A' + out[0]));
            break;
        case 2:
            if (slots_.size() < 2) return;
            std::swap(slots_[0], slots_[1]);
            what = "cards change slots";
            break;
        case 3: {
            if (slots_.empty() || out.empty()) return;
            size_t& slot = slots_[static_cast<size_t>(pick(rng_, static_cast<int>(slots_.size())))];
            const size_t in = pickOf(rng_, out);
            what = std::string("card ") + char('A' + in) + " in the slot of card " + char('A' + slot);
            slot = in;
            break;
        }
        case 4: cards_[c].label = caseFlipped(rng_, cards_[c].label), what = "relabel in case"; break;
        case 5:
            cards_[c].label = caseFlipped(rng_, pickOf(rng_, std::vector<std::string>{"CardA", "CardB", "CardC", "Travel"}));
            what = "relabel";
            break;
        default: {
            const size_t other = (c + 1 + static_cast<size_t>(pick(rng_, static_cast<int>(cards_.size()) - 1))) % cards_.size();
            cards_[c].label = pick(rng_, 2) ? cards_[other].label : caseFlipped(rng_, cards_[other].label);
            what = std::string("give it the label of card ") + char('A' + other);
            break;
        }
        }
        if (what.rfind("relabel", 0) == 0 || what.rfind("give", 0) == 0) what = std::string("card ") + char('A' + c) + ": " + what + " -> " + cards_[c].label;
        transcript_ += "  " + what + "\n";
        fresh_ = false;
    }

    void randomAction(bool pc, int depth) {
        // Under code page 932 a folder and names of two-byte characters whose second byte
        // reads as "\\" (表, ソ, 能) or as a letter in either case (ア 83 41, ヂ 83 61: two names).
        static const std::vector<std::string> folders = doubleByte()
            ? std::vector<std::string>{"/", "/Docs/", "/Docs/Sub/", "/\x95\x5C/", "/.cfg/", deepFolder()}
            : std::vector<std::string>{"/", "/Docs/", "/Docs/Sub/", "/Pics/", "/.cfg/", deepFolder()};
        // Besides plain names, a user's files named like the conduit's scratch files and
        // like the card listing: where the route does not keep such a name to itself, it
        // takes part like any other.
        static const std::vector<std::string> files = [] {
            std::vector<std::string> f = {"a.txt", "Notes.txt", "readme.txt", "b.doc", "c", ".profile",
                                          "a.txt", "Notes.txt", "c", kUserTempLike, ".tarnwick-upload",
                                          ".tarnwick-old-a.txt", "Tarnwick.txt", longestName()};
            const std::vector<std::string> more = doubleByte()
                ? std::vector<std::string>{"\x83\x41.txt", "\x83\x61.txt", "\x83\x5C.txt", "\x94\x5C\x83\x41", "A\x83\x61.TXT"}
                : std::vector<std::string>{"caf\xe9.txt", "M\xfcller.txt"};
            f.insert(f.end(), more.begin(), more.end());
            return f;
        }();
        pc = pc && hasFolder();  // a card not yet synchronised has no PC folder
        const View mine = view(pc);
        std::vector<std::string> myFiles, myFolders;
        for (const auto& i : mine)
            if (!outsideAnsi(i.first)) (isFolderName(i.first) ? myFolders : myFiles).push_back(i.second.spelled);
        const int kind = pick(rng_, 100);
        if (pc && depth == 0 && pick(rng_, 100) < 3) {  // a name no handheld call can name
            const size_t w = static_cast<size_t>(pick(rng_, static_cast<int>(kOutsideAnsiCount)));
            const std::string c = content();
            if (r_->writeWide(cards_[focus_].folder, kOutsideAnsi[w].rel, c))
                outsideAnsi_[lower(cards_[focus_].folder)].insert(w), note(true, std::string("write ") + kOutsideAnsi[w].shown + " = " + trim(c));
            return;
        }
        if (!pc && depth == 0 && pick(rng_, 100) < 5 && !myFiles.empty()) {
            if (multiCard() || pick(rng_, 2)) {  // a card reformatted, perhaps filled with new files
                for (const auto& i : mine)
                    if (std::count(i.first.begin(), i.first.end(), '/') == 1 + isFolderName(i.first)) remove(false, i.second.spelled);
                for (int i = 0, n = pick(rng_, 4); i < n; ++i) write(false, "/new" + std::to_string(++versions_) + ".jpg", content());
            } else {
                r_->card(focus_).swapCard(), note(false, "swap for the other card");
            }
            return;
        }
        if (kind < 30 || (myFiles.empty() && kind < 75)) {  // create or edit, at times the same new name on both sides
            const std::string name = spell(pc, pickOf(rng_, folders) + pickOf(rng_, files));
            if ((myFiles.size() >= 8 && !mine.count(lower(name))) || (!pc && r_->reserved(lower(name))) || belowAFile(pc, name) ||
                mine.count(lower(name) + "/"))
                return;
            const bool both = kind < 8 && hasFolder() && !mine.count(lower(name)) && !view(!pc).count(lower(name)) && !r_->reserved(lower(name)) &&
                              !belowAFile(!pc, name) && !view(!pc).count(lower(name) + "/");
            const std::string c = content();
            write(pc, name, c);
            if (both) write(!pc, spell(!pc, name), pick(rng_, 2) ? c : content());
        } else if (kind < 50) {  // edit
            write(pc, pickOf(rng_, myFiles), content());
        } else if (kind < 55) {  // a file replaced by a folder of its name holding a file, or the reverse
            const bool file = !myFiles.empty() && (myFolders.empty() || pick(rng_, 2));
            const std::string n = file ? pickOf(rng_, myFiles) : myFolders.empty() ? "" : pickOf(rng_, myFolders);
            const std::string made = file ? n + "/" + pickOf(rng_, files) : n.substr(0, n.size() - 1);
            if (n.empty() || !belowMassDeletion(pc, lower(n)) || (!pc && r_->reserved(lower(made)))) return;
            remove(pc, n);
            write(pc, made, content());
        } else if (kind < 67 && !myFiles.empty()) {
            const std::string& n = pickOf(rng_, myFiles);
            if (belowMassDeletion(pc, lower(n))) remove(pc, n);
        } else if (kind < 75 && !myFiles.empty()) {  // move to another folder
            const std::string& n = pickOf(rng_, myFiles);
            const std::string to = spell(pc, pickOf(rng_, folders) + n.substr(n.rfind('/') + 1));
            if (mine.count(lower(to)) || mine.count(lower(to) + "/") || belowAFile(pc, to) || !belowMassDeletion(pc, lower(n)) ||
                (!pc && r_->reserved(lower(to))))
                return;
            const std::string folder = to.substr(0, to.rfind('/') + 1);
            if (folder != "/" && !mine.count(lower(folder))) mkdir(pc, folder);
            rename(pc, n, to);
        } else if (kind < 83 && !(myFiles.empty() && myFolders.empty())) {  // rename a file or folder in case only
            const std::string n = pickOf(rng_, myFolders.empty() || (pick(rng_, 3) && !myFiles.empty()) ? myFiles : myFolders);
            const size_t last = n.rfind('/', n.size() - 2) + 1;
            const std::string to = n.substr(0, last) + caseFlipped(rng_, n.substr(last));
            if (to != n) rename(pc, n, to);
        } else if (kind < 88) {
            const std::string f = pickOf(rng_, folders);
            if (f != "/" && !mine.count(lower(f)) && !belowAFile(pc, f)) mkdir(pc, spell(pc, f));
        } else if (!myFolders.empty()) {  // delete a folder, empty or not
            const std::string& f = pickOf(rng_, myFolders);
            if (belowMassDeletion(pc, lower(f))) remove(pc, f);
        } else if (depth < 2) {
            randomAction(pc, depth + 1);
        }
    }

    // Random settings; a clean order only draws "Archive", "MaxDelete" and a lost record
    // of the card keys.
    Order randomOrder(bool clean) {
        Order o = baseOrder();
        o.archive = pick(rng_, 2) == 1;
        const int share = pick(rng_, 20);
        o.maxDelete = share < 12 ? 0 : share < 15 ? 10 : share < 18 ? 30 : 100;
        o.dropCardKeys = pick(rng_, 8) == 0;
        // A PC file another program keeps open, readable, for several HotSyncs in a row: its
        // deletion fails each time, and no HotSync archives the same version twice.
        if (clean && !lastLock_.pcLock.empty() && pick(rng_, 2)) {
            o.pcLock = lastLock_.pcLock, o.lockFolder = lastLock_.lockFolder, o.lockShared = true;
            o.action = lastLock_.action;
            return o;
        }
        lastLock_ = Order();
        if (clean) return o;
        const int a = pick(rng_, 100);
        o.action = a < 60 ? 0 : a < 75 ? 2 : a < 90 ? 3 : 6;
        // The one-time overwrite that confirms held deletions, at times.
        for (size_t c : multiCard() ? slots_ : std::vector<size_t>{0}) {
            const FolderState& st = folders_[lower(cards_[c].folder)];
            if ((st.hold[0] || st.hold[1]) && pick(rng_, 4) == 0) o.action = st.hold[1] ? 2 : 3;
        }
        // Exceptions and a PC file held open, in the folder of the card in focus.
        focusOn(pickFocus());
        std::vector<std::string> names, pcNames = {"archive"};
        if (hasFolder()) {
            pcNames.push_back("state");
            o.lockFolder = cards_[focus_].folder;
            o.exceptionKeys = {lower(cards_[focus_].folder)};
        }
        for (bool pc : {false, true})
            for (const auto& i : view(pc)) {
                if (pc) pcNames.push_back(i.second.spelled);
                if (!pc || !view(false).count(i.first)) names.push_back(i.second.spelled);
            }
        if (hasFolder() && !names.empty() && pick(rng_, 5) == 0) {
            static const std::vector<std::string> words = {"SKIP", "HHTOPC", "PCTOHH"};
            for (int i = 0, n = 1 + pick(rng_, 2); i < n; ++i) {
                const std::string name = pickOf(rng_, names);  // one keyword per name, as in the settings file
                if (o.exceptions.empty() || lower(o.exceptions[0].first) != lower(name)) o.exceptions.emplace_back(name, pickOf(rng_, words));
            }
        }
        pcNames.push_back("settings");
        if (pick(rng_, 10) < 2) {
            if (pick(rng_, 2)) o.cardFault = r_->randomCardFault(rng_, view(false));
            else o.pcLock = pickOf(rng_, pcNames);
            const bool pcFile = !o.pcLock.empty() && o.pcLock != "archive" && o.pcLock != "state" && o.pcLock != "settings";
            if (pcFile && pick(rng_, 2)) o.lockShared = true, lastLock_ = o;
        }
        if (pick(rng_, 10) == 0) o.cancel = pick(rng_, r_->cancelRange);
        // A file saved or deleted on either side while the HotSync runs, mostly one it is
        // about to carry.
        if (r_->changesDuring() && hasFolder() && pick(rng_, 6) == 0) {
            Order::During& d = o.during;
            d.pc = pick(rng_, 2) == 1;
            std::vector<std::string> known;
            for (bool pc : {false, true})
                for (const auto& i : view(pc))
                    if (!isFolderName(i.first) && !outsideAnsi(i.first) && !(d.pc ? false : r_->reserved(i.first)))
                        known.push_back(view(d.pc).count(i.first) ? view(d.pc).at(i.first).spelled : i.second.spelled);
            if (known.empty()) known.push_back("/during.txt");
            d.name = pickOf(rng_, known);
            d.remove = view(d.pc).count(lower(d.name)) && pick(rng_, 4) == 0;
            if (belowAFile(d.pc, d.name) || view(d.pc).count(lower(d.name) + "/")) d.remove = true;
            d.content = content();
            d.at = pick(rng_, r_->cancelRange);
            // A PC file the order holds open cannot be saved by the user either.
            if (d.pc && !o.pcLock.empty() && lower(d.name) == lower(o.pcLock)) d = Order::During();
        }
        return o;
    }

    std::unique_ptr<Route> r_;
    std::mt19937 rng_;
    std::vector<CardState> cards_;
    std::vector<size_t> slots_;  // the cards in the handheld, slot by slot
    Order lastLock_;             // the last HotSync's PC file held open, readable
    std::map<std::string, FolderState> folders_;  // by folder key in lower case
    std::map<std::string, std::set<size_t>> outsideAnsi_;  // folder key -> kOutsideAnsi made there
    size_t focus_ = 0;
    bool lastFaulty_ = false;
    View cached_[2];
    bool fresh_ = false;
    std::vector<std::string> problems_;
    std::string transcript_, lastLog_;
    int versions_ = 0, logShown_ = 0;
    size_t hotSyncs_ = 0;
};

// Runs job(i) for every i below count on `workers` threads (a HotSync through hotsync.exe
// mostly waits).
void onThreads(size_t count, size_t workers, const std::function<void(size_t)>& job) {
    std::atomic<size_t> next{0};
    std::vector<std::thread> threads;
    for (size_t w = 0; w < workers; ++w)
        threads.emplace_back([&] {
            for (size_t i = next++; i < count; i = next++) job(i);
        });
    for (std::thread& t : threads) t.join();
}

// Plays histories on one route; every failing history prints its seed and itself, and the
// summary lists a few seeds for each kind of problem.
void playMany(char route, const char* label, size_t count, uint32_t firstSeed, int rounds, size_t workers) {
    std::vector<uint32_t> seeds;
    if (const size_t replay = fromEnvironment("TARNWICK_MODEL_SEED", 0)) seeds.push_back(static_cast<uint32_t>(replay));
    else
        for (size_t i = 0; i < count; ++i) seeds.push_back(static_cast<uint32_t>(fromEnvironment("TARNWICK_MODEL_FIRST_SEED", firstSeed) + i));
    rounds = static_cast<int>(fromEnvironment("TARNWICK_MODEL_ROUNDS", static_cast<size_t>(rounds)));
    std::vector<std::string> reports(seeds.size()), kinds(seeds.size());  // a kind only when it failed
    std::atomic<size_t> hotSyncs{0};
    const auto start = std::chrono::steady_clock::now();
    onThreads(seeds.size(), workers, [&](size_t i) {
        History h(makeRoute(route, seeds[i]), seeds[i]);
        if (!h.play(rounds)) kinds[i] = h.problems().front().substr(0, h.problems().front().find(':'));
        hotSyncs += h.hotSyncs();
        reports[i] = h.report();
    });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    size_t failed = 0;
    std::map<std::string, std::vector<uint32_t>> byProblem;
    for (size_t i = 0; i < seeds.size(); ++i) {
        const std::string heading = std::string(label) + " seed " + std::to_string(seeds[i]);
        if (kinds[i].empty()) {
            if (verbose()) std::printf("%s:\n%s", heading.c_str(), reports[i].c_str());
            continue;
        }
        if (byProblem[kinds[i]].size() < 8) byProblem[kinds[i]].push_back(seeds[i]);
        if (failed++ < 3 || verbose()) ADD_FAILURE() << heading << " (TARNWICK_MODEL_SEED=" << seeds[i] << "):\n" << reports[i];
    }
    std::printf("[ model    ] %s: %zu histories, %zu HotSyncs, %zu failed, %.1f s\n", label, seeds.size(), hotSyncs.load(), failed, seconds);
    for (const auto& p : byProblem) {
        std::printf("[ model    ]   %s: seeds", p.first.c_str());
        for (uint32_t s : p.second) std::printf(" %u", s);
        std::printf("\n");
    }
    EXPECT_EQ(0u, failed);
}

// Plays a history written as steps, each "c" or "p" (card, PC) followed by + (write a new
// version), - (delete), > (rename to the second name) or / (make a folder), or "s" for a
// clean HotSync ("sa": with "Archive"; "s2", "s2a": under action 2, and so on), or "x name
// keyword" for an exception of the next HotSync. In a name, "<deep>/" stands for
// deepFolder() and "<longest>" for longestName(). False at the first HotSync that finds a
// problem.
bool replay(History& h, const std::string& steps) {
    std::stringstream in(steps);
    std::vector<std::pair<std::string, std::string>> exceptions;  // "x name keyword": for the next HotSync
    for (std::string step; std::getline(in, step, ';');) {
        std::stringstream words(step);
        std::string op, name, to;
        words >> op >> name >> to;
        for (std::string* n : {&name, &to}) {  // the names with spaces, and the longest one
            for (size_t at; (at = n->find("<deep>/")) != std::string::npos;) n->replace(at, 7, deepFolder());
            for (size_t at; (at = n->find("<longest>")) != std::string::npos;) n->replace(at, 9, longestName());
        }
        const bool pc = op[0] == 'p';
        if (op[0] == 'x') {
            exceptions.emplace_back(name, to);
        } else if (op[0] == 's') {
            Order o = h.baseOrder();
            o.exceptions.swap(exceptions);
            o.archive = op.back() == 'a';
            if (op.size() > 1 && std::isdigit(static_cast<unsigned char>(op[1]))) o.action = op[1] - '0';
            if (!h.hotSync(o)) return false;
        } else if (op[1] == '+') h.write(pc, name, h.content());
        else if (op[1] == '-') h.remove(pc, name);
        else if (op[1] == '>') h.rename(pc, name, to);
        else if (op[1] == '/') h.mkdir(pc, name);
    }
    return true;
}

}  // namespace

// The in-memory card shares the process's log, so its histories run one at a time.
TEST(ModelHistories, InMemoryCard) { playMany('f', "in-memory card", fromEnvironment("TARNWICK_MODEL_HISTORIES", 80), 1, 8, 1); }
TEST(ModelHistories, VfsRoute) { playMany('v', "VFS route", fromEnvironment("TARNWICK_MODEL_HOST_HISTORIES", 2), 1000001, 4, 2); }
TEST(ModelHistories, CompanionRoute) {
    playMany('c', "companion route", fromEnvironment("TARNWICK_MODEL_HOST_HISTORIES", 2), 2000001, 4, 2);
}

// Histories the model found, kept as plain cases (steps as replay() reads them).
struct Found {
    const char* what;
    const char* routes;  // as makeRoute() reads them
    const char* steps;
};
const Found kFound[] = {
    {"an edit on the PC wins over a deletion on the card", "f", "c+ /Docs/Notes.txt; s; p+ /Docs/Notes.txt; c- /Docs/Notes.txt; s"},
    {"an edit on the card wins over a deletion on the PC", "f", "p+ /a.txt; s; c+ /a.txt; p- /a.txt; s"},
    {"a rename in case only keeps the file", "fv", "c+ /Docs/Notes.txt; s; p> /Docs/Notes.txt /Docs/NOTES.txt; s; s"},
    {"a rename in case of a letter beyond A to Z keeps the file", "fvc", "c+ /caf\xE9.txt; s; p> /caf\xE9.txt /CAF\xC9.txt; s; s"},
    {"an exception names a file in either case of a letter beyond A to Z", "fvc",
     "c+ /M\xFCller.txt; s; p> /M\xFCller.txt /M\xDCller.txt; s; c+ /M\xFCller.txt; x /M\xFCller.txt HHTOPC; s3"},
    {"a second conflict takes the next free name", "f", "c+ /a.txt; s; c+ /a.txt; p+ /a.txt; s; c+ /a.txt; p+ /a.txt; s"},
    {"the archive keeps two deleted files of one name", "f", "c+ /A/readme.txt; c+ /B/readme.txt; c+ /kept.txt; s; p- /A/readme.txt; p- /B/readme.txt; sa"},
    {"the archive keeps a file archived twice", "f", "c+ /a.txt; s; p- /a.txt; sa; c+ /a.txt; s; p- /a.txt; sa"},
    {"a file added in a folder deleted on the other side is kept", "fvc", "c+ /Docs/a.txt; s; p- /Docs/; c+ /Docs/new.txt; s"},
    {"names beginning with a dot take part", "f", "c+ /.profile; p+ /.cfg/a.txt; s"},
    {"a folder that held a folder is deleted on the other side", "fv", "c+ /Docs/Sub/a.txt; s; c- /Docs/; s"},
    {"an emptied card takes new files", "c", "c+ /a.txt; s; c- /a.txt; s; p+ /b.txt; s"},
    {"a card refilled keeps the PC copies held until an overwrite confirms them", "fvc",
     "c+ /a.txt; c+ /Docs/b.txt; p+ /c.txt; s; c- /a.txt; c- /Docs/; c- /c.txt; c+ /p1.jpg; c+ /p2.jpg; c+ /p3.jpg; s; s; c+ /p1.jpg; p+ /p2.jpg; s2a; s"},
    {"a file changed on one side and replaced by a folder on the other moves aside past a folder of the first free name", "fvc",
     "c+ /Docs/c; c+ /Docs/c_2/Notes.txt; s; p+ /Docs/c; c- /Docs/c; c+ /Docs/c/c; s; s"},
    {"a name as long as a folder holds, deep down, changed on both sides and deleted", "fvc",
     "c+ <deep>/<longest>; p+ <deep>/Notes.txt; s; c+ <deep>/<longest>; p+ <deep>/<longest>; s; c- <deep>/<longest>; sa; s"},
};

// Each case on each of its routes, side by side; the in-memory card's runs take turns, as
// they share the process's log.
TEST(ModelFound, PlainHistories) {
    std::vector<std::pair<const Found*, char>> runs;
    for (const Found& f : kFound)
        for (const char* r = f.routes; *r; ++r) runs.emplace_back(&f, *r);
    std::vector<std::string> failures(runs.size());
    std::mutex inProcess;
    onThreads(runs.size(), runs.size(), [&](size_t i) {
        std::unique_lock<std::mutex> turn(inProcess, std::defer_lock);
        if (runs[i].second == 'f') turn.lock();
        History h(makeRoute(runs[i].second, static_cast<uint32_t>(i)), 0);
        const bool ok = replay(h, runs[i].first->steps);
        const std::string report = std::string(runs[i].first->what) + " (route " + runs[i].second + "):\n" + h.report();
        if (!ok) failures[i] = report;
        else if (verbose()) std::printf("%s", report.c_str());
    });
    for (const std::string& f : failures)
        if (!f.empty()) ADD_FAILURE() << f;
}
