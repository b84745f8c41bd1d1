#include "conduit/ConduitObject.h"
#include <memory>
#include <windows.h>
#include "conduit/ResourceModule.h"
#include "conduit/SyncSession.h"
#include "conduit/TarnwickIds.h"
#include "conduit/config/ConfigureDialog.h"
#include "settings/Settings.h"

void ConduitObject::GetName(std::string& name) {
    char buffer[256] = {};
    int length = LoadStringA(ResourceModule(), IDS_CONDUIT_NAME, buffer, sizeof buffer);
    name.assign(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

void ConduitObject::Configure(void*) {}

void ConduitObject::ConfigureAction(int32_t configType, ConduitConfigRecord* record, int32_t* size) {
    RunConfigureAction(configType, record, size);
}

void ConduitObject::Synchronize(const SyncProperties* properties) {
    RunSession(*properties, TheSettings(), SessionHooks());
}

ConduitBase& TheConduit() {
    // Destroyed through its virtual destructor when the library unloads.
    static std::unique_ptr<ConduitBase> object = std::make_unique<ConduitObject>();
    return *object;
}
