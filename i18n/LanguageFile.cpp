#include "i18n/LanguageFile.h"

#include <iconv.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/FileIo.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"

namespace torvane {

namespace {

const std::string kBom = "\xEF\xBB\xBF";
const char* const kReplacement = "\xEF\xBF\xBD";  // U+FFFD

std::string readAll(const std::string& path) {
    std::string bytes;
    std::FILE* f = openFile(path, "rb");
    if (!f) return bytes;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
    std::fclose(f);
    return bytes;
}

// IniFile reads only from disk and would take the mark as the start of the first section's
// header line, so it is handed a copy without the mark. The copy goes at once: IniFile keeps
// the lines in memory and never reads again unless asked to.
std::unique_ptr<IniFile> iniWithoutMark(const std::string& path, const std::string& bytes) {
    std::string tmpl = systemTempFolder() + "torvane-lang-XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) return std::make_unique<IniFile>(path);
    const char* p = bytes.data() + kBom.size();
    std::size_t left = bytes.size() - kBom.size();
    bool ok = true;
    while (left > 0) {
        ssize_t w = ::write(fd, p, left);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) { ok = false; break; }
        p += w;
        left -= std::size_t(w);
    }
    ::close(fd);
    auto ini = std::make_unique<IniFile>(ok ? std::string(name.data()) : path);
    removeFile(name.data());
    return ini;
}

// Length of the well-formed UTF-8 sequence at s[i] (RFC 3629: shortest form, no surrogates,
// nothing above U+10FFFF), or 0. Done here rather than by iconv, whose UTF-8 reader lets code
// points above U+10FFFF through.
std::size_t utf8SequenceAt(const std::string& s, std::size_t i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = byte(i);
    if (c < 0x80) return 1;
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) n = 2;
    else if (c == 0xE0) { n = 3; lo = 0xA0; }
    else if (c == 0xED) { n = 3; hi = 0x9F; }
    else if (c >= 0xE1 && c <= 0xEF) n = 3;
    else if (c == 0xF0) { n = 4; lo = 0x90; }
    else if (c == 0xF4) { n = 4; hi = 0x8F; }
    else if (c >= 0xF1 && c <= 0xF3) n = 4;
    else return 0;
    if (i + n > s.size()) return 0;
    if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
    for (std::size_t k = 2; k < n; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    return n;
}

std::string sanitizedUtf8(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t n = utf8SequenceAt(bytes, i);
        if (n == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(bytes, i, n);
            i += n;
        }
    }
    return out;
}

bool isUtf8Name(const char* name) {
    std::string n(name);
    for (char& c : n)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return n == "UTF-8" || n == "UTF8";
}

}  // namespace

const char* codePageForCharSet(int charSet) {
    switch (charSet) {
    case kCharSetGb2312: return "CP936";
    case kCharSetChineseBig5: return "CP950";
    case kCharSetShiftJis: return "CP932";
    case kCharSetHangul: return "CP949";
    default: return "CP1252";
    }
}

std::string decodeToUtf8(const std::string& bytes, const char* from) {
    if (isUtf8Name(from)) return sanitizedUtf8(bytes);
    std::string out;
    iconv_t cd = iconv_open("UTF-8", from);
    if (cd == iconv_t(-1)) {
        // No converter: ASCII is the same in every code page the files use; the rest is lost.
        for (char c : bytes) out += (static_cast<unsigned char>(c) < 0x80) ? std::string(1, c) : kReplacement;
        return out;
    }
    std::vector<char> buf(bytes.size() * 4 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* o = buf.data();
        std::size_t oLeft = buf.size();
        std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buf.data(), std::size_t(o - buf.data()));
        if (r != std::size_t(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ: a bad sequence; EINVAL: a lead byte cut off by the end of the value.
        // Either way the first byte stands for one lost character, and what follows it is
        // decoded afresh, so a stray lead byte cannot swallow the ASCII after it.
        out += kReplacement;
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    // Flush any shift state (none of the code pages here has one, but iconv asks for it).
    char* o = buf.data();
    std::size_t oLeft = buf.size();
    iconv(cd, nullptr, nullptr, &o, &oLeft);
    out.append(buf.data(), std::size_t(o - buf.data()));
    iconv_close(cd);
    return out;
}

int parseIntOr(const std::string& text, int def) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return def;
    long long v = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9') return def;
        v = v * 10 + (c - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) return def;
    }
    if (negative) v = -v;
    if (v > INT_MAX || v < INT_MIN) return def;
    return int(v);
}

LanguageFile::LanguageFile(const std::string& path) : m_path(path) {
    std::string bytes = readAll(path);
    m_utf8 = bytes.compare(0, kBom.size(), kBom) == 0;
    if (m_utf8) {
        m_ini = iniWithoutMark(path, bytes);
        m_codePage = "UTF-8";
    } else {
        m_ini = std::make_unique<IniFile>(path);
        m_codePage = codePageForCharSet(charSet());
    }
}

LanguageFile::~LanguageFile() = default;
LanguageFile::LanguageFile(LanguageFile&&) noexcept = default;
LanguageFile& LanguageFile::operator=(LanguageFile&&) noexcept = default;

std::string LanguageFile::text(const std::string& section, const std::string& key) const {
    std::string raw = m_ini->readString(section, key, "");
    if (raw.empty()) return raw;
    return decodeToUtf8(raw, m_codePage);
}

std::string LanguageFile::fontName() const {
    // A present but empty FontName would leave the interface without a face; the default
    // stands in, as it does for a missing key.
    std::string name = text("LanguageProperty", "FontName");
    return name.empty() ? std::string("Tahoma") : name;
}

int LanguageFile::fontSize() const {
    return parseIntOr(m_ini->readString("LanguageProperty", "FontSize", ""), 8);
}

int LanguageFile::charSet() const {
    return parseIntOr(m_ini->readString("LanguageProperty", "CharSet", ""), kCharSetDefault);
}

std::string languageDisplayName(const std::string& path) {
    return LanguageFile(path).text("LanguageProperty", "Name");
}

}  // namespace torvane
