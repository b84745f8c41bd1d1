#include "conduit/config/ConfigChoices.h"

#include <cstring>

int32_t ChoiceForAction(int32_t action) {
    switch (action) {
    case ACTION_SYNCHRONISE: return CHOICE_SYNCHRONISE;
    case ACTION_PC_OVERWRITES: return CHOICE_DESKTOP_OVERWRITES;
    case ACTION_HH_OVERWRITES: return CHOICE_HANDHELD_OVERWRITES;
    default: return CHOICE_DO_NOTHING;
    }
}

int32_t ActionForChoice(int32_t choice) {
    switch (choice) {
    case CHOICE_DESKTOP_OVERWRITES: return ACTION_PC_OVERWRITES;
    case CHOICE_HANDHELD_OVERWRITES: return ACTION_HH_OVERWRITES;
    case CHOICE_DO_NOTHING: return ACTION_DO_NOTHING;
    default: return ACTION_SYNCHRONISE;
    }
}

int32_t SetAsDefaultAnswer(bool ticked) { return ticked ? 1 : 2; }

int32_t FrequencyChoice(int32_t stored) { return stored >= 0 && stored <= 3 ? stored : 0; }

std::string ConfigUserName(const ConduitConfigRecord& record) {
    const char* name = record.userName;
    const void* end = std::memchr(name, '\0', sizeof record.userName);
    size_t length = end ? static_cast<size_t>(static_cast<const char*>(end) - name) : sizeof record.userName;
    return std::string(name, length);
}

std::string DesktopApplicationPath(const std::string& modulePath) {
    size_t dot = modulePath.find_last_of('.');
    if (dot == std::string::npos) return std::string();
    size_t separator = modulePath.find_last_of("\\/");
    if (separator != std::string::npos && separator > dot) return std::string();
    return modulePath.substr(0, dot + 1) + "exe";
}
