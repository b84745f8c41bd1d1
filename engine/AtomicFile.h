// Files that must appear whole or not at all, and scratch files that must not outlive
// the step that made them.
#pragma once
#include <functional>
#include <string>

// A temporary file beside a target. The name is free when the object is made but nothing
// is created yet: write the new content into tempPath() (creating it), then commit()
// moves it over the target in one step (replacing what is there). Until then the target
// is untouched; if commit() is never called or fails, the temporary file is deleted.
// The temporary name begins with "." so that a synchronisation never takes a left-over
// one (after a crash) for a user's file.
class AtomicFile {
public:
    explicit AtomicFile(const std::string& target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool valid() const { return !tempPath_.empty(); }
    const std::string& tempPath() const { return tempPath_; }
    const std::string& targetPath() const { return target_; }
    // replace false: the move fails (ERROR_ALREADY_EXISTS, the target untouched) when a
    // target has appeared since, for a copy that is to replace nothing.
    bool commit(bool replace = true);

    // Writes bytes to target through a temporary file; false when anything failed, in
    // which case the target keeps its old content.
    static bool writeWhole(const std::string& target, const std::string& bytes);
    // The same with the last step done by commitStep (which may check the target first and
    // answer false, leaving it as it is).
    static bool writeWhole(const std::string& target, const std::string& bytes,
                           const std::function<bool(AtomicFile&)>& commitStep);

    // True when a base name has exactly the form of this class's temporary names. Such a
    // file is never a user's: one that exists outside a running copy was left by a process
    // that was killed, and may go.
    static bool isTempName(const std::string& base);
    // The process part of a temporary name (lower-case hexadecimal, as this process's
    // names carry it in processTag()); empty for a name that is no temporary name.
    static std::string processOfTempName(const std::string& base);
    static std::string processTag();

private:
    std::string target_;
    std::string tempPath_;
    bool committed_ = false;
};

// A uniquely named, initially empty file in the system's temporary folder, deleted when
// the object goes.
class TemporaryFile {
public:
    explicit TemporaryFile(const char* prefix = "tmp");
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool valid() const { return !path_.empty(); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Reads a whole file in binary; false when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& bytes);
// True when both files can be read and hold the same bytes.
bool sameFileContents(const std::string& a, const std::string& b);
