#include "card/CardFiles.h"
#include <windows.h>
#include <memory>
#include "engine/AtomicFile.h"
#include "engine/PcPaths.h"
#include "engine/StdioFile.h"

namespace card {

bool appendFileTo(const std::string& from, const std::string& to, uint64_t maxBytes) {
    uint32_t size = 0;
    if (!pcFileSize(from, size) || size > maxBytes) return false;
    StdioFile in(pcfile::openStream(from, L"rb"));
    if (!in) return false;
    StdioFile out(pcfile::openStream(to, L"ab"));
    if (!out) return false;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, in.get())) > 0)
        if (fwrite(buffer, 1, n, out.get()) != n) return false;
    if (ferror(in.get())) return false;
    return closeStdioFile(out);
}

bool writeThroughShortName(const std::string& target, const std::function<bool(const std::string&)>& write) {
    if (!pcfile::needsLongForm(target)) return write(target);
    TemporaryFile staged;
    return staged.valid() && write(staged.path()) &&
           pcfile::moveFile(staged.path(), target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
}

ShortSourceName::ShortSourceName(const std::string& source) {
    if (!pcfile::needsLongForm(source)) {
        path_ = source;
        return;
    }
    copy_ = std::make_unique<TemporaryFile>();
    if (copy_->valid() && pcfile::copyFile(source, copy_->path(), false)) path_ = copy_->path();
}

ShortSourceName::~ShortSourceName() = default;

bool pcFileSize(const std::string& path, uint32_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!pcfile::attributesEx(path, data)) return false;
    if (data.nFileSizeHigh != 0) return false;
    size = data.nFileSizeLow;
    return true;
}

uint32_t lastSystemError() { return GetLastError(); }

}  // namespace card
