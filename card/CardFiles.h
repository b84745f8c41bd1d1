// PC-side file helpers of the card routes: temporary files that delete themselves, and
// staged files that replace their target only once they are complete.
#pragma once
#include <cstdint>
#include <string>

namespace card {

// A unique empty file in the system's temporary folder (prefix "tmp"); deleted when the
// object goes, on every way out.
class TempFile {
public:
    TempFile();
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A file written beside its target under a name that begins with "." (which the PC scan
// never sees) and moved over the target by commit(). Until then the target keeps its old
// content, so a transfer that breaks off never leaves a truncated copy in its place.
class StagedFile {
public:
    explicit StagedFile(const std::string& target);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    // Replaces the target with the staged file; false (target untouched) on failure.
    bool commit();
    // The system error of the failed creation or commit.
    uint32_t error() const { return error_; }

private:
    std::string target_;
    std::string path_;
    uint32_t error_ = 0;
};

// The whole content of a file, read in binary; false when it cannot be opened.
bool readWholeFile(const std::string& path, std::string& content);
// Appends the bytes of `from` to `to`; false when either cannot be opened or a write fails.
// maxBytes limits what `from` may hold: a longer file fails without writing anything.
bool appendFileTo(const std::string& from, const std::string& to, uint64_t maxBytes);
// The size of a file from its status; false when the status cannot be read.
bool pcFileSize(const std::string& path, uint32_t& size);
// The operating system's last-error value.
uint32_t lastSystemError();

}  // namespace card
