// The database file format and the plain-file slices. No OS headers here: this file also
// builds natively, where it is fuzzed.
#include "mainmemory/DatabaseImage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "engine/StdioFile.h"

namespace {

uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t be32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}
void put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}
void putBytes(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// Whole content of an open file. The buffer grows only as far as the file really goes, so
// no header field can make us allocate more than the file holds.
bool readAll(std::FILE* f, std::vector<uint8_t>& out) {
    uint8_t chunk[64 * 1024];
    try {
        for (;;) {
            const size_t got = std::fread(chunk, 1, sizeof chunk, f);
            out.insert(out.end(), chunk, chunk + got);
            if (got < sizeof chunk) return std::ferror(f) == 0;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool writeAll(std::FILE* f, const uint8_t* data, size_t size) {
    return size == 0 || std::fwrite(data, 1, size, f) == size;
}

// fseek takes a long, which is 32 bits on the conduit's platform; move forward in steps.
bool skipForward(std::FILE* f, uint32_t count) {
    while (count > 0) {
        const uint32_t step = std::min<uint32_t>(count, 0x40000000u);
        if (std::fseek(f, static_cast<long>(step), SEEK_CUR) != 0) return false;
        count -= step;
    }
    return true;
}

}  // namespace

std::string DatabaseImage::nameString() const {
    const void* nul = std::memchr(name, 0, sizeof name);
    const size_t len = nul ? static_cast<size_t>(static_cast<const char*>(nul) - name) : sizeof name;
    return std::string(name, len);
}

void DatabaseImage::setName(const std::string& text) {
    std::memset(name, 0, sizeof name);
    std::memcpy(name, text.data(), std::min(text.size(), sizeof name - 1));
}

// ---------------------------------------------------------------------------------------
// Reading a database file
//
// Every block and record is taken from where its offset says, with its length from the
// distance to the next offset; the last record runs to the end of the file. A list whose
// offsets run backwards, point into the header or past the end, or a block placed after
// the first record is refused (260) rather than guessed at: no length is ever computed from
// offsets that are out of order, so nothing can be read past the file or sized from garbage.

bool DatabaseImage::parseFileBytes(const uint8_t* data, size_t size) {
    const int32_t keepError = lastSyncError;
    const int32_t keepFailure = failureCode;
    *this = DatabaseImage();
    lastSyncError = keepError;
    failureCode = keepFailure;

    if (size < sizeof name) {
        failureCode = DBIMAGE_NAME_UNREADABLE;
        return false;
    }
    std::memcpy(name, data, sizeof name);
    // A header cut short reads its missing numbers as 0; the record count then is 0.
    auto field16 = [&](size_t at) -> uint16_t { return at + 2 <= size ? be16(data + at) : 0; };
    auto field32 = [&](size_t at) -> uint32_t { return at + 4 <= size ? be32(data + at) : 0; };
    attributes = field16(32);
    version = field16(34);
    creationDate = field32(36);
    modificationDate = field32(40);
    backupDate = field32(44);
    modificationNumber = field32(48);
    appInfoOffset = field32(52);
    sortInfoOffset = field32(56);
    type = field32(60);
    creator = field32(64);
    uniqueIdSeed = field32(68);
    nextRecordList = field32(72);
    recordCount = field16(76);
    if (recordCount == 0) {
        failureCode = DBIMAGE_NO_RECORDS;
        return false;
    }

    const size_t n = recordCount;
    const bool resource = isResourceDatabase();
    const size_t listEnd = kHeaderSize + n * (resource ? kResourceEntrySize : kRecordEntrySize);
    // The list and its two filler bytes must be there. A record list cut short has a code of
    // its own; a resource list cut short counts as missing data.
    if (size < listEnd) {
        failureCode = resource ? DBIMAGE_DATA_TRUNCATED : DBIMAGE_LIST_TRUNCATED;
        return false;
    }
    if (size < listEnd + 2) {
        failureCode = DBIMAGE_DATA_TRUNCATED;
        return false;
    }

    std::vector<uint32_t> offsets(n);
    const uint8_t* p = data + kHeaderSize;
    if (resource) {
        resourceEntries.resize(n);
        for (size_t i = 0; i < n; ++i, p += kResourceEntrySize) {
            resourceEntries[i].type = be32(p);
            resourceEntries[i].id = be16(p + 4);
            resourceEntries[i].offset = offsets[i] = be32(p + 6);
        }
    } else {
        recordEntries.resize(n);
        for (size_t i = 0; i < n; ++i, p += kRecordEntrySize) {
            recordEntries[i].offset = offsets[i] = be32(p);
            recordEntries[i].attributes = p[4];
            std::memcpy(recordEntries[i].uniqueId, p + 5, 3);
        }
    }

    // Data may begin right after the list: some writers leave out the filler bytes.
    auto fail = [&]() {
        appInfo.clear();
        sortInfo.clear();
        records.clear();
        failureCode = DBIMAGE_DATA_TRUNCATED;
        return false;
    };
    uint32_t previous = static_cast<uint32_t>(listEnd);
    for (uint32_t off : offsets) {
        if (off < previous || off > size) return fail();
        previous = off;
    }
    const uint32_t first = offsets[0];
    if (appInfoOffset != 0) {
        const uint32_t end = sortInfoOffset != 0 ? sortInfoOffset : first;
        if (appInfoOffset < listEnd || appInfoOffset > end || end > first) return fail();
        appInfo.assign(data + appInfoOffset, data + end);
    }
    if (sortInfoOffset != 0) {
        if (sortInfoOffset < listEnd || sortInfoOffset > first) return fail();
        sortInfo.assign(data + sortInfoOffset, data + first);
    }
    try {
        records.resize(n);
        for (size_t i = 0; i < n; ++i) {
            const size_t end = i + 1 < n ? offsets[i + 1] : size;
            records[i].assign(data + offsets[i], data + end);
        }
    } catch (const std::bad_alloc&) {
        return fail();
    }
    return true;
}

bool DatabaseImage::readFile(const std::string& path) {
    StdioFile f = openStdioFile(path, "rb");
    if (!f) return false;
    std::vector<uint8_t> bytes;
    if (!readAll(f.get(), bytes)) {
        // Unreadable content counts as missing data, never as an empty database.
        const int32_t keepError = lastSyncError;
        *this = DatabaseImage{};
        lastSyncError = keepError;
        failureCode = DBIMAGE_DATA_TRUNCATED;
        return false;
    }
    return parseFileBytes(bytes.data(), bytes.size());
}

// ---------------------------------------------------------------------------------------
// Writing a database file

std::vector<uint8_t> DatabaseImage::toFileBytes() {
    const bool resource = isResourceDatabase();
    // Never lay out more records than the image really holds: a count larger than the lists
    // would describe data that is not there.
    size_t n = std::min<size_t>(recordCount, records.size());
    n = std::min(n, resource ? resourceEntries.size() : recordEntries.size());

    uint32_t pos = static_cast<uint32_t>(kHeaderSize + n * (resource ? kResourceEntrySize : kRecordEntrySize) + 2);
    appInfoOffset = appInfo.empty() ? 0 : pos;
    pos += static_cast<uint32_t>(appInfo.size());
    sortInfoOffset = sortInfo.empty() ? 0 : pos;
    pos += static_cast<uint32_t>(sortInfo.size());

    std::vector<uint8_t> out;
    out.reserve(pos);
    out.insert(out.end(), name, name + sizeof name);
    put16(out, attributes);
    put16(out, version);
    put32(out, creationDate);
    put32(out, modificationDate);
    put32(out, backupDate);
    put32(out, modificationNumber);
    put32(out, appInfoOffset);
    put32(out, sortInfoOffset);
    put32(out, type);
    put32(out, creator);
    put32(out, uniqueIdSeed);
    put32(out, nextRecordList);
    put16(out, static_cast<uint16_t>(n));
    for (size_t i = 0; i < n; ++i) {
        if (resource) {
            ResourceEntry& e = resourceEntries[i];
            e.offset = pos;
            put32(out, e.type);
            put16(out, e.id);
            put32(out, e.offset);
        } else {
            RecordEntry& e = recordEntries[i];
            e.offset = pos;
            put32(out, e.offset);
            out.push_back(e.attributes);
            out.insert(out.end(), e.uniqueId, e.uniqueId + 3);
        }
        pos += static_cast<uint32_t>(records[i].size());
    }
    put16(out, 0);
    putBytes(out, appInfo);
    putBytes(out, sortInfo);
    for (size_t i = 0; i < n; ++i) putBytes(out, records[i]);
    return out;
}

bool DatabaseImage::writeFile(const std::string& path) {
    StdioFile f = openStdioFile(path, "wb");
    if (!f) return false;
    const std::vector<uint8_t> bytes = toFileBytes();
    const bool written = writeAll(f.get(), bytes.data(), bytes.size());
    return closeStdioFile(f) && written;
}

// ---------------------------------------------------------------------------------------
// Plain files cut into records, and back

bool DatabaseImage::loadFileSlice(const std::string& path, const std::string& dbName, uint32_t creatorCode,
                                  uint32_t typeCode, uint32_t skip, uint32_t length) {
    setName(dbName);
    creator = creatorCode;
    type = typeCode;
    attributes = 0;
    records.clear();
    recordEntries.clear();
    resourceEntries.clear();

    StdioFile f = openStdioFile(path, "rb");
    if (!f) return false;
    if (skip > 0 && !skipForward(f.get(), skip)) return true;  // past the end: no pieces

    const bool unlimited = length == 0 || length == 0xFFFFFFFFu;
    uint32_t pieces = unlimited ? 0 : static_cast<uint32_t>((static_cast<uint64_t>(length) + kSliceSize - 1) / kSliceSize);
    uint8_t buffer[kSliceSize];
    while (unlimited || pieces > 0) {
        const size_t got = std::fread(buffer, 1, sizeof buffer, f.get());
        if (got > 0) records.emplace_back(buffer, buffer + got);
        if (got < sizeof buffer) break;
        if (!unlimited) --pieces;
    }
    recordEntries.assign(records.size(), RecordEntry{});
    return true;
}

bool DatabaseImage::writeRecordsToFile(const std::string& path, bool dropLeadBytes) {
    StdioFile f = openStdioFile(path, "wb");
    if (!f) return false;
    const size_t n = std::min<size_t>(recordCount, records.size());
    const size_t lead = dropLeadBytes ? 8 : 0;
    for (size_t i = 0; i < n; ++i) {
        // A record too short to hold the lead bytes carries no payload at all.
        if (records[i].size() <= lead) continue;
        // A listing or reply cut short would read as files missing from the handheld.
        if (!writeAll(f.get(), records[i].data() + lead, records[i].size() - lead)) return false;
    }
    return closeStdioFile(f);
}
