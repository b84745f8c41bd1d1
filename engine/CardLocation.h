// What the two card locations share: "/"-separated relative names, directories named
// with a trailing "/". The handheld side stays with the concrete classes.
#pragma once
#include "engine/HandheldLocation.h"

class CardLocation : public HandheldLocation {
public:
    using HandheldLocation::HandheldLocation;

    std::string relativeNameOf(const std::string& pcPath) override;
    std::string pcPathOf(const std::string& name) override;
    bool isDirectoryName(const std::string& name) override;
};
