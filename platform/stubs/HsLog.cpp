// Stand-in for the HotSync log library: keeps the lines in memory for tests, and echoes
// and appends them for the host.
#define HOTSYNC_BUILDING_STANDIN
#include "HotSyncApi.h"
#include "StandinLog.h"

#include <windows.h>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace {
struct Line {
    std::string text;
    int32_t activity;
    int32_t flag;
};
std::mutex g_lock;
std::vector<Line> g_lines;
// Kept open for the session: under wine an open per line costs more than the line.
FILE* g_file = nullptr;
bool g_echo = false;
}  // namespace

extern "C" {

HsResult HSAPI HsLogAddLine(const char* text, int32_t activity, int32_t flag) {
    std::lock_guard<std::mutex> hold(g_lock);
    std::string t = text ? text : "";
    g_lines.push_back({t, activity, flag});
    if (g_echo) {
        std::fprintf(stdout, "%s\n", t.c_str());
        std::fflush(stdout);
    }
    if (g_file) {
        std::fprintf(g_file, "%d\t%s\n", static_cast<int>(activity), t.c_str());
        std::fflush(g_file);
    }
    return 0;
}

void STANDIN_API StandinLogSetFile(const char* path) {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_file) std::fclose(g_file);
    g_file = (path && *path) ? std::fopen(path, "ab") : nullptr;
}
void STANDIN_API StandinLogSetEcho(int on) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_echo = on != 0;
}
size_t STANDIN_API StandinLogCount(void) {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_lines.size();
}
const char* STANDIN_API StandinLogText(size_t index) {
    std::lock_guard<std::mutex> hold(g_lock);
    return index < g_lines.size() ? g_lines[index].text.c_str() : nullptr;
}
int32_t STANDIN_API StandinLogActivity(size_t index) {
    std::lock_guard<std::mutex> hold(g_lock);
    return index < g_lines.size() ? g_lines[index].activity : 0;
}
int32_t STANDIN_API StandinLogFlag(size_t index) {
    std::lock_guard<std::mutex> hold(g_lock);
    return index < g_lines.size() ? g_lines[index].flag : 0;
}
void STANDIN_API StandinLogClear(void) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_lines.clear();
}

}  // extern "C"
