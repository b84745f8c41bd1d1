// The VFS route: how a volume is named, and what a missing listing says.
#include <gtest/gtest.h>
#include "CardTestSupport.h"
#include "StandinDevice.h"
#include "card/CardRules.h"
#include "card/VfsCardLocation.h"

namespace {

std::string deviceIni(const std::string& label) {
    return "[Device]\nVfs=1\n[Volume1]\nPath=card1\n" + (label.empty() ? std::string() : "Label=" + label + "\n");
}

VfsVolume firstVolume() {
    VfsLibrary library;
    uint16_t count = 1;
    VfsVolume volumes[1] = {0};
    EXPECT_EQ(0, library.VolumeEnumerate(&count, volumes));
    return volumes[0];
}

TEST(VfsCard, VolumeLabelsBecomeLocationNames) {
    {
        Workspace w(deviceIni("MainMemory"));
        ASSERT_EQ(0, w.load());
        VfsCardLocation location(&w.context, firstVolume());
        EXPECT_EQ("MainMemoryCard", location.locationName());
        EXPECT_EQ(w.pcRoot() + "MainMemoryCard", location.pcDirectory());
        EXPECT_EQ(w.pcRoot() + "MainMemoryCard", w.settings.directoryOf("Tester", "MainMemoryCard"));
    }
    {
        Workspace w(deviceIni(""));
        w.settings.setDirectoryOf("Tester", "Card", "C:\\elsewhere\\Card");
        w.settings.setDirectoryOf("Tester", "Card1", "C:\\elsewhere\\Card1");
        ASSERT_EQ(0, w.load());
        {
            VfsCardLocation location(&w.context, firstVolume());
            EXPECT_EQ("Card2", location.locationName());
            EXPECT_TRUE(logHas("Setting Volume Label to: Card2"));
        }
        w.unload();
        ASSERT_EQ(0, w.load());  // the card keeps its new label
        VfsCardLocation again(&w.context, firstVolume());
        EXPECT_EQ("Card2", again.locationName());
        EXPECT_FALSE(logContains("Setting Volume Label"));
    }
    {
        Workspace w(deviceIni(""));
        ASSERT_EQ(0, w.load());
        ASSERT_EQ(0, StandinFaultAdd("VFSVolumeSetLabel result=1"));
        VfsCardLocation location(&w.context, firstVolume());
        EXPECT_EQ("Default", location.locationName());
        EXPECT_TRUE(logHas("Setting Volume Label to: Card"));
    }
}

// A second card of one label that will not take its own key as its label keeps the key of
// its turn and says so; the driver counts it as an error. (Labelling it is the e2e suite's.)
TEST(VfsCard, ASecondCardOfOneLabelThatRefusesItsOwnLabelIsAnError) {
    Workspace w("[Device]\nVfs=1\n[Volume1]\nPath=card1\nLabel=Card A\n[Volume2]\nPath=card2\nLabel=Card A\n");
    LocationClaims claims;
    w.context.claims = &claims;
    ASSERT_EQ(0, w.load());
    ASSERT_EQ(0, StandinFaultAdd("VFSVolumeSetLabel result=1"));
    VfsLibrary library;
    uint16_t count = 2;
    VfsVolume volumes[2] = {0, 0};
    ASSERT_EQ(0, library.VolumeEnumerate(&count, volumes));
    VfsCardLocation first(&w.context, volumes[0]);
    VfsCardLocation second(&w.context, volumes[1]);
    EXPECT_FALSE(first.sharesItsLabel());
    EXPECT_TRUE(second.sharesItsLabel());
    EXPECT_EQ("Card A_2", second.locationName());
    EXPECT_TRUE(logHas("Could not set Volume Label(1): Card A_2"));
    EXPECT_EQ("Card A_2", w.settings.cardKeyOf("Tester", card::labelRecordKey("Card A", 2)));
}

// A label that is no folder name is mapped to one inside the PC root; only a label that
// maps to nothing usable skips the card, and then nothing is touched.
TEST(VfsCard, ALabelThatIsNoFolderNameIsMappedToOneOrTouchesNothing) {
    const std::pair<const char*, const char*> cases[] = {
        {"..\\..\\Escape", ".._.._Escape"}, {"C:", "C_"}, {"CON", "CON_"}, {"x\x01y", "x_y"}, {"..", ""}};
    for (const auto& c : cases) {
        const std::string label = c.first, key = c.second;
        Workspace w("[Device]\nCompanion=0\nVfs=1\n[Volume1]\nPath=card1\nLabel=" + label + "\n");
        writeFile(w.device("card1/x.txt"), "x");
        ASSERT_EQ(0, w.load());
        bool synchronised;
        {
            VfsCardLocation location(&w.context, firstVolume());
            synchronised = location.synchronise();
            if (!key.empty()) {
                EXPECT_EQ(w.pcRoot() + key, location.pcDirectory()) << label;
            }
        }
        EXPECT_EQ(!key.empty(), synchronised) << label;
        if (key.empty()) {
            EXPECT_TRUE(logContains("card name not usable as a PC folder")) << label;
            EXPECT_TRUE(traceOf("VFSFileGet").empty()) << label;
            EXPECT_TRUE(filesBelow(w.root() + "\\User").empty()) << label;
        } else {
            EXPECT_EQ("x", readFile(w.pc(key + "/x.txt"))) << label;
            EXPECT_TRUE(logContains(": PC folder name " + key + " (the label is no usable folder name)")) << label;
        }
        for (const std::string& f : filesBelow(w.root()))
            EXPECT_TRUE(f.find("Escape") == std::string::npos || f.compare(0, 5, "/User") == 0) << f;
        w.unload();
    }
}

TEST(VfsCard, TheCardListingFileNamesEntriesButNeverAPathOutsideTheFolder) {
    Workspace w(deviceIni("Card"));
    writeFile(w.device("card1/good.txt"), "good");
    writeFile(w.device("card1/MEMSTICK.IND"), "index");
    const char* evil[] = {"/../evil1.txt", "/a\\..\\..\\evil2.txt", "/evil7.txt.", "/x/../../evil3/", "evil4.txt"};
    std::string listing = "/good.txt\r\n/MEMSTICK.IND\n/Tarnwick.txt\n\n/memstick.ind\n";
    for (const char* name : evil) listing += std::string(name) + "\n";
    writeFile(w.device("card1/Tarnwick.txt"), listing);
    ASSERT_EQ(0, w.load());
    {
        VfsCardLocation location(&w.context, firstVolume());
        ASSERT_TRUE(location.synchronise());
        EntryMap& entries = location.entries();
        // The two names are left out in any case, as a FAT card reads them.
        EXPECT_EQ(0u, entries.count("/Tarnwick.txt"));
        EXPECT_EQ(0u, entries.count("/MEMSTICK.IND"));
        for (const char* name : evil) EXPECT_EQ(0u, entries.count(name)) << name;
    }
    EXPECT_FALSE(exists(w.device("card1/Tarnwick.txt")));  // read once, then deleted
    for (const char* name : evil) EXPECT_TRUE(logContains(std::string("unsafe file name from the handheld skipped: ") + name)) << name;
    w.unload();
    EXPECT_EQ("good", readFile(w.pc("Card/good.txt")));
    for (const std::string& f : filesBelow(w.root())) EXPECT_EQ(std::string::npos, f.find("evil")) << f;
}

TEST(VfsCard, AVolumeWithoutACardListingAsksForTheCompanion) {
    Workspace w(deviceIni("Card"));
    ASSERT_EQ(0, w.load());
    ASSERT_EQ(0, StandinFaultAdd("VFSFileGet name=/Tarnwick.txt times=1 result=10760"));
    VfsCardLocation location(&w.context, firstVolume());
    EXPECT_FALSE(location.listHandheld());
    EXPECT_TRUE(logHas("Error getting file list from the handheld"));
    EXPECT_TRUE(logHas("Make sure the Tarnwick application is installed on the handheld"));

    ASSERT_EQ(0, StandinFaultAdd("VFSFileGet name=/Tarnwick.txt result=-1"));
    EXPECT_FALSE(location.listHandheld());
    EXPECT_TRUE(logHas("Error getting VFS file list(ffffffff)"));
}

}  // namespace
