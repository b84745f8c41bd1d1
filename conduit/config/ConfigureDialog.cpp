#include "conduit/config/ConfigureDialog.h"

#include <shellapi.h>
#include <string>

#include "dllshared/DllEdge.h"
#include "conduit/ResourceModule.h"
#include "conduit/config/ConfigChoices.h"
#include "conduit/config/ConfigResource.h"
#include "settings/Settings.h"

const char* const TarnwickWebAddress = "http://www.tarnwick.example/";

namespace {
const int kActionImageWidth = 48, kActionImageHeight = 24;
const int kLogoWidth = 85, kLogoHeight = 30;

bool IsRadio(HWND control) {
    return (SendMessageA(control, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) != 0;
}

// A radio group runs from its first button up to the next control that starts a group; its
// value is the position of the checked radio button among the group's radio buttons, -1 for
// none.
void ExchangeRadio(HWND dialog, int firstId, int32_t& value, bool save) {
    HWND control = GetDlgItem(dialog, firstId);
    if (save) value = -1;
    int32_t index = 0;
    for (bool first = true; control; first = false, control = GetWindow(control, GW_HWNDNEXT)) {
        if (!first && (GetWindowLongA(control, GWL_STYLE) & WS_GROUP)) break;
        if (!IsRadio(control)) continue;
        if (save) {
            if (SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED) value = index;
        } else {
            SendMessageA(control, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        ++index;
    }
}

void ExchangeCheck(HWND dialog, int id, int32_t& value, bool save) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) return;
    if (save)
        value = static_cast<int32_t>(SendMessageA(control, BM_GETCHECK, 0, 0));
    else
        SendMessageA(control, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::string ModulePath(HMODULE module) {
    char path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    // A cut path names some other file; better to start nothing.
    if (length == 0 || length >= MAX_PATH) return std::string();
    return std::string(path, length);
}
}  // namespace

void RunConfigureAction(int32_t configType, ConduitConfigRecord* record, int32_t* size) {
    (void)configType;
    (void)size;
    if (!record) return;
    RunConfigureDialog(*record, TheSettings());
}

void RunConfigureDialog(ConduitConfigRecord& record, const Settings& settings) {
    const std::string user = ConfigUserName(record);
    ConfigureDialog dialog(nullptr);
    dialog.archive = settings.archiveEnabled(user) ? 1 : 0;
    dialog.frequencyIndex = FrequencyChoice(settings.frequency(user));
    dialog.actionIndex = ChoiceForAction(record.currentAction);
    if (dialog.doModal() != IDOK) return;
    record.chosenAction = ActionForChoice(dialog.actionIndex);
    record.setAsDefault = SetAsDefaultAnswer(dialog.setAsDefault == BST_CHECKED);
    settings.setArchiveEnabled(user, dialog.archive == BST_CHECKED);
    // No frequency button checked cannot come from the dialog's own radio group, but if it
    // does, keep what the file holds rather than store -1.
    if (dialog.frequencyIndex >= 0) settings.setFrequency(user, dialog.frequencyIndex);
}

ConfigureDialog::ConfigureDialog(HWND parent)
    : parent_(parent), module_(ResourceModule()), link_(TarnwickWebAddress) {}

INT_PTR ConfigureDialog::doModal() {
    return DialogBoxParamA(module_, MAKEINTRESOURCEA(IDD_CONFIGURE), parent_, &ConfigureDialog::dialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK ConfigureDialog::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<ConfigureDialog*>(lParam);
        SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<ConfigureDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    // No exception may unwind into the dialog manager's frames. The settings dialog runs
    // outside any HotSync, so there is no log to report to: the message counts as unhandled.
    if (!self) return FALSE;
    return edge::Contained("the settings dialog", INT_PTR{FALSE},
                           [&] { return self->handle(message, wParam, lParam); });
}

INT_PTR ConfigureDialog::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        onInitDialog();
        return TRUE;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (PictureButton* picture = pictureFor(static_cast<int>(item->CtlID))) {
            picture->draw(*item);
            return TRUE;
        }
        return FALSE;
    }
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == link_.hwnd() && link_.hwnd())
            return reinterpret_cast<INT_PTR>(link_.ctlColor(reinterpret_cast<HDC>(wParam)));
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            exchange(true);
            EndDialog(hwnd_, IDOK);
            return TRUE;
        case IDCANCEL:  // also the close box and Escape
            EndDialog(hwnd_, IDCANCEL);
            return TRUE;
        case IDC_DESKTOP_APP:
            if (HIWORD(wParam) == BN_CLICKED) startDesktopApplication();
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

void ConfigureDialog::onInitDialog() {
    exchange(false);
    archiveBox_ = GetDlgItem(hwnd_, IDC_ARCHIVE);
    link_.subclassDlgItem(IDC_WEB_LINK, hwnd_);
    struct {
        PictureButton& button;
        int id;
        UINT bitmap;
        int width, height;
    } pictures[] = {
        {sync_, IDC_PICTURE_SYNC, IDB_ACTION_SYNC, kActionImageWidth, kActionImageHeight},
        {desktop_, IDC_PICTURE_DESKTOP, IDB_ACTION_DESKTOP, kActionImageWidth, kActionImageHeight},
        {handheld_, IDC_PICTURE_HANDHELD, IDB_ACTION_HANDHELD, kActionImageWidth, kActionImageHeight},
        {nothing_, IDC_PICTURE_NOTHING, IDB_ACTION_NOTHING, kActionImageWidth, kActionImageHeight},
        {logo_, IDC_PICTURE_LOGO, IDB_LOGO, kLogoWidth, kLogoHeight},
    };
    for (auto& picture : pictures) {
        if (!picture.button.attach(hwnd_, picture.id, module_)) continue;
        // The action pictures have no pressed look; the logo uses its one bitmap for both.
        picture.button.setImages(picture.bitmap, picture.id == IDC_PICTURE_LOGO ? picture.bitmap : 0,
                                 picture.width, picture.height);
        picture.button.fit();
    }
}

void ConfigureDialog::exchange(bool save) {
    ExchangeRadio(hwnd_, IDC_ACTION_SYNC, actionIndex, save);
    ExchangeCheck(hwnd_, IDC_ARCHIVE, archive, save);
    ExchangeCheck(hwnd_, IDC_SET_DEFAULT, setAsDefault, save);
    ExchangeRadio(hwnd_, IDC_FREQUENCY_EVERY, frequencyIndex, save);
}

void ConfigureDialog::startDesktopApplication() const {
    std::string application = DesktopApplicationPath(ModulePath(module_));
    if (application.empty()) return;
    // A failed start gives no message; the dialog stays open either way.
    ShellExecuteA(hwnd_, "open", application.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

PictureButton* ConfigureDialog::pictureFor(int controlId) {
    switch (controlId) {
    case IDC_PICTURE_SYNC: return &sync_;
    case IDC_PICTURE_DESKTOP: return &desktop_;
    case IDC_PICTURE_HANDHELD: return &handheld_;
    case IDC_PICTURE_NOTHING: return &nothing_;
    case IDC_PICTURE_LOGO: return &logo_;
    }
    return nullptr;
}
