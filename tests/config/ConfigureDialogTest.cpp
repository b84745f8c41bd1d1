// Drives the real settings dialog with window messages from a second thread, as a user
// would: preselection, OK, Cancel, the close box, and what lands in the record and the
// settings file.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "conduit/config/ConfigResource.h"
#include "conduit/config/ConfigureDialog.h"
#include "settings/Settings.h"
#include "tests/config/DialogDriver.h"

namespace {

const int kActionRadios[] = {IDC_ACTION_SYNC, IDC_ACTION_DESKTOP, IDC_ACTION_HANDHELD, IDC_ACTION_NOTHING};
const int kFrequencyRadios[] = {IDC_FREQUENCY_EVERY, IDC_FREQUENCY_DAILY, IDC_FREQUENCY_WEEKLY,
                                IDC_FREQUENCY_MONTHLY};

ConduitConfigRecord MakeRecord(const char* user, int32_t currentAction) {
    ConduitConfigRecord record;
    std::memset(&record, 0xA5, sizeof record);  // bytes the dialog must leave alone stay visible
    record.version = 1;
    std::memset(record.userName, 0, sizeof record.userName);
    std::strncpy(record.userName, user, sizeof record.userName - 1);
    record.currentAction = currentAction;
    return record;
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Which radio of a group is checked: its position, -1 for none, -2 for more than one.
template <size_t N>
int CheckedIndex(HWND dialog, const int (&ids)[N]) {
    int found = -1;
    for (size_t i = 0; i < N; ++i)
        if (Checked(dialog, ids[i])) found = found == -1 ? static_cast<int>(i) : -2;
    return found;
}

class ConfigureDialogTest : public ::testing::Test {
protected:
    ScratchFolder folder{"config"};
    std::string iniPath = folder.file("Tarnwick.ini");
    Settings settings{iniPath};

    // Runs the dialog for the record, hands the open dialog to `work` and waits for the
    // dialog to end.
    template <typename Work>
    void run(ConduitConfigRecord& record, Work work) {
        DialogDriver driver([&] { RunConfigureDialog(record, settings); });
        HWND dialog = driver.waitForDialog();
        ASSERT_NE(dialog, nullptr) << "the settings dialog did not appear";
        work(dialog);
        ASSERT_TRUE(driver.waitDone()) << "the dialog did not close";
    }
};

TEST_F(ConfigureDialogTest, ActionInForceSelectsItsChoice) {
    // Slow synchronisation is not offered and shows as "do nothing", like every other code.
    const struct {
        int32_t action;
        int choice;
    } cases[] = {{0, 0}, {3, 1}, {2, 2}, {6, 3}, {1, 3}, {4, 3}, {-1, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE("action " + std::to_string(c.action));
        ConduitConfigRecord record = MakeRecord("Pat", c.action);
        run(record, [&](HWND dialog) {
            EXPECT_EQ(CheckedIndex(dialog, kActionRadios), c.choice);
            Click(dialog, IDCANCEL);
        });
    }
}

TEST_F(ConfigureDialogTest, UserWithoutSettingsSeesDefaults) {
    ConduitConfigRecord record = MakeRecord("Nobody Yet", 0);
    run(record, [&](HWND dialog) {
        EXPECT_TRUE(Checked(dialog, IDC_ARCHIVE));
        EXPECT_EQ(CheckedIndex(dialog, kFrequencyRadios), 0);
        EXPECT_FALSE(Checked(dialog, IDC_SET_DEFAULT));
        Click(dialog, IDCANCEL);
    });
}

TEST_F(ConfigureDialogTest, StoredSettingsArePreselected) {
    settings.setArchiveEnabled("Pat", false);
    settings.setFrequency("Pat", 3);
    settings.setFrequency("Other", 1);
    ConduitConfigRecord record = MakeRecord("Pat", 0);
    run(record, [&](HWND dialog) {
        EXPECT_FALSE(Checked(dialog, IDC_ARCHIVE));
        EXPECT_EQ(CheckedIndex(dialog, kFrequencyRadios), 3);
        Click(dialog, IDCANCEL);
    });
}

TEST_F(ConfigureDialogTest, OkWritesDesktopOverwritesAsDefaultAndTheOtherChoices) {
    ConduitConfigRecord record = MakeRecord("Pat", 0);
    ConduitConfigRecord before = record;
    run(record, [&](HWND dialog) {
        Click(dialog, IDC_ACTION_DESKTOP);
        Click(dialog, IDC_SET_DEFAULT);
        Click(dialog, IDC_FREQUENCY_WEEKLY);
        Click(dialog, IDC_ARCHIVE);  // clears it
        // The groups are separate: choosing a frequency leaves the action alone.
        EXPECT_EQ(CheckedIndex(dialog, kActionRadios), 1);
        EXPECT_EQ(CheckedIndex(dialog, kFrequencyRadios), 2);
        Click(dialog, IDOK);
    });
    EXPECT_EQ(record.chosenAction, 3);
    EXPECT_EQ(record.setAsDefault, 1);
    EXPECT_EQ(std::memcmp(&record, &before, 344), 0) << "bytes before offset 344 changed";
    EXPECT_FALSE(settings.archiveEnabled("Pat"));
    EXPECT_EQ(settings.readInt("Pat", "Archive", 99), 0);
    EXPECT_EQ(settings.frequency("Pat"), 2);
}

TEST_F(ConfigureDialogTest, OkWritesEachActionCode) {
    const struct {
        int radio;
        int32_t written;
    } cases[] = {{IDC_ACTION_SYNC, 0}, {IDC_ACTION_DESKTOP, 3}, {IDC_ACTION_HANDHELD, 2}, {IDC_ACTION_NOTHING, 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE("radio " + std::to_string(c.radio));
        ConduitConfigRecord record = MakeRecord("Pat", 2);
        run(record, [&](HWND dialog) {
            Click(dialog, c.radio);
            Click(dialog, IDOK);
        });
        EXPECT_EQ(record.chosenAction, c.written);
        EXPECT_EQ(record.setAsDefault, 2);
    }
}

TEST_F(ConfigureDialogTest, OkWithDoNothingAndDefaultClearWritesSixAndTwo) {
    ConduitConfigRecord record = MakeRecord("Pat", 0);
    run(record, [&](HWND dialog) {
        Click(dialog, IDC_ACTION_NOTHING);
        Click(dialog, IDC_FREQUENCY_DAILY);
        Click(dialog, IDOK);
    });
    EXPECT_EQ(record.chosenAction, 6);
    EXPECT_EQ(record.setAsDefault, 2);
    EXPECT_TRUE(settings.archiveEnabled("Pat"));
    EXPECT_EQ(settings.readInt("Pat", "Archive", 99), 1);
    EXPECT_EQ(settings.frequency("Pat"), 1);
}

TEST_F(ConfigureDialogTest, CancelAndCloseBoxWriteNothing) {
    settings.setFrequency("Pat", 2);
    const std::string fileBefore = FileText(iniPath);
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way == 0 ? "Cancel" : way == 1 ? "close box" : "Escape");
        ConduitConfigRecord record = MakeRecord("Pat", 0);
        ConduitConfigRecord before = record;
        run(record, [&](HWND dialog) {
            Click(dialog, IDC_ACTION_HANDHELD);
            Click(dialog, IDC_SET_DEFAULT);
            Click(dialog, IDC_ARCHIVE);
            Click(dialog, IDC_FREQUENCY_MONTHLY);
            if (way == 0)
                Click(dialog, IDCANCEL);
            else if (way == 1)
                SendMessageA(dialog, WM_CLOSE, 0, 0);
            else  // a key press through the dialog's own message loop
                PostMessageA(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
        });
        EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
        EXPECT_EQ(FileText(iniPath), fileBefore);
    }
}

TEST_F(ConfigureDialogTest, FrequencyOutsideTheChoicesShowsEverytime) {
    // Such a value behaves as every HotSync; the dialog shows that instead of no choice, and
    // only an OK replaces it.
    settings.setFrequency("Pat", 7);
    ConduitConfigRecord record = MakeRecord("Pat", 0);
    run(record, [&](HWND dialog) {
        EXPECT_EQ(CheckedIndex(dialog, kFrequencyRadios), 0);
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(settings.readInt("Pat", "Frequency", 99), 7);
    run(record, [&](HWND dialog) { Click(dialog, IDOK); });
    EXPECT_EQ(settings.readInt("Pat", "Frequency", 99), 0);
}

TEST_F(ConfigureDialogTest, UnterminatedUserNameStaysInsideItsField) {
    ConduitConfigRecord record = MakeRecord("", 3);
    std::memset(record.userName, 'U', sizeof record.userName);
    const std::string user(sizeof record.userName, 'U');
    run(record, [&](HWND dialog) {
        Click(dialog, IDC_FREQUENCY_MONTHLY);
        Click(dialog, IDOK);
    });
    EXPECT_EQ(record.chosenAction, 3);
    EXPECT_EQ(settings.frequency(user), 3);
}

TEST_F(ConfigureDialogTest, PictureButtonsAreFittedAroundTheirTemplatePlace) {
    ConduitConfigRecord record = MakeRecord("Pat", 0);
    run(record, [&](HWND dialog) {
        // The template's place in dialog units: left, top, width, height (mapped the way the
        // dialog maps its controls, each value on its own).
        const struct {
            int id;
            RECT units;
            int width, height;
        } pictures[] = {
            {IDC_PICTURE_SYNC, {20, 21, 32, 15}, 48, 24},    {IDC_PICTURE_DESKTOP, {20, 37, 32, 15}, 48, 24},
            {IDC_PICTURE_HANDHELD, {20, 53, 32, 15}, 48, 24}, {IDC_PICTURE_NOTHING, {20, 69, 32, 15}, 48, 24},
            {IDC_PICTURE_LOGO, {187, 157, 57, 18}, 85, 30},
        };
        for (const auto& p : pictures) {
            SCOPED_TRACE("picture " + std::to_string(p.id));
            RECT place = p.units;
            MapDialogRect(dialog, &place);
            const int centreX2 = 2 * place.left + place.right, centreY2 = 2 * place.top + place.bottom;
            RECT actual;
            GetWindowRect(GetDlgItem(dialog, p.id), &actual);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
            EXPECT_EQ(actual.right - actual.left, p.width);
            EXPECT_EQ(actual.bottom - actual.top, p.height);
            // Centred on the template's rectangle, give or take the rounding of odd sizes.
            EXPECT_NEAR(actual.left + actual.right, centreX2, 1);
            EXPECT_NEAR(actual.top + actual.bottom, centreY2, 1);
        }
        Click(dialog, IDCANCEL);
    });
}

// What a picture button shows, read back through its own drawing.
struct Picture {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
    COLORREF at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

Picture Snapshot(HWND window) {
    Picture picture;
    RECT rect;
    GetWindowRect(window, &rect);
    picture.width = rect.right - rect.left;
    picture.height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, picture.width, picture.height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    PrintWindow(window, memory, 0);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) picture.pixels.push_back(GetPixel(memory, x, y));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return picture;
}

TEST_F(ConfigureDialogTest, PictureButtonsDrawTheirBitmapsWithGreenTransparent) {
    ConduitConfigRecord record = MakeRecord("Pat", 0);
    run(record, [&](HWND dialog) {
        const COLORREF face = GetSysColor(COLOR_BTNFACE);
        for (int id : {IDC_PICTURE_SYNC, IDC_PICTURE_DESKTOP, IDC_PICTURE_HANDHELD, IDC_PICTURE_NOTHING,
                       IDC_PICTURE_LOGO}) {
            SCOPED_TRACE("picture " + std::to_string(id));
            Picture picture = Snapshot(GetDlgItem(dialog, id));
            ASSERT_GT(picture.pixels.size(), 0u);
            int green = 0, drawn = 0;
            for (COLORREF pixel : picture.pixels) {
                if (pixel == RGB(0, 255, 0)) ++green;
                if (pixel != face) ++drawn;
            }
            EXPECT_EQ(green, 0) << "the transparent colour shows";
            EXPECT_GT(drawn, picture.width * picture.height / 10) << "no picture drawn";
            EXPECT_EQ(picture.at(0, 0), face) << "the corners are background in every bitmap";
        }
        Click(dialog, IDCANCEL);
    });
}

TEST(ConfigureActionTest, UsesTheSettingsFileBesideTheModule) {
    const std::string path = TheSettings().path();
    ASSERT_FALSE(path.empty());
    DeleteFileA(path.c_str());
    ConduitConfigRecord record = MakeRecord("Beside", 6);
    int32_t size = sizeof record;
    DialogDriver driver([&] { RunConfigureAction(0, &record, &size); });
    HWND dialog = driver.waitForDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(Checked(dialog, IDC_ACTION_NOTHING));
    Click(dialog, IDC_ACTION_SYNC);
    Click(dialog, IDC_FREQUENCY_MONTHLY);
    Click(dialog, IDOK);
    ASSERT_TRUE(driver.waitDone());
    EXPECT_EQ(record.chosenAction, 0);
    EXPECT_EQ(size, static_cast<int32_t>(sizeof record));
    EXPECT_EQ(GetPrivateProfileIntA("Beside", "Frequency", 99, path.c_str()), 3u);
    EXPECT_EQ(GetPrivateProfileIntA("Beside", "Archive", 99, path.c_str()), 1u);
    DeleteFileA(path.c_str());
}

}  // namespace
