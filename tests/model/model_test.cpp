// Random HotSync histories checked against a model of what the user did. A history starts
// with a few files in nested folders, then plays rounds of user actions on both sides, each
// followed by a HotSync with random settings (action, exceptions, "Archive", one injected
// failure, a Cancel); the card is at times reformatted or swapped. After every HotSync:
//   1. every version the user made since the last HotSync is still on a side, unless the
//      action or an exception let the other side overwrite it;
//   2. a version leaves both sides only when the user deleted the file on one side and the
//      other side's copy was unchanged (then, with "Archive" on, it is in the archive), and
//      nothing in the archive is overwritten;
//   3. after a clean HotSync (action 0, no exception, failure, Cancel or hold) both sides hold the
//      same names, in any case, with the same contents, and one more HotSync changes nothing;
//   4. a failed or cancelled HotSync is followed by a clean one, which must bring back 3;
//   5. nothing is written outside the location folder, its state file and the archive, and
//      no staging file is left behind;
//   6. with "Archive" on, whatever the action and exceptions, every version new or changed
//      since both sides last held it is on a side or in the archive afterwards;
//   7. deletions the guard must hold (a card emptied, reformatted or swapped for another of
//      the same label, and every deletion on that side after a hold) stay held until the
//      one-time overwrite confirms them, however many files arrive meanwhile.
// Most histories run the engine in-process against the in-memory card; a smaller share runs
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
#include "settings/Settings.h"
#include "tests/common/FileTimes.h"
#include "tests/robustness/SweepFiles.h"

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
bool within(const std::string& rel, const std::string& dir) {
    return rel.compare(0, dir.size(), dir) == 0 && (rel.size() == dir.size() || rel[dir.size()] == '\\');
}
bool isFolderName(const std::string& name) { return !name.empty() && name.back() == '/'; }
bool below(const std::string& key, const std::string& folderKey) {
    return key.size() > folderKey.size() && key.compare(0, folderKey.size(), folderKey) == 0;
}
std::string baseOf(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }
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
        isFolderName(n) ? removeTree(hostPath(root_, n)) : (void)DeleteFileA(hostPath(root_, n).c_str());
    }
    void rename(const std::string& from, const std::string& to) override {
        // Through a third name: a move to the same name in another case does nothing here.
        const std::string aside = hostPath(root_, from) + "~";
        MoveFileA(hostPath(root_, from).c_str(), aside.c_str());
        MoveFileA(aside.c_str(), hostPath(root_, to).c_str());
    }
    void swapCard() override {
        const std::string other = root_ + "~other", out = root_ + "~out";
        MoveFileA(root_.c_str(), out.c_str());
        if (!MoveFileA(other.c_str(), root_.c_str())) makeFolders(root_);
        MoveFileA(out.c_str(), other.c_str());
    }

private:
    static std::string name(std::string rel) {
        std::replace(rel.begin(), rel.end(), '\\', '/');
        return "/" + rel;
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
    decltype(FakeCard::objects) other_{NameOrder{true}};
};

// The settings of one HotSync.
struct Order {
    int action = 0;
    bool archive = false;
    std::vector<std::pair<std::string, std::string>> exceptions;  // name, keyword
    std::string cardFault;  // fake route "kind name", host routes a fault rule
    std::string pcLock;     // a PC name below the location, or "state" for the state file
    int cancel = -1;        // fake route: entries before the Cancel; host routes: milliseconds
    std::string label;      // host routes: the card's label in this case ("" as first made)
    bool dropCardKeys = false;  // host routes: the card-key records removed before it
    bool faulty() const { return !cardFault.empty() || !pcLock.empty() || cancel >= 0; }
    bool clean() const { return action == 0 && exceptions.empty() && !faulty(); }
    std::string text() const {
        std::string s = "HotSync action " + std::to_string(action) + (archive ? ", Archive" : "");
        for (const auto& e : exceptions) s += ", exception " + e.first + "|" + e.second;
        if (!cardFault.empty()) s += ", failing " + cardFault;
        if (!pcLock.empty()) s += ", PC holds " + pcLock;
        if (cancel >= 0) s += ", Cancel at " + std::to_string(cancel);
        if (!label.empty()) s += ", label " + label;
        if (dropCardKeys) s += ", card keys removed";
        return s;
    }
};

class HeldOpen {  // a PC file or folder another program holds open, unshared; "" holds nothing
public:
    explicit HeldOpen(const std::string& path)
        : h_(path.empty() ? INVALID_HANDLE_VALUE
                          : CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {}
    ~HeldOpen() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;

private:
    HANDLE h_;
};

// One way of running HotSyncs: the two sides, the HotSync itself, and the folders it owns.
// A derived route fills in every member in its constructor.
class Route {
public:
    explicit Route(uint32_t seed) : root(freshWorkFolder("model_" + std::to_string(seed))) {}
    virtual ~Route() { removeTree(root); }
    Side& card() { return *card_; }
    Side& pc() { return *pc_; }
    // Runs one HotSync with the order's exceptions, the PC name it names held open; answers
    // its log lines.
    std::vector<std::string> sync(const Order& order) {
        WritePrivateProfileStringA(exceptionSection_.c_str(), nullptr, nullptr, ini_.c_str());
        for (const auto& e : order.exceptions)
            WritePrivateProfileStringA(exceptionSection_.c_str(), e.first.c_str(), ("x|" + e.second).c_str(), ini_.c_str());
        // "archive": a file where the archive folder belongs, so no archive copy can be made.
        const bool noArchive = order.pcLock == "archive";
        if (noArchive) MoveFileA(archive.c_str(), (archive + "~").c_str()), writeHostFile(archive, "in the way");
        HeldOpen held(order.pcLock.empty() || noArchive ? "" : order.pcLock == "state" ? location + ".txt" : hostPath(location, order.pcLock));
        const std::vector<std::string> lines = run(order);
        if (noArchive) DeleteFileA(archive.c_str()), MoveFileA((archive + "~").c_str(), archive.c_str());
        return lines;
    }
    virtual std::string randomCardFault(std::mt19937& rng, const View& card) = 0;
    // A name (lower case) the route keeps to itself on the card: the user has no card
    // file of that name, and a PC file of it stays on the PC only.
    virtual bool reserved(const std::string& /*key*/) const { return false; }
    // A path below root that is one of the conduit's or the card's scratch files.
    virtual bool staging(const std::string& rel) const { return isStaging(rel, false, false); }
    bool owned(const std::string& rel) const {  // rel: relative to root
        return std::any_of(owned_.begin(), owned_.end(), [&](const std::string& o) { return within(rel, o); });
    }
    const std::string root;
    std::string location, archive;
    int cancelRange = 0;

protected:
    virtual std::vector<std::string> run(const Order& order) = 0;
    std::unique_ptr<Side> pc_, card_;
    std::string ini_, exceptionSection_;
    std::vector<std::string> owned_;
};

class FakeRoute : public Route {
public:
    explicit FakeRoute(uint32_t seed) : Route(seed), settings_(root + "\\Tarnwick.ini") {
        location = root + "\\Sync\\Card";
        archive = root + "\\Archive";
        makeFolders(location);
        ini_ = root + "\\Tarnwick.ini";
        exceptionSection_ = "Ann-Card-Exceptions";
        owned_ = {"Sync\\Card", "Sync\\Card.txt", "Archive", "Tarnwick.ini"};
        cancelRange = 20;
        context_.userName = "Ann";
        context_.pcFolder = root + "\\Sync\\";
        context_.settings = &settings_;
        fake_.pcClock = static_cast<uint32_t>(std::time(nullptr)) - 1000000u;
        pc_ = std::make_unique<FolderSide>(location, fake_.pcClock, false, false);
        card_ = std::make_unique<FakeSide>(fake_);
    }
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
        FakeLocation(&context_, fake_, location).synchronise();
        for (const auto& f : faults()) (fake_.*f.second).clear();
        // A card cannot hold a file without its folder: one the engine wrote into a folder
        // the card lacked gets that folder, as a card file system would make it.
        std::vector<std::string> names;
        for (const auto& o : fake_.objects) names.push_back(o.first);
        for (const std::string& n : names) makeParents(fake_, n);
        std::vector<std::string> lines;
        for (size_t i = 0; i < StandinLogCount(); ++i) lines.emplace_back(StandinLogText(i));
        return lines;
    }
    Settings settings_;
    FakeCard fake_;
    SyncContext context_;
};

// hotsync.exe against the simulated handheld: the VFS route or the companion route.
class HostRoute : public Route {
public:
    HostRoute(bool companion, uint32_t seed) : Route(seed), companion_(companion) {
        location = root + "\\pc\\Modeller\\MyCard";
        archive = root + "\\pc\\Archive";
        for (const std::string& f : {root + "\\dev\\card1", location, root + "\\conduit"}) makeFolders(f);
        CopyFileA("Tarnwick.dll", (root + "\\conduit\\Tarnwick.dll").c_str(), FALSE);
        ini_ = root + "\\conduit\\Tarnwick.ini";
        exceptionSection_ = "Modeller-MyCard-Exceptions";
        owned_ = {"dev", "pc\\Modeller\\MyCard", "pc\\Modeller\\MyCard.txt", "pc\\Archive", "conduit\\Tarnwick.ini", "log.txt", "trace.txt"};
        cancelRange = 1500;
        pcClock_ = static_cast<uint32_t>(std::time(nullptr)) - 1000000u;
        cardClock_ = pcClock_ - 500000u;
        pc_ = std::make_unique<FolderSide>(location, pcClock_, false, companion);
        card_ = std::make_unique<FolderSide>(root + "\\dev\\card1", cardClock_, true, companion);
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
    bool staging(const std::string& rel) const override { return isStaging(rel, within(rel, "dev\\card1"), companion_); }
    std::string randomCardFault(std::mt19937& rng, const View&) override {
        const std::vector<std::string> vfs = {"VFSFileGet", "VFSFilePut", "VFSFileDelete", "VFSFileRename",
                                              "VFSDirCreate", "VFSFileOpen", "VFSFileGetDate"};
        const std::vector<std::string> requests = {"2", "3", "5", "6", "7", "8"};
        const std::string nth = " nth=" + std::to_string(1 + pick(rng, 3));
        return companion_ ? "SyncCallRemoteModule name=" + pickOf(rng, requests) + nth : pickOf(rng, vfs) + nth;
    }

private:
    std::vector<std::string> run(const Order& order) override {
        writeHostFile(root + "\\dev\\device.ini",
                      std::string("[Device]\r\n") + (companion_ ? "Companion=2\r\n" : "Companion=0\r\nVfs=1\r\n") +
                          "[Volume1]\r\nPath=card1\r\nLabel=" + (order.label.empty() ? "MyCard" : order.label) + "\r\n");
        if (order.dropCardKeys) WritePrivateProfileStringA("Modeller-CardKeys", nullptr, nullptr, ini_.c_str());
        WritePrivateProfileStringA("Modeller", "Archive", order.archive ? "1" : "0", ini_.c_str());
        WritePrivateProfileStringA("Modeller", "Frequency", "0", ini_.c_str());
        const std::string log = root + "\\log.txt", trace = root + "\\trace.txt";
        DeleteFileA(log.c_str());
        DeleteFileA(trace.c_str());
        std::vector<std::string> args = {"sync", "--device", root + "\\dev", "--user", "Modeller", "--pc",
                                         root + "\\pc\\Modeller", "--type", std::to_string(order.action),
                                         "--conduit", root + "\\conduit\\Tarnwick.dll", "--log", log, "--trace", trace};
        if (!order.cardFault.empty()) args.insert(args.end(), {"--fault", order.cardFault});
        if (order.cancel >= 0) args.insert(args.end(), {"--cancel-after", std::to_string(order.cancel)});
        runHotSync(args, trace);
        std::vector<std::string> lines;
        for (const std::string& l : readLines(log)) lines.push_back(l.substr(l.find('\t') + 1));
        return lines;
    }
    bool companion_;
    uint32_t pcClock_ = 0, cardClock_ = 0;
};

// f: the in-memory card, v: the VFS route, c: the companion route.
std::unique_ptr<Route> makeRoute(char route, uint32_t seed) {
    if (route == 'f') return std::make_unique<FakeRoute>(seed);
    return std::make_unique<HostRoute>(route == 'c', seed);
}

// A history: the user's actions and the HotSyncs, each HotSync checked against the model.
class History {
public:
    History(std::unique_ptr<Route> route, uint32_t seed) : r_(std::move(route)), rng_(seed) {}

    std::string content() { return "v" + std::to_string(++versions_) + "\r\n"; }
    // User actions, each recorded in the transcript.
    void write(bool pc, const std::string& n, const std::string& c) { side(pc).write(n, c), note(pc, "write " + n + " = " + trim(c)); }
    void mkdir(bool pc, const std::string& n) { side(pc).mkdir(n), note(pc, "mkdir " + n); }
    void remove(bool pc, const std::string& n) { side(pc).remove(n), note(pc, "delete " + n); }
    void rename(bool pc, const std::string& f, const std::string& t) { side(pc).rename(f, t), note(pc, "rename " + f + " -> " + t); }

    // One HotSync checked against the model; false once a problem was found.
    bool hotSync(const Order& order) {
        transcript_ += "  " + order.text() + "\n";
        ++hotSyncs_;
        const View cb = r_->card().list(), pb = r_->pc().list();
        const Tree wholeBefore = scanTree(r_->root), archiveBefore = scanTree(r_->archive);
        std::vector<std::string> held[2];
        const bool expectHold[2] = {heldCandidates(false, cb, pb, order, held[0]), heldCandidates(true, pb, cb, order, held[1])};
        const std::vector<std::string> log = r_->sync(order);
        fresh_[0] = fresh_[1] = false;
        const View ca = r_->card().list(), pa = r_->pc().list();
        const Tree wholeAfter = scanTree(r_->root), archiveAfter = scanTree(r_->archive);

        // 1 and 2: which versions may leave both sides.
        std::multiset<std::string> sidesAfter, archived;
        for (const View* v : {&ca, &pa})
            for (const auto& i : *v) sidesAfter.insert(i.second.content);
        for (const auto& f : archiveAfter.files) archived.insert(f.second);
        std::map<std::string, std::string> kept, deleted;  // content -> where it was
        for (bool pc : {false, true}) {
            const View &xb = pc ? pb : cb, &yb = pc ? cb : pb;
            for (const auto& i : xb) {
                if (isFolderName(i.first)) continue;
                const std::string& c = i.second.content;
                // Unchanged on this side since both sides last held the same version.
                const bool synced = agreed_.count(i.first) && agreed_.at(i.first) == c;
                const bool overwritten = actionFor(order, i.first) == (pc ? 2 : 3);
                if (synced && !yb.count(i.first)) deleted[c] = i.second.spelled;  // an overwrite's deletion included
                if (!(synced && at(yb, i.first) != c) && !overwritten) kept[c] = std::string(pc ? "PC " : "card ") + i.second.spelled;
            }
        }
        for (const auto& k : kept)
            if (!sidesAfter.count(k.first)) problem("lost from both sides: " + trim(k.first) + " of " + k.second);
        // With "Archive" on, whatever the action: a version new or changed since both sides
        // last held it is on a side or in the archive afterwards.
        if (order.archive)
            for (bool pc : {false, true})
                for (const auto& i : pc ? pb : cb)
                    if (!isFolderName(i.first) && !everAlike_.count({i.first, i.second.content}) &&
                        !sidesAfter.count(i.second.content) && !archived.count(i.second.content))
                        problem("changed version neither on a side nor in the archive: " + std::string(pc ? "PC " : "card ") +
                                i.second.spelled + " (" + trim(i.second.content) + ")");
        // The guard: held deletions are not carried out before the user confirms them.
        bool holding = false;
        for (bool pc : {false, true}) {
            const View& after = pc ? pa : ca;
            if (expectHold[pc])
                for (const std::string& n : held[pc])
                    if (!after.count(n)) problem(std::string("held deletion carried out on ") + (pc ? "PC: " : "card: ") + n);
            const std::string line = std::string(" on ") + (pc ? "PC" : "Palm") + " (";
            const bool logged = std::any_of(log.begin(), log.end(), [&](const std::string& l) {
                return l.rfind("Holding back ", 0) == 0 && l.find(line) != std::string::npos;
            });
            holding = holding || logged;
            if (logged) hold_[pc] = true;
            else if (order.action == (pc ? 2 : 3) || (order.action == 0 && held[pc].empty()) || order.faulty()) hold_[pc] = false;
        }
        if (order.archive)
            for (const auto& d : deleted)
                if (!kept.count(d.first) && !sidesAfter.count(d.first) && !archived.count(d.first))
                    problem("deleted " + d.second + " (" + trim(d.first) + ") is not in the archive");
        for (const auto& f : archiveBefore.files) {
            auto now = archiveAfter.files.find(f.first);
            if (now == archiveAfter.files.end() || now->second != f.second) problem("archive overwrote " + f.first);
        }
        // The names the route keeps to itself: a PC file of one stays on the PC, and only there.
        for (const auto& i : pb)
            if (r_->reserved(i.first) && !isFolderName(i.first) && at(pa, i.first) != i.second.content)
                problem("a PC file of a name the card keeps to itself changed: " + i.second.spelled);
        for (const auto& i : ca)
            if (r_->reserved(i.first)) problem("sent to the card under a name it keeps to itself: " + i.second.spelled);
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
        // 3: a clean HotSync leaves both sides alike, and the next one does nothing.
        if (order.clean() && !holding && problems_.empty()) {
            for (const auto& i : ca)
                if (!pa.count(i.first)) problem("only on the card: " + i.second.spelled);
                else if (pa.at(i.first).content != i.second.content) problem("card and PC differ: " + i.second.spelled);
            for (const auto& i : pa)
                if (!ca.count(i.first) && !r_->reserved(i.first)) problem("only on the PC: " + i.second.spelled);
            if (problems_.empty()) {
                for (const std::string& l : r_->sync(order))
                    if (isChangeLine(l)) problem("the HotSync after a clean one did: " + l);
                if (!same(r_->card().list(), ca) || !same(r_->pc().list(), pa)) problem("the HotSync after a clean one changed the sides");
            }
        }
        if (!problems_.empty() || verbose())
            for (const std::string& l : log)
                if (isChangeLine(l) && logShown_++ < 20) lastLog_ += "    | " + l + "\n";
        if (!order.faulty()) remember(ca, pa, order);
        for (const auto& i : ca)
            if (!isFolderName(i.first) && pa.count(i.first) && pa.at(i.first).content == i.second.content)
                everAlike_.insert({i.first, i.second.content}), everAlikeNames_.insert(i.first);
        lastFaulty_ = order.faulty();
        return problems_.empty();
    }

    // A random history: a first HotSync of a few files, then rounds of actions and HotSyncs;
    // a failed or cancelled HotSync is followed by a clean one without actions (4).
    bool play(int rounds) {
        for (int i = 0, n = 2 + pick(rng_, 3); i < n; ++i) randomAction(i % 3 == 2, 0);
        if (!hotSync(Order())) return false;
        bool recover = false;
        for (int round = 1; round <= rounds; ++round) {
            transcript_ += "round " + std::to_string(round) + (recover ? " (no actions)" : "") + "\n";
            for (int i = 0, n = recover ? 0 : 1 + pick(rng_, 4); i < n; ++i) randomAction(pick(rng_, 2) == 1, 0);
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
    Side& side(bool pc) { return pc ? r_->pc() : r_->card(); }
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
        transcript_ += std::string("  ") + (pc ? "PC" : "card") + ": " + what + "\n";
        fresh_[0] = fresh_[1] = false;
    }
    // The side as the generator sees it, listed once per change.
    const View& view(bool pc) {
        if (!fresh_[pc]) cached_[pc] = side(pc).list(), fresh_[pc] = true;
        return cached_[pc];
    }
    void problem(const std::string& p) {
        if (std::find(problems_.begin(), problems_.end(), p) == problems_.end()) problems_.push_back(p);
    }
    // The action the engine applies to a name: the first exception whose name starts it.
    static int actionFor(const Order& order, const std::string& key) {
        for (const auto& e : order.exceptions)
            if (key.compare(0, e.first.size(), lower(e.first)) == 0) return e.second == "SKIP" ? 6 : e.second == "HHTOPC" ? 2 : 3;
        return order.action;
    }

    // What both sides last agreed on: the base that "changed" and "deleted" refer to. Names
    // a HotSync skipped, or one that failed or was cancelled, may keep the engine's old base.
    void remember(const View& ca, const View& pa, const Order& order) {
        for (const auto& i : ca)
            if (pa.count(i.first) && pa.at(i.first).content == i.second.content && actionFor(order, i.first) != 6)
                agreed_[i.first] = i.second.content;
        for (auto it = agreed_.begin(); it != agreed_.end();)
            it = !ca.count(it->first) && !pa.count(it->first) ? agreed_.erase(it) : std::next(it);
    }
    // The deletions the guard must hold on side x (the other side y) under synchronisation:
    // files both sides agreed on, unchanged on x and gone from y, no exception naming them.
    // They are held when an earlier HotSync held that side's deletions and the user has not
    // confirmed them, or when y holds none of the files both sides ever held and two or more
    // would go (an emptied, reformatted or other card) in a HotSync without faults after one that
    // settled all.
    bool heldCandidates(bool pc, const View& x, const View& y, const Order& order, std::vector<std::string>& out) const {
        for (const auto& a : agreed_) {
            const bool excepted = actionFor(order, a.first) != order.action;
            if (!isFolderName(a.first) && at(x, a.first) == a.second && !y.count(a.first) && !excepted) out.push_back(a.first);
        }
        const bool emptied = std::none_of(y.begin(), y.end(), [&](const View::value_type& i) { return everAlikeNames_.count(i.first) != 0; });
        return order.action == 0 && !out.empty() && (hold_[pc] || (emptied && !lastFaulty_ && !order.faulty() && out.size() >= 2));
    }
    // The engine holds back a mass deletion on purpose (10 files or more): the generator
    // stays below it, counting what this side already deleted since both sides agreed.
    bool belowMassDeletion(bool pc, const std::string& key) {
        const View& mine = view(pc);
        size_t going = 0;
        for (const auto& a : agreed_) going += !isFolderName(a.first) && !mine.count(a.first);
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

    void randomAction(bool pc, int depth) {
        static const std::vector<std::string> folders = {"/", "/Docs/", "/Docs/Sub/", "/Pics/", "/.cfg/"};
        // Besides plain names, a user's files named like the conduit's scratch files and
        // like the card listing: where the route does not keep such a name to itself, it
        // takes part like any other.
        static const std::vector<std::string> files = {"a.txt", "Notes.txt", "readme.txt", "b.doc", "c", ".profile",
                                                       "a.txt", "Notes.txt", "c", kUserTempLike, ".tarnwick-upload",
                                                       ".tarnwick-old-a.txt", "Tarnwick.txt"};
        const View mine = view(pc);
        std::vector<std::string> myFiles, myFolders;
        for (const auto& i : mine) (isFolderName(i.first) ? myFolders : myFiles).push_back(i.second.spelled);
        const int kind = pick(rng_, 100);
        if (!pc && depth == 0 && pick(rng_, 100) < 5 && !myFiles.empty()) {
            if (pick(rng_, 2)) {  // a card reformatted, perhaps filled with new files
                for (const auto& i : mine)
                    if (std::count(i.first.begin(), i.first.end(), '/') == 1 + isFolderName(i.first)) remove(false, i.second.spelled);
                for (int i = 0, n = pick(rng_, 4); i < n; ++i) write(false, "/new" + std::to_string(++versions_) + ".jpg", content());
            } else {
                r_->card().swapCard(), note(false, "swap for the other card");
            }
            return;
        }
        if (kind < 30 || (myFiles.empty() && kind < 75)) {  // create or edit, at times the same new name on both sides
            const std::string name = spell(pc, pickOf(rng_, folders) + pickOf(rng_, files));
            if ((myFiles.size() >= 8 && !mine.count(lower(name))) || (!pc && r_->reserved(lower(name))) || belowAFile(pc, name) ||
                mine.count(lower(name) + "/"))
                return;
            const bool both = kind < 8 && !mine.count(lower(name)) && !view(!pc).count(lower(name)) && !r_->reserved(lower(name)) &&
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
            if (mine.count(lower(to)) || mine.count(lower(to) + "/") || belowAFile(pc, to) || !belowMassDeletion(pc, lower(n))) return;
            const std::string folder = to.substr(0, to.rfind('/') + 1);
            if (folder != "/" && !mine.count(lower(folder))) mkdir(pc, folder);
            rename(pc, n, to);
        } else if (kind < 83 && !mine.empty()) {  // rename a file or folder in case only
            const std::string n = pickOf(rng_, myFolders.empty() || (pick(rng_, 3) && !myFiles.empty()) ? myFiles : myFolders);
            std::string to = n;
            for (size_t i = n.rfind('/', n.size() - 2) + 1; i < to.size(); ++i)
                if (std::isalpha(static_cast<unsigned char>(to[i])) && pick(rng_, 2)) to[i] ^= 0x20;
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

    // Random settings; a clean order only draws "Archive", the card's label (tools write
    // FAT labels in upper case) and a lost record of the card keys.
    Order randomOrder(bool clean) {
        Order o;
        o.archive = pick(rng_, 2) == 1;
        if (pick(rng_, 4) == 0) o.label = pickOf(rng_, std::vector<std::string>{"MyCard", "MYCARD", "mycard"});
        o.dropCardKeys = pick(rng_, 8) == 0;
        if (clean) return o;
        const int a = pick(rng_, 100);
        o.action = a < 70 ? 0 : a < 80 ? 2 : a < 90 ? 3 : 6;
        // The one-time overwrite that confirms held deletions, at times.
        if ((hold_[0] || hold_[1]) && pick(rng_, 4) == 0) o.action = hold_[1] ? 2 : 3;
        std::vector<std::string> names, pcNames = {"state", "archive"};
        for (bool pc : {false, true})
            for (const auto& i : view(pc)) {
                if (pc) pcNames.push_back(i.second.spelled);
                if (!pc || !view(false).count(i.first)) names.push_back(i.second.spelled);
            }
        if (!names.empty() && pick(rng_, 5) == 0) {
            static const std::vector<std::string> words = {"SKIP", "HHTOPC", "PCTOHH"};
            for (int i = 0, n = 1 + pick(rng_, 2); i < n; ++i) {
                const std::string name = pickOf(rng_, names);  // one keyword per name, as in the settings file
                if (o.exceptions.empty() || lower(o.exceptions[0].first) != lower(name)) o.exceptions.emplace_back(name, pickOf(rng_, words));
            }
        }
        if (pick(rng_, 10) < 2) {
            if (pick(rng_, 2)) o.cardFault = r_->randomCardFault(rng_, view(false));
            else o.pcLock = pickOf(rng_, pcNames);
        }
        if (pick(rng_, 10) == 0) o.cancel = pick(rng_, r_->cancelRange);
        return o;
    }

    std::unique_ptr<Route> r_;
    std::mt19937 rng_;
    std::map<std::string, std::string> agreed_;
    // Every version both sides held after some HotSync, and their names: what is not among
    // them is new or changed since.
    std::set<std::pair<std::string, std::string>> everAlike_;
    std::set<std::string> everAlikeNames_;
    bool hold_[2] = {false, false};  // the last HotSync held deletions on the card, the PC
    bool lastFaulty_ = false;
    View cached_[2];
    bool fresh_[2] = {false, false};
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
// clean HotSync ("sa": with "Archive"; "s2", "s2a": under action 2, and so on); false at the
// first HotSync that finds a problem.
bool replay(History& h, const std::string& steps) {
    std::stringstream in(steps);
    for (std::string step; std::getline(in, step, ';');) {
        std::stringstream words(step);
        std::string op, name, to;
        words >> op >> name >> to;
        const bool pc = op[0] == 'p';
        if (op[0] == 's') {
            Order o;
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
    {"a second conflict takes the next free name", "f", "c+ /a.txt; s; c+ /a.txt; p+ /a.txt; s; c+ /a.txt; p+ /a.txt; s"},
    {"the archive keeps two deleted files of one name", "f", "c+ /A/readme.txt; c+ /B/readme.txt; c+ /kept.txt; s; p- /A/readme.txt; p- /B/readme.txt; sa"},
    {"the archive keeps a file archived twice", "f", "c+ /a.txt; s; p- /a.txt; sa; c+ /a.txt; s; p- /a.txt; sa"},
    {"a file added in a folder deleted on the other side is kept", "fvc", "c+ /Docs/a.txt; s; p- /Docs/; c+ /Docs/new.txt; s"},
    {"names beginning with a dot take part", "f", "c+ /.profile; p+ /.cfg/a.txt; s"},
    {"a folder that held a folder is deleted on the other side", "fv", "c+ /Docs/Sub/a.txt; s; c- /Docs/; s"},
    {"an emptied card takes new files", "c", "c+ /a.txt; s; c- /a.txt; s; p+ /b.txt; s"},
    {"a card refilled keeps the PC copies held until an overwrite confirms them", "fvc",
     "c+ /a.txt; c+ /Docs/b.txt; p+ /c.txt; s; c- /a.txt; c- /Docs/; c- /c.txt; c+ /p1.jpg; c+ /p2.jpg; c+ /p3.jpg; s; s; c+ /p1.jpg; p+ /p2.jpg; s2a; s"},
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
