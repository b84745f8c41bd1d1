// The conduit's own PC file operations, for paths of any length. The ANSI file functions
// stop at 260 characters; these take the conduit's ANSI paths, convert them from the ANSI
// code page and hand them to the wide functions, giving a full path that long the "\\?\"
// form. Each answers as the Win32 function it wraps (GetLastError tells why it failed).
#pragma once
#include <windows.h>
#include <optional>
#include <string>

#include "engine/FileEntry.h"
#include "engine/Win32Handles.h"
#include "names/AnsiCodePage.h"

namespace pcfile {

// The path as the wide functions take it, "/" made "\": a full path that needsLongForm in
// the "\\?\" (or "\\?\UNC\") form (names::longPathForm), other paths as they are.
std::wstring widePath(const std::string& path);
// A name the wide functions gave back, in the ANSI code page: exactly that name, or none
// when one of its characters is outside the code page (a "?" or a look-alike in its place
// would name another file, or the same "?" name for several).
std::optional<std::string> narrowName(const wchar_t* name);
// The name for a log line: as narrowName gives it, with every character the ANSI code page
// lacks written as "<U+65E5>" (a character beyond the 16-bit range by its code point).
std::string readableName(const wchar_t* name);
// The ANSI code page's characters in either case, as the PC's folders and a FAT card take
// them (names::ansiCodePage(): its two-byte characters are taken whole).
inline const CaseFold& ansiCaseFold() { return names::ansiCodePage(); }
// Whether a path reaches its file only through the "\\?\" form, and so not through the
// ANSI functions (and libraries that use them): 248 characters or more (the limit of
// folder creation), or a component that is a device name ("aux.txt", "Con").
bool needsLongForm(const std::string& path);

DWORD attributes(const std::string& path);  // INVALID_FILE_ATTRIBUTES when there is none
bool exists(const std::string& path);       // a file or a folder is there
bool attributesEx(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data);
bool setAttributes(const std::string& path, DWORD attributes);
bool createDirectory(const std::string& path);
bool removeDirectory(const std::string& path);
bool deleteFile(const std::string& path);
// MoveFileExW with the flags given (0: fails when the target exists).
bool moveFile(const std::string& from, const std::string& to, DWORD flags);
bool copyFile(const std::string& from, const std::string& to, bool failIfExists);
HANDLE createFile(const std::string& path, DWORD access, DWORD share, DWORD disposition);
// A C stream on the path, with a wide mode such as L"rb"; null when it cannot be opened.
FILE* openStream(const std::string& path, const wchar_t* mode);

// One folder's entries; name() is empty for a name outside the ANSI code page.
class FolderListing {
public:
    explicit FolderListing(const std::string& pattern);  // folder + "\\*.*"
    FolderListing(const FolderListing&) = delete;
    FolderListing& operator=(const FolderListing&) = delete;
    bool valid() const { return find_.valid(); }
    // The current entry; next() moves on and answers false at the end (or on failure).
    const WIN32_FIND_DATAW& data() const { return data_; }
    std::optional<std::string> name() const { return narrowName(data_.cFileName); }
    bool next();

private:
    WIN32_FIND_DATAW data_;  // before find_: the search fills it as find_ is made
    FindHandle find_;
};

}  // namespace pcfile
