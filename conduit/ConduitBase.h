// The one object behind the conduit's exports. The slot order is fixed: destroy, GetName,
// Configure, ConfigureAction, Synchronize.
#pragma once
#include <cstdint>
#include <string>
#include "ConduitRecords.h"

class ConduitBase {
public:
    virtual ~ConduitBase() = default;
    virtual void GetName(std::string& name) = 0;
    virtual void Configure(void* argument) = 0;
    virtual void ConfigureAction(int32_t configType, ConduitConfigRecord* record, int32_t* size) = 0;
    virtual void Synchronize(const SyncProperties* properties) = 0;
};
