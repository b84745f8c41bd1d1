// A simulated handheld for the main-memory tests, with databases made and read back through
// the Sync Manager calls themselves (never through the code under test).
#pragma once
#include <cstring>
#include <string>
#include <vector>

#include "HotSyncApi.h"
#include "StandinDevice.h"
#include "tests/mainmemory/LocationFixture.h"

struct TestRecord {
    std::string data;
    uint8_t attributes = 0;   // record database
    uint32_t type = 0;        // resource database
    uint16_t id = 0;
};

struct TestDatabase {
    std::string name;
    uint16_t attributes = 0;
    uint32_t type = 0x44415441;     // DATA
    uint32_t creator = 0x74657374;  // test
    uint16_t version = 0;
    std::string appInfo, sortInfo;
    std::vector<TestRecord> records;
};

class DeviceTest : public LocationTest {
protected:
    void SetUp() override {
        LocationTest::SetUp();
        device_ = root_ + "device";
        CreateDirectoryA(device_.c_str(), nullptr);
        CreateDirectoryA((device_ + "\\ram").c_str(), nullptr);
        writeBytes(device_ + "\\device.ini", {});
        const std::string ini = "[Device]\r\n";
        writeBytes(device_ + "\\device.ini", std::vector<uint8_t>(ini.begin(), ini.end()));
        ASSERT_EQ(StandinDeviceLoad(device_.c_str()), 0);
        // A simulator without its database calls yet cannot run these tests at all.
        SmCardInfo card{};
        if (SyncReadSingleCardInfo(&card) == STANDIN_ERR_NOT_SIMULATED) GTEST_SKIP() << "no simulated main memory";
        StandinTraceClear();
    }
    void TearDown() override {
        StandinFaultClear();
        StandinDeviceUnload();
    }

    static void create(const TestDatabase& db) {
        SmCreateRecord create{};
        create.creator = db.creator;
        create.flags = db.attributes;
        std::strncpy(create.name, db.name.c_str(), sizeof create.name - 1);
        create.type = db.type;
        create.version = db.version;
        ASSERT_EQ(SmCreateDb(&create), 0) << db.name;
        const uint8_t h = create.handle;
        auto block = [&](const std::string& bytes, bool sort) {
            if (bytes.empty()) return;
            std::string copy = bytes;
            SmBlockRecord rec{};
            rec.bufferSize = static_cast<uint16_t>(copy.size());
            rec.buffer = &copy[0];
            EXPECT_EQ(sort ? SyncWriteDBSortInfoBlock(h, &rec) : SmWriteAppInfoBlock(h, &rec), 0);
        };
        block(db.appInfo, false);
        block(db.sortInfo, true);
        for (const TestRecord& r : db.records) {
            std::string copy = r.data;
            SmRawRecord raw{};
            raw.handle = h;
            raw.buffer = copy.empty() ? nullptr : &copy[0];
            raw.dataSize = static_cast<uint32_t>(copy.size());
            raw.bufferSize = static_cast<uint16_t>(copy.size());
            if (db.attributes & 1) {
                raw.recordId = r.type;
                raw.index = r.id;
                EXPECT_EQ(SmWriteResource(&raw), 0);
            } else {
                raw.attributes = r.attributes;
                EXPECT_EQ(SmWriteRecord(&raw), 0);
            }
        }
        SmCloseDb(h);
    }

    static bool existsOnHandheld(const std::string& name) {
        SmFindDbRequest request{};
        request.options = 0xC0;
        request.name = name.c_str();
        SmDbListEntry found{};
        return SyncFindDbByName(&request, &found) == 0;
    }

    // Blocks and records as the handheld holds them, read with plain SDK calls.
    static TestDatabase readBack(const std::string& name) {
        TestDatabase db;
        uint8_t h = 0;
        if (SmOpenDb(0, name.c_str(), SM_OPEN_READ, &h) != 0) return db;
        SmOpenDbInfoRequest request{0xE0, h};
        SmOpenDbInfo info{};
        EXPECT_EQ(SyncReadOpenDbInfo(&request, &info), 0);
        db.name = std::string(info.entry.name, strnlen(info.entry.name, 32));
        db.attributes = info.entry.attributes;
        db.type = info.entry.type;
        db.creator = info.entry.creator;
        db.version = info.entry.version;
        auto block = [&](uint32_t size, bool sort) {
            std::string bytes(size, '\0');
            if (size == 0) return bytes;
            SmBlockRecord rec{};
            rec.bufferSize = static_cast<uint16_t>(size);
            rec.buffer = &bytes[0];
            EXPECT_EQ(sort ? SyncReadDBSortInfoBlock(h, &rec) : SmReadAppInfoBlock(h, &rec), 0);
            return bytes;
        };
        db.appInfo = block(info.appInfoSize, false);
        db.sortInfo = block(info.sortInfoSize, true);
        for (uint32_t i = 0; i < info.recordCount; ++i) {
            std::string bytes(info.maxRecordSize + 1, '\0');
            SmRawRecord raw{};
            raw.handle = h;
            raw.index = static_cast<uint16_t>(i);
            raw.buffer = &bytes[0];
            raw.bufferSize = static_cast<uint16_t>(bytes.size());
            const HsResult r = (db.attributes & 1) ? SyncReadResRecordByIndex(&raw, 1) : SmReadRecordByIndex(&raw);
            EXPECT_EQ(r, 0);
            TestRecord rec;
            rec.data = bytes.substr(0, raw.dataSize);
            if (db.attributes & 1) {
                rec.type = raw.recordId;
                rec.id = raw.index;
            } else {
                rec.attributes = raw.attributes;
            }
            db.records.push_back(rec);
        }
        SmCloseDb(h);
        return db;
    }

    static void expectSame(const TestDatabase& a, const TestDatabase& b) {
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.attributes & 0x7FFF, b.attributes & 0x7FFF);
        EXPECT_EQ(a.type, b.type);
        EXPECT_EQ(a.creator, b.creator);
        EXPECT_EQ(a.version, b.version);
        EXPECT_EQ(a.appInfo, b.appInfo);
        EXPECT_EQ(a.sortInfo, b.sortInfo);
        ASSERT_EQ(a.records.size(), b.records.size());
        for (size_t i = 0; i < a.records.size(); ++i) {
            EXPECT_EQ(a.records[i].data, b.records[i].data) << i;
            EXPECT_EQ(a.records[i].attributes, b.records[i].attributes) << i;
            EXPECT_EQ(a.records[i].type, b.records[i].type) << i;
            EXPECT_EQ(a.records[i].id, b.records[i].id) << i;
        }
    }

    static TestDatabase memoDb(const std::string& name = "Memo DB") {
        TestDatabase db;
        db.name = name;
        db.version = 2;
        db.appInfo = "categories: Unfiled, Business";
        db.sortInfo = "by date";
        db.records = {{"first memo", 0x20}, {"second memo", 0x09}, {"", 0x00}, {"last memo", 0x41}};
        return db;
    }
    static TestDatabase resourceDb(const std::string& name = "Launcher app") {
        TestDatabase db;
        db.name = name;
        db.attributes = 0x0001;
        db.type = 0x6170706C;
        db.version = 5;
        db.appInfo = "resource db info";
        db.records = {{"code 0", 0, 0x636F6465, 0}, {"code 1", 0, 0x636F6465, 1}, {"icon", 0, 0x7441494E, 1000}};
        return db;
    }

    std::string device_;
};
