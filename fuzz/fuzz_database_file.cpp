// A .pdb/.prc file from the PC: the reader must refuse what it cannot make sense of with one
// of its codes, never read outside the bytes, and whatever it accepts must come back
// unchanged after being written out again (a backup that restores differently is lost data).
#include "fuzz/FuzzTarget.h"

#include <cstring>

#include "mainmemory/DatabaseImage.h"
#include "mainmemory/DatabaseNames.h"

namespace {

bool sameRecordEntries(const DatabaseImage& a, const DatabaseImage& b) {
    if (a.recordEntries.size() != b.recordEntries.size()) return false;
    for (size_t i = 0; i < a.recordEntries.size(); ++i) {
        if (a.recordEntries[i].attributes != b.recordEntries[i].attributes) return false;
        if (std::memcmp(a.recordEntries[i].uniqueId, b.recordEntries[i].uniqueId, 3) != 0) return false;
    }
    return true;
}

bool sameResourceEntries(const DatabaseImage& a, const DatabaseImage& b) {
    if (a.resourceEntries.size() != b.resourceEntries.size()) return false;
    for (size_t i = 0; i < a.resourceEntries.size(); ++i) {
        if (a.resourceEntries[i].type != b.resourceEntries[i].type) return false;
        if (a.resourceEntries[i].id != b.resourceEntries[i].id) return false;
    }
    return true;
}

}  // namespace

TW_FUZZ_TARGET(database_file) {
    DatabaseImage image;
    if (!image.parseFileBytes(data, size)) {
        FUZZ_REQUIRE(image.failureCode >= DBIMAGE_NAME_UNREADABLE && image.failureCode <= DBIMAGE_DATA_TRUNCATED);
        FUZZ_REQUIRE(image.records.empty());
    } else {
        FUZZ_REQUIRE(image.recordCount != 0);
        FUZZ_REQUIRE(image.records.size() == image.recordCount);
        size_t carried = image.appInfo.size() + image.sortInfo.size();
        for (const auto& r : image.records) carried += r.size();
        FUZZ_REQUIRE(carried <= size);

        const std::vector<uint8_t> bytes = image.toFileBytes();
        DatabaseImage again;
        FUZZ_REQUIRE(again.parseFileBytes(bytes.data(), bytes.size()));
        FUZZ_REQUIRE(std::memcmp(again.name, image.name, sizeof image.name) == 0);
        FUZZ_REQUIRE(again.attributes == image.attributes && again.version == image.version);
        FUZZ_REQUIRE(again.creationDate == image.creationDate);
        FUZZ_REQUIRE(again.modificationDate == image.modificationDate);
        FUZZ_REQUIRE(again.backupDate == image.backupDate);
        FUZZ_REQUIRE(again.modificationNumber == image.modificationNumber);
        FUZZ_REQUIRE(again.type == image.type && again.creator == image.creator);
        FUZZ_REQUIRE(again.appInfo == image.appInfo && again.sortInfo == image.sortInfo);
        FUZZ_REQUIRE(again.records == image.records);
        FUZZ_REQUIRE(sameRecordEntries(again, image) && sameResourceEntries(again, image));
        // Laid out once more, the bytes are the same: the layout is a fixed point.
        FUZZ_REQUIRE(again.toFileBytes() == bytes);
    }

    // The name inside the file and the PC file name made from it.
    const std::string dbName = databaseNameInFile(data, size);
    FUZZ_REQUIRE(dbName.size() <= 32 && dbName.find('\0') == std::string::npos);
    const std::string file = databaseFileName(dbName, size > 0 && (data[0] & 1));
    FUZZ_REQUIRE(file.size() == dbName.size() + 4);
    // No "." survives in the stem, so no ".." can climb out of the backup folder.
    FUZZ_REQUIRE(file.find('.') == file.size() - 4);

    const std::string content = fuzzText(data, size);
    std::string renamed;
    if (renamedDatabaseFile(content, "Renamed DB2", renamed)) {
        FUZZ_REQUIRE(renamed.size() == content.size());
        FUZZ_REQUIRE(databaseNameInFile(reinterpret_cast<const uint8_t*>(renamed.data()), renamed.size()) ==
                     "Renamed DB2");
        FUZZ_REQUIRE(renamed.compare(32, std::string::npos, content, 32, std::string::npos) == 0);
    } else {
        FUZZ_REQUIRE(size < 32);
    }
    return 0;
}
