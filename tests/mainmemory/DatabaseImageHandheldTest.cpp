// Moving databases between the simulated handheld and the image, and every failure code
// of those transfers.
#include <gtest/gtest.h>

#include <set>

#include "mainmemory/DatabaseImage.h"
#include "tests/mainmemory/DeviceFixture.h"

namespace {

std::string str(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

bool traceHas(const std::string& prefix) {
    for (size_t i = 0; i < StandinTraceCount(); ++i)
        if (std::string(StandinTraceLine(i)).rfind(prefix, 0) == 0) return true;
    return false;
}

size_t traceCountOf(const std::string& prefix) {
    size_t n = 0;
    for (size_t i = 0; i < StandinTraceCount(); ++i)
        if (std::string(StandinTraceLine(i)).rfind(prefix, 0) == 0) ++n;
    return n;
}

}  // namespace

TEST_F(DeviceTest, RecordDatabaseComesFromTheHandheldWhole) {
    create(memoDb());
    DatabaseImage img;
    ASSERT_TRUE(img.readFromHandheld("Memo DB")) << img.failureCode << ":" << img.lastSyncError;
    EXPECT_EQ(img.nameString(), "Memo DB");
    EXPECT_EQ(img.attributes & 0x8000, 0);
    EXPECT_EQ(img.version, 2);
    EXPECT_EQ(img.type, 0x44415441u);
    EXPECT_EQ(img.recordCount, 4);
    EXPECT_EQ(img.uniqueIdSeed, 0u);
    EXPECT_EQ(img.nextRecordList, 0u);
    // Until the file is laid out, the offsets hold the block sizes.
    EXPECT_EQ(img.appInfoOffset, img.appInfo.size());
    EXPECT_EQ(img.sortInfoOffset, img.sortInfo.size());
    EXPECT_EQ(str(img.appInfo), "categories: Unfiled, Business");
    EXPECT_EQ(str(img.sortInfo), "by date");
    ASSERT_EQ(img.records.size(), 4u);
    EXPECT_EQ(str(img.records[1]), "second memo");
    EXPECT_EQ(img.records[2].size(), 0u);
    EXPECT_EQ(img.recordEntries[0].attributes, 0x20);
    EXPECT_EQ(img.recordEntries[1].attributes, 0x09);
    EXPECT_EQ(img.failureCode, 0);
    // The unique IDs are the handheld's; they are kept, most significant byte first.
    std::set<uint32_t> ids;
    for (const RecordEntry& e : img.recordEntries)
        ids.insert((uint32_t(e.uniqueId[0]) << 16) | (uint32_t(e.uniqueId[1]) << 8) | e.uniqueId[2]);
    EXPECT_EQ(ids.size(), 4u);
    // The database was closed again: it can be deleted.
    EXPECT_EQ(SmDeleteDb("Memo DB", 0), 0);
}

// Handheld -> file -> handheld, for both kinds: everything the handheld keeps comes back.
TEST_F(DeviceTest, BackupAndInstallThroughAFileKeepEveryField) {
    for (const TestDatabase& original : {memoDb(), resourceDb()}) {
        SCOPED_TRACE(original.name);
        create(original);
        DatabaseImage out;
        ASSERT_TRUE(out.readFromHandheld(original.name));
        const std::string path = scratch_.file("backup.bin");
        ASSERT_TRUE(out.writeFile(path));
        ASSERT_EQ(SmDeleteDb(original.name.c_str(), 0), 0);

        DatabaseImage in;
        ASSERT_TRUE(in.readFile(path)) << in.failureCode;
        ASSERT_TRUE(in.writeToHandheld(in.nameString())) << in.failureCode << ":" << in.lastSyncError;
        expectSame(original, readBack(original.name));
    }
}

TEST_F(DeviceTest, WritingIntoAnExistingDatabaseAddsRecordsUnlessCreationIsRequired) {
    create(memoDb("TarnwickData"));
    DatabaseImage img;
    img.setName("TarnwickData");
    img.records = {{'x'}};
    img.recordEntries.resize(1);
    // The transfer database may be reused: the records go in after the ones there.
    ASSERT_TRUE(img.writeToHandheld("TarnwickData"));
    EXPECT_NE(img.lastSyncError, 0);  // the creation failed, which does not stop the write
    EXPECT_EQ(readBack("TarnwickData").records.size(), 5u);

    EXPECT_FALSE(img.writeToHandheld("TarnwickData", true));
    EXPECT_EQ(img.failureCode, DBIMAGE_OPEN_FOR_WRITE);
    EXPECT_FALSE(img.createdDatabase);
    EXPECT_EQ(readBack("TarnwickData").records.size(), 5u);
}

TEST_F(DeviceTest, FileSliceGoesToTheHandheldAsRecords) {
    std::vector<uint8_t> data(2500);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i);
    writeBytes(scratch_.file("card.bin"), data);
    DatabaseImage img;
    ASSERT_TRUE(img.loadFileSlice(scratch_.file("card.bin"), "TarnwickData", 0x546E776B, 0x44415441, 0, 0));
    ASSERT_TRUE(img.writeToHandheld("TarnwickData"));
    DatabaseImage back;
    ASSERT_TRUE(back.readFromHandheld("TarnwickData"));
    EXPECT_EQ(back.creator, 0x546E776Bu);
    ASSERT_TRUE(back.writeRecordsToFile(scratch_.file("again.bin"), false));
    EXPECT_EQ(readBytes(scratch_.file("again.bin")), data);
}

// Each Sync Manager step that can fail, the code it leaves and the database closed after it.
TEST_F(DeviceTest, EveryTransferFailureHasItsCode) {
    struct Case {
        const char* fault;
        bool write;
        bool resource;
        int32_t code;
    } cases[] = {
        {"SmOpenDb result=5", false, false, DBIMAGE_OPEN_FOR_READ},
        {"SyncReadOpenDbInfo result=5", false, false, DBIMAGE_READ_DBINFO},
        {"SmReadAppInfoBlock result=5", false, false, DBIMAGE_READ_APPINFO},
        {"SyncReadDBSortInfoBlock result=5", false, false, DBIMAGE_READ_SORTINFO},
        {"SyncReadResRecordByIndex nth=2 result=5", false, true, DBIMAGE_READ_RESOURCE},
        {"SmReadRecordByIndex nth=3 result=5", false, false, DBIMAGE_READ_RECORD},
        {"SmOpenDb result=5", true, false, DBIMAGE_OPEN_FOR_WRITE},
        {"SmWriteAppInfoBlock result=5", true, false, DBIMAGE_WRITE_APPINFO},
        {"SyncWriteDBSortInfoBlock result=5", true, false, DBIMAGE_WRITE_SORTINFO},
        {"SmWriteResource nth=2 result=5", true, true, DBIMAGE_WRITE_RESOURCE},
        {"SmWriteRecord nth=2 result=5", true, false, DBIMAGE_WRITE_RECORD},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        const TestDatabase db = c.resource ? resourceDb("Faulty") : memoDb("Faulty");
        DatabaseImage img;
        if (c.write) {
            create(db);
            ASSERT_TRUE(img.readFromHandheld("Faulty"));
            ASSERT_EQ(SmDeleteDb("Faulty", 0), 0);
        } else {
            create(db);
        }
        StandinTraceClear();
        ASSERT_EQ(StandinFaultAdd(c.fault), 0);
        const bool ok = c.write ? img.writeToHandheld("Faulty") : img.readFromHandheld("Faulty");
        StandinFaultClear();
        EXPECT_FALSE(ok);
        EXPECT_EQ(img.failureCode, c.code);
        EXPECT_EQ(img.lastSyncError, 5);
        // Opened databases are closed again on the way out; a failed open has nothing to close.
        const bool openFailed = std::string(c.fault).rfind("SmOpenDb", 0) == 0;
        EXPECT_EQ(traceCountOf("SmOpenDb"), traceCountOf("SmCloseDb") + (openFailed ? 1 : 0) - (c.write ? 1 : 0));
        EXPECT_EQ(SmDeleteDb("Faulty", 0), 0);
    }
}

TEST_F(DeviceTest, FailedCreationClosesNoHandle) {
    create(memoDb("Busy"));
    DatabaseImage img;
    img.setName("Busy");
    StandinTraceClear();
    ASSERT_EQ(StandinFaultAdd("SmCreateDb result=9"), 0);
    EXPECT_FALSE(img.writeToHandheld("Busy", true));
    EXPECT_EQ(img.lastSyncError, 9);
    EXPECT_EQ(img.failureCode, DBIMAGE_OPEN_FOR_WRITE);
    EXPECT_FALSE(traceHas("SmCloseDb"));
    EXPECT_FALSE(traceHas("SmOpenDb"));
}
