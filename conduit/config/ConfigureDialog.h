// The settings dialog behind CfgConduit: the HotSync action for this conduit, whether it
// becomes the default, the frequency and archiving, a button that starts the desktop
// application and a link to the maker's web site.
#pragma once
#include <windows.h>
#include <cstdint>

#include "conduit/config/PictureButton.h"
#include "conduit/config/StaticLink.h"
#include "platform/sdk/ConduitRecords.h"

class Settings;

// The web address behind the dialog's link.
extern const char* const TarnwickWebAddress;

// Everything ConfigureAction does, for the user's settings in the settings file beside the
// module. CfgConduit has already checked the record and its size.
void RunConfigureAction(int32_t configType, ConduitConfigRecord* record, int32_t* size);
// The same with the settings taken from the given store.
void RunConfigureDialog(ConduitConfigRecord& record, const Settings& settings);

class ConfigureDialog {
public:
    // The fields the dialog exchanges with its controls, with their values at construction.
    int32_t actionIndex = -1;    // radio group of "&Synchronize the files"
    int32_t archive = 1;         // "&Archive Deleted Files"
    int32_t setAsDefault = 0;    // "Se&t as default"
    int32_t frequencyIndex = 0;  // radio group of "&Everytime"

    explicit ConfigureDialog(HWND parent = nullptr);
    ConfigureDialog(const ConfigureDialog&) = delete;
    ConfigureDialog& operator=(const ConfigureDialog&) = delete;

    // Runs the dialog modally: IDOK when the user accepted (the fields then hold the choices),
    // IDCANCEL when not, -1 when it could not be shown.
    INT_PTR doModal();

private:
    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void onInitDialog();
    void exchange(bool save);
    void startDesktopApplication() const;
    PictureButton* pictureFor(int controlId);

    HWND parent_ = nullptr;
    HWND hwnd_ = nullptr;
    HINSTANCE module_ = nullptr;
    PictureButton sync_, desktop_, handheld_, nothing_, logo_;
    HWND archiveBox_ = nullptr;
    CStaticLink link_;
};
