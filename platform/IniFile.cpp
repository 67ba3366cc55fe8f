#include "platform/IniFile.h"

#include <cstdio>

#include "platform/FileIo.h"

namespace torvane {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string trimmed(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b])) ++b;
    while (e > b && isBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

// "[name]" with optional blanks around; gives the name between the brackets.
bool sectionName(const std::string& line, std::string& name) {
    std::string t = trimmed(line);
    if (t.size() < 2 || t.front() != '[') return false;
    std::size_t close = t.find(']');
    if (close == std::string::npos) return false;
    name = trimmed(t.substr(1, close - 1));
    return true;
}

// "key=value"; comment lines (";") and lines without "=" are no entries.
bool entry(const std::string& line, std::string& key, std::string& value) {
    std::string t = trimmed(line);
    if (t.empty() || t.front() == ';') return false;
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    key = trimmed(line.substr(0, eq));
    value = trimmed(line.substr(eq + 1));
    return true;
}

}  // namespace

IniFile::IniFile(std::string path) : m_path(std::move(path)) { reload(); }

IniFile::IniFile(std::string path, std::string defaultsPath)
    : m_path(std::move(path)), m_defaultsPath(std::move(defaultsPath)) {
    reload();
}

void IniFile::reload() {
    m_lines.clear();
    m_newline = "\r\n";
    m_finalNewline = true;
    std::FILE* f = openFile(m_path, "rb");
    if (!f && !m_defaultsPath.empty()) f = openFile(m_defaultsPath, "rb");
    if (!f) return;
    std::string text;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);

    std::size_t firstLf = text.find('\n');
    if (firstLf != std::string::npos && (firstLf == 0 || text[firstLf - 1] != '\r')) m_newline = "\n";
    m_finalNewline = text.empty() || text.back() == '\n';
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t lf = text.find('\n', pos);
        std::size_t end = (lf == std::string::npos) ? text.size() : lf;
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        m_lines.push_back(std::move(line));
        pos = (lf == std::string::npos) ? text.size() : lf + 1;
    }
}

int IniFile::findSection(const std::string& section) const {
    std::string name;
    for (std::size_t i = 0; i < m_lines.size(); ++i)
        if (sectionName(m_lines[i], name) && sameName(name, section)) return int(i);
    return -1;
}

int IniFile::sectionEnd(int sectionLine) const {
    std::string name;
    std::size_t i = std::size_t(sectionLine) + 1;
    while (i < m_lines.size() && !sectionName(m_lines[i], name)) ++i;
    return int(i);
}

int IniFile::findKey(int sectionLine, const std::string& key) const {
    std::string k, v;
    int end = sectionEnd(sectionLine);
    for (int i = sectionLine + 1; i < end; ++i)
        if (entry(m_lines[std::size_t(i)], k, v) && sameName(k, key)) return i;
    return -1;
}

std::string IniFile::readString(const std::string& section, const std::string& key,
                                const std::string& def) const {
    int s = findSection(section);
    if (s < 0) return def;
    int k = findKey(s, key);
    if (k < 0) return def;
    std::string name, value;
    entry(m_lines[std::size_t(k)], name, value);
    if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                              (value.front() == '\'' && value.back() == '\'')))
        value = value.substr(1, value.size() - 2);
    return value;
}

bool IniFile::writeString(const std::string& section, const std::string& key, const std::string& value) {
    int s = findSection(section);
    if (s < 0) {
        // A new section goes to the end, after a blank line when the file has content.
        if (!m_lines.empty() && !trimmed(m_lines.back()).empty()) m_lines.emplace_back();
        m_lines.push_back("[" + section + "]");
        m_lines.push_back(key + "=" + value);
    } else {
        int k = findKey(s, key);
        if (k >= 0) {
            m_lines[std::size_t(k)] = key + "=" + value;
        } else {
            // After the section's last non-blank line, so blank separators stay where they were.
            int end = sectionEnd(s);
            int at = end;
            while (at - 1 > s && trimmed(m_lines[std::size_t(at - 1)]).empty()) --at;
            m_lines.insert(m_lines.begin() + at, key + "=" + value);
        }
    }
    m_finalNewline = true;
    return save();
}

bool IniFile::save() const {
    std::FILE* f = openFile(m_path, "wb");
    if (!f) return false;
    std::string text;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        text += m_lines[i];
        if (i + 1 < m_lines.size() || m_finalNewline) text += m_newline;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = (std::fclose(f) == 0) && ok;
    return ok;
}

}  // namespace torvane
