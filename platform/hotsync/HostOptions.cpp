#include "platform/hotsync/HostOptions.h"

#include <cerrno>
#include <cstdlib>

namespace {
bool toInt(const std::string& s, int& out) {
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 0);
    if (errno != 0 || *end != '\0') return false;
    out = static_cast<int>(v);
    return true;
}
}  // namespace

const char* hostUsage() {
    return "usage:\n"
           "  hotsync sync      --device DIR --user NAME --pc DIR [--type N] [--conduit DLL]\n"
           "                    [--log FILE] [--trace FILE] [--fault RULE]... [--cancel-after MS]\n"
           "  hotsync configure --user NAME [--action N] [--conduit DLL]\n"
           "  hotsync install   [--manager-log FILE]\n"
           "  hotsync uninstall\n"
           "  hotsync manager   [--log FILE]\n";
}

bool parseHostOptions(const std::vector<std::string>& args, HostOptions& o, std::string& error) {
    if (args.empty()) {
        error = "no verb given";
        return false;
    }
    if (args[0] == "sync") {
        o.verb = HostOptions::Sync;
    } else if (args[0] == "configure") {
        o.verb = HostOptions::Configure;
    } else if (args[0] == "install") {
        o.verb = HostOptions::Install;
    } else if (args[0] == "uninstall") {
        o.verb = HostOptions::Uninstall;
    } else if (args[0] == "manager") {
        o.verb = HostOptions::Manager;
    } else {
        error = "unknown verb: " + args[0];
        return false;
    }
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& key = args[i];
        if (i + 1 >= args.size()) {
            error = "missing value after " + key;
            return false;
        }
        const std::string& value = args[++i];
        bool sync = o.verb == HostOptions::Sync;
        bool withConduit = sync || o.verb == HostOptions::Configure;
        bool number = true;
        if (withConduit && key == "--user") {
            o.user = value;
        } else if (withConduit && key == "--conduit") {
            o.conduit = value;
        } else if (sync && key == "--device") {
            o.device = value;
        } else if (sync && key == "--pc") {
            o.pc = value;
        } else if ((sync || o.verb == HostOptions::Manager) && key == "--log") {
            o.log = value;
        } else if (sync && key == "--fault") {
            o.faults.push_back(value);
        } else if (sync && key == "--trace") {
            o.trace = value;
        } else if (sync && key == "--type") {
            number = toInt(value, o.type);
        } else if (sync && key == "--cancel-after") {
            number = toInt(value, o.cancelAfterMs) && o.cancelAfterMs >= 0;
        } else if (o.verb == HostOptions::Configure && key == "--action") {
            number = toInt(value, o.action);
        } else if (o.verb == HostOptions::Install && key == "--manager-log") {
            o.managerLog = value;
        } else {
            error = "unknown option: " + key;
            return false;
        }
        if (!number) {
            error = "not a number for " + key + ": " + value;
            return false;
        }
    }
    if ((o.verb == HostOptions::Sync || o.verb == HostOptions::Configure) && o.user.empty()) {
        error = "--user is required";
        return false;
    }
    if (o.verb == HostOptions::Sync && (o.device.empty() || o.pc.empty())) {
        error = "sync needs --device and --pc";
        return false;
    }
    return true;
}

std::string pcFolderWithSlash(const std::string& pc) {
    if (!pc.empty() && pc.back() == '\\') return pc;
    return pc + '\\';
}
