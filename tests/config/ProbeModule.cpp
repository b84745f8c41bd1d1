// A module that carries the settings dialog the way the conduit DLL does, so a test can
// put it at X\Tarnwick.dll and see what the dialog does relative to its own module.
#include <windows.h>

#include "conduit/config/ConfigureDialog.h"

extern "C" __declspec(dllexport) void ProbeConfigure(ConduitConfigRecord* record) {
    int32_t size = sizeof(ConduitConfigRecord);
    RunConfigureAction(0, record, &size);
}
