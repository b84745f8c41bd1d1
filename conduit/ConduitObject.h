// The conduit object: holds no data, forwards to the session and the settings dialog.
#pragma once
#include "conduit/ConduitBase.h"

class ConduitObject : public ConduitBase {
public:
    void GetName(std::string& name) override;
    void Configure(void* argument) override;
    void ConfigureAction(int32_t configType, ConduitConfigRecord* record, int32_t* size) override;
    void Synchronize(const SyncProperties* properties) override;
};

// Created on first use, destroyed when the library is unloaded; never re-created.
ConduitBase& TheConduit();
