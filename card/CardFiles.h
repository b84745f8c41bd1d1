// PC-side file helpers of the card routes that the engine's AtomicFile and TemporaryFile
// do not already give.
#pragma once
#include <cstdint>
#include <string>

namespace card {

// Appends the bytes of `from` to `to`; false when either cannot be opened or a write fails.
// maxBytes limits what `from` may hold: a longer file fails without writing anything.
bool appendFileTo(const std::string& from, const std::string& to, uint64_t maxBytes);
// The size of a file from its status; false when the status cannot be read.
bool pcFileSize(const std::string& path, uint32_t& size);
// The operating system's last-error value.
uint32_t lastSystemError();

}  // namespace card
