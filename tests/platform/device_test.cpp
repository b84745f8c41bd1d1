// The simulated handheld driven call by call, as the conduit would drive it, against
// device folders made by each test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

#include "HotSyncApi.h"
#include "VfsApi.h"
#include "StandinDevice.h"
#include "TestDevice.h"

namespace {
const uint32_t kTnwk = 0x546E776B, kAppl = 0x6170706C, kData = 0x64617461;

uint8_t openDb(const char* name, uint8_t mode) {
    uint8_t h = 0;
    EXPECT_EQ(0, SmOpenDb(0, name, mode, &h)) << name;
    return h;
}

SmCreateRecord createRecord(const char* name, uint32_t creator, uint32_t type, uint16_t attributes, uint16_t version) {
    SmCreateRecord c;
    std::memset(&c, 0, sizeof c);
    c.creator = creator;
    c.flags = attributes;
    std::strncpy(c.name, name, 31);
    c.type = type;
    c.version = version;
    return c;
}

void writeRecord(uint8_t h, uint8_t attributes, const std::string& data) {
    SmRawRecord r;
    std::memset(&r, 0, sizeof r);
    r.handle = h;
    r.attributes = attributes;
    r.buffer = const_cast<char*>(data.data());
    r.dataSize = static_cast<uint32_t>(data.size());
    r.bufferSize = static_cast<uint16_t>(data.size());
    ASSERT_EQ(0, SmWriteRecord(&r));
}

struct ReadBack {
    SmOpenDbInfo info;
    std::vector<SmRawRecord> raw;
    std::vector<std::string> data;
};

// Reads a database the way the conduit's image does: info, then every item by index.
ReadBack readAll(const char* name) {
    ReadBack out;
    uint8_t h = openDb(name, SM_OPEN_READ);
    SmOpenDbInfoRequest req = {0xE0, h};
    EXPECT_EQ(0, SyncReadOpenDbInfo(&req, &out.info));
    bool resource = out.info.entry.attributes & 1;
    for (uint32_t i = 0; i < out.info.recordCount; ++i) {
        std::string buf(out.info.maxRecordSize, '\0');
        SmRawRecord r;
        std::memset(&r, 0, sizeof r);
        r.handle = h;
        r.index = static_cast<uint16_t>(i);
        r.buffer = &buf[0];
        r.bufferSize = static_cast<uint16_t>(buf.size());
        EXPECT_EQ(0, resource ? SyncReadResRecordByIndex(&r, 1) : SmReadRecordByIndex(&r));
        buf.resize(r.dataSize);
        out.raw.push_back(r);
        out.data.push_back(buf);
    }
    EXPECT_EQ(0, SmCloseDb(h));
    return out;
}

// The transfer database's records joined, with the 8 lead bytes of text replies dropped.
std::string transferText(bool dropLead) {
    ReadBack rb = readAll("TarnwickData");
    std::string out;
    for (const std::string& d : rb.data) out += dropLead ? d.substr(8) : d;
    return out;
}

struct Reply {
    int32_t call;
    int32_t code;
};

Reply companion(uint16_t request, const std::string& text, uint32_t creator = kTnwk) {
    SmRemoteCall c;
    std::memset(&c, 0, sizeof c);
    char result[32] = {0};
    c.creator = creator;
    c.type = kAppl;
    c.request = request;
    c.paramSize = static_cast<uint32_t>(text.size() + 1);
    c.param = text.c_str();
    c.resultBufferSize = 32;
    c.resultBuffer = result;
    int32_t rc = SyncCallRemoteModule(&c);
    return {rc, c.resultCode};
}

// Puts bytes into TarnwickData as the conduit does before request 3.
void sendSlice(const std::string& bytes) {
    SmCreateRecord c = createRecord("TarnwickData", kTnwk, kData, 0, 0);
    SmCreateDb(&c);
    SmCloseDb(c.handle);
    uint8_t h = openDb("TarnwickData", SM_OPEN_WRITE);
    for (size_t at = 0; at < bytes.size(); at += 1024) writeRecord(h, 0, bytes.substr(at, 1024));
    SmCloseDb(h);
}

void* vfs(const char* name) {
    static HMODULE module = LoadLibraryA("vfsapi.dll");
    return reinterpret_cast<void*>(GetProcAddress(module, name));
}
#define VFS(name) reinterpret_cast<name##Fn>(vfs(#name))

std::string bigText(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 1024) % 26);
    return s;
}
}  // namespace

TEST(Device, LoadNeedsDeviceIniAndReadableDatabases) {
    EXPECT_NE(0, StandinDeviceLoad("C:\\no\\such\\folder"));
    TestDevice device("[Device]\nCompanion=2\n");
    EXPECT_EQ(0, device.load());
    device.write("ram/001-bad.db", "not a database\n");
    EXPECT_NE(0, device.load());
}

TEST(Device, RegistrationWorksAndAFaultFiresOnlyOnItsOccurrence) {
    TestDevice device("[Device]\n[Faults]\nF1=SmRegisterConduit nth=2 result=4660\n");
    ASSERT_EQ(0, device.load());
    uint32_t first = 0, second = 0, third = 0;
    EXPECT_EQ(0, SmRegisterConduit(&first));
    EXPECT_EQ(4660, SmRegisterConduit(&second));
    EXPECT_EQ(0, SmRegisterConduit(&third));
    EXPECT_NE(first, third);
    EXPECT_EQ(0, SmUnregisterConduit(first));
    EXPECT_EQ(0, SyncYieldCycles(1));
    EXPECT_EQ(1, StandinFaultFired());
    EXPECT_NE(std::string::npos, traceLines().find("SmRegisterConduit\t\t4660\tinjected"));
}

TEST(MainMemory, RecordDatabaseIsWrittenAndReadBackFieldByFieldAndSurvivesSave) {
    TestDevice device("[Device]\n");
    ASSERT_EQ(0, device.load());
    SmCreateRecord c = createRecord("Memo DB", 0x6D656D6F, kData, 0x0008, 3);
    ASSERT_EQ(0, SmCreateDb(&c));
    uint8_t h = c.handle;
    std::string app = "APPINFO\x01\x02", sort = "S";
    SmBlockRecord block;
    std::memset(&block, 0, sizeof block);
    block.buffer = &app[0];
    block.bufferSize = static_cast<uint16_t>(app.size());
    ASSERT_EQ(0, SmWriteAppInfoBlock(h, &block));
    block.buffer = &sort[0];
    block.bufferSize = 1;
    ASSERT_EQ(0, SyncWriteDBSortInfoBlock(h, &block));
    writeRecord(h, 0x20, "first");
    writeRecord(h, 0x09, std::string("se\0cond", 7));
    ASSERT_EQ(0, SmCloseDb(h));

    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "in memory" : "after save and reload");
        ReadBack rb = readAll("Memo DB");
        EXPECT_STREQ("Memo DB", rb.info.entry.name);
        EXPECT_EQ(0x8008, rb.info.entry.attributes);  // the open bit shows while it is open
        EXPECT_EQ(0x6D656D6Fu, rb.info.entry.creator);
        EXPECT_EQ(kData, rb.info.entry.type);
        EXPECT_EQ(3, rb.info.entry.version);
        EXPECT_EQ(2u, rb.info.recordCount);
        EXPECT_EQ(app.size(), rb.info.appInfoSize);
        EXPECT_EQ(1u, rb.info.sortInfoSize);
        EXPECT_EQ(7u, rb.info.maxRecordSize);
        EXPECT_GT(rb.info.entry.modificationDate, 3000000000u);  // seconds since 1904
        ASSERT_EQ(2u, rb.data.size());
        EXPECT_EQ("first", rb.data[0]);
        EXPECT_EQ(std::string("se\0cond", 7), rb.data[1]);
        EXPECT_EQ(0x20, rb.raw[0].attributes);
        EXPECT_EQ(0x09, rb.raw[1].attributes);
        EXPECT_NE(0u, rb.raw[0].recordId);
        EXPECT_NE(rb.raw[0].recordId, rb.raw[1].recordId);

        uint8_t r = openDb("Memo DB", SM_OPEN_READ);
        std::string got(64, '\0');
        block.buffer = &got[0];
        block.bufferSize = 64;
        ASSERT_EQ(0, SmReadAppInfoBlock(r, &block));
        EXPECT_EQ(app, got.substr(0, block.dataSize));
        ASSERT_EQ(0, SyncReadDBSortInfoBlock(r, &block));
        EXPECT_EQ("S", got.substr(0, block.dataSize));
        SmCloseDb(r);

        ASSERT_EQ(0, StandinDeviceSave());
        ASSERT_EQ(0, device.load());
    }
}

TEST(MainMemory, ResourceDatabaseKeepsTypesAndIds) {
    TestDevice device("[Device]\n");
    ASSERT_EQ(0, device.load());
    SmCreateRecord c = createRecord("Game", 0x47414D45, kAppl, 0x0001, 1);
    ASSERT_EQ(0, SmCreateDb(&c));
    for (uint16_t id : {1000, 1}) {
        std::string body = "res" + std::to_string(id);
        SmRawRecord r;
        std::memset(&r, 0, sizeof r);
        r.handle = c.handle;
        r.recordId = 0x74535452;  // tSTR
        r.index = id;
        r.buffer = &body[0];
        r.dataSize = static_cast<uint32_t>(body.size());
        ASSERT_EQ(0, SmWriteResource(&r));
    }
    SmCloseDb(c.handle);
    ASSERT_EQ(0, StandinDeviceSave());
    ASSERT_EQ(0, device.load());
    ReadBack rb = readAll("Game");
    ASSERT_EQ(2u, rb.data.size());
    EXPECT_EQ(0x74535452u, rb.raw[0].recordId);
    EXPECT_EQ(1000, rb.raw[0].index);
    EXPECT_EQ("res1000", rb.data[0]);
    EXPECT_EQ(1, rb.raw[1].index);
    // Record calls do not work on a resource database.
    uint8_t h = openDb("Game", SM_OPEN_READ);
    char buf[16];
    SmRawRecord r;
    std::memset(&r, 0, sizeof r);
    r.handle = h;
    r.buffer = buf;
    r.bufferSize = sizeof buf;
    EXPECT_EQ(STANDIN_SM_WRONG_KIND, SmReadRecordByIndex(&r));
    SmCloseDb(h);
}

TEST(MainMemory, CreateListFindDeleteAndTheirRefusals) {
    TestDevice device("[Device]\n");
    device.write("ram/001-Address.db",
                 "TarnwickSim database 1\nname=Address\ntype=DATA\ncreator=addr\nmodified=3400000000\n"
                 "record attr=0x40 uid=0x000010 text=Ann\\tSmith\n");
    ASSERT_EQ(0, device.load());

    // Creating a database that exists leaves it as it was, with its record.
    SmCreateRecord dup = createRecord("Address", kTnwk, kData, 0, 9);
    EXPECT_NE(0, SmCreateDb(&dup));
    ReadBack rb = readAll("Address");
    ASSERT_EQ(1u, rb.data.size());
    EXPECT_EQ("Ann\tSmith", rb.data[0]);
    EXPECT_EQ(0x10u, rb.raw[0].recordId);

    SmCreateRecord c = createRecord("Second", kTnwk, kData, 0, 0);
    ASSERT_EQ(0, SmCreateDb(&c));
    SmCloseDb(c.handle);

    SmCardInfo card;
    std::memset(&card, 0, sizeof card);
    ASSERT_EQ(0, SyncReadSingleCardInfo(&card));
    EXPECT_EQ(2, card.ramDbCount);
    SmDbListEntry list[4];
    int32_t n = 4;
    ASSERT_EQ(0, SmReadDbList(0, 0, 1, list, &n));
    ASSERT_EQ(2, n);
    EXPECT_STREQ("Address", list[0].name);
    EXPECT_EQ(3400000000u, list[0].modificationDate);
    EXPECT_STREQ("Second", list[1].name);
    n = 4;
    EXPECT_NE(0, SmReadDbList(0, 2, 1, list, &n));

    SmDbListEntry found;
    SmFindDbRequest find = {0xC0, 0, "Second"};
    ASSERT_EQ(0, SyncFindDbByName(&find, &found));
    EXPECT_EQ(kTnwk, found.creator);
    find.name = "Nothing";
    EXPECT_NE(0, SyncFindDbByName(&find, &found));

    // A read-only handle refuses writes; an open database cannot be deleted.
    uint8_t h = openDb("Address", SM_OPEN_READ);
    SmRawRecord r;
    std::memset(&r, 0, sizeof r);
    r.handle = h;
    EXPECT_EQ(STANDIN_SM_READ_ONLY, SmWriteRecord(&r));
    EXPECT_EQ(STANDIN_SM_BUSY, SmDeleteDb("Address", 0));
    SmCloseDb(h);
    EXPECT_NE(0, SmCloseDb(h));
    EXPECT_EQ(0, SmDeleteDb("Address", 0));
    uint8_t none = 0;
    EXPECT_NE(0, SmOpenDb(0, "Address", SM_OPEN_READ, &none));
    ASSERT_EQ(0, StandinDeviceSave());
    EXPECT_FALSE(fileExists(device.path("ram/001-Address.db")));
}

TEST(MainMemory, ASmallBufferGetsNothingAndIsTold) {
    TestDevice device("[Device]\n");
    device.write("ram/1.db", "TarnwickSim database 1\nname=Big\nrecord text=0123456789\n");
    ASSERT_EQ(0, device.load());
    uint8_t h = openDb("Big", SM_OPEN_READ);
    char buf[4] = {'x', 'x', 'x', 'x'};
    SmRawRecord r;
    std::memset(&r, 0, sizeof r);
    r.handle = h;
    r.buffer = buf;
    r.bufferSize = sizeof buf;
    EXPECT_EQ(STANDIN_SM_TOO_SMALL, SmReadRecordByIndex(&r));
    EXPECT_EQ(10u, r.dataSize);
    EXPECT_EQ('x', buf[0]);
    SmCloseDb(h);
}

class VfsTest : public ::testing::Test {
protected:
    VfsTest()
        : device("[Device]\nVfs=1\nCompanion=0\n[Volume1]\nPath=card1\nLabel=MyCard\n[Volume2]\nPath=card2\n") {
        device.write("card1/Docs/report.txt", "report body");
        device.write("card1/Docs/Deep/x.bin", "xx");
        device.write("card1/top.txt", "top");
        device.mkdir("card2");
        setHostMtime(device.path("card1/top.txt"), 1700000000);
    }
    void load() {
        ASSERT_EQ(0, device.load());
        uint16_t count = 0;
        ASSERT_EQ(0, VFS(VFSVolumeEnumerate)(&count, nullptr));
        ASSERT_EQ(2, count);
        ASSERT_EQ(0, VFS(VFSVolumeEnumerate)(&count, refs));
        ASSERT_EQ(2, count);
    }
    uint32_t sizeOf(const char* name) {
        VfsFileRef f = 0;
        uint32_t size = 0xFFFFFFFF;
        if (VFS(VFSFileOpen)(refs[0], name, VFS_MODE_READ, &f) != 0) return 0xFFFFFFFF;
        VFS(VFSFileSize)(f, &size);
        VFS(VFSFileClose)(f);
        return size;
    }
    TestDevice device;
    VfsVolume refs[2] = {0, 0};
};

TEST_F(VfsTest, SupportVolumesAndLabels) {
    load();
    uint32_t a = 0, b = 0;
    ASSERT_EQ(0, VFS(VFSSupport)(&a, &b));
    EXPECT_TRUE(a && b);
    EXPECT_NE(refs[0], refs[1]);
    char label[256];
    uint32_t length = 255;
    ASSERT_EQ(0, VFS(VFSVolumeGetLabel)(refs[0], label, &length));
    EXPECT_STREQ("MyCard", label);
    length = 255;
    label[0] = 'x';
    ASSERT_EQ(0, VFS(VFSVolumeGetLabel)(refs[1], label, &length));
    EXPECT_STREQ("", label);
    ASSERT_EQ(0, VFS(VFSVolumeSetLabel)(refs[1], "Card2"));
    EXPECT_NE(0, VFS(VFSVolumeSetLabel)(99, "x"));
    // The card holds its label at once: a HotSync killed now finds it at the next load.
    EXPECT_NE(std::string::npos, readFile(device.path("device.ini")).find("Label=Card2"));
    // A label that cannot be written is refused, and the card keeps the one it had.
    device.mkdir("device.ini.new");
    EXPECT_EQ(STANDIN_VFS_HOST_FAILED, VFS(VFSVolumeSetLabel)(refs[1], "Other"));
    RemoveDirectoryA(device.path("device.ini.new").c_str());
    length = 255;
    ASSERT_EQ(0, VFS(VFSVolumeGetLabel)(refs[1], label, &length));
    EXPECT_STREQ("Card2", label);
    load();
    length = 255;
    ASSERT_EQ(0, VFS(VFSVolumeGetLabel)(refs[1], label, &length));
    EXPECT_STREQ("Card2", label);
    EXPECT_NE(std::string::npos, readFile(device.path("device.ini")).find("Label=Card2"));
}

TEST_F(VfsTest, OpenGivesHandheldTimesAttributesAndSizes) {
    load();
    VfsFileRef f = 0;
    ASSERT_EQ(0, VFS(VFSFileOpen)(refs[0], "/top.txt", VFS_MODE_READ, &f));
    uint32_t date = 0, attributes = 0xFF, size = 0;
    ASSERT_EQ(0, VFS(VFSFileGetDate)(f, VFS_DATE_MODIFIED, &date));
    EXPECT_EQ(1700000000u + 2082844800u, date);
    ASSERT_EQ(0, VFS(VFSFileGetAttributes)(f, &attributes));
    EXPECT_EQ(0u, attributes & VFS_ATTR_DIRECTORY);
    ASSERT_EQ(0, VFS(VFSFileSize)(f, &size));
    EXPECT_EQ(3u, size);
    ASSERT_EQ(0, VFS(VFSFileClose)(f));
    EXPECT_NE(0, VFS(VFSFileClose)(f));

    ASSERT_EQ(0, VFS(VFSFileOpen)(refs[0], "/docs/", VFS_MODE_READ, &f));  // any case
    ASSERT_EQ(0, VFS(VFSFileGetAttributes)(f, &attributes));
    EXPECT_EQ(VFS_ATTR_DIRECTORY, attributes & VFS_ATTR_DIRECTORY);
    VFS(VFSFileClose)(f);

    EXPECT_EQ(VFS_ERR_NOT_FOUND, VFS(VFSFileOpen)(refs[0], "/missing.txt", VFS_MODE_READ, &f));
    EXPECT_EQ(VFS_ERR_NOT_FOUND, VFS(VFSFileOpen)(refs[0], "/Docs/nope/x", VFS_MODE_READ, &f));
    EXPECT_EQ(VFS_ERR_BAD_NAME, VFS(VFSFileOpen)(refs[0], "top.txt", VFS_MODE_READ, &f));
    EXPECT_EQ(VFS_ERR_BAD_NAME, VFS(VFSFileOpen)(refs[0], "/a//b", VFS_MODE_READ, &f));
}

TEST_F(VfsTest, CopiesToAndFromTheCardReplaceTheirTargetWholeOrNotAtAll) {
    load();
    std::string pc = tempPath("pc.bin");
    writeFile(pc, "old PC contents");
    ASSERT_EQ(0, VFS(VFSFileGet)(refs[0], "/Docs/report.txt", pc.c_str()));
    EXPECT_EQ("report body", readFile(pc));
    // A failed copy leaves the PC file as it was.
    EXPECT_EQ(VFS_ERR_NOT_FOUND, VFS(VFSFileGet)(refs[0], "/Docs/none.txt", pc.c_str()));
    EXPECT_EQ("report body", readFile(pc));
    EXPECT_NE(0, VFS(VFSFileGet)(refs[0], "/top.txt", "C:\\no\\such\\dir\\f.txt"));

    std::string big = bigText(300 * 1024 + 17);
    writeFile(pc, big);
    ASSERT_EQ(0, VFS(VFSFilePut)(refs[0], "/Docs/report.txt", pc.c_str()));
    EXPECT_EQ(big, readFile(device.path("card1/Docs/report.txt")));
    EXPECT_EQ(big.size(), sizeOf("/Docs/report.txt"));
    ASSERT_EQ(0, VFS(VFSFilePut)(refs[0], "/new.txt", pc.c_str()));
    EXPECT_EQ(big.size(), sizeOf("/new.txt"));
    EXPECT_EQ(VFS_ERR_NOT_FOUND, VFS(VFSFilePut)(refs[0], "/NoDir/new.txt", pc.c_str()));
    // A PC file that cannot be read leaves the card file as it was.
    EXPECT_NE(0, VFS(VFSFilePut)(refs[0], "/top.txt", "C:\\no\\such\\file"));
    EXPECT_EQ("top", readFile(device.path("card1/top.txt")));
    DeleteFileA(pc.c_str());
}

TEST_F(VfsTest, NamesCannotReachOutsideTheVolumeOrIntoDeviceIni) {
    load();
    std::string pc = tempPath("escape.txt");
    writeFile(pc, "escape");
    for (const char* name : {"/../escape.txt", "/Docs/../../escape.txt", "/./top.txt", "\\escape.txt",
                             "/C:escape.txt", "/Docs\\..\\..\\escape.txt"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(VFS_ERR_BAD_NAME, VFS(VFSFilePut)(refs[0], name, pc.c_str()));
        EXPECT_EQ(VFS_ERR_BAD_NAME, VFS(VFSDirCreate)(refs[0], name));
    }
    EXPECT_EQ(VFS_ERR_BAD_NAME, VFS(VFSFileRename)(refs[0], "/top.txt", ".."));
    EXPECT_EQ(VFS_ERR_BAD_NAME, VFS(VFSFileDelete)(refs[0], "/"));
    EXPECT_FALSE(fileExists(device.path("escape.txt")));
    // A label is one line of device.ini: it cannot carry another key in with it.
    EXPECT_EQ(VFS_ERR_BAD_NAME, VFS(VFSVolumeSetLabel)(refs[1], "X\n[Faults]\nf=SmOpenDb"));
    DeleteFileA(pc.c_str());
}

TEST_F(VfsTest, DirectoriesDeletesAndRenames) {
    load();
    EXPECT_EQ(0, VFS(VFSDirCreate)(refs[0], "/Pics/"));
    EXPECT_EQ(VFS_ERR_EXISTS, VFS(VFSDirCreate)(refs[0], "/Pics/"));
    EXPECT_EQ(VFS_ERR_EXISTS, VFS(VFSDirCreate)(refs[0], "/docs/"));
    EXPECT_EQ(VFS_ERR_NOT_FOUND, VFS(VFSDirCreate)(refs[0], "/a/b/"));
    EXPECT_EQ(VFS_ERR_BAD_NAME, VFS(VFSDirCreate)(refs[0], "/bad:name/"));
    EXPECT_TRUE(fileExists(device.path("card1/Pics")));

    EXPECT_EQ(STANDIN_VFS_NOT_EMPTY, VFS(VFSFileDelete)(refs[0], "/Docs/Deep/"));
    EXPECT_EQ(0, VFS(VFSFileDelete)(refs[0], "/Docs/Deep/x.bin"));
    EXPECT_EQ(0, VFS(VFSFileDelete)(refs[0], "/Docs/Deep/"));
    EXPECT_EQ(VFS_ERR_NOT_FOUND, VFS(VFSFileDelete)(refs[0], "/Docs/Deep/"));
    EXPECT_FALSE(fileExists(device.path("card1/Docs/Deep")));

    EXPECT_EQ(0, VFS(VFSFileRename)(refs[0], "/Docs/report.txt", "report_2.txt"));
    EXPECT_EQ(VFS_ERR_NOT_FOUND, VFS(VFSFileRename)(refs[0], "/Docs/report.txt", "x.txt"));
    EXPECT_EQ(VFS_ERR_EXISTS, VFS(VFSFileRename)(refs[0], "/top.txt", "Pics"));
    EXPECT_EQ(VFS_ERR_BAD_NAME, VFS(VFSFileRename)(refs[0], "/top.txt", "a/b"));
    EXPECT_EQ("report body", readFile(device.path("card1/Docs/report_2.txt")));
    // Renaming a directory carries what it holds.
    EXPECT_EQ(0, VFS(VFSFileRename)(refs[0], "/Docs/", "Papers"));
    EXPECT_EQ(11u, sizeOf("/Papers/report_2.txt"));
    EXPECT_EQ(0xFFFFFFFFu, sizeOf("/Docs/report_2.txt"));
    // As on FAT: a rename in case only shows the new spelling, and writing a file under
    // another spelling keeps the one it has.
    const auto spelling = [&](const std::string& relative) {
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA(device.path(relative).c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return std::string("<absent>");
        FindClose(find);
        return std::string(data.cFileName);
    };
    EXPECT_EQ(0, VFS(VFSFileRename)(refs[0], "/papers/report_2.txt", "REPORT_2.txt"));
    EXPECT_EQ("REPORT_2.txt", spelling("card1/Papers/report_2.txt"));
    EXPECT_EQ(0, VFS(VFSFileRename)(refs[0], "/Papers/", "PAPERS"));
    EXPECT_EQ("PAPERS", spelling("card1/Papers"));
    const std::string source = tempPath("source.txt");
    writeFile(source, "new body");
    EXPECT_EQ(0, VFS(VFSFilePut)(refs[0], "/papers/report_2.TXT", source.c_str()));
    EXPECT_EQ("REPORT_2.txt", spelling("card1/PAPERS/report_2.txt"));
    EXPECT_EQ("new body", readFile(device.path("card1/PAPERS/REPORT_2.txt")));
    DeleteFileA(source.c_str());
}

TEST_F(VfsTest, TheCompanionLeavesACardListingUnlessOneIsThere) {
    device.write("device.ini", "[Device]\nVfs=1\nCompanion=0\n[Volume1]\nPath=card1\n[Volume2]\nPath=card2\n");
    device.write("card2/Tarnwick.txt", "/hand-made\n");
    load();
    std::string pc = tempPath("listing.txt");
    ASSERT_EQ(0, VFS(VFSFileGet)(refs[0], "/Tarnwick.txt", pc.c_str()));
    std::string listing = readFile(pc);
    EXPECT_NE(std::string::npos, listing.find("/Docs/\n"));
    EXPECT_NE(std::string::npos, listing.find("/Docs/Deep/x.bin\n"));
    EXPECT_NE(std::string::npos, listing.find("/top.txt\n"));
    EXPECT_LT(listing.find("/Docs/\n"), listing.find("/Docs/report.txt\n"));
    // It is the companion's, not a file of the device folder: deleting it leaves no trace.
    EXPECT_FALSE(fileExists(device.path("card1/Tarnwick.txt")));
    EXPECT_EQ(0, VFS(VFSFileDelete)(refs[0], "/Tarnwick.txt"));
    EXPECT_EQ(VFS_ERR_NOT_FOUND, VFS(VFSFileGet)(refs[0], "/Tarnwick.txt", pc.c_str()));

    ASSERT_EQ(0, VFS(VFSFileGet)(refs[1], "/Tarnwick.txt", pc.c_str()));
    EXPECT_EQ("/hand-made\n", readFile(pc));
    DeleteFileA(pc.c_str());

    // Without the companion application nobody leaves a listing.
    device.write("device.ini", "[Device]\nVfs=1\n[Volume1]\nPath=card1\n[Volume2]\nPath=card2\n");
    load();
    EXPECT_EQ(VFS_ERR_NOT_FOUND, VFS(VFSFileGet)(refs[0], "/Tarnwick.txt", pc.c_str()));
}

namespace {
std::wstring wide(const std::string& ansi) {
    std::wstring out(ansi.size(), L'\0');
    out.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &out[0],
                                                        static_cast<int>(out.size()))));
    return out;
}
void writeWide(const std::wstring& path, const std::string& contents) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD done = 0;
    WriteFile(h, contents.data(), static_cast<DWORD>(contents.size()), &done, nullptr);
    CloseHandle(h);
}
bool existsWide(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
}  // namespace

// A card keeps its names in its own code page, whatever the host's names are: a name that
// code page has reaches the conduit in it and comes back to the same host file; one it
// lacks is no file of that card. Host paths past 260 characters work as short ones.
TEST(CardVolume, NamesInTheCardsCodePageAndLongHostPaths) {
    TestDevice device("[Device]\nVfs=1\nCompanion=2\n[Volume1]\nPath=card1\nLabel=JP\nCodePage=932\n"
                      "[Volume2]\nPath=card2\nLabel=West\n");
    device.mkdir("card1");
    device.write("card2/caf\xE9.txt", "cafe");
    writeWide(wide(device.path("card1")) + L"\\\u65E5\u672C.txt", "nihon");
    writeWide(wide(device.path("card2")) + L"\\\u65E5\u672C.txt", "no western card holds this name");
    ASSERT_EQ(0, device.load());
    const std::string nihon = "/\x93\xFA\x96\x7B.txt", chugoku = "/\x92\x86\x8D\x91.txt";  // in code page 932
    ASSERT_EQ(2, companion(0, "Tarnwick").code);
    const std::string listing = transferText(true);
    SmDeleteDb("TarnwickData", 0);
    EXPECT_EQ(0u, listing.find("<JP>\n" + nihon + "\t")) << listing;
    EXPECT_NE(std::string::npos, listing.find("<West>\n/caf\xE9.txt\t")) << listing;
    EXPECT_EQ(listing.rfind(nihon), listing.find(nihon)) << listing;
    EXPECT_EQ(std::string::npos, listing.find('?')) << listing;

    uint16_t count = 2;
    VfsVolume refs[2] = {0, 0};
    ASSERT_EQ(0, VFS(VFSVolumeEnumerate)(&count, refs));
    const std::string pc = tempPath("names.txt");
    ASSERT_EQ(0, VFS(VFSFileGet)(refs[0], nihon.c_str(), pc.c_str()));
    EXPECT_EQ("nihon", readFile(pc));
    ASSERT_EQ(0, VFS(VFSFilePut)(refs[0], chugoku.c_str(), pc.c_str()));
    ASSERT_EQ(0, VFS(VFSFilePut)(refs[1], "/M\xFCller.txt", pc.c_str()));
    EXPECT_TRUE(existsWide(wide(device.path("card1")) + L"\\\u4E2D\u56FD.txt"));
    EXPECT_TRUE(existsWide(wide(device.path("card2")) + L"\\M\u00FCller.txt"));
    // FAT takes the code page's letters in either case as one name, not only A to Z.
    ASSERT_EQ(0, VFS(VFSFilePut)(refs[1], "/CAF\xC9.TXT", pc.c_str()));
    ASSERT_EQ(2, companion(0, "Tarnwick").code);
    const std::string after = transferText(true);
    SmDeleteDb("TarnwickData", 0);
    EXPECT_NE(std::string::npos, after.find("/caf\xE9.txt\t")) << after;
    EXPECT_EQ(std::string::npos, after.find("/CAF\xC9.TXT")) << after;
    EXPECT_EQ("nihon", readFile(device.path("card2/caf\xE9.txt")));

    // Three folders of 100 characters take the host path past 260.
    std::string deep;
    for (int i = 0; i < 3; ++i) {
        deep += "/" + std::string(100, static_cast<char>('a' + i));
        ASSERT_EQ(0, VFS(VFSDirCreate)(refs[1], deep.c_str())) << deep.size();
    }
    ASSERT_GT(device.path("card2").size() + deep.size(), 260u);
    ASSERT_EQ(0, VFS(VFSFilePut)(refs[1], (deep + "/f.txt").c_str(), pc.c_str()));
    ASSERT_EQ(0, VFS(VFSFileRename)(refs[1], (deep + "/f.txt").c_str(), "g.txt"));
    ASSERT_EQ(0, StandinDeviceSave());
    ASSERT_EQ(0, device.load());  // found again by the scan
    ASSERT_EQ(0, VFS(VFSVolumeEnumerate)(&count, refs));
    DeleteFileA(pc.c_str());
    ASSERT_EQ(0, VFS(VFSFileGet)(refs[1], (deep + "/g.txt").c_str(), pc.c_str()));
    EXPECT_EQ("nihon", readFile(pc));
    EXPECT_EQ(0, VFS(VFSFileDelete)(refs[1], (deep + "/g.txt").c_str()));
    EXPECT_EQ(0, VFS(VFSFileDelete)(refs[1], deep.c_str()));
    DeleteFileA(pc.c_str());

    device.write("device.ini", "[Device]\n[Volume1]\nCodePage=4711\n");
    EXPECT_NE(0, device.load());
}

// What a FAT card takes, the simulated one takes: names whose two-byte characters end in the
// byte of "\" (表 95 5C, ソ 83 5C, 能 94 5C in code page 932), and names a plain host path
// would open a device for, each the host file of that very name.
TEST(CardVolume, TwoByteAndDeviceNamesAreCardNames) {
    TestDevice device("[Device]\nVfs=1\n[Volume1]\nPath=card1\nCodePage=932\n[Volume2]\nPath=card2\n");
    device.mkdir("card1");
    device.mkdir("card2");
    writeWide(L"\\\\?\\" + wide(device.path("card2")) + L"\\aux.txt", "made on the host");
    ASSERT_EQ(0, device.load());
    uint16_t count = 2;
    VfsVolume refs[2] = {0, 0};
    ASSERT_EQ(0, VFS(VFSVolumeEnumerate)(&count, refs));
    const std::string pc = tempPath("names.txt");
    ASSERT_EQ(0, VFS(VFSFileGet)(refs[1], "/AUX.TXT", pc.c_str()));  // not the device
    EXPECT_EQ("made on the host", readFile(pc));
    const std::pair<std::string, std::wstring> rows[] = {  // the first two on the code page 932 card
        {"/\x95\x5C.txt", L"card1\\\u8868.txt"}, {"/\x83\x5C/\x94\x5C.txt", L"card1\\\u30BD\\\u80FD.txt"},
        {"/con.txt", L"card2\\con.txt"}, {"/nul", L"card2\\nul"}, {"/Con/x.txt", L"card2\\Con\\x.txt"}};
    for (const auto& r : rows) {
        const VfsVolume v = refs[r.second[4] == L'1' ? 0 : 1];
        const std::string folder = r.first.substr(0, r.first.rfind('/'));
        const std::wstring host = L"\\\\?\\" + wide(device.path("")) + r.second;
        if (!folder.empty()) {
            EXPECT_EQ(0, VFS(VFSDirCreate)(v, folder.c_str())) << r.first;
        }
        EXPECT_EQ(0, VFS(VFSFilePut)(v, r.first.c_str(), pc.c_str())) << r.first;
        EXPECT_TRUE(existsWide(host)) << r.first;
        const std::string renamed = "renamed" + std::to_string(&r - rows);
        EXPECT_EQ(0, VFS(VFSFileRename)(v, r.first.c_str(), renamed.c_str())) << r.first;
        EXPECT_FALSE(existsWide(host)) << r.first;
        EXPECT_EQ(0, VFS(VFSFileGet)(v, (folder + "/" + renamed).c_str(), pc.c_str())) << r.first;
    }
    DeleteFileA(pc.c_str());
}

class CompanionTest : public ::testing::Test {
protected:
    CompanionTest()
        : device("[Device]\nCompanion=2\nSliceFigure=65536\n[Volume1]\nPath=card1\nLabel=Card A\n"
                 "[Volume2]\nPath=card2\n") {
        device.write("card1/DCIM/p.jpg", bigText(300000));
        device.write("card1/empty.txt", "");
        device.mkdir("card2/Music");
        setHostMtime(device.path("card1/DCIM/p.jpg"), 1600000000);
    }
    TestDevice device;
};

TEST_F(CompanionTest, ProbeAnswersTheModeAndLeavesTheListingOfAllCards) {
    ASSERT_EQ(0, device.load());
    Reply r = companion(0, "Tarnwick");
    ASSERT_EQ(0, r.call);
    EXPECT_EQ(2, r.code);
    EXPECT_NE(std::string::npos,
              traceLines().find("SyncCallRemoteModule\tcreator=Tnwk type=appl request=0 size=9 code=2 param=Tarnwick\t0\n"));
    std::string listing = transferText(true);
    EXPECT_EQ(0u, listing.find("<Card A>\n"));
    EXPECT_NE(std::string::npos, listing.find("/DCIM/\t"));
    EXPECT_NE(std::string::npos, listing.find("/DCIM/p.jpg\t" + std::to_string(1600000000u + 2082844800u) + " "));
    EXPECT_NE(std::string::npos, listing.find(" 300000\n"));
    EXPECT_NE(std::string::npos, listing.find("<Card2>\n/Music/\t"));
    EXPECT_EQ(std::string::npos, listing.find("Tarnwick.txt"));

    // A wrong creator or an uninstalled companion is a failed call, not a result code.
    EXPECT_NE(0, companion(0, "Tarnwick", 0x41424344).call);
}

TEST_F(CompanionTest, AListingFileInTheDeviceFolderIsHandedOverAsItIs) {
    std::string odd = "<Card A>\njunk\n<>\n/x\t1 2\r\n";
    device.write("listing.txt", odd);
    ASSERT_EQ(0, device.load());
    ASSERT_EQ(2, companion(0, "Tarnwick").code);
    EXPECT_EQ(odd, transferText(true));
}

TEST_F(CompanionTest, FetchSlicesSendSlicesAndConsumeTheTransferDatabase) {
    ASSERT_EQ(0, device.load());
    EXPECT_EQ(65536, companion(9, "Card A").code);
    std::string whole = readFile(device.path("card1/DCIM/p.jpg"));
    std::string got;
    for (uint32_t offset = 0; offset < 300000; offset += 131072) {
        Reply r = companion(2, "Card A|/DCIM/p.jpg|" + std::to_string(offset) + "|131072");
        ASSERT_EQ(0, r.call);
        ASSERT_EQ(0, r.code);
        got += transferText(false);
        ASSERT_EQ(0, SmDeleteDb("TarnwickData", 0));
    }
    EXPECT_EQ(whole, got);
    EXPECT_NE(std::string::npos, traceLines().find("param=Card A|/DCIM/p.jpg|131072|131072\t0"));

    // Sent back in slices under a new name: the plain name starts the file, "*" appends.
    sendSlice(whole.substr(0, 131072));
    ASSERT_EQ(0, companion(3, "Card A|/DCIM/copy.jpg").code);
    sendSlice(whole.substr(131072));
    ASSERT_EQ(0, companion(3, "Card A|*/DCIM/copy.jpg").code);
    EXPECT_EQ(whole, readFile(device.path("card1/DCIM/copy.jpg")));
    uint8_t h = 0;
    EXPECT_NE(0, SmOpenDb(0, "TarnwickData", SM_OPEN_READ, &h));  // consumed
    EXPECT_EQ(STANDIN_COMPANION_NOT_FOUND, companion(3, "Card A|*/DCIM/copy.jpg").code);

    // Request 4 describes the new file.
    ASSERT_EQ(0, companion(4, "Card A|/DCIM/copy.jpg").code);
    std::string line = transferText(true);
    EXPECT_EQ(0u, line.find("/DCIM/copy.jpg\t"));
    EXPECT_NE(std::string::npos, line.find(" 300000\n"));
    SmDeleteDb("TarnwickData", 0);
    EXPECT_EQ(STANDIN_COMPANION_NOT_FOUND, companion(4, "Card A|/DCIM/none").code);
    EXPECT_EQ(STANDIN_COMPANION_BAD_REQUEST, companion(2, "No Card|/DCIM/p.jpg|0|10").code);
    EXPECT_EQ(STANDIN_COMPANION_BAD_REQUEST, companion(1, "Card A").code);
}

TEST_F(CompanionTest, DirectoryDeleteAndRenameRequests) {
    ASSERT_EQ(0, device.load());
    EXPECT_EQ(0, companion(5, "Card2|/Music/Jazz").code);
    EXPECT_EQ(0, companion(5, "Card2|/Music/Jazz").code);  // exists: fine
    EXPECT_TRUE(fileExists(device.path("card2/Music/Jazz")));
    EXPECT_EQ(STANDIN_COMPANION_FAILED, companion(6, "Card2|/Music").code);  // not empty
    EXPECT_EQ(0, companion(6, "Card2|/Music/Jazz").code);
    EXPECT_EQ(0, companion(6, "Card2|/Music/Jazz").code);  // already gone
    EXPECT_FALSE(fileExists(device.path("card2/Music/Jazz")));

    EXPECT_EQ(0, companion(8, "Card A|/empty.txt|empty_2.txt").code);
    EXPECT_TRUE(fileExists(device.path("card1/empty_2.txt")));
    EXPECT_EQ(STANDIN_COMPANION_NOT_FOUND, companion(8, "Card A|/empty.txt|x.txt").code);
    EXPECT_EQ(0, companion(7, "Card A|/empty_2.txt").code);
    EXPECT_FALSE(fileExists(device.path("card1/empty_2.txt")));
    EXPECT_EQ(STANDIN_COMPANION_FAILED, companion(7, "Card A|/DCIM").code);  // a directory
}

// A copy to the card is staged in "<name>.tw<pid>-<n>.part" beside its target; one that a
// killed process left behind is deleted at the next load instead of becoming a card file.
TEST_F(CompanionTest, StagedCopiesOfAKilledProcessAreDroppedAtLoad) {
    device.write("card1/DCIM/p.jpg.tw4711-3.part", "half a copy");
    device.write("card1/top.txt.tw12-1.part", "half a copy");
    device.write("card1/notes.tw.part", "a user's file");
    device.write("card1/v.tw1-2x.part", "a user's file");
    ASSERT_EQ(0, device.load());
    ASSERT_EQ(2, companion(0, "Tarnwick").code);
    const std::string listing = transferText(true);
    SmDeleteDb("TarnwickData", 0);
    EXPECT_EQ(std::string::npos, listing.find(".tw4711-3.part")) << listing;
    EXPECT_EQ(std::string::npos, listing.find(".tw12-1.part")) << listing;
    EXPECT_FALSE(fileExists(device.path("card1/DCIM/p.jpg.tw4711-3.part")));
    EXPECT_FALSE(fileExists(device.path("card1/top.txt.tw12-1.part")));
    EXPECT_NE(std::string::npos, listing.find("/notes.tw.part\t"));
    EXPECT_NE(std::string::npos, listing.find("/v.tw1-2x.part\t"));
    EXPECT_EQ(300000u, readFile(device.path("card1/DCIM/p.jpg")).size());

    // A hidden file sent in slices is renamed into place, but never over a name that exists.
    sendSlice("new contents");
    ASSERT_EQ(0, companion(3, "Card A|/DCIM/.upload").code);
    EXPECT_EQ(STANDIN_COMPANION_EXISTS, companion(8, "Card A|/DCIM/.upload|p.jpg").code);
    ASSERT_EQ(0, companion(7, "Card A|/DCIM/p.jpg").code);
    ASSERT_EQ(0, companion(8, "Card A|/DCIM/.upload|p.jpg").code);
    EXPECT_EQ("new contents", readFile(device.path("card1/DCIM/p.jpg")));
    EXPECT_FALSE(fileExists(device.path("card1/DCIM/.upload")));
}

TEST(Faults, MatchByCallNameArgumentAndOccurrence) {
    TestDevice device(
        "[Device]\nVfs=1\nCompanion=3\n[Volume1]\nPath=card1\n"
        "[Faults]\n"
        "a=VFSFileOpen name=/b.txt result=10760\n"
        "b=SyncCallRemoteModule name=9 code=77\n"
        "c=SmOpenDb nth=2 result=5\n");
    device.write("card1/a.txt", "a");
    device.write("card1/b.txt", "b");
    ASSERT_EQ(0, device.load());
    VfsFileRef f = 0;
    uint16_t count = 1;
    VfsVolume ref = 0;
    ASSERT_EQ(0, VFS(VFSVolumeEnumerate)(&count, &ref));
    EXPECT_EQ(0, VFS(VFSFileOpen)(ref, "/a.txt", VFS_MODE_READ, &f));
    EXPECT_EQ(10760, VFS(VFSFileOpen)(ref, "/B.TXT", VFS_MODE_READ, &f));
    EXPECT_EQ(10760, VFS(VFSFileOpen)(ref, "/b.txt", VFS_MODE_READ, &f));  // no nth: every time

    Reply slice = companion(9, "Card1");
    EXPECT_EQ(0, slice.call);
    EXPECT_EQ(77, slice.code);
    EXPECT_EQ(3, companion(0, "Tarnwick").code);

    uint8_t h = 0;
    EXPECT_EQ(0, SmOpenDb(0, "TarnwickData", SM_OPEN_READ, &h));
    EXPECT_EQ(5, SmOpenDb(0, "TarnwickData", SM_OPEN_READ, &h));
    EXPECT_EQ(0, SmOpenDb(0, "TarnwickData", SM_OPEN_READ, &h));
    EXPECT_EQ(4, StandinFaultFired());

    // Added from a test, in the same syntax; a line that is not understood is refused.
    EXPECT_EQ(0, StandinFaultAdd("VFSFileGetDate times=1 result=9"));
    EXPECT_NE(0, StandinFaultAdd("VFSFileGetDate bogus"));
    uint32_t date = 0;
    EXPECT_EQ(9, VFS(VFSFileGetDate)(f, VFS_DATE_MODIFIED, &date));
    EXPECT_EQ(0, VFS(VFSFileGetDate)(f, VFS_DATE_MODIFIED, &date));
    StandinFaultClear();
    EXPECT_EQ(0, VFS(VFSFileOpen)(ref, "/b.txt", VFS_MODE_READ, &f));
}

TEST(Users, ComeFromDeviceIni) {
    TestDevice device(
        "[Device]\n"
        "[User1]\nFolder=C:\\Users\\Ann\\\nmemo=3,!-1\nTnwk=!-1,!-1\n");
    ASSERT_EQ(0, device.load());
    uint32_t user = 0;
    EXPECT_NE(0, UdUserByFolder("C:\\Users\\Bob", &user));
    ASSERT_EQ(0, UdUserByFolder("C:\\Users\\Ann", &user));
    int32_t a = 0, b = 0;
    EXPECT_EQ(0, UdUserValueA(user, 0x6D656D6F, &a));
    EXPECT_EQ(3, a);
    EXPECT_EQ(-1, UdUserValueB(user, 0x6D656D6F, &b));
    EXPECT_EQ(-1, UdUserValueA(user, 0x41424344, &a));  // a conduit without a value
}

TEST(DemoHandheld, HasTwoVolumesNestedFoldersABigFileAndDatabases) {
    const char* source = std::getenv("TARNWICK_SOURCE_DIR");
    if (!source) GTEST_SKIP() << "TARNWICK_SOURCE_DIR not set";
    std::string dir = std::string(source) + "/demo";
    ASSERT_EQ(0, StandinDeviceLoad(dir.c_str())) << StandinDeviceLoadError();
    uint16_t count = 2;
    VfsVolume refs[2];
    ASSERT_EQ(0, VFS(VFSVolumeEnumerate)(&count, refs));
    ASSERT_EQ(2, count);
    char label[256];
    uint32_t length = 255;
    VFS(VFSVolumeGetLabel)(refs[0], label, &length);
    EXPECT_STREQ("DemoCard", label);
    length = 255;
    VFS(VFSVolumeGetLabel)(refs[1], label, &length);
    EXPECT_STREQ("", label);
    VfsFileRef f = 0;
    uint32_t size = 0;
    ASSERT_EQ(0, VFS(VFSFileOpen)(refs[0], "/Photos/2026/beach.jpg", VFS_MODE_READ, &f));
    VFS(VFSFileSize)(f, &size);
    VFS(VFSFileClose)(f);
    EXPECT_GT(size, 300u * 1024);
    SmCardInfo card;
    std::memset(&card, 0, sizeof card);
    ASSERT_EQ(0, SyncReadSingleCardInfo(&card));
    EXPECT_EQ(3, card.ramDbCount);
    EXPECT_EQ(2u, readAll("MemoDB").data.size());
    EXPECT_EQ(2u, readAll("Demo Game").data.size());
    StandinDeviceUnload();  // never saved: the demo folder stays as it is in the tree
}
