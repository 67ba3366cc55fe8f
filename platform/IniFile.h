#pragma once
// A profile (INI) file with the semantics of the Windows profile functions the program was
// designed around: section and key names match without regard to ASCII case, the first
// matching section and key win, a missing section or key gives the caller's default, and a
// write changes only the one line it needs and keeps every other line of the file as it was.
// Text is kept as bytes: 8-bit language files (GBK, Big5, Windows-1252) pass through untouched.

#include <string>
#include <vector>

namespace torvane {

class IniFile {
public:
    // Reads the file when it exists; a missing file reads as empty and is created by the
    // first write. The path is UTF-8.
    explicit IniFile(std::string path);
    // Reads defaultsPath instead while path does not exist: the first write then makes path
    // from the defaults' lines and the change. defaultsPath is never written.
    IniFile(std::string path, std::string defaultsPath);

    const std::string& path() const { return m_path; }

    // The value of key in section with blanks around it removed (and one pair of enclosing
    // quotes, as the profile functions do), or def when the section or key is missing.
    std::string readString(const std::string& section, const std::string& key,
                           const std::string& def = std::string()) const;

    // Sets key in section, appending the key or the section when missing, and writes the
    // file at once. False when the file could not be written.
    bool writeString(const std::string& section, const std::string& key, const std::string& value);

    // Reads the file again from disk.
    void reload();

private:
    // Index of the first "[section]" line, or -1.
    int findSection(const std::string& section) const;
    // Index of the first line of key within the section starting at sectionLine, or -1.
    int findKey(int sectionLine, const std::string& key) const;
    // One past the last line that belongs to the section starting at sectionLine.
    int sectionEnd(int sectionLine) const;
    bool save() const;

    std::string m_path;
    std::string m_defaultsPath;
    std::vector<std::string> m_lines;  // without line ends
    std::string m_newline = "\r\n";
    bool m_finalNewline = true;
};

}  // namespace torvane
