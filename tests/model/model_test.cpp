// Random HotSync histories checked against a model of what the user did. A history starts
// with a few files in nested folders, then plays rounds of user actions on both sides, each
// followed by a HotSync with random settings (action, exceptions, "Archive", one injected
// failure, a Cancel). After every HotSync:
//   1. every version the user made since the last HotSync is still on a side, unless the
//      action or an exception let the other side overwrite it;
//   2. a version leaves both sides only when the user deleted the file on one side and the
//      other side's copy was unchanged (then, with "Archive" on, it is in the archive), and
//      nothing in the archive is overwritten;
//   3. after a clean HotSync (action 0, no exception, failure or Cancel) both sides hold the
//      same names, in any case, with the same contents, and one more HotSync changes nothing;
//   4. a failed or cancelled HotSync is followed by a clean one, which must bring back 3;
//   5. nothing is written outside the location folder, its state file and the archive, and
//      no staging file is left behind.
// Most histories run the engine in-process against the in-memory card; a smaller share runs
// hotsync.exe against the simulated handheld on both card routes.
//
// Environment: TARNWICK_MODEL_HISTORIES (in-process histories, default 80),
// TARNWICK_MODEL_HOST_HISTORIES (per card route, default 2), TARNWICK_MODEL_ROUNDS,
// TARNWICK_MODEL_SEED (replay that one seed on every route the test filter selects),
// TARNWICK_MODEL_FIRST_SEED (first seed of a run), TARNWICK_MODEL_VERBOSE=1 (print every
// history), TARNWICK_MODEL_LEAVE_OUT: comma-separated kinds of history the generator avoids,
// to look past a known fault: case (renames in case only, names differing in case), dot
// (names beginning with "."), deledit (a file deleted on one side, changed on the other),
// folderadd (a folder deleted on one side, something added or changed in it on the other),
// conflict2 (a conflict while its "_2" name exists), archive ("Archive" on when a deletion
// could meet a name the archive holds), nested (deleting a folder that held folders), empty
// (a side left without files).
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
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CancelAfter.h"
#include "FakeCard.h"
#include "StandinLog.h"
#include "engine/NameRules.h"
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
// Staging names of the conduit (PC copies, companion uploads) and of the simulated card.
bool isStaging(const std::string& path) {
    const std::string base = path.substr(path.find_last_of("\\/") + 1);
    if (base == ".tarnwick-upload") return true;
    if (base.compare(0, 3, ".tw") == 0 && base.size() > 4 && base.compare(base.size() - 4, 4, ".tmp") == 0) return true;
    const size_t tw = base.rfind(".tw");
    return tw != std::string::npos && base.size() > 5 && base.compare(base.size() - 5, 5, ".part") == 0;
}

// One side as the user sees it: every file and folder under its lower-case name ("/docs/a.txt",
// folders ending in "/"), with its spelling and, for files, its content.
struct Item {
    std::string spelled;
    std::string content;
};
using View = std::map<std::string, Item>;

size_t fileCount(const View& v) {
    return std::count_if(v.begin(), v.end(), [](const View::value_type& i) { return !isFolderName(i.first); });
}

class Side {
public:
    virtual ~Side() = default;
    virtual View list() = 0;
    // A new content with a newer time; missing parent folders are made.
    virtual void write(const std::string& name, const std::string& content) = 0;
    virtual void mkdir(const std::string& name) = 0;
    virtual void remove(const std::string& name) = 0;  // a file, or a folder and all below it
    virtual void rename(const std::string& from, const std::string& to) = 0;  // times kept
};

// A real folder: the PC location, or a volume of the simulated handheld.
class FolderSide : public Side {
public:
    FolderSide(std::string root, uint32_t& clock) : root_(std::move(root)), clock_(clock) {}
    View list() override {
        View v;
        const Tree t = scanTree(root_);
        for (const std::string& f : t.folders) v[lower(name(f) + "/")] = Item{name(f) + "/", ""};
        for (const auto& f : t.files)
            if (!isStaging(f.first)) v[lower(name(f.first))] = Item{name(f.first), f.second};
        return v;
    }
    void write(const std::string& n, const std::string& content) override {
        writeHostFile(path(n), content);
        setWriteTime(path(n), clock_ += 10);
    }
    void mkdir(const std::string& n) override { makeFolders(path(n)); }
    void remove(const std::string& n) override { isFolderName(n) ? removeTree(path(n)) : (void)DeleteFileA(path(n).c_str()); }
    void rename(const std::string& from, const std::string& to) override {
        // Through a third name: a move to the same name in another case does nothing here.
        MoveFileA(path(from).c_str(), (path(from) + "~").c_str());
        MoveFileA((path(from) + "~").c_str(), path(to).c_str());
    }

private:
    static std::string name(std::string rel) {
        std::replace(rel.begin(), rel.end(), '\\', '/');
        return "/" + rel;
    }
    std::string path(std::string n) const {
        if (isFolderName(n)) n.pop_back();
        std::replace(n.begin(), n.end(), '/', '\\');
        return root_ + n;
    }
    std::string root_;
    uint32_t& clock_;
};

// The in-memory card of the engine suite.
class FakeSide : public Side {
public:
    explicit FakeSide(FakeCard& card) : card_(card) {}
    View list() override {
        View v;
        for (const auto& o : card_.objects) v[lower(o.first)] = Item{o.first, o.second.content};
        return v;
    }
    void write(const std::string& n, const std::string& content) override {
        parents(n);
        card_.put(n, content);
    }
    void mkdir(const std::string& n) override {
        parents(n);
        card_.mkdir(n);
    }
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

private:
    void parents(const std::string& n) {
        for (size_t s = n.find('/', 1); s != std::string::npos && s + 1 < n.size(); s = n.find('/', s + 1))
            if (!card_.has(n.substr(0, s + 1))) card_.mkdir(n.substr(0, s + 1));
    }
    std::vector<std::string> under(const std::string& n) {
        std::vector<std::string> keys;
        for (const auto& o : card_.objects)
            if (lower(o.first) == lower(n) || (isFolderName(n) && below(lower(o.first), lower(n)))) keys.push_back(o.first);
        return keys;
    }
    FakeCard& card_;
};

// The settings of one HotSync.
struct Order {
    int action = 0;
    bool archive = false;
    std::vector<std::pair<std::string, std::string>> exceptions;  // name, keyword
    std::string cardFault;  // fake route "kind name", host routes a fault rule
    std::string pcLock;     // a PC path below the location, or "state" for the state file
    int cancel = -1;        // fake route: entries before the Cancel; host routes: milliseconds
    bool faulty() const { return !cardFault.empty() || !pcLock.empty() || cancel >= 0; }
    bool clean() const { return action == 0 && exceptions.empty() && !faulty(); }
    std::string text() const {
        std::string s = "HotSync action " + std::to_string(action) + (archive ? ", Archive" : "");
        for (const auto& e : exceptions) s += ", exception " + e.first + "|" + e.second;
        if (!cardFault.empty()) s += ", failing " + cardFault;
        if (!pcLock.empty()) s += ", PC holds " + pcLock;
        if (cancel >= 0) s += ", Cancel at " + std::to_string(cancel);
        return s;
    }
};

// One way of running HotSyncs: the two sides, the HotSync itself, and the folders it owns.
class Route {
public:
    virtual ~Route() { removeTree(root); }
    virtual Side& card() = 0;
    Side& pc() { return *pc_; }
    // Runs one HotSync; answers its log lines.
    virtual std::vector<std::string> sync(const Order& order) = 0;
    virtual std::string randomCardFault(std::mt19937& rng, const View& card) = 0;
    virtual bool owned(const std::string& rel) const = 0;  // relative to root
    virtual int cancelRange() const = 0;
    std::string root, location, archive;
    uint32_t pcClock = 0;

protected:
    void writeExceptions(const std::string& ini, const std::string& section, const Order& order) {
        WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, ini.c_str());
        for (const auto& e : order.exceptions)
            WritePrivateProfileStringA(section.c_str(), e.first.c_str(), ("x|" + e.second).c_str(), ini.c_str());
    }
    std::unique_ptr<Side> pc_;
};

class HeldOpen {  // a PC file or folder another program holds open, unshared
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

std::string lockPath(const Route& r, const std::string& lock) {
    if (lock.empty()) return "";
    if (lock == "state") return r.location + ".txt";
    std::string p = lock;
    if (isFolderName(p)) p.pop_back();
    std::replace(p.begin(), p.end(), '/', '\\');
    return r.location + p;
}

template <typename T>
const T& pickOf(std::mt19937& rng, const std::vector<T>& from) {
    return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(rng)];
}
int pick(std::mt19937& rng, int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

class FakeRoute : public Route {
public:
    explicit FakeRoute(uint32_t seed) {
        root = freshWorkFolder("model_" + std::to_string(seed));
        makeFolders(root + "\\Sync\\Card");
        location = root + "\\Sync\\Card";
        archive = root + "\\Archive";
        settings_ = std::make_unique<Settings>(root + "\\Tarnwick.ini");
        context_.userName = "Ann";
        context_.pcFolder = root + "\\Sync\\";
        context_.settings = settings_.get();
        card_.pcClock = static_cast<uint32_t>(std::time(nullptr)) - 1000000u;
        pc_ = std::make_unique<FolderSide>(location, card_.pcClock);
        side_ = std::make_unique<FakeSide>(card_);
    }
    Side& card() override { return *side_; }
    std::vector<std::string> sync(const Order& order) override {
        writeExceptions(root + "\\Tarnwick.ini", "Ann-Card-Exceptions", order);
        std::istringstream fault(order.cardFault);
        std::string kind, name;
        fault >> kind >> name;
        std::map<std::string, std::set<std::string>*> sets = {
            {"copyToPc", &card_.failCopyToPc}, {"copyToHandheld", &card_.failCopyToHandheld},
            {"delete", &card_.failDelete}, {"rename", &card_.failRename}, {"fetch", &card_.failFetch}};
        if (sets.count(kind)) sets[kind]->insert(name);
        CancelAfter cancel(order.cancel < 0 ? 1 << 30 : order.cancel);
        StandinLogClear();
        context_.archive = order.archive;
        context_.action = order.action;
        context_.progress = &cancel;
        {
            HeldOpen held(lockPath(*this, order.pcLock));
            FakeLocation location(&context_, card_, this->location);
            location.synchronise();
        }
        for (auto& s : sets) s.second->clear();
        // A card cannot hold a file without its folder: one the engine wrote into a folder
        // the card lacked gets that folder, as a card file system would make it.
        std::vector<std::string> names;
        for (const auto& o : card_.objects) names.push_back(o.first);
        for (const std::string& n : names)
            for (size_t s = n.find('/', 1); s != std::string::npos && s + 1 < n.size(); s = n.find('/', s + 1))
                if (!card_.has(n.substr(0, s + 1))) card_.mkdir(n.substr(0, s + 1));
        std::vector<std::string> lines;
        for (size_t i = 0; i < StandinLogCount(); ++i) lines.emplace_back(StandinLogText(i));
        return lines;
    }
    std::string randomCardFault(std::mt19937& rng, const View& card) override {
        std::vector<std::string> names;
        for (const auto& i : card) names.push_back(i.second.spelled);
        const std::vector<std::string> kinds = {"copyToPc", "copyToHandheld", "delete", "rename", "fetch"};
        return pickOf(rng, kinds) + " " + (names.empty() ? "/a.txt" : pickOf(rng, names));
    }
    bool owned(const std::string& rel) const override {
        return within(rel, "Sync\\Card") || rel == "Sync\\Card.txt" || within(rel, "Archive") || rel == "Tarnwick.ini";
    }
    int cancelRange() const override { return 20; }

private:
    FakeCard card_;
    std::unique_ptr<FakeSide> side_;
    std::unique_ptr<Settings> settings_;
    SyncContext context_;
};

// hotsync.exe against the simulated handheld: the VFS route or the companion route.
class HostRoute : public Route {
public:
    HostRoute(bool companion, uint32_t seed) : companion_(companion) {
        root = freshWorkFolder("model_" + std::to_string(seed));
        writeHostFile(root + "\\dev\\device.ini",
                      std::string("[Device]\r\n") + (companion ? "Companion=2\r\n" : "Companion=0\r\nVfs=1\r\n") +
                          "[Volume1]\r\nPath=card1\r\nLabel=MyCard\r\n");
        makeFolders(root + "\\dev\\card1");
        makeFolders(root + "\\pc\\Modeller\\MyCard");
        makeFolders(root + "\\conduit");
        CopyFileA("Tarnwick.dll", (root + "\\conduit\\Tarnwick.dll").c_str(), FALSE);
        location = root + "\\pc\\Modeller\\MyCard";
        archive = root + "\\pc\\Archive";
        pcClock = static_cast<uint32_t>(std::time(nullptr)) - 1000000u;
        cardClock_ = pcClock - 500000u;
        pc_ = std::make_unique<FolderSide>(location, pcClock);
        card_ = std::make_unique<FolderSide>(root + "\\dev\\card1", cardClock_);
    }
    Side& card() override { return *card_; }
    std::vector<std::string> sync(const Order& order) override {
        const std::string ini = root + "\\conduit\\Tarnwick.ini";
        WritePrivateProfileStringA("Modeller", "Archive", order.archive ? "1" : "0", ini.c_str());
        WritePrivateProfileStringA("Modeller", "Frequency", "0", ini.c_str());
        writeExceptions(ini, "Modeller-MyCard-Exceptions", order);
        const std::string log = root + "\\log.txt", trace = root + "\\trace.txt";
        DeleteFileA(log.c_str());
        DeleteFileA(trace.c_str());
        std::vector<std::string> args = {"sync", "--device", root + "\\dev", "--user", "Modeller", "--pc",
                                         root + "\\pc\\Modeller", "--type", std::to_string(order.action),
                                         "--conduit", root + "\\conduit\\Tarnwick.dll", "--log", log, "--trace", trace};
        if (!order.cardFault.empty()) args.insert(args.end(), {"--fault", order.cardFault});
        if (order.cancel >= 0) args.insert(args.end(), {"--cancel-after", std::to_string(order.cancel)});
        {
            HeldOpen held(lockPath(*this, order.pcLock));
            runHotSync(args, trace);
        }
        std::vector<std::string> lines;
        for (const std::string& l : readLines(log)) lines.push_back(l.substr(l.find('\t') + 1));
        return lines;
    }
    std::string randomCardFault(std::mt19937& rng, const View&) override {
        const std::vector<std::string> vfs = {"VFSFileGet", "VFSFilePut", "VFSFileDelete", "VFSFileRename",
                                              "VFSDirCreate", "VFSFileOpen", "VFSFileGetDate"};
        const std::vector<std::string> requests = {"2", "3", "5", "6", "7", "8"};
        const std::string nth = " nth=" + std::to_string(1 + pick(rng, 3));
        return companion_ ? "SyncCallRemoteModule name=" + pickOf(rng, requests) + nth : pickOf(rng, vfs) + nth;
    }
    bool owned(const std::string& rel) const override {
        return within(rel, "dev") || within(rel, "pc\\Modeller\\MyCard") || rel == "pc\\Modeller\\MyCard.txt" ||
               within(rel, "pc\\Archive") || rel == "conduit\\Tarnwick.ini" || rel == "log.txt" || rel == "trace.txt";
    }
    int cancelRange() const override { return 1500; }

private:
    bool companion_;
    uint32_t cardClock_ = 0;
    std::unique_ptr<FolderSide> card_;
};

size_t fromEnvironment(const char* name, size_t fallback) {
    const char* v = std::getenv(name);
    return v && *v ? static_cast<size_t>(std::strtoul(v, nullptr, 10)) : fallback;
}

std::set<std::string> leaveOutFromEnvironment() {
    std::set<std::string> out;
    const char* v = std::getenv("TARNWICK_MODEL_LEAVE_OUT");
    std::stringstream s(v ? v : "");
    for (std::string k; std::getline(s, k, ',');)
        if (!k.empty()) out.insert(k);
    return out;
}

// A history: the user's actions and the HotSyncs, each HotSync checked against the model.
class History {
public:
    History(std::unique_ptr<Route> route, uint32_t seed, std::set<std::string> leaveOut = {})
        : r_(std::move(route)), rng_(seed), leaveOut_(std::move(leaveOut)) {}

    Side& side(bool pc) { return pc ? r_->pc() : r_->card(); }
    const char* sideName(bool pc) const { return pc ? "PC" : "card"; }
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
                const int action = actionFor(order, i.first);
                const bool overwritten = action == (pc ? 2 : 3);
                if (synced && !yb.count(i.first) && !overwritten) deleted[c] = i.second.spelled;
                if (!(synced && at(yb, i.first) != c) && !overwritten) kept[c] = std::string(sideName(pc)) + " " + i.second.spelled;
            }
        }
        for (const auto& k : kept)
            if (!sidesAfter.count(k.first)) problem("lost from both sides: " + trim(k.first) + " of " + k.second);
        if (order.archive)
            for (const auto& d : deleted)
                if (!kept.count(d.first) && !sidesAfter.count(d.first) && !archived.count(d.first))
                    problem("deleted " + d.second + " (" + trim(d.first) + ") is not in the archive");
        for (const auto& f : archiveBefore.files) {
            auto now = archiveAfter.files.find(f.first);
            if (now == archiveAfter.files.end() || now->second != f.second) problem("archive overwrote " + f.first);
        }
        // 5: nothing outside the owned folders, no staging file left.
        std::set<std::string> paths;
        for (const Tree* t : {&wholeBefore, &wholeAfter}) {
            for (const auto& f : t->files) paths.insert(f.first);
            for (const auto& f : t->folders) paths.insert(f);
        }
        for (const std::string& p : paths) {
            const bool same = wholeBefore.files.count(p) ? wholeAfter.files.count(p) && wholeAfter.files.at(p) == wholeBefore.files.at(p)
                                                         : wholeBefore.folders.count(p) == wholeAfter.folders.count(p);
            if (!same && !r_->owned(p)) problem("written outside its folders: " + p);
            if (isStaging(p) && (wholeAfter.files.count(p) || wholeAfter.folders.count(p))) problem("staging file left: " + p);
        }
        // 3: a clean HotSync leaves both sides alike, and the next one does nothing.
        if (order.clean() && problems_.empty()) {
            for (const auto& i : ca)
                if (!pa.count(i.first)) problem("only on the card: " + i.second.spelled);
                else if (pa.at(i.first).content != i.second.content) problem("card and PC differ: " + i.second.spelled);
            for (const auto& i : pa)
                if (!ca.count(i.first)) problem("only on the PC: " + i.second.spelled);
            if (problems_.empty()) {
                for (const std::string& l : r_->sync(order))
                    if (isChangeLine(l)) problem("the HotSync after a clean one did: " + l);
                if (!same(r_->card().list(), ca) || !same(r_->pc().list(), pa))
                    problem("the HotSync after a clean one changed the sides");
            }
        }
        if (!problems_.empty() || fromEnvironment("TARNWICK_MODEL_VERBOSE", 0)) {
            for (const std::string& l : log)
                if (isChangeLine(l) && logShown_++ < 20) lastLog_ += "    | " + l + "\n";
        }
        if (!order.faulty()) remember(ca, pa, order);
        return problems_.empty();
    }

    // A random history: a first HotSync of a few files, then rounds of actions and HotSyncs.
    bool play(int rounds) {
        for (int i = 0, n = 2 + pick(rng_, 3); i < n; ++i) randomAction(i % 3 == 2, 0);
        if (left("empty") && fileCount(view(false)) == 0) write(false, "/Docs/a.txt", content());
        if (!hotSync(Order())) return false;
        bool recover = false;
        for (int round = 1; round <= rounds; ++round) {
            transcript_ += "round " + std::to_string(round) + (recover ? " (no actions)" : "") + "\n";
            if (!recover)
                for (int i = 0, n = 1 + pick(rng_, 4); i < n; ++i) randomAction(pick(rng_, 2) == 1, 0);
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
        return l.compare(0, 2, "  ") == 0 || l.compare(0, 9, "Could not") == 0 || l.compare(0, 8, "Conflict") == 0 ||
               l.compare(0, 5, "Error") == 0;
    }
    void note(bool pc, const std::string& what) {
        transcript_ += std::string("  ") + sideName(pc) + ": " + what + "\n";
        cached_[0].clear(), cached_[1].clear(), fresh_[0] = fresh_[1] = false;
    }
    // The side as the generator sees it, listed once per change.
    const View& view(bool pc) {
        if (!fresh_[pc]) cached_[pc] = side(pc).list(), fresh_[pc] = true;
        return cached_[pc];
    }
    void problem(const std::string& p) {
        if (std::find(problems_.begin(), problems_.end(), p) == problems_.end()) problems_.push_back(p);
    }
    bool left(const char* kind) const { return leaveOut_.count(kind) != 0; }
    // The action the engine applies to a name: the first exception whose name starts it.
    static int actionFor(const Order& order, const std::string& key) {
        for (const auto& e : order.exceptions)
            if (key.compare(0, e.first.size(), lower(e.first)) == 0)
                return e.second == "SKIP" ? 6 : e.second == "HHTOPC" ? 2 : 3;
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
    bool changedOn(bool pc, const std::string& key) {
        const View& v = view(pc);
        return v.count(key) && (!agreed_.count(key) || agreed_[key] != v.at(key).content);
    }
    bool deletedOn(bool pc, const std::string& key) {
        const View& v = view(pc);
        for (const auto& a : agreed_)
            if ((a.first == key || below(key, a.first)) && !v.count(a.first)) return true;
        return false;
    }
    // The generator's guards against the actions whose faults are known (see the header).
    bool allowedWrite(bool pc, const std::string& key, const std::string& c) {
        if (left("deledit") && deletedOn(!pc, key) && agreed_.count(key)) return false;
        if (left("folderadd") && deletedOn(!pc, key) && !agreed_.count(key)) return false;
        if (!left("conflict2")) return true;
        auto twin = [](const std::string& k) { return lower(withSuffixBeforeExtension(k, "_2")); };
        if (changedOn(!pc, key) && view(!pc).at(key).content != c && (view(false).count(twin(key)) || view(true).count(twin(key))))
            return false;
        for (const auto& m : view(pc))  // nor the "_2" name of a name in conflict
            if (twin(m.first) == key && changedOn(pc, m.first) && changedOn(!pc, m.first)) return false;
        return true;
    }
    bool allowedDelete(bool pc, const std::string& key) {
        const View& other = view(!pc);
        for (const auto& o : other) {
            if (o.first != key && !below(o.first, key)) continue;
            if (left(o.first == key ? "deledit" : "folderadd") && changedOn(!pc, o.first)) return false;
        }
        // A mass deletion is held back on purpose: stay below the 10 files it needs.
        size_t pending = 0;
        const View mine = view(pc);
        size_t going = 0;
        for (const auto& a : agreed_) pending += !isFolderName(a.first) && !mine.count(a.first);
        for (const auto& m : mine) going += !isFolderName(m.first) && (m.first == key || below(m.first, key));
        return pending + going <= 8 && !(left("empty") && going == fileCount(mine));
    }

    std::string spell(bool pc, const std::string& name) {
        // Names keep the spelling a side already has; only case renames change it.
        const View mine = view(pc), other = view(!pc);
        std::string out;
        for (size_t s = 1, e; s <= name.size(); s = e + 1) {
            e = name.find('/', s);
            if (e == std::string::npos) e = name.size();
            const std::string prefix = name.substr(0, e + (e < name.size()));
            const std::string key = lower(prefix);
            std::string spelled = prefix;
            if (mine.count(key)) spelled = mine.at(key).spelled;
            else if (left("case") && other.count(key)) spelled = other.at(key).spelled;
            out += spelled.substr(out.size());
        }
        return out;
    }

    void randomAction(bool pc, int depth) {
        static const std::vector<std::string> folders = {"/", "/Docs/", "/Docs/Sub/", "/Pics/", "/.cfg/"};
        static const std::vector<std::string> files = {"a.txt", "Notes.txt", "readme.txt", "b.doc", "c", ".profile"};
        auto pool = [&](const std::vector<std::string>& from) {
            std::string n;
            do n = pickOf(rng_, from);
            while (left("dot") && (n.find("/.") != std::string::npos || n[0] == '.'));
            return n;
        };
        const View mine = view(pc);
        std::vector<std::string> myFiles, myFolders;
        for (const auto& i : mine) (isFolderName(i.first) ? myFolders : myFiles).push_back(i.second.spelled);
        const int kind = pick(rng_, 100);
        if (kind < 30 || (myFiles.empty() && kind < 75)) {  // create or edit, same names both sides at times
            const std::string name = spell(pc, pool(folders) + pool(files));
            const std::string c = content();
            if (fileCount(mine) >= 8 && !mine.count(lower(name))) return;
            if (kind < 8 && !mine.count(lower(name)) && !view(!pc).count(lower(name))) {
                const std::string c2 = pick(rng_, 2) ? c : content();
                if (!allowedWrite(pc, lower(name), c)) return;
                write(pc, name, c);
                if (allowedWrite(!pc, lower(name), c2)) write(!pc, spell(!pc, name), c2);
            } else if (allowedWrite(pc, lower(name), c)) {
                write(pc, name, c);
            }
        } else if (kind < 55) {
            const std::string& n = pickOf(rng_, myFiles);
            const std::string c = content();
            if (allowedWrite(pc, lower(n), c)) write(pc, n, c);
        } else if (kind < 67 && !myFiles.empty()) {
            const std::string& n = pickOf(rng_, myFiles);
            if (allowedDelete(pc, lower(n))) remove(pc, n);
        } else if (kind < 75 && !myFiles.empty()) {  // move to another folder
            const std::string& n = pickOf(rng_, myFiles);
            const std::string to = spell(pc, pool(folders) + n.substr(n.rfind('/') + 1));
            if (mine.count(lower(to)) || !allowedDelete(pc, lower(n)) || !allowedWrite(pc, lower(to), mine.at(lower(n)).content)) return;
            const std::string folder = to.substr(0, to.rfind('/') + 1);
            if (folder != "/" && !mine.count(lower(folder))) mkdir(pc, folder);
            rename(pc, n, to);
        } else if (kind < 83 && !left("case") && !mine.empty()) {  // rename in case only
            const std::string n = pickOf(rng_, myFolders.empty() || (pick(rng_, 3) && !myFiles.empty()) ? myFiles : myFolders);
            std::string to = n;
            const size_t from = n.rfind('/', n.size() - 2) + 1;
            for (size_t i = from; i < to.size(); ++i)
                if (std::isalpha(static_cast<unsigned char>(to[i])) && pick(rng_, 2)) to[i] ^= 0x20;
            if (to != n && allowedWrite(pc, lower(n), mine.at(lower(n)).content)) rename(pc, n, to);
        } else if (kind < 88) {
            const std::string f = pool(folders);
            if (f != "/" && !mine.count(lower(f)) && allowedWrite(pc, lower(f), "")) mkdir(pc, spell(pc, f));
        } else if (!myFolders.empty()) {  // delete a folder, empty or not
            const std::string& f = pickOf(rng_, myFolders);
            bool nested = false;  // folders below it, here now or when both sides last agreed
            for (const auto& i : mine) nested |= isFolderName(i.first) && below(i.first, lower(f));
            for (const auto& i : agreed_) nested |= isFolderName(i.first) && below(i.first, lower(f));
            if (allowedDelete(pc, lower(f)) && !(nested && left("nested"))) remove(pc, f);
        } else if (depth < 2) {
            randomAction(pc, depth + 1);
        }
    }

    Order randomOrder(bool clean) {
        Order o;
        o.archive = pick(rng_, 2) == 1;
        if (!clean) randomize(o);
        if (left("archive") && o.archive) {
            // Leave "Archive" off when a deletion could meet a name the archive already holds.
            const View c = view(false), p = view(true);
            std::set<std::string> bases;
            for (const auto& f : scanTree(r_->archive).files) bases.insert(lower(f.first.substr(f.first.rfind('\\') + 1)));
            for (const View* v : {&c, &p})
                for (const auto& i : *v)
                    if (!isFolderName(i.first) && !(v == &c ? p : c).count(i.first) &&
                        !bases.insert(i.first.substr(i.first.rfind('/') + 1)).second)
                        o.archive = false;
        }
        return o;
    }

    void randomize(Order& o) {
        const int a = pick(rng_, 100);
        o.action = a < 70 ? 0 : a < 80 ? 2 : a < 90 ? 3 : 6;
        View both = view(false);
        for (const auto& i : view(true)) both.insert(i);
        std::vector<std::string> names;
        for (const auto& i : both) names.push_back(i.second.spelled);
        if (!names.empty() && pick(rng_, 5) == 0) {
            static const std::vector<std::string> words = {"SKIP", "HHTOPC", "PCTOHH"};
            for (int i = 0, n = 1 + pick(rng_, 2); i < n; ++i) {
                const std::string name = pickOf(rng_, names);  // one keyword per name, as in the settings file
                if (o.exceptions.empty() || lower(o.exceptions[0].first) != lower(name)) o.exceptions.emplace_back(name, pickOf(rng_, words));
            }
        }
        if (pick(rng_, 10) < 2) {
            if (pick(rng_, 2)) o.cardFault = r_->randomCardFault(rng_, view(false));
            else {
                std::vector<std::string> pcNames = {"state"};
                for (const auto& i : view(true)) pcNames.push_back(i.second.spelled);
                o.pcLock = pickOf(rng_, pcNames);
            }
        }
        if (pick(rng_, 10) == 0) o.cancel = pick(rng_, r_->cancelRange());
    }

    std::unique_ptr<Route> r_;
    std::mt19937 rng_;
    std::set<std::string> leaveOut_;
    std::map<std::string, std::string> agreed_;
    View cached_[2];
    bool fresh_[2] = {false, false};
    std::vector<std::string> problems_;
    std::string transcript_, lastLog_;
    int versions_ = 0, logShown_ = 0;
    size_t hotSyncs_ = 0;
};

// Plays histories on one route, on `workers` threads (a HotSync through hotsync.exe mostly
// waits); every failing history prints its seed and itself.
void playMany(const std::function<std::unique_ptr<Route>(uint32_t)>& route, const char* label, size_t count,
              uint32_t firstSeed, int rounds, size_t workers) {
    const char* replay = std::getenv("TARNWICK_MODEL_SEED");
    std::vector<uint32_t> seeds;
    if (replay && *replay) seeds.push_back(static_cast<uint32_t>(std::strtoul(replay, nullptr, 10)));
    else
        for (size_t i = 0; i < count; ++i) seeds.push_back(static_cast<uint32_t>(fromEnvironment("TARNWICK_MODEL_FIRST_SEED", firstSeed) + i));
    const auto leaveOut = leaveOutFromEnvironment();
    const bool verbose = fromEnvironment("TARNWICK_MODEL_VERBOSE", 0) != 0;
    rounds = static_cast<int>(fromEnvironment("TARNWICK_MODEL_ROUNDS", static_cast<size_t>(rounds)));
    struct Result {
        bool ok = true;
        std::string report, kind;
        size_t hotSyncs = 0;
    };
    std::vector<Result> results(seeds.size());
    std::atomic<size_t> next{0};
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (size_t w = 0; w < workers; ++w) {
        threads.emplace_back([&] {
            for (size_t i = next++; i < seeds.size(); i = next++) {
                History h(route(seeds[i]), seeds[i], leaveOut);
                results[i].ok = h.play(rounds);
                results[i].hotSyncs = h.hotSyncs();
                results[i].report = h.report();
                if (!results[i].ok) results[i].kind = h.problems().front().substr(0, h.problems().front().find(':'));
            }
        });
    }
    for (std::thread& t : threads) t.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    size_t hotSyncs = 0, failed = 0;
    std::map<std::string, std::vector<uint32_t>> byProblem;
    for (size_t i = 0; i < seeds.size(); ++i) {
        hotSyncs += results[i].hotSyncs;
        if (results[i].ok) {
            if (verbose) std::printf("%s seed %u:\n%s", label, seeds[i], results[i].report.c_str());
            continue;
        }
        if (byProblem[results[i].kind].size() < 8) byProblem[results[i].kind].push_back(seeds[i]);
        if (failed++ < 3 || verbose)
            ADD_FAILURE() << label << " seed " << seeds[i] << " (TARNWICK_MODEL_SEED=" << seeds[i] << "):\n" << results[i].report;
    }
    std::printf("[ model    ] %s: %zu histories, %zu HotSyncs, %zu failed, %.1f s\n", label, seeds.size(), hotSyncs, failed, seconds);
    for (const auto& p : byProblem) {
        std::printf("[ model    ]   %s: seeds", p.first.c_str());
        for (uint32_t s : p.second) std::printf(" %u", s);
        std::printf("\n");
    }
    EXPECT_EQ(0u, failed);
}

}  // namespace

// The in-memory card shares the process's log, so its histories run one at a time.
TEST(ModelHistories, InMemoryCard) {
    playMany([](uint32_t seed) { return std::unique_ptr<Route>(new FakeRoute(seed)); }, "in-memory card",
             fromEnvironment("TARNWICK_MODEL_HISTORIES", 80), 1, 8, 1);
}
TEST(ModelHistories, VfsRoute) {
    playMany([](uint32_t seed) { return std::unique_ptr<Route>(new HostRoute(false, seed)); }, "VFS route",
             fromEnvironment("TARNWICK_MODEL_HOST_HISTORIES", 2), 1000001, 4, 2);
}
TEST(ModelHistories, CompanionRoute) {
    playMany([](uint32_t seed) { return std::unique_ptr<Route>(new HostRoute(true, seed)); }, "companion route",
             fromEnvironment("TARNWICK_MODEL_HOST_HISTORIES", 2), 2000001, 4, 2);
}

// Histories the model found, kept as plain cases. A step is "c" or "p" (card, PC) followed by
// + (write a new version), - (delete), > (rename to the second name) or / (make a folder), or
// "s" for a clean HotSync ("sa": with "Archive").
struct Found {
    const char* what;
    const char* routes;  // f in-memory card, v VFS route, c companion route
    const char* steps;
};
const Found kFound[] = {
    {"an edit on the PC wins over a deletion on the card", "f", "c+ /Docs/Notes.txt; s; p+ /Docs/Notes.txt; c- /Docs/Notes.txt; s"},
    {"an edit on the card wins over a deletion on the PC", "f", "p+ /a.txt; s; c+ /a.txt; p- /a.txt; s"},
    {"a rename in case only keeps the file", "fv", "c+ /Docs/Notes.txt; s; p> /Docs/Notes.txt /Docs/NOTES.txt; s; s"},
    {"a second conflict takes the next free name", "f", "c+ /a.txt; s; c+ /a.txt; p+ /a.txt; s; c+ /a.txt; p+ /a.txt; s"},
    {"the archive keeps two deleted files of one name", "f", "c+ /A/readme.txt; c+ /B/readme.txt; s; p- /A/readme.txt; p- /B/readme.txt; sa"},
    {"the archive keeps a file archived twice", "f", "c+ /a.txt; s; p- /a.txt; sa; c+ /a.txt; s; p- /a.txt; sa"},
    {"a file added in a folder deleted on the other side is kept", "fvc", "c+ /Docs/a.txt; s; p- /Docs/; c+ /Docs/new.txt; s"},
    {"names beginning with a dot take part", "f", "c+ /.profile; p+ /.cfg/a.txt; s"},
    {"a folder that held a folder is deleted on the other side", "fv", "c+ /Docs/Sub/a.txt; s; c- /Docs/; s"},
    {"an emptied card takes new files", "c", "c+ /a.txt; s; c- /a.txt; s; p+ /b.txt; s"},
};

// Each case on each of its routes, side by side: a HotSync through hotsync.exe mostly waits.
TEST(ModelFound, PlainHistories) {
    std::vector<std::pair<const Found*, char>> runs;
    for (const Found& f : kFound)
        for (const char* r = f.routes; *r; ++r) runs.emplace_back(&f, *r);
    std::vector<std::string> reports(runs.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < runs.size(); ++i) {
        threads.emplace_back([&, i] {
            const char r = runs[i].second;
            History h(r == 'f' ? std::unique_ptr<Route>(new FakeRoute(i)) : std::unique_ptr<Route>(new HostRoute(r == 'c', i)), 0);
            std::stringstream steps(runs[i].first->steps);
            bool ok = true;
            for (std::string step; ok && std::getline(steps, step, ';');) {
                std::stringstream words(step);
                std::string op, name, to;
                words >> op >> name >> to;
                if (op[0] == 's') {
                    Order o;
                    o.archive = op == "sa";
                    ok = h.hotSync(o);
                    continue;
                }
                const bool pc = op[0] == 'p';
                if (op[1] == '+') h.write(pc, name, h.content());
                if (op[1] == '-') h.remove(pc, name);
                if (op[1] == '>') h.rename(pc, name, to);
                if (op[1] == '/') h.mkdir(pc, name);
            }
            if (!ok || fromEnvironment("TARNWICK_MODEL_VERBOSE", 0))
                reports[i] = std::string(runs[i].first->what) + " (route " + r + "):\n" + h.report();
            if (ok) reports[i].insert(0, "passed: ");
        });
        // The in-memory card shares the process's log: those run one at a time.
        if (runs[i].second == 'f') threads.back().join(), threads.pop_back();
    }
    for (std::thread& t : threads) t.join();
    for (const std::string& r : reports)
        if (r.compare(0, 8, "passed: ") != 0) ADD_FAILURE() << r;
        else if (r.size() > 8) std::printf("%s", r.c_str() + 8);
}
