#pragma once
// A language file: an INI file of captions whose values are handed out as UTF-8, whatever
// the file is stored in. Files with a UTF-8 byte-order mark are UTF-8; every other file is
// 8-bit text in the Windows code page that "LanguageProperty"/"CharSet" names, as the files
// written for Windows editors are.

#include <memory>
#include <string>

namespace torvane {

class IniFile;

// The Windows character-set numbers a language file may name.
constexpr int kCharSetAnsi = 0;
constexpr int kCharSetDefault = 1;
constexpr int kCharSetShiftJis = 128;
constexpr int kCharSetHangul = 129;
constexpr int kCharSetGb2312 = 134;
constexpr int kCharSetChineseBig5 = 136;

// The iconv name of the code page behind a character-set number; unknown numbers are
// Western (Windows-1252).
const char* codePageForCharSet(int charSet);

// bytes in the iconv encoding `from`, as UTF-8. A byte sequence that does not decode becomes
// U+FFFD and decoding goes on after its first byte, so one bad byte costs one character.
std::string decodeToUtf8(const std::string& bytes, const char* from);

// Delphi's StrToIntDef: an optional sign and decimal digits, nothing else; def otherwise
// (and when the number does not fit an int).
int parseIntOr(const std::string& text, int def);

class LanguageFile {
public:
    // Reads the file at once; a missing file reads as empty. The path is UTF-8.
    explicit LanguageFile(const std::string& path);
    ~LanguageFile();
    LanguageFile(LanguageFile&&) noexcept;
    LanguageFile& operator=(LanguageFile&&) noexcept;

    const std::string& path() const { return m_path; }

    // The value of key in section as UTF-8, or empty when the section or key is missing.
    std::string text(const std::string& section, const std::string& key) const;

    // "LanguageProperty" values with the defaults of a file that names none.
    std::string fontName() const;  // "Tahoma"
    int fontSize() const;          // 8
    int charSet() const;           // 1 (the default character set)

    // True when the file started with a UTF-8 byte-order mark.
    bool isUtf8() const { return m_utf8; }

private:
    std::string m_path;
    std::unique_ptr<IniFile> m_ini;
    bool m_utf8 = false;
    const char* m_codePage = "UTF-8";
};

// "LanguageProperty"/"Name" of the file at path, as UTF-8; empty when missing.
std::string languageDisplayName(const std::string& path);

}  // namespace torvane
