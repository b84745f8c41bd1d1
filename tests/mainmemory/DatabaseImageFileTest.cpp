// The .pdb/.prc file layout, the file slices and hostile files.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "mainmemory/DatabaseImage.h"
#include "tests/mainmemory/TestFiles.h"

namespace {

std::vector<uint8_t> bytesOf(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }
uint32_t be32At(const std::vector<uint8_t>& b, size_t at) {
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}
uint16_t be16At(const std::vector<uint8_t>& b, size_t at) { return uint16_t((b[at] << 8) | b[at + 1]); }
void put32At(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v >> 24);
    b[at + 1] = uint8_t(v >> 16);
    b[at + 2] = uint8_t(v >> 8);
    b[at + 3] = uint8_t(v);
}

DatabaseImage sampleRecordDb(bool withApp, bool withSort) {
    DatabaseImage img;
    img.setName("Memo DB");
    img.attributes = 0x0008;
    img.version = 3;
    img.creationDate = 0xB1C2D3E4;
    img.modificationDate = 0xB1C2D3F0;
    img.backupDate = 0x01020304;
    img.modificationNumber = 77;
    img.type = 0x44415441;     // DATA
    img.creator = 0x6D656D6F;  // memo
    if (withApp) img.appInfo = bytesOf("application info block");
    if (withSort) img.sortInfo = bytesOf("sort");
    img.records = {bytesOf("first record"), bytesOf(""), bytesOf("third, a little longer")};
    img.recordEntries.resize(3);
    img.recordEntries[0].attributes = 0x20;
    img.recordEntries[1].attributes = 0x09;
    img.recordEntries[2].attributes = 0x40;
    const uint8_t ids[3][3] = {{0x00, 0x00, 0x01}, {0x12, 0x34, 0x56}, {0xFF, 0xFE, 0xFD}};
    for (int i = 0; i < 3; ++i) std::memcpy(img.recordEntries[i].uniqueId, ids[i], 3);
    img.recordCount = 3;
    return img;
}

DatabaseImage sampleResourceDb(bool withApp, bool withSort) {
    DatabaseImage img;
    img.setName("Launcher app");
    img.attributes = 0x0001;
    img.version = 1;
    img.type = 0x6170706C;     // appl
    img.creator = 0x54657374;  // Test
    if (withApp) img.appInfo = bytesOf("AI");
    if (withSort) img.sortInfo = bytesOf("SI!");
    img.records = {bytesOf("code resource"), bytesOf("tAIN"), bytesOf("x")};
    img.resourceEntries = {{0x636F6465, 0, 0}, {0x7441494E, 1000, 0}, {0x50524546, 0xFFFF, 0}};
    img.recordCount = 3;
    return img;
}

void expectSameContent(const DatabaseImage& a, const DatabaseImage& b) {
    EXPECT_EQ(0, std::memcmp(a.name, b.name, sizeof a.name));
    EXPECT_EQ(a.attributes, b.attributes);
    EXPECT_EQ(a.version, b.version);
    EXPECT_EQ(a.creationDate, b.creationDate);
    EXPECT_EQ(a.modificationDate, b.modificationDate);
    EXPECT_EQ(a.backupDate, b.backupDate);
    EXPECT_EQ(a.modificationNumber, b.modificationNumber);
    EXPECT_EQ(a.type, b.type);
    EXPECT_EQ(a.creator, b.creator);
    EXPECT_EQ(a.recordCount, b.recordCount);
    EXPECT_EQ(a.appInfo, b.appInfo);
    EXPECT_EQ(a.sortInfo, b.sortInfo);
    EXPECT_EQ(a.records, b.records);
    ASSERT_EQ(a.recordEntries.size(), b.recordEntries.size());
    for (size_t i = 0; i < a.recordEntries.size(); ++i) {
        EXPECT_EQ(a.recordEntries[i].attributes, b.recordEntries[i].attributes) << i;
        EXPECT_EQ(0, std::memcmp(a.recordEntries[i].uniqueId, b.recordEntries[i].uniqueId, 3)) << i;
    }
    ASSERT_EQ(a.resourceEntries.size(), b.resourceEntries.size());
    for (size_t i = 0; i < a.resourceEntries.size(); ++i) {
        EXPECT_EQ(a.resourceEntries[i].type, b.resourceEntries[i].type) << i;
        EXPECT_EQ(a.resourceEntries[i].id, b.resourceEntries[i].id) << i;
    }
}

}  // namespace

// Every combination of database kind and blocks: the layout is the documented one and
// reading the file gives back what was written.
class DatabaseFileRoundTrip : public ::testing::TestWithParam<std::tuple<bool, bool, bool>> {};

TEST_P(DatabaseFileRoundTrip, LayoutAndContentSurvive) {
    const auto [resource, withApp, withSort] = GetParam();
    ScratchFolder scratch;
    const std::string path = scratch.file(resource ? "db.prc" : "db.pdb");
    DatabaseImage written = resource ? sampleResourceDb(withApp, withSort) : sampleRecordDb(withApp, withSort);
    ASSERT_TRUE(written.writeFile(path));

    const std::vector<uint8_t> file = readBytes(path);
    const size_t entrySize = resource ? 10 : 8;
    const uint32_t dataStart = 80 + entrySize * 3;
    const uint32_t appLen = written.appInfo.size(), sortLen = written.sortInfo.size();
    size_t total = dataStart + appLen + sortLen;
    for (const auto& r : written.records) total += r.size();
    ASSERT_EQ(file.size(), total);
    EXPECT_EQ(be16At(file, 76), 3);
    EXPECT_EQ(be16At(file, 78 + entrySize * 3), 0);  // filler
    EXPECT_EQ(be32At(file, 52), withApp ? dataStart : 0u);
    EXPECT_EQ(be32At(file, 56), withSort ? dataStart + appLen : 0u);
    const size_t offsetAt = resource ? 6 : 0;
    uint32_t expected = dataStart + appLen + sortLen;
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(be32At(file, 78 + i * entrySize + offsetAt), expected) << i;
        expected += written.records[i].size();
    }
    EXPECT_EQ(written.appInfoOffset, be32At(file, 52));  // the image now holds real offsets

    DatabaseImage read;
    ASSERT_TRUE(read.readFile(path)) << read.failureCode;
    expectSameContent(written, read);
    EXPECT_EQ(read.failureCode, 0);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, DatabaseFileRoundTrip,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool(), ::testing::Bool()));

TEST(DatabaseFile, HeaderIsBigEndianByteForByte) {
    DatabaseImage img = sampleRecordDb(true, false);
    img.uniqueIdSeed = 0x0A0B0C0D;
    img.nextRecordList = 0;
    const std::vector<uint8_t> file = img.toFileBytes();
    const uint8_t expected[] = {
        0x00, 0x08,              // attributes
        0x00, 0x03,              // version
        0xB1, 0xC2, 0xD3, 0xE4,  // created
        0xB1, 0xC2, 0xD3, 0xF0,  // modified
        0x01, 0x02, 0x03, 0x04,  // backed up
        0x00, 0x00, 0x00, 77,    // modification number
        0x00, 0x00, 0x00, 104,   // application info at 80 + 8 * 3
        0x00, 0x00, 0x00, 0x00,  // no sort info
        'D', 'A', 'T', 'A', 'm', 'e', 'm', 'o',
        0x0A, 0x0B, 0x0C, 0x0D,  // unique ID seed
        0x00, 0x00, 0x00, 0x00,  // next record list
        0x00, 0x03,              // records
        // first entry: offset 104 + 22, attribute 0x20, unique ID 00 00 01
        0x00, 0x00, 0x00, 126, 0x20, 0x00, 0x00, 0x01,
    };
    ASSERT_GE(file.size(), 32 + sizeof expected);
    EXPECT_EQ(0, std::memcmp(file.data(), "Memo DB\0\0", 9));
    for (size_t i = 0; i < sizeof expected; ++i) EXPECT_EQ(file[32 + i], expected[i]) << "byte " << 32 + i;
}

TEST(DatabaseFile, NameFieldKeepsBytesAfterItsNulAndNamesWithoutNulStayInTheField) {
    ScratchFolder scratch;
    DatabaseImage img = sampleRecordDb(false, false);
    std::memset(img.name, 'N', sizeof img.name);  // 32 characters, no NUL
    ASSERT_TRUE(img.writeFile(scratch.file("a.pdb")));
    DatabaseImage read;
    ASSERT_TRUE(read.readFile(scratch.file("a.pdb")));
    EXPECT_EQ(read.nameString(), std::string(32, 'N'));

    std::memcpy(img.name, "Short\0junk", 10);
    ASSERT_TRUE(img.writeFile(scratch.file("b.pdb")));
    ASSERT_TRUE(read.readFile(scratch.file("b.pdb")));
    EXPECT_EQ(read.nameString(), "Short");
    EXPECT_EQ(0, std::memcmp(read.name, "Short\0junk", 10));
}

TEST(DatabaseFile, BytesAfterTheLastRecordBelongToIt) {
    ScratchFolder scratch;
    DatabaseImage img = sampleRecordDb(false, false);
    std::vector<uint8_t> file = img.toFileBytes();
    file.push_back('!');
    file.push_back('?');
    writeBytes(scratch.file("t.pdb"), file);
    DatabaseImage read;
    ASSERT_TRUE(read.readFile(scratch.file("t.pdb")));
    EXPECT_EQ(read.records.back(), bytesOf("third, a little longer!?"));
}

TEST(DatabaseFile, FilesFromOtherWritersAreReadByTheirOffsets) {
    // No filler bytes after the list, and a gap between the blocks: the offsets, not the
    // order of the bytes, say where each piece is.
    std::vector<uint8_t> file(78 + 2 * 8, 0);
    std::memcpy(file.data(), "Other", 5);
    file[77] = 2;
    const uint32_t app = 78 + 16;
    file.insert(file.end(), {'A', 'P', 'P'});
    file.insert(file.end(), {0xEE, 0xEE});  // padding nobody owns
    const uint32_t r0 = uint32_t(file.size());
    file.insert(file.end(), {'o', 'n', 'e'});
    const uint32_t r1 = uint32_t(file.size());
    file.insert(file.end(), {'t', 'w', 'o'});
    put32At(file, 52, app);
    // sort info is absent, so the application block runs to the first record: the padding
    // is part of it, as the offsets say.
    put32At(file, 78, r0);
    put32At(file, 86, r1);
    DatabaseImage img;
    ASSERT_TRUE(img.parseFileBytes(file.data(), file.size()));
    EXPECT_EQ(img.appInfo, (std::vector<uint8_t>{'A', 'P', 'P', 0xEE, 0xEE}));
    EXPECT_EQ(img.records[0], bytesOf("one"));
    EXPECT_EQ(img.records[1], bytesOf("two"));
}

TEST(DatabaseFile, EachFileFailureHasItsCode) {
    ScratchFolder scratch;
    DatabaseImage good = sampleRecordDb(true, true);
    const std::vector<uint8_t> file = good.toFileBytes();
    auto readCut = [&](size_t length, bool resource = false) {
        std::vector<uint8_t> bytes = resource ? sampleResourceDb(false, false).toFileBytes() : file;
        bytes.resize(length);
        writeBytes(scratch.file("cut.pdb"), bytes);
        DatabaseImage img;
        EXPECT_FALSE(img.readFile(scratch.file("cut.pdb"))) << length;
        return img.failureCode;
    };
    EXPECT_EQ(readCut(0), DBIMAGE_NAME_UNREADABLE);
    EXPECT_EQ(readCut(31), DBIMAGE_NAME_UNREADABLE);
    EXPECT_EQ(readCut(32), DBIMAGE_NO_RECORDS);  // header numbers beyond the end read as 0
    EXPECT_EQ(readCut(77), DBIMAGE_NO_RECORDS);
    EXPECT_EQ(readCut(78), DBIMAGE_LIST_TRUNCATED);
    EXPECT_EQ(readCut(78 + 8 * 3 - 1), DBIMAGE_LIST_TRUNCATED);
    EXPECT_EQ(readCut(78 + 8 * 3 + 1), DBIMAGE_DATA_TRUNCATED);  // inside the filler
    EXPECT_EQ(readCut(120), DBIMAGE_DATA_TRUNCATED);              // inside the blocks
    EXPECT_EQ(readCut(78 + 5, true), DBIMAGE_DATA_TRUNCATED);     // a resource list cut short

    DatabaseImage empty = sampleRecordDb(false, false);
    empty.recordCount = 0;
    ASSERT_TRUE(empty.writeFile(scratch.file("empty.pdb")));  // writable, but not readable
    DatabaseImage img;
    EXPECT_FALSE(img.readFile(scratch.file("empty.pdb")));
    EXPECT_EQ(img.failureCode, DBIMAGE_NO_RECORDS);

    DatabaseImage missing;
    missing.failureCode = 5;
    missing.lastSyncError = 6;
    EXPECT_FALSE(missing.readFile(scratch.file("no such file.pdb")));
    EXPECT_EQ(missing.failureCode, 5);
    EXPECT_EQ(missing.lastSyncError, 6);
    EXPECT_FALSE(missing.writeFile(scratch.file("no such folder\\x.pdb")));
}

TEST(DatabaseFile, OffsetsOutOfOrderAreRefused) {
    DatabaseImage img = sampleRecordDb(true, true);
    const std::vector<uint8_t> good = img.toFileBytes();
    const uint32_t app = be32At(good, 52), sort = be32At(good, 56), r0 = be32At(good, 78),
                   r1 = be32At(good, 86), r2 = be32At(good, 94);
    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
    } cases[] = {
        {"record offsets decrease", 86, r2 + 1},
        {"record offset before the list ends", 78, 10},
        {"record offset past the end", 94, uint32_t(good.size() + 1)},
        {"record offset far past the end", 94, 0xFFFFFFF0u},
        {"application block after the first record", 52, r0 + 1},
        {"sort block after the first record", 56, r1},
        {"sort block before the application block", 56, app - 1},
        {"application block inside the header", 52, 4},
    };
    (void)sort;
    for (const Case& c : cases) {
        std::vector<uint8_t> bad = good;
        put32At(bad, c.at, c.value);
        DatabaseImage read;
        EXPECT_FALSE(read.parseFileBytes(bad.data(), bad.size())) << c.what;
        EXPECT_EQ(read.failureCode, DBIMAGE_DATA_TRUNCATED) << c.what;
        EXPECT_TRUE(read.records.empty() && read.appInfo.empty() && read.sortInfo.empty()) << c.what;
    }
}

// Hostile input: every truncation of real files, offsets bent at random and plain noise.
// Nothing may crash or read out of bounds, and whatever is accepted must fit in the file.
TEST(DatabaseFile, HostileFilesAreReadSafely) {
    std::vector<std::vector<uint8_t>> seeds = {sampleRecordDb(true, true).toFileBytes(),
                                               sampleRecordDb(false, false).toFileBytes(),
                                               sampleResourceDb(true, false).toFileBytes()};
    auto check = [](const std::vector<uint8_t>& bytes) {
        DatabaseImage img;
        if (img.parseFileBytes(bytes.data(), bytes.size())) {
            size_t total = img.appInfo.size() + img.sortInfo.size();
            for (const auto& r : img.records) total += r.size();
            EXPECT_LE(total, bytes.size());
            EXPECT_EQ(img.records.size(), img.recordCount);
        } else {
            EXPECT_GE(img.failureCode, DBIMAGE_NAME_UNREADABLE);
            EXPECT_LE(img.failureCode, DBIMAGE_DATA_TRUNCATED);
        }
    };
    for (const auto& seed : seeds) {
        for (size_t len = 0; len <= seed.size(); ++len) {
            std::vector<uint8_t> cut(seed.begin(), seed.begin() + len);
            DatabaseImage img;
            const bool ok = img.parseFileBytes(cut.data(), cut.size());
            // Only a cut inside the last record still reads (that record is simply shorter).
            const bool insideLastRecord = len >= be32At(seed, 78 + (seed[33] & 1 ? 6 + 20 : 16));
            EXPECT_EQ(ok, insideLastRecord || len == seed.size()) << len;
            check(cut);
        }
    }
    std::mt19937 rng(20261208);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = seeds[round % seeds.size()];
        const int flips = 1 + rng() % 6;
        for (int k = 0; k < flips; ++k) {
            const size_t at = 32 + rng() % (bytes.size() - 32);
            bytes[at] = uint8_t(rng());
        }
        check(bytes);
    }
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> noise(rng() % 400);
        for (auto& b : noise) b = uint8_t(rng());
        if (noise.size() > 77 && round % 2) noise[76] = 0;  // keep the count small sometimes
        check(noise);
    }
}

TEST(DatabaseFile, ImageClaimingMoreRecordsThanItHoldsWritesAConsistentFile) {
    DatabaseImage img = sampleRecordDb(false, false);
    img.recordCount = 9;  // only 3 records exist
    const std::vector<uint8_t> file = img.toFileBytes();
    EXPECT_EQ(be16At(file, 76), 3);
    DatabaseImage read;
    ASSERT_TRUE(read.parseFileBytes(file.data(), file.size()));
    EXPECT_EQ(read.records, img.records);
}

TEST(FileSlices, PiecesOfAKilobyteFromTheSkipOn) {
    ScratchFolder scratch;
    std::vector<uint8_t> data(5000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7);
    const std::string path = scratch.file("card file.bin");
    writeBytes(path, data);

    DatabaseImage img;
    ASSERT_TRUE(img.loadFileSlice(path, "TarnwickData", 0x546E776B, 0x44415441, 100, 1500));
    EXPECT_EQ(img.nameString(), "TarnwickData");
    EXPECT_EQ(img.creator, 0x546E776Bu);
    EXPECT_EQ(img.type, 0x44415441u);
    EXPECT_EQ(img.attributes, 0);
    EXPECT_EQ(img.recordCount, 0);
    ASSERT_EQ(img.records.size(), 2u);  // 1500 bytes round up to two whole pieces
    EXPECT_EQ(img.records[0], std::vector<uint8_t>(data.begin() + 100, data.begin() + 1124));
    EXPECT_EQ(img.records[1], std::vector<uint8_t>(data.begin() + 1124, data.begin() + 2148));
    EXPECT_EQ(img.recordEntries.size(), 2u);

    DatabaseImage exact;
    ASSERT_TRUE(exact.loadFileSlice(path, "T", 1, 2, 0, 2048));
    EXPECT_EQ(exact.records.size(), 2u);

    for (uint32_t unlimited : {0u, 0xFFFFFFFFu}) {
        DatabaseImage all;
        ASSERT_TRUE(all.loadFileSlice(path, "T", 1, 2, 1000, unlimited));
        ASSERT_EQ(all.records.size(), 4u);  // 4000 bytes: three full pieces and 928
        EXPECT_EQ(all.records[3].size(), 928u);
        std::vector<uint8_t> joined;
        for (const auto& r : all.records) joined.insert(joined.end(), r.begin(), r.end());
        EXPECT_EQ(joined, std::vector<uint8_t>(data.begin() + 1000, data.end()));
    }

    DatabaseImage past;
    ASSERT_TRUE(past.loadFileSlice(path, "T", 1, 2, 9000, 1024));
    EXPECT_TRUE(past.records.empty());

    writeBytes(scratch.file("empty"), {});
    DatabaseImage empty;
    EXPECT_TRUE(empty.loadFileSlice(scratch.file("empty"), "T", 1, 2, 0, 0));
    EXPECT_TRUE(empty.records.empty());

    DatabaseImage missing;
    EXPECT_FALSE(missing.loadFileSlice(scratch.file("absent"), "T", 1, 2, 0, 0));

    DatabaseImage longName;
    ASSERT_TRUE(longName.loadFileSlice(path, std::string(40, 'x'), 1, 2, 0, 1));
    EXPECT_EQ(longName.nameString(), std::string(31, 'x'));
}

TEST(FileSlices, RecordsBackIntoAFile) {
    ScratchFolder scratch;
    DatabaseImage img;
    img.records = {bytesOf("12345678Hello, "), bytesOf("short"), bytesOf("12345678"), bytesOf("abcdefghworld"),
                   bytesOf("12345678not counted")};
    img.recordCount = 4;
    ASSERT_TRUE(img.writeRecordsToFile(scratch.file("whole"), false));
    EXPECT_EQ(readBytes(scratch.file("whole")), bytesOf("12345678Hello, short12345678abcdefghworld"));
    // Without the lead bytes; a record too short to hold them contributes nothing.
    ASSERT_TRUE(img.writeRecordsToFile(scratch.file("text"), true));
    EXPECT_EQ(readBytes(scratch.file("text")), bytesOf("Hello, world"));

    img.recordCount = 50;  // more than there are: only the existing ones are written
    ASSERT_TRUE(img.writeRecordsToFile(scratch.file("all"), false));
    EXPECT_EQ(readBytes(scratch.file("all")).size(), 15u + 5 + 8 + 13 + 19);
    EXPECT_FALSE(img.writeRecordsToFile(scratch.file("no such folder\\x"), false));
}

// A disk that takes the file's creation but refuses its bytes (here the host's full
// device, reached through the drive that maps the host's root). A listing cut short this
// way would read as files deleted on the handheld, so every size must fail, including
// one that stays in the runtime's buffer until the close.
TEST(FileSlices, WritesTheDiskRefusesFailTheStep) {
    const std::string full = "Z:\\dev\\full";
    for (size_t size : {size_t(20), size_t(5000), size_t(200000)}) {
        DatabaseImage img;
        img.records = {std::vector<uint8_t>(size, 'x')};
        img.recordEntries.resize(1);
        img.recordCount = 1;
        EXPECT_FALSE(img.writeRecordsToFile(full, false)) << size;
        EXPECT_FALSE(img.writeRecordsToFile(full, true)) << size;
        EXPECT_FALSE(img.writeFile(full)) << size;
    }
}
