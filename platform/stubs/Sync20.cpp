// Stand-in Sync Manager (SYNC20.dll): the library calls of the SDK, the simulated
// handheld's test calls, and the bridge the other stand-in libraries use. Each call is one
// SimCall: lock, fault check, the simulated effect, one trace line.
#ifndef HOTSYNC_BUILDING_STANDIN
#define HOTSYNC_BUILDING_STANDIN
#endif
#define STANDIN_BUILDING_DEVICE
#include "HotSyncApi.h"
#include "platform/handheld/HandheldState.h"
#include "platform/handheld/Simulator.h"
#include "platform/stubs/StandinBridge.h"

#include <cstring>
#include <string>

namespace {
Simulator& sim() { return Simulator::instance(); }

// The call's result before it is traced: an injected one, or the simulated effect's.
template <class Fn>
int32_t effect(SimCall& call, Fn fn) {
    if (call.faulted()) return call.hit().result;
    HandheldState* device = call.device();
    if (!device) return STANDIN_ERR_NOT_SIMULATED;
    return fn(*device);
}

std::string handleName(uint8_t handle) {
    std::lock_guard<std::recursive_mutex> hold(sim().lock());
    HandheldState* d = sim().state();
    return d ? d->databaseOfHandle(handle) : std::string();
}

std::string fileRefName(VfsFileRef file) {
    std::lock_guard<std::recursive_mutex> hold(sim().lock());
    HandheldState* d = sim().state();
    return d ? d->nameOfFileRef(file) : std::string();
}

std::string text(const char* s) { return s ? std::string(s) : std::string("(null)"); }

std::string boundedName(const char* name, size_t max) {
    if (!name) return std::string();
    size_t n = 0;
    while (n < max && name[n]) ++n;
    return std::string(name, n);
}

uint32_t g_nextRegistration = 1;
}  // namespace

extern "C" {

HsResult HSAPI SmRegisterConduit(uint32_t* handle) {
    SimCall call("SmRegisterConduit", "", "");
    if (call.faulted()) return call.done(call.hit().result);
    if (!handle) return call.done(STANDIN_ERR_BAD_ARGUMENT);
    *handle = g_nextRegistration++;
    call.note(format("handle=%u", *handle));
    return call.done(0);
}

HsResult HSAPI SmUnregisterConduit(uint32_t handle) {
    SimCall call("SmUnregisterConduit", "", format("handle=%u", handle));
    return call.done(call.faulted() ? call.hit().result : 0);
}

HsResult HSAPI SyncYieldCycles(uint16_t cycles) {
    SimCall call("SyncYieldCycles", "", format("cycles=%u", cycles));
    return call.done(call.faulted() ? call.hit().result : 0);
}

HsResult HSAPI SmOpenDb(int32_t cardNo, const char* name, uint8_t mode, uint8_t* handle) {
    SimCall call("SmOpenDb", boundedName(name, 32),
                 format("card=%d name=%s mode=0x%02x", cardNo, text(name).c_str(), mode));
    int32_t rc = effect(call, [&](HandheldState& d) { return d.openDb(cardNo, name, mode, handle); });
    if (rc == 0 && handle) call.note(format("handle=%u", *handle));
    return call.done(rc);
}

HsResult HSAPI SmCreateDb(SmCreateRecord* create) {
    std::string name = create ? boundedName(create->name, 32) : std::string();
    SimCall call("SmCreateDb", name,
                 create ? format("card=%u name=%s creator=%s type=%s flags=0x%04x version=%u", create->cardNo,
                                 name.c_str(), fourCc(create->creator).c_str(), fourCc(create->type).c_str(),
                                 create->flags, create->version)
                        : std::string("(null)"));
    return call.done(effect(call, [&](HandheldState& d) { return d.createDb(create); }));
}

HsResult HSAPI SmCloseDb(uint8_t handle) {
    SimCall call("SmCloseDb", handleName(handle), format("handle=%u", handle));
    return call.done(effect(call, [&](HandheldState& d) { return d.closeDb(handle); }));
}

HsResult HSAPI SmDeleteDb(const char* name, int32_t cardNo) {
    SimCall call("SmDeleteDb", boundedName(name, 32), format("name=%s card=%d", text(name).c_str(), cardNo));
    return call.done(effect(call, [&](HandheldState& d) { return d.deleteDb(name, cardNo); }));
}

HsResult HSAPI SmReadDbList(int32_t cardNo, uint16_t startIndex, int32_t ramOnly, SmDbListEntry* entries,
                            int32_t* count) {
    SimCall call("SmReadDbList", "",
                 format("card=%d start=%u ram=%d count=%d", cardNo, startIndex, ramOnly, count ? *count : -1));
    int32_t rc = effect(call, [&](HandheldState& d) { return d.readDbList(cardNo, startIndex, ramOnly, entries, count); });
    if (rc == 0 && count) call.note(format("filled=%d", *count));
    return call.done(rc);
}

HsResult HSAPI SmWriteRecord(SmRawRecord* record) {
    uint8_t h = record ? record->handle : 0;
    SimCall call("SmWriteRecord", handleName(h),
                 record ? format("handle=%u id=%u attr=0x%02x size=%u", h, record->recordId, record->attributes,
                                 record->dataSize)
                        : std::string("(null)"));
    int32_t rc = effect(call, [&](HandheldState& d) { return d.writeRecord(record); });
    if (rc == 0 && record) call.note(format("newid=%u", record->recordId));
    return call.done(rc);
}

HsResult HSAPI SmReadRecordByIndex(SmRawRecord* record) {
    uint8_t h = record ? record->handle : 0;
    SimCall call("SmReadRecordByIndex", handleName(h),
                 record ? format("handle=%u index=%u buffer=%u", h, record->index, record->bufferSize)
                        : std::string("(null)"));
    int32_t rc = effect(call, [&](HandheldState& d) { return d.readRecordByIndex(record); });
    if (rc == 0 && record) call.note(format("size=%u", record->dataSize));
    return call.done(rc);
}

HsResult HSAPI SmReadAppInfoBlock(uint8_t handle, SmBlockRecord* block) {
    SimCall call("SmReadAppInfoBlock", handleName(handle),
                 format("handle=%u buffer=%u", handle, block ? block->bufferSize : 0));
    return call.done(effect(call, [&](HandheldState& d) { return d.readBlock(handle, block, false); }));
}

HsResult HSAPI SmWriteAppInfoBlock(uint8_t handle, SmBlockRecord* block) {
    SimCall call("SmWriteAppInfoBlock", handleName(handle),
                 format("handle=%u size=%u", handle, block ? block->bufferSize : 0));
    return call.done(effect(call, [&](HandheldState& d) { return d.writeBlock(handle, block, false); }));
}

HsResult HSAPI SmWriteResource(SmRawRecord* record) {
    uint8_t h = record ? record->handle : 0;
    SimCall call("SmWriteResource", handleName(h),
                 record ? format("handle=%u type=%s id=%u size=%u", h, fourCc(record->recordId).c_str(),
                                 record->index, record->dataSize)
                        : std::string("(null)"));
    return call.done(effect(call, [&](HandheldState& d) { return d.writeResource(record); }));
}

HsResult HSAPI SyncCallRemoteModule(SmRemoteCall* block) {
    std::string request = block ? std::to_string(block->request) : std::string();
    std::string param;
    if (block && block->param && block->paramSize > 0) {
        param.assign(block->param, block->paramSize);
        if (!param.empty() && param.back() == '\0') param.pop_back();
    }
    // The request text comes last, so a trace line ends with what the conduit sent.
    SimCall call("SyncCallRemoteModule", request, "");
    int32_t rc = 0;
    if (call.faulted() && call.hit().hasCode && block) {
        // The call goes through and the companion refuses.
        block->resultCode = call.hit().code;
        block->actualResultSize = 0;
    } else {
        rc = effect(call, [&](HandheldState& d) { return d.callRemoteModule(block); });
    }
    if (!block) {
        call.note("(null)");
    } else {
        call.note(format("creator=%s type=%s request=%u size=%u", fourCc(block->creator).c_str(),
                         fourCc(block->type).c_str(), block->request, block->paramSize));
        if (rc == 0) call.note(format("code=%d", block->resultCode));
        call.note("param=" + param);
    }
    return call.done(rc);
}

HsResult HSAPI SyncReadOpenDbInfo(SmOpenDbInfoRequest* request, SmOpenDbInfo* info) {
    uint8_t h = request ? request->handle : 0;
    SimCall call("SyncReadOpenDbInfo", handleName(h),
                 request ? format("options=0x%02x handle=%u", request->options, h) : std::string("(null)"));
    return call.done(effect(call, [&](HandheldState& d) { return d.readOpenDbInfo(request, info); }));
}

HsResult HSAPI SyncFindDbByName(SmFindDbRequest* request, SmDbListEntry* found) {
    std::string name = request ? boundedName(request->name, 32) : std::string();
    SimCall call("SyncFindDbByName", name,
                 request ? format("options=0x%02x card=%d name=%s", request->options, request->cardNo, name.c_str())
                         : std::string("(null)"));
    return call.done(effect(call, [&](HandheldState& d) { return d.findDbByName(request, found); }));
}

HsResult HSAPI SyncReadSingleCardInfo(SmCardInfo* info) {
    SimCall call("SyncReadSingleCardInfo", "", info ? format("card=%u", info->cardNo) : std::string("(null)"));
    int32_t rc = effect(call, [&](HandheldState& d) { return d.readCardInfo(info); });
    if (rc == 0 && info) call.note(format("ramdbs=%u", info->ramDbCount));
    return call.done(rc);
}

HsResult HSAPI SyncReadResRecordByIndex(SmRawRecord* record, int32_t withBody) {
    uint8_t h = record ? record->handle : 0;
    SimCall call("SyncReadResRecordByIndex", handleName(h),
                 record ? format("handle=%u index=%u buffer=%u body=%d", h, record->index, record->bufferSize,
                                 withBody)
                        : std::string("(null)"));
    return call.done(effect(call, [&](HandheldState& d) { return d.readResourceByIndex(record, withBody); }));
}

HsResult HSAPI SyncReadDBSortInfoBlock(uint8_t handle, SmBlockRecord* block) {
    SimCall call("SyncReadDBSortInfoBlock", handleName(handle),
                 format("handle=%u buffer=%u", handle, block ? block->bufferSize : 0));
    return call.done(effect(call, [&](HandheldState& d) { return d.readBlock(handle, block, true); }));
}

HsResult HSAPI SyncWriteDBSortInfoBlock(uint8_t handle, SmBlockRecord* block) {
    SimCall call("SyncWriteDBSortInfoBlock", handleName(handle),
                 format("handle=%u size=%u", handle, block ? block->bufferSize : 0));
    return call.done(effect(call, [&](HandheldState& d) { return d.writeBlock(handle, block, true); }));
}

// ---- the simulated handheld's own calls ----

int STANDIN_DEVICE_API StandinDeviceLoad(const char* deviceDir) {
    return deviceDir ? sim().load(deviceDir) : 1;
}
const char* STANDIN_DEVICE_API StandinDeviceLoadError(void) { return sim().loadError().c_str(); }
int STANDIN_DEVICE_API StandinDeviceSave(void) { return sim().save(); }
void STANDIN_DEVICE_API StandinDeviceUnload(void) { sim().unload(); }

int STANDIN_DEVICE_API StandinFaultAdd(const char* line) {
    std::lock_guard<std::recursive_mutex> hold(sim().lock());
    return (line && sim().faults().add(line)) ? 0 : 1;
}
void STANDIN_DEVICE_API StandinFaultClear(void) {
    std::lock_guard<std::recursive_mutex> hold(sim().lock());
    sim().faults().clear();
}
int STANDIN_DEVICE_API StandinFaultFired(void) {
    std::lock_guard<std::recursive_mutex> hold(sim().lock());
    return sim().faults().fired();
}

void STANDIN_DEVICE_API StandinTraceSetFile(const char* path) { sim().setTraceFile(path); }
void STANDIN_DEVICE_API StandinTraceKeep(int on) {
    std::lock_guard<std::recursive_mutex> hold(sim().lock());
    sim().keepTrace(on != 0);
}
double STANDIN_DEVICE_API StandinCallSeconds(void) { return sim().callSeconds(); }
size_t STANDIN_DEVICE_API StandinTraceCount(void) {
    std::lock_guard<std::recursive_mutex> hold(sim().lock());
    return sim().traceCount();
}
const char* STANDIN_DEVICE_API StandinTraceLine(size_t index) {
    std::lock_guard<std::recursive_mutex> hold(sim().lock());
    return sim().traceLine(index);
}
void STANDIN_DEVICE_API StandinTraceClear(void) {
    std::lock_guard<std::recursive_mutex> hold(sim().lock());
    sim().clearTrace();
}

// ---- bridge for vfsapi.dll ----

VfsResult STANDIN_DEVICE_API StandinVfsDirCreate(VfsVolume volume, const char* dirName) {
    SimCall call("VFSDirCreate", text(dirName), format("volume=%u name=%s", volume, text(dirName).c_str()));
    return call.done(effect(call, [&](HandheldState& d) { return d.vfsDirCreate(volume, dirName); }));
}
VfsResult STANDIN_DEVICE_API StandinVfsFileClose(VfsFileRef file) {
    SimCall call("VFSFileClose", fileRefName(file), format("file=%u", file));
    return call.done(effect(call, [&](HandheldState& d) { return d.vfsFileClose(file); }));
}
VfsResult STANDIN_DEVICE_API StandinVfsFileDelete(VfsVolume volume, const char* name) {
    SimCall call("VFSFileDelete", text(name), format("volume=%u name=%s", volume, text(name).c_str()));
    return call.done(effect(call, [&](HandheldState& d) { return d.vfsFileDelete(volume, name); }));
}
VfsResult STANDIN_DEVICE_API StandinVfsFileGet(VfsVolume volume, const char* cardName, const char* pcPath) {
    SimCall call("VFSFileGet", text(cardName),
                 format("volume=%u name=%s pc=%s", volume, text(cardName).c_str(), text(pcPath).c_str()));
    return call.done(effect(call, [&](HandheldState& d) { return d.vfsFileGet(volume, cardName, pcPath); }));
}
VfsResult STANDIN_DEVICE_API StandinVfsFileGetAttributes(VfsFileRef file, uint32_t* attributes) {
    SimCall call("VFSFileGetAttributes", fileRefName(file), format("file=%u", file));
    int32_t rc = effect(call, [&](HandheldState& d) { return d.vfsFileGetAttributes(file, attributes); });
    if (rc == 0 && attributes) call.note(format("attributes=0x%x", *attributes));
    return call.done(rc);
}
VfsResult STANDIN_DEVICE_API StandinVfsFileGetDate(VfsFileRef file, uint16_t which, uint32_t* date) {
    SimCall call("VFSFileGetDate", fileRefName(file), format("file=%u which=%u", file, which));
    int32_t rc = effect(call, [&](HandheldState& d) { return d.vfsFileGetDate(file, which, date); });
    if (rc == 0 && date) call.note(format("date=%u", *date));
    return call.done(rc);
}
VfsResult STANDIN_DEVICE_API StandinVfsFileOpen(VfsVolume volume, const char* name, uint16_t mode, VfsFileRef* file) {
    SimCall call("VFSFileOpen", text(name), format("volume=%u name=%s mode=%u", volume, text(name).c_str(), mode));
    int32_t rc = effect(call, [&](HandheldState& d) { return d.vfsFileOpen(volume, name, mode, file); });
    if (rc == 0 && file) call.note(format("file=%u", *file));
    return call.done(rc);
}
VfsResult STANDIN_DEVICE_API StandinVfsFilePut(VfsVolume volume, const char* cardName, const char* pcPath) {
    SimCall call("VFSFilePut", text(cardName),
                 format("volume=%u name=%s pc=%s", volume, text(cardName).c_str(), text(pcPath).c_str()));
    return call.done(effect(call, [&](HandheldState& d) { return d.vfsFilePut(volume, cardName, pcPath); }));
}
VfsResult STANDIN_DEVICE_API StandinVfsFileRename(VfsVolume volume, const char* name, const char* newBaseName) {
    SimCall call("VFSFileRename", text(name),
                 format("volume=%u name=%s new=%s", volume, text(name).c_str(), text(newBaseName).c_str()));
    return call.done(effect(call, [&](HandheldState& d) { return d.vfsFileRename(volume, name, newBaseName); }));
}
VfsResult STANDIN_DEVICE_API StandinVfsFileSize(VfsFileRef file, uint32_t* size) {
    SimCall call("VFSFileSize", fileRefName(file), format("file=%u", file));
    int32_t rc = effect(call, [&](HandheldState& d) { return d.vfsFileSize(file, size); });
    if (rc == 0 && size) call.note(format("size=%u", *size));
    return call.done(rc);
}
VfsResult STANDIN_DEVICE_API StandinVfsSupport(uint32_t* a, uint32_t* b) {
    SimCall call("VFSSupport", "", "");
    return call.done(effect(call, [&](HandheldState& d) { return d.vfsSupport(a, b); }));
}
VfsResult STANDIN_DEVICE_API StandinVfsVolumeEnumerate(uint16_t* count, VfsVolume* volumes) {
    SimCall call("VFSVolumeEnumerate", "",
                 format("count=%d buffer=%s", count ? *count : -1, volumes ? "yes" : "null"));
    int32_t rc = effect(call, [&](HandheldState& d) { return d.vfsVolumeEnumerate(count, volumes); });
    if (rc == 0 && count) call.note(format("volumes=%u", *count));
    return call.done(rc);
}
VfsResult STANDIN_DEVICE_API StandinVfsVolumeGetLabel(VfsVolume volume, char* label, uint32_t* length) {
    SimCall call("VFSVolumeGetLabel", "", format("volume=%u length=%u", volume, length ? *length : 0));
    int32_t rc = effect(call, [&](HandheldState& d) { return d.vfsVolumeGetLabel(volume, label, length); });
    if (rc == 0 && label) call.note(format("label=%s", label));
    return call.done(rc);
}
VfsResult STANDIN_DEVICE_API StandinVfsVolumeSetLabel(VfsVolume volume, const char* label) {
    SimCall call("VFSVolumeSetLabel", text(label), format("volume=%u label=%s", volume, text(label).c_str()));
    return call.done(effect(call, [&](HandheldState& d) { return d.vfsVolumeSetLabel(volume, label); }));
}

// ---- bridge for CONDMGR.dll and UserData.dll ----

int32_t STANDIN_DEVICE_API StandinCmCall(const char* name, StandinCmEffect effect, void* context) {
    SimCall call(name, "", "");
    if (call.faulted()) return call.done(call.hit().result);
    char note[64] = {0};
    int32_t rc = effect(context, note, sizeof note);
    if (note[0]) call.note(note);
    return call.done(rc);
}
HsResult STANDIN_DEVICE_API StandinUdUserByFolder(const char* folder, uint32_t* user) {
    SimCall call("UdUserByFolder", text(folder), format("folder=%s", text(folder).c_str()));
    int32_t rc = effect(call, [&](HandheldState& d) { return d.userByFolder(folder, user); });
    if (rc == 0 && user) call.note(format("user=%u", *user));
    return call.done(rc);
}
HsResult STANDIN_DEVICE_API StandinUdUserValueA(uint32_t user, uint32_t creator, int32_t* value) {
    SimCall call("UdUserValueA", fourCc(creator), format("user=%u creator=%s", user, fourCc(creator).c_str()));
    int32_t rc = effect(call, [&](HandheldState& d) { return d.userValue(user, creator, value, false); });
    if (value) call.note(format("value=%d", *value));
    return call.done(rc);
}
HsResult STANDIN_DEVICE_API StandinUdUserValueB(uint32_t user, uint32_t creator, int32_t* value) {
    SimCall call("UdUserValueB", fourCc(creator), format("user=%u creator=%s", user, fourCc(creator).c_str()));
    int32_t rc = effect(call, [&](HandheldState& d) { return d.userValue(user, creator, value, true); });
    if (value) call.note(format("value=%d", *value));
    return call.done(rc);
}

}  // extern "C"
