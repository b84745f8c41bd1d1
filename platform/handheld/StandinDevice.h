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

// Loads the device folder (device.ini, ram/, the volume folders) into memory, replacing any
// device loaded before. Answers 0 on success, non-zero when device.ini is missing or a
// stored database cannot be read.
int STANDIN_DEVICE_API StandinDeviceLoad(const char* deviceDir);
// Writes main memory back into the device folder (card files are written as they change).
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
size_t STANDIN_DEVICE_API StandinTraceCount(void);
const char* STANDIN_DEVICE_API StandinTraceLine(size_t index);
void STANDIN_DEVICE_API StandinTraceClear(void);

#ifdef __cplusplus
}
#endif
