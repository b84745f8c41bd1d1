// Test and host access to the simulated handheld. The simulator lives in the stand-in
// SYNC20.dll; the other stand-in libraries (vfsapi, CONDMGR, UserData) reach it through the
// Standin* calls below. The conduit never includes this header.
#pragma once
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif
#if defined(STANDIN_BUILDING_DEVICE)
#define STANDIN_DEVICE_API __declspec(dllexport) __cdecl
#else
#define STANDIN_DEVICE_API __declspec(dllimport) __cdecl
#endif

// Answered by every call the simulator does not model, and by calls made before a device
// was loaded: a failure no real library gives, so it is easy to spot in a trace.
#define STANDIN_ERR_NOT_SIMULATED 0x7F01
// Answered when a call gets an argument the real library would reject (null pointers,
// unknown handles, bad sizes).
#define STANDIN_ERR_BAD_ARGUMENT 0x7F02

// Sync Manager results of the simulator's own.
#define STANDIN_SM_NOT_FOUND 0x7F11     // no such database, record, block or card
#define STANDIN_SM_EXISTS 0x7F12        // a database of that name exists (create)
#define STANDIN_SM_READ_ONLY 0x7F13     // a write through a handle opened without 0x40
#define STANDIN_SM_BUSY 0x7F14          // the database is open (delete)
#define STANDIN_SM_TOO_SMALL 0x7F15     // the buffer cannot hold the record or block
#define STANDIN_SM_BAD_HANDLE 0x7F16    // not an open database
#define STANDIN_SM_WRONG_KIND 0x7F17    // a record call on a resource database or back
#define STANDIN_SM_NO_APPLICATION 0x7F18 // SyncCallRemoteModule: no such application
#define STANDIN_SM_TOO_MANY 0x7F19      // all 255 handles are in use

// VFS results beyond the three the conduit tells apart (10754 bad name, 10758 exists,
// 10760 not found).
#define STANDIN_VFS_NO_VOLUME 0x2A0A    // 10762: no volume with that reference
#define STANDIN_VFS_HOST_FAILED 0x2A0B  // 10763: a host file operation failed; the system's
                                        // last error is left as the host set it
#define STANDIN_VFS_NOT_EMPTY 0x2A0C    // 10764: a directory that still holds names
#define STANDIN_VFS_WRONG_KIND 0x2A0D   // 10765: a directory where a file is needed or back
#define STANDIN_VFS_BAD_REF 0x2A0E      // 10766: not an open file reference

// Result codes of the companion application (in the request block, the call answering 0).
#define STANDIN_COMPANION_BAD_REQUEST 1 // unknown request, card or malformed argument
#define STANDIN_COMPANION_NOT_FOUND 2   // no such name (or no transfer database)
#define STANDIN_COMPANION_EXISTS 3      // the new name exists already
#define STANDIN_COMPANION_FAILED 4      // the card refused (not empty, wrong kind, host)

// Loads the device folder (device.ini, ram/, the volume folders) into memory, replacing any
// device loaded before. Answers 0 on success, non-zero when device.ini is missing, a
// stored database cannot be read or a volume's folder or code page is unusable.
int STANDIN_DEVICE_API StandinDeviceLoad(const char* deviceDir);
// Why the last StandinDeviceLoad failed ("" after a successful one).
const char* STANDIN_DEVICE_API StandinDeviceLoadError(void);
// Writes main memory back into the device folder (card files and labels are written as
// they change).
int STANDIN_DEVICE_API StandinDeviceSave(void);
// Forgets the loaded device, its faults and its trace; handles become invalid.
void STANDIN_DEVICE_API StandinDeviceUnload(void);

// Adds one injected failure in the syntax of the [Faults] section of device.ini, for
// example "SmOpenDb name=MemoDB result=5" or "VFSFileGet nth=2 result=10760".
// Answers 0 when the line was understood.
int STANDIN_DEVICE_API StandinFaultAdd(const char* line);
void STANDIN_DEVICE_API StandinFaultClear(void);
// How often the injected failures have fired since the device was loaded.
int STANDIN_DEVICE_API StandinFaultFired(void);

// The call trace: one line per call, "call<TAB>arguments<TAB>result". Kept in memory from
// the load on; with a path, also appended to that file as the calls happen (null: stop).
void STANDIN_DEVICE_API StandinTraceSetFile(const char* path);
// Whether the lines are also kept in memory (on at start). hotsync.exe turns it off, so the
// peak working set it reports for benchmarks is not the trace's.
void STANDIN_DEVICE_API StandinTraceKeep(int on);
size_t STANDIN_DEVICE_API StandinTraceCount(void);
// Seconds spent inside the stand-in calls (the simulated handheld's work, its faults and
// its trace) since the process started.
double STANDIN_DEVICE_API StandinCallSeconds(void);
const char* STANDIN_DEVICE_API StandinTraceLine(size_t index);
void STANDIN_DEVICE_API StandinTraceClear(void);

#ifdef __cplusplus
}
#endif
