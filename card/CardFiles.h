// PC-side file helpers of the card routes that the engine's AtomicFile and TemporaryFile
// do not already give.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TemporaryFile;

namespace card {

// Appends the bytes of `from` to `to`; false when either cannot be opened or a write fails.
// maxBytes limits what `from` may hold: a longer file fails without writing anything.
bool appendFileTo(const std::string& from, const std::string& to, uint64_t maxBytes);
// For a library that takes ANSI paths (and so no path of 260 characters or more): hands
// write() the target itself when its path is short enough, else a file in the temporary
// folder that is then moved onto the target (replacing it). False when write() fails or
// the move does; a staged file never stays behind.
bool writeThroughShortName(const std::string& target, const std::function<bool(const std::string&)>& write);
// The same for reading: path() is the source itself when short enough, else a copy of it
// in the temporary folder, deleted with the object; empty when that copy failed.
class ShortSourceName {
public:
    explicit ShortSourceName(const std::string& source);
    ~ShortSourceName();
    ShortSourceName(const ShortSourceName&) = delete;
    ShortSourceName& operator=(const ShortSourceName&) = delete;
    const std::string& path() const { return path_; }

private:
    std::unique_ptr<TemporaryFile> copy_;
    std::string path_;
};

// The size of a file from its status; false when the status cannot be read.
bool pcFileSize(const std::string& path, uint32_t& size);
// The operating system's last-error value.
uint32_t lastSystemError();

}  // namespace card
