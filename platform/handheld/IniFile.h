// A small reader for device.ini. Section and key names compare without regard to case, as
// private-profile files do; values keep their case, with surrounding blanks and a trailing
// "; comment" removed. OS-free.
#pragma once
#include <string>
#include <utility>
#include <vector>

class IniFile {
public:
    static IniFile parse(const std::string& text);

    bool hasSection(const std::string& section) const;
    bool has(const std::string& section, const std::string& key) const;
    std::string get(const std::string& section, const std::string& key,
                    const std::string& fallback = std::string()) const;
    long getInt(const std::string& section, const std::string& key, long fallback) const;
    // Every key=value line of a section in file order (duplicate keys kept).
    std::vector<std::pair<std::string, std::string>> entries(const std::string& section) const;

private:
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> lines;
    };
    const Section* find(const std::string& section) const;
    std::vector<Section> sections_;
};

bool equalsNoCase(const std::string& a, const std::string& b);
std::string lowerCase(std::string s);
