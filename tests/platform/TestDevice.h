// A device folder made by a test in the temporary folder and removed afterwards, plus small
// host-file helpers the suites share.
#pragma once
#include <cstdint>
#include <string>

class TestDevice {
public:
    explicit TestDevice(const std::string& ini);
    ~TestDevice();
    TestDevice(const TestDevice&) = delete;
    TestDevice& operator=(const TestDevice&) = delete;

    const std::string& dir() const { return dir_; }
    std::string path(const std::string& relative) const;  // "card1/a/b.txt" -> host path
    void write(const std::string& relative, const std::string& contents) const;
    void mkdir(const std::string& relative) const;
    // Loads the folder into the simulated handheld; 0 on success.
    int load() const;

private:
    std::string dir_;
};

std::string readFile(const std::string& hostPath);
bool fileExists(const std::string& hostPath);
void writeFile(const std::string& hostPath, const std::string& contents);
std::string tempPath(const std::string& name);  // a fresh name in the temporary folder
// Host modification time as seconds since 1970.
int64_t hostMtime(const std::string& hostPath);
void setHostMtime(const std::string& hostPath, int64_t unixSeconds);
std::string traceLines();  // every trace line so far, joined by "\n"
