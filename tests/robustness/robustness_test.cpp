// Nothing lost, whatever fails. A scenario with changes on both sides, a conflict,
// deletions, nested folders and big files is synchronised through hotsync.exe once per
// injected failure: a handheld call failing, a PC file or folder held by another program, the
// archive unusable, or the HotSync process killed part-way. After every such run, and after
// the clean HotSync that follows, no version of any file is gone, no file is torn, nothing is
// written outside the folders the conduit owns; after the clean HotSync both sides agree,
// and one more HotSync changes nothing. Both card routes are swept.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>

#include "tests/common/FileTimes.h"
#include "tests/robustness/SweepFiles.h"

namespace {

const char* const kUser = "Sweeper";
const char* const kCard = "MyCard";
constexpr int64_t kCardTime = 1600000000;  // host time of the card files before the changes

struct Route {
    const char* name;
    const char* deviceIni;
};
const Route kVfsRoute = {"vfs", "[Device]\r\nCompanion=0\r\nVfs=1\r\n[Volume1]\r\nPath=card1\r\nLabel=MyCard\r\n"};
// A slice figure below the default makes the big files move in several slices.
const Route kCompanionRoute = {"companion", "[Device]\r\nCompanion=2\r\nSliceFigure=65536\r\n[Volume1]\r\nPath=card1\r\nLabel=MyCard\r\n"};

std::string bytes(size_t n, unsigned seed) {
    std::string s(n, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (char& c : s) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return s;
}

// Where everything of one HotSync folder lives.
struct Layout {
    std::string root;
    // The card's PC folder is named after its label, which a HotSync may change (a volume
    // whose label cannot be read is given a new one).
    std::string label() const {
        const std::string ini = readHostFile(device() + "\\device.ini");
        const size_t at = ini.find("Label=");
        if (at == std::string::npos) return kCard;
        const size_t end = ini.find_first_of("\r\n", at);
        return ini.substr(at + 6, end == std::string::npos ? std::string::npos : end - at - 6);
    }
    std::string device() const { return root + "\\dev"; }
    std::string card() const { return root + "\\dev\\card1"; }
    std::string pcRoot() const { return root + "\\pc\\" + kUser; }
    std::string location() const { return pcRoot() + "\\" + label(); }
    std::string stateFile() const { return location() + ".txt"; }
    std::string archive() const { return root + "\\pc\\Archive"; }
    std::string conduit() const { return root + "\\conduit"; }
};

std::vector<std::string> hotSyncArgs(const Layout& at, const std::string& log, const std::string& trace) {
    return {"sync", "--device", at.device(), "--user", kUser, "--pc", at.pcRoot(),
            "--conduit", at.conduit() + "\\Tarnwick.dll", "--log", log, "--trace", trace};
}

bool hiddenPath(const std::string& rel) {
    return rel[0] == '.' || rel.find("\\.") != std::string::npos;
}

// The simulated card stages each copy in "<name>.tw<pid>-<n>.part" beside the target; a
// killed host leaves that file behind until the next load of the device drops it.
bool isSimulatorStaging(const std::string& rel) {
    const size_t tw = rel.rfind(".tw");
    if (tw == std::string::npos || rel.size() < 5 || rel.compare(rel.size() - 5, 5, ".part") != 0) return false;
    const std::string middle = rel.substr(tw + 3, rel.size() - 5 - tw - 3);
    const size_t dash = middle.find('-');
    return dash != std::string::npos && dash > 0 && dash + 1 < middle.size() &&
           middle.find_first_not_of("0123456789-") == std::string::npos;
}

// The user's files as the two sides show them: card files without the listing the
// companion leaves and without the names no HotSync touches (the conduit's own uploads in
// progress), PC files without those names either (staged copies).
Tree cardSide(const Layout& at) {
    Tree t = scanTree(at.card());
    t.files.erase("Tarnwick.txt");
    for (auto it = t.files.begin(); it != t.files.end();)
        it = isSimulatorStaging(it->first) || hiddenPath(it->first) ? t.files.erase(it) : std::next(it);
    return t;
}
Tree pcSide(const Layout& at) {
    Tree t = scanTree(at.location());
    for (auto it = t.files.begin(); it != t.files.end();) it = hiddenPath(it->first) ? t.files.erase(it) : std::next(it);
    return t;
}
std::string cardName(const std::string& rel) {
    std::string n = "/" + rel;
    std::replace(n.begin(), n.end(), '\\', '/');
    return n;
}

// Every content a user file has anywhere: card, every location folder, archive.
std::multiset<std::string> versionsIn(const Layout& at) {
    std::multiset<std::string> v;
    for (const auto& f : cardSide(at).files) v.insert(f.second);
    for (const auto& f : scanTree(at.pcRoot()).files)
        if (f.first.find('\\') != std::string::npos && !hiddenPath(f.first)) v.insert(f.second);
    for (const auto& f : scanTree(at.archive()).files)
        if (!hiddenPath(f.first)) v.insert(f.second);
    return v;
}

// What one failure did, checked after each HotSync of a case.
class Checker {
public:
    // superseded: the copies a change on the other side is meant to replace (the old
    // content of a file changed on one side only); they may go, every other version may not.
    Checker(const Layout& at, std::vector<std::string>& problems, const std::set<std::string>& superseded = {})
        : at_(at), problems_(problems) {
        for (const std::string& v : versionsIn(at)) {
            known_.insert(v);
            if (!superseded.count(v)) mustKeep_.insert(v);
        }
        whole_ = scanTree(at.root);
    }

    void afterRun(const std::string& when, bool mayLeaveStaging) {
        // Every version of every file is still somewhere.
        const std::multiset<std::string> now = versionsIn(at_);
        size_t lost = 0;
        for (const std::string& v : mustKeep_) lost += now.count(v) == 0;
        if (lost) problem(when + ": " + std::to_string(lost) + " version(s) of files are gone from card, PC and archive");
        // No file holds anything but a version that existed: nothing torn, nothing half-copied.
        auto checkWhole = [&](const Tree& t, const std::string& side) {
            for (const auto& f : t.files)
                if (!known_.count(f.second))
                    problem(when + ": " + side + " file " + f.first + " holds contents no version had (" +
                            std::to_string(f.second.size()) + " bytes)");
        };
        checkWhole(cardSide(at_), "card");
        checkWhole(pcSide(at_), "PC");
        Tree archive = scanTree(at_.archive());
        archive.files.erase(std::string(kUser) + "\\" + kCard);  // the file that blocks it, in one run
        for (auto it = archive.files.begin(); it != archive.files.end();)
            it = hiddenPath(it->first) ? archive.files.erase(it) : std::next(it);
        checkWhole(archive, "archive");
        // Nothing written outside the location folder, its state file, the archive, the
        // settings file beside the conduit, the handheld and our own log and trace.
        const Tree whole = scanTree(at_.root);
        std::set<std::string> paths;
        for (const auto& f : whole_.files) paths.insert(f.first);
        for (const auto& f : whole.files) paths.insert(f.first);
        for (const std::string& p : paths) {
            const auto a = whole_.files.find(p);
            const auto b = whole.files.find(p);
            if (a != whole_.files.end() && b != whole.files.end() && a->second == b->second) continue;
            if (!allowedToChange(p)) problem(when + ": changed outside the owned folders: " + p);
        }
        for (const std::string& f : whole.folders)
            if (!whole_.folders.count(f) && !allowedToChange(f)) problem(when + ": folder made outside the owned folders: " + f);
        // A staged copy may only outlive a HotSync that was killed.
        if (!mayLeaveStaging) {
            for (const auto& f : scanTree(at_.location()).files)
                if (hiddenPath(f.first)) problem(when + ": staged file left behind: " + f.first);
            for (const auto& f : scanTree(at_.archive()).files)
                if (hiddenPath(f.first)) problem(when + ": staged file left in the archive: " + f.first);
            for (const auto& f : scanTree(at_.card()).files)
                if (hiddenPath(f.first)) problem(when + ": upload left on the card: " + f.first);
        }
        // What the simulated card staged goes at the latest when the device is next loaded.
        if (!mayLeaveStaging || when != "failing HotSync") {
            for (const auto& f : scanTree(at_.card()).files)
                if (isSimulatorStaging(f.first)) problem(when + ": staged copy left on the card: " + f.first);
        }
    }

    // Folders are compared only when asked: a folder deleted on the handheld with folders
    // inside it stays on the PC for one HotSync and comes back on the card at the next.
    void sidesAgree(const std::string& when, bool foldersToo = false) {
        const Tree card = cardSide(at_), pc = pcSide(at_);
        for (const auto& f : card.files) {
            auto p = pc.files.find(f.first);
            if (p == pc.files.end()) problem(when + ": only on the card: " + cardName(f.first));
            else if (p->second != f.second) problem(when + ": card and PC differ: " + cardName(f.first));
        }
        for (const auto& f : pc.files)
            if (!card.files.count(f.first)) problem(when + ": only on the PC: " + cardName(f.first));
        if (!foldersToo) return;
        for (const std::string& d : card.folders)
            if (!pc.folders.count(d)) problem(when + ": folder only on the card: " + cardName(d));
        for (const std::string& d : pc.folders)
            if (!card.folders.count(d) && !hiddenPath(d)) problem(when + ": folder only on the PC: " + cardName(d));
    }

private:
    bool allowedToChange(const std::string& p) const {
        // Location folders are the folders right below the user's PC folder, each with its
        // state file beside it.
        auto under = [&](const std::string& dir) { return p == dir || p.compare(0, dir.size() + 1, dir + "\\") == 0; };
        return under("dev") || under(std::string("pc\\") + kUser) || under("pc\\Archive") ||
               p == "conduit\\Tarnwick.ini" || p.compare(0, 3, "log") == 0 || p.compare(0, 5, "trace") == 0;
    }
    void problem(const std::string& text) { problems_.push_back(text); }

    Layout at_;
    std::vector<std::string>& problems_;
    std::set<std::string> known_;
    std::set<std::string> mustKeep_;
    Tree whole_;
};

// One failure to inject.
struct Fault {
    std::string label;
    std::string deviceRule;      // a [Faults] rule for the simulated handheld
    std::string lockPath;        // relative to the case folder: held open, unshared
    bool blockArchive = false;   // the location's archive folder is a file
    size_t killAfterTraceLines = 0;
};

// Lines of a HotSync log (activity TAB text) that report a change or a failure.
// A copy of a HotSync folder whose settings name its own PC folder, not the original's.
void copyHotSyncFolder(const Layout& from, const Layout& to) {
    copyTree(from.root, to.root);
    std::string ini = readHostFile(from.conduit() + "\\Tarnwick.ini");
    for (size_t at = ini.find(from.root); at != std::string::npos; at = ini.find(from.root, at + to.root.size()))
        ini.replace(at, from.root.size(), to.root);
    writeHostFile(to.conduit() + "\\Tarnwick.ini", ini);
}

std::vector<std::string> changeLines(const std::string& logFile) {
    std::vector<std::string> found;
    for (const std::string& line : readLines(logFile)) {
        for (const char* word : {"Copied", "Deleted", "Renamed", "Archived", "Conflict", "Could not", "Error"}) {
            if (line.find(word) != std::string::npos) {
                found.push_back(line);
                break;
            }
        }
    }
    return found;
}

class Scenario {
public:
    explicit Scenario(const Route& route) : route_(route) {}

    // The state before the failing HotSync: one clean HotSync of the first card, then
    // changes on both sides.
    bool build(std::vector<std::string>& problems) {
        base_.root = freshWorkFolder(std::string(route_.name) + "_base");
        writeHostFile(base_.device() + "\\device.ini", route_.deviceIni);
        const std::map<std::string, std::string> first = {
            {"a.txt", "alpha\r\n"},
            {"keep.txt", "kept on both sides\r\n"},
            {"conflict.txt", "the version both sides had\r\n"},
            {"Docs\\report.doc", "report, to be deleted on the PC\r\n"},
            {"Docs\\Sub\\b.txt", "deep file\r\n"},
            {"Docs\\big.bin", bytes(300000, 1)},
            {"Docs\\pcbig.bin", bytes(150000, 2)},
            {"Old\\x.txt", "old folder, deleted on the handheld\r\n"},
            {"Old\\Inner\\y.txt", "inner file of the old folder\r\n"},
        };
        for (const auto& f : first) {
            writeHostFile(base_.card() + "\\" + f.first, f.second);
            setWriteTime(base_.card() + "\\" + f.first, kCardTime);
        }
        makeFolders(base_.pcRoot());  // HotSync makes the user folder before any conduit runs
        makeFolders(base_.conduit());
        CopyFileA("Tarnwick.dll", (base_.conduit() + "\\Tarnwick.dll").c_str(), FALSE);
        writeHostFile(base_.conduit() + "\\Tarnwick.ini",
                      std::string("[") + kUser + "]\r\nArchive=1\r\nFrequency=0\r\n");
        const HotSyncRun run = runHotSync(hotSyncArgs(base_, base_.root + "\\log0.txt", base_.root + "\\trace0.txt"),
                                          base_.root + "\\trace0.txt");
        if (run.exitCode != 0) {
            problems.push_back("the first HotSync answered " + std::to_string(run.exitCode));
            return false;
        }
        Checker first_check(base_, problems);
        first_check.sidesAgree("first HotSync");
        if (!problems.empty()) return false;

        // Changes on the handheld (new host times) and on the PC (new PC times).
        const int64_t pcTime = writeTime(base_.location() + "\\keep.txt") + 100;
        auto onCard = [&](const std::string& rel, const std::string& text) {
            writeHostFile(base_.card() + "\\" + rel, text);
            setWriteTime(base_.card() + "\\" + rel, kCardTime + 500);
        };
        auto onPc = [&](const std::string& rel, const std::string& text) {
            writeHostFile(base_.location() + "\\" + rel, text);
            setWriteTime(base_.location() + "\\" + rel, pcTime);
        };
        for (const char* stale : {"a.txt", "keep.txt", "Docs\\big.bin", "Docs\\pcbig.bin"})
            superseded_.insert(first.at(stale));
        onCard("a.txt", "alpha, changed on the handheld\r\n");
        onPc("keep.txt", "kept, changed on the PC\r\n");
        onCard("conflict.txt", "the handheld's new version\r\n");
        onPc("conflict.txt", "the PC's new version, longer\r\n");
        onCard("Docs\\big.bin", bytes(280000, 3));
        onPc("Docs\\pcbig.bin", bytes(200000, 4));
        onCard("Docs\\Sub\\c.txt", "new on the handheld\r\n");
        onCard("Docs\\new.bin", bytes(130000, 5));
        onPc("New\\Nested\\n.txt", "new on the PC, in new folders\r\n");
        DeleteFileA((base_.location() + "\\Docs\\report.doc").c_str());
        DeleteFileA((base_.card() + "\\Old\\Inner\\y.txt").c_str());
        DeleteFileA((base_.card() + "\\Old\\x.txt").c_str());
        RemoveDirectoryA((base_.card() + "\\Old\\Inner").c_str());
        RemoveDirectoryA((base_.card() + "\\Old").c_str());
        DeleteFileA((base_.root + "\\log0.txt").c_str());
        DeleteFileA((base_.root + "\\trace0.txt").c_str());
        return true;
    }

    // The calls one clean HotSync of the changed state makes, and the PC paths it touches.
    bool reference(std::vector<std::string>& problems) {
        Layout at;
        at.root = freshWorkFolder(std::string(route_.name) + "_reference");
        copyHotSyncFolder(base_, at);
        Checker check(at, problems, superseded_);
        runHotSync(hotSyncArgs(at, at.root + "\\log1.txt", at.root + "\\trace1.txt"), at.root + "\\trace1.txt");
        check.afterRun("clean HotSync", false);
        check.sidesAgree("clean HotSync");
        for (const std::string& line : readLines(at.root + "\\trace1.txt")) trace_.push_back(line.substr(0, line.find('\t')));
        if (trace_.size() < 20) problems.push_back("the clean HotSync made only " + std::to_string(trace_.size()) + " calls");
        if (problems.empty()) removeTree(at.root);
        return problems.empty();
    }

    // Failing handheld calls: the first call of every kind, then calls spread over the
    // session (extra of them).
    std::vector<Fault> callFaults(size_t extra) const {
        std::vector<Fault> out;
        // Handheld calls: the first call of every kind, then calls spread over the session.
        std::map<std::string, size_t> seen;
        std::vector<std::pair<std::string, size_t>> calls;  // call, its number among its kind
        for (const std::string& call : trace_) calls.emplace_back(call, ++seen[call]);
        std::set<size_t> chosen;
        for (size_t i = 0; i < calls.size(); ++i)
            if (calls[i].second == 1) chosen.insert(i);
        const size_t step = std::max<size_t>(1, calls.size() / std::max<size_t>(1, extra));
        for (size_t i = step / 2, added = 0; i < calls.size() && added < extra; i += step, ++added) chosen.insert(i);
        for (size_t i : chosen) {
            Fault f;
            f.label = calls[i].first + " #" + std::to_string(calls[i].second) + " fails";
            f.deviceRule = calls[i].first + " nth=" + std::to_string(calls[i].second);
            out.push_back(f);
            if (calls[i].first == "SyncCallRemoteModule") {
                // The request goes through and the companion refuses it.
                f.label = "companion refuses request of call #" + std::to_string(calls[i].second);
                f.deviceRule += " code=4";
                out.push_back(f);
            }
        }
        return out;
    }

    // The PC side: files and folders held open by another program while the conduit wants
    // to replace, rename, read or delete them; the state file; an unusable archive.
    std::vector<Fault> pcFaults(bool everyPath) const {
        std::vector<Fault> out;
        const std::string location = std::string("pc\\") + kUser + "\\" + kCard;
        const Tree pc = scanTree(base_.location());
        const std::set<std::string> picked = {"a.txt", "keep.txt", "conflict.txt", "Docs\\big.bin",
                                              "Docs\\pcbig.bin", "Old\\x.txt", "Old\\Inner", "Docs"};
        for (const auto& f : pc.files)
            if (everyPath || picked.count(f.first)) out.push_back(pcLock(location + "\\" + f.first));
        for (const std::string& d : pc.folders)
            if (everyPath || picked.count(d)) out.push_back(pcLock(location + "\\" + d));
        out.push_back(pcLock(location + ".txt"));
        Fault archive;
        archive.label = "archive folder unusable";
        archive.blockArchive = true;
        out.push_back(archive);
        return out;
    }

    // The HotSync process killed from outside at points spread over the session.
    std::vector<Fault> kills(size_t count) const {
        std::vector<Fault> out;
        const size_t kills = count;
        for (size_t k = 1; k <= kills; ++k) {
            Fault f;
            f.killAfterTraceLines = std::max<size_t>(1, trace_.size() * k / (kills + 1));
            f.label = "killed after " + std::to_string(f.killAfterTraceLines) + " calls";
            out.push_back(f);
        }
        return out;
    }

    // Runs one failing HotSync, a clean one and one more; answers what went wrong.
    std::vector<std::string> run(const Fault& fault, size_t index) const {
        std::vector<std::string> problems;
        Layout at;
        at.root = freshWorkFolder(std::string(route_.name) + "_" + std::to_string(index));
        copyHotSyncFolder(base_, at);
        Checker check(at, problems, superseded_);
        if (fault.blockArchive) {
            const std::string folder = at.archive() + "\\" + kUser + "\\" + kCard;
            removeTree(folder);
            writeHostFile(folder, "not a folder");
        }
        if (!fault.deviceRule.empty())
            writeHostFile(at.device() + "\\device.ini", std::string(route_.deviceIni) + "[Faults]\r\nf1=" + fault.deviceRule + "\r\n");
        HANDLE lock = INVALID_HANDLE_VALUE;
        if (!fault.lockPath.empty()) {
            lock = CreateFileA((at.root + "\\" + fault.lockPath).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            if (lock == INVALID_HANDLE_VALUE) problems.push_back("could not hold " + fault.lockPath);
        }
        const std::string trace = at.root + "\\trace1.txt";
        runHotSync(hotSyncArgs(at, at.root + "\\log1.txt", trace), trace, fault.killAfterTraceLines);
        if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
        check.afterRun("failing HotSync", fault.killAfterTraceLines > 0);

        // The failure is gone; a clean HotSync brings both sides together.
        std::string ini = readHostFile(at.device() + "\\device.ini");
        ini.erase(std::min(ini.size(), ini.find("[Faults]")));
        writeHostFile(at.device() + "\\device.ini", ini);
        if (fault.blockArchive) DeleteFileA((at.archive() + "\\" + kUser + "\\" + kCard).c_str());
        runHotSync(hotSyncArgs(at, at.root + "\\log2.txt", at.root + "\\trace2.txt"), at.root + "\\trace2.txt");
        check.afterRun("clean HotSync", fault.killAfterTraceLines > 0);
        check.sidesAgree("clean HotSync");
        const Tree cardAfter = cardSide(at), pcAfter = pcSide(at);

        runHotSync(hotSyncArgs(at, at.root + "\\log3.txt", at.root + "\\trace3.txt"), at.root + "\\trace3.txt");
        for (const std::string& line : changeLines(at.root + "\\log3.txt")) problems.push_back("further HotSync: " + line);
        if (cardSide(at).files != cardAfter.files || pcSide(at).files != pcAfter.files)
            problems.push_back("further HotSync changed files");
        check.afterRun("further HotSync", fault.killAfterTraceLines > 0);
        check.sidesAgree("further HotSync", true);
        if (problems.empty()) removeTree(at.root);
        else problems.push_back("kept for inspection: " + at.root);
        return problems;
    }

    void cleanUp() { removeTree(base_.root); }

private:
    static Fault pcLock(const std::string& path) {
        Fault f;
        f.label = path + " held open by another program";
        f.lockPath = path;
        return f;
    }

    Route route_;
    Layout base_;
    std::vector<std::string> trace_;
    std::set<std::string> superseded_;
};

size_t fromEnvironment(const char* name, size_t fallback) {
    const char* v = std::getenv(name);
    return v && *v ? static_cast<size_t>(std::strtoul(v, nullptr, 10)) : fallback;
}

enum FaultKinds { kCallsAndPc, kKills };

// Runs every fault of a route on a few workers: each HotSync mostly waits, so several fit
// on the two cores. TARNWICK_SWEEP_CALLS, _KILLS, _ALL_PC and _WORKERS make it bigger.
void sweep(const Route& route, FaultKinds kinds) {
    Scenario scenario(route);
    std::vector<std::string> problems;
    ASSERT_TRUE(scenario.build(problems)) << ::testing::PrintToString(problems);
    ASSERT_TRUE(scenario.reference(problems)) << ::testing::PrintToString(problems);

    std::vector<Fault> faults;
    if (kinds == kCallsAndPc) {
        faults = scenario.callFaults(fromEnvironment("TARNWICK_SWEEP_CALLS", 3));
        for (const Fault& f : scenario.pcFaults(fromEnvironment("TARNWICK_SWEEP_ALL_PC", 0) != 0)) faults.push_back(f);
    } else {
        faults = scenario.kills(fromEnvironment("TARNWICK_SWEEP_KILLS", 6));
    }
    std::vector<std::vector<std::string>> results(faults.size());
    std::atomic<size_t> next{0};
    std::vector<std::thread> workers;
    for (size_t w = 0; w < fromEnvironment("TARNWICK_SWEEP_WORKERS", 4); ++w) {
        workers.emplace_back([&] {
            for (size_t i = next++; i < faults.size(); i = next++) results[i] = scenario.run(faults[i], i);
        });
    }
    for (std::thread& t : workers) t.join();

    size_t failed = 0;
    for (size_t i = 0; i < faults.size(); ++i) {
        if (results[i].empty()) continue;
        ++failed;
        std::string text;
        for (const std::string& p : results[i]) text += "\n  " + p;
        ADD_FAILURE() << route.name << " route, " << faults[i].label << ":" << text;
    }
    size_t calls = 0, locks = 0;
    for (const Fault& f : faults) {
        calls += !f.deviceRule.empty();
        locks += !f.lockPath.empty();
    }
    std::printf("[ sweep    ] %s route: %zu runs (%zu handheld calls, %zu PC paths held, %zu other), %zu failed\n",
                route.name, faults.size(), calls, locks, faults.size() - calls - locks, failed);
    if (failed == 0) scenario.cleanUp();
}

}  // namespace

// The companion replaces a card file in steps (the old copy made way, the new one renamed
// into its place, the old one removed). A HotSync killed at any of them, copying a PC edit
// under action 0 or a PC copy over a card edit under action 3, with "Archive" off: the next
// HotSync, under action 0 or 2, must leave the file on both sides, alike, holding a version
// it had, and nothing of the replacement behind on the card.
TEST(Interruption, ACompanionReplacementKilledBetweenItsStepsLosesNothing) {
    Layout base;
    base.root = freshWorkFolder("replace_base");
    writeHostFile(base.device() + "\\device.ini", kCompanionRoute.deviceIni);
    writeHostFile(base.card() + "\\doc.txt", "v1");
    setWriteTime(base.card() + "\\doc.txt", kCardTime);
    makeFolders(base.pcRoot());
    makeFolders(base.conduit());
    CopyFileA("Tarnwick.dll", (base.conduit() + "\\Tarnwick.dll").c_str(), FALSE);
    writeHostFile(base.conduit() + "\\Tarnwick.ini", std::string("[") + kUser + "]\r\nArchive=0\r\nFrequency=0\r\n");
    runHotSync(hotSyncArgs(base, base.root + "\\log0.txt", base.root + "\\trace0.txt"), base.root + "\\trace0.txt");
    ASSERT_EQ("v1", readHostFile(base.location() + "\\doc.txt"));

    struct Case {
        const char* killedType;  // the edit is on the PC under 0, on the card under 3
        const char* nextType;
        const char* kill;
    };
    std::vector<Case> cases;
    for (const char* killedType : {"0", "3"})
        for (const char* nextType : {"0", "2"})
            for (const char* kill : {"name=8 nth=1", "name=8 nth=2", "name=7 nth=2"}) cases.push_back({killedType, nextType, kill});
    std::vector<std::vector<std::string>> results(cases.size());
    std::atomic<size_t> next{0};
    auto runCase = [&](size_t i) {
        const Case& c = cases[i];
        std::vector<std::string>& problems = results[i];
        Layout at;
        at.root = freshWorkFolder("replace_" + std::to_string(i));
        copyHotSyncFolder(base, at);
        const std::string edited = std::string("edited, then synchronised under action ") + c.killedType;
        const std::string side = c.killedType[0] == '0' ? at.location() : at.card();
        writeHostFile(side + "\\doc.txt", edited);
        setWriteTime(side + "\\doc.txt", writeTime(side + "\\doc.txt") + 500);
        std::vector<std::string> args = hotSyncArgs(at, at.root + "\\log1.txt", at.root + "\\trace1.txt");
        for (const char* a : {"--type", c.killedType, "--fault"}) args.push_back(a);
        args.push_back(std::string("SyncCallRemoteModule ") + c.kill + " kill");
        runHotSync(args, at.root + "\\trace1.txt");
        args = hotSyncArgs(at, at.root + "\\log2.txt", at.root + "\\trace2.txt");
        args.push_back("--type");
        args.push_back(c.nextType);
        runHotSync(args, at.root + "\\trace2.txt");
        const Tree card = scanTree(at.card()), pc = scanTree(at.location());
        const auto onCard = card.files.find("doc.txt"), onPc = pc.files.find("doc.txt");
        if (onCard == card.files.end() || onPc == pc.files.end()) {
            problems.push_back(std::string("doc.txt gone from the ") + (onCard == card.files.end() ? "card" : "PC"));
        } else if (onCard->second != onPc->second || (onCard->second != "v1" && onCard->second != edited)) {
            problems.push_back("doc.txt holds \"" + onCard->second + "\" on the card, \"" + onPc->second + "\" on the PC");
        }
        for (const auto& f : card.files)
            if (hiddenPath(f.first) || isSimulatorStaging(f.first)) problems.push_back("left on the card: " + f.first);
        if (problems.empty()) removeTree(at.root);
        else problems.push_back("kept for inspection: " + at.root);
    };
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w)
        workers.emplace_back([&] {
            for (size_t i = next++; i < cases.size(); i = next++) runCase(i);
        });
    for (std::thread& t : workers) t.join();
    bool failed = false;
    for (size_t i = 0; i < cases.size(); ++i) {
        if (results[i].empty()) continue;
        failed = true;
        ADD_FAILURE() << "killed at request " << cases[i].kill << " under action " << cases[i].killedType
                      << ", then a HotSync under action " << cases[i].nextType << ":\n  "
                      << ::testing::PrintToString(results[i]);
    }
    if (!failed) removeTree(base.root);
}

TEST(FaultSweep, VfsRouteLosesNothing) { sweep(kVfsRoute, kCallsAndPc); }
TEST(FaultSweep, CompanionRouteLosesNothing) { sweep(kCompanionRoute, kCallsAndPc); }
TEST(Interruption, VfsRouteLosesNothing) { sweep(kVfsRoute, kKills); }
TEST(Interruption, CompanionRouteLosesNothing) { sweep(kCompanionRoute, kKills); }
