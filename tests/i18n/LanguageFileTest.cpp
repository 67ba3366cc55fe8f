// Language files: decoding by byte-order mark or character set, the defaults of the
// "LanguageProperty" values, the shipped files checked against the caption list and the
// message catalogue, and the English that stands in for what a file lacks.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "i18n/CaptionKeys.h"
#include "i18n/LanguageFile.h"
#include "i18n/Messages.h"
#include "support/TestFiles.h"

namespace torvane {
namespace {

using test::TempDir;

std::string utf8(const char8_t* s) { return reinterpret_cast<const char*>(s); }

const std::string kReplacement = utf8(u8"\uFFFD");

// A language file with the given raw bytes, in a folder of its own.
struct RawFile {
    TempDir dir;
    std::string path;
    explicit RawFile(const std::string& bytes) : path(dir.file("lang.ini")) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
};

// A file in character set charSet whose [Text] section has Value=bytes.
std::string withCharSet(const std::string& charSet, const std::string& bytes) {
    return "[LanguageProperty]\r\nName=x\r\nCharSet=" + charSet + "\r\n\r\n[Text]\r\nValue=" + bytes + "\r\nAfter=tail\r\n";
}

std::string decodeValue(const std::string& charSet, const std::string& bytes) {
    RawFile f(withCharSet(charSet, bytes));
    return LanguageFile(f.path).text("Text", "Value");
}

// Well-formed UTF-8 in the sense of RFC 3629: shortest forms, no surrogates, at most U+10FFFF.
bool validUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int n;
        std::uint32_t cp;
        if (c < 0x80) { ++i; continue; }
        if (c >= 0xC2 && c <= 0xDF) { n = 1; cp = c & 0x1F; }
        else if (c >= 0xE0 && c <= 0xEF) { n = 2; cp = c & 0x0F; }
        else if (c >= 0xF0 && c <= 0xF4) { n = 3; cp = c & 0x07; }
        else return false;
        if (i + std::size_t(n) >= s.size()) return false;
        for (int k = 1; k <= n; ++k) {
            unsigned char t = static_cast<unsigned char>(s[i + std::size_t(k)]);
            if ((t & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += std::size_t(n) + 1;
    }
    return true;
}

TEST(LanguageFile, DecodesTheCodePageOfItsCharSet) {
    // Simplified Chinese in GBK.
    EXPECT_EQ(decodeValue("134", "\xBC\xF2\xCC\xE5\xD6\xD0\xCE\xC4"), utf8(u8"\u7B80\u4F53\u4E2D\u6587"));
    // Traditional Chinese in Big5, including two characters whose second byte is a backslash.
    EXPECT_EQ(decodeValue("136", "\xC1\x63\xC5\xE9\xA4\xA4\xA4\xE5"), utf8(u8"\u7E41\u9AD4\u4E2D\u6587"));
    EXPECT_EQ(decodeValue("136", "\xB3\x5C\xA5\x5C"), utf8(u8"\u8A31\u529F"));
    // Japanese in Shift_JIS, Korean in the unified Hangul code page.
    EXPECT_EQ(decodeValue("128", "\x93\xFA\x96\x7B\x8C\xEA"), utf8(u8"\u65E5\u672C\u8A9E"));
    EXPECT_EQ(decodeValue("129", "\xC7\xD1\xB1\xB9\xBE\xEE"), utf8(u8"\uD55C\uAD6D\uC5B4"));
    // Everything else is Western: the euro sign and e acute of Windows-1252.
    for (const char* western : {"0", "1", "2", "238", "99999", "x"}) {
        SCOPED_TRACE(western);
        EXPECT_EQ(decodeValue(western, "\x80 caf\xE9"), utf8(u8"\u20AC caf\u00E9"));
    }
    RawFile noCharSet("[Text]\r\nValue=caf\xE9\r\n");
    EXPECT_EQ(LanguageFile(noCharSet.path).text("Text", "Value"), utf8(u8"caf\u00E9"));
}

TEST(LanguageFile, ByteOrderMarkMeansUtf8) {
    // The mark wins over the character set the file names, and the first section (the one
    // right after the mark) is still found.
    RawFile f("\xEF\xBB\xBF[LanguageProperty]\r\nName=\xE4\xB8\xAD\xE6\x96\x87\r\nCharSet=134\r\n"
              "FontName=\xE5\xAE\x8B\xE4\xBD\x93\r\n\r\n[Menu]\r\nFile=\xE6\x96\x87\xE4\xBB\xB6(&F)\r\n");
    LanguageFile file(f.path);
    EXPECT_TRUE(file.isUtf8());
    EXPECT_EQ(file.text("LanguageProperty", "Name"), utf8(u8"\u4E2D\u6587"));
    EXPECT_EQ(file.fontName(), utf8(u8"\u5B8B\u4F53"));
    EXPECT_EQ(file.charSet(), 134);
    EXPECT_EQ(file.text("Menu", "File"), utf8(u8"\u6587\u4EF6(&F)"));
    EXPECT_EQ(file.path(), f.path);
    EXPECT_EQ(languageDisplayName(f.path), utf8(u8"\u4E2D\u6587"));

    // Unix line ends and a file that is only the mark.
    RawFile lf("\xEF\xBB\xBF[Menu]\nFile=caf\xC3\xA9\n");
    EXPECT_EQ(LanguageFile(lf.path).text("Menu", "File"), utf8(u8"caf\u00E9"));
    RawFile onlyMark("\xEF\xBB\xBF");
    EXPECT_EQ(LanguageFile(onlyMark.path).text("Menu", "File"), "");
    EXPECT_EQ(LanguageFile(onlyMark.path).charSet(), 1);

    // Without the mark the same bytes are Windows-1252 text.
    RawFile noMark("[Menu]\r\nFile=caf\xC3\xA9\r\n");
    LanguageFile plain(noMark.path);
    EXPECT_FALSE(plain.isUtf8());
    EXPECT_EQ(plain.text("Menu", "File"), utf8(u8"caf\u00C3\u00A9"));
}

TEST(LanguageFile, UndecodableBytesBecomeReplacementCharacters) {
    // 0xFF leads nothing in GBK; 0x81 is a lead byte cut off by the end of the value or
    // followed by a byte that cannot trail. The bytes after the bad one survive.
    EXPECT_EQ(decodeValue("134", "ab\xFF" "cd\xD6\xD0"), "ab" + kReplacement + "cd" + utf8(u8"\u4E2D"));
    EXPECT_EQ(decodeValue("134", "ab\x81"), "ab" + kReplacement);
    EXPECT_EQ(decodeValue("134", "\x81 tail"), kReplacement + " tail");
    EXPECT_EQ(decodeValue("136", "\xA4 x\xA4\xA4"), kReplacement + " x" + utf8(u8"\u4E2D"));
    // Windows-1252 leaves 0x81 unassigned.
    EXPECT_EQ(decodeValue("1", "x\x81y"), "x" + kReplacement + "y");
    // A file marked as UTF-8 with a broken sequence and a lone continuation byte.
    RawFile f("\xEF\xBB\xBF[Text]\r\nValue=\xC3(ok\x80!\r\n");
    EXPECT_EQ(LanguageFile(f.path).text("Text", "Value"), kReplacement + "(ok" + kReplacement + "!");
    // Code points past U+10FFFF and UTF-16 surrogates are no UTF-8 either: one mark a byte.
    EXPECT_EQ(decodeToUtf8("a\xF4\x90\x80\x80z", "UTF-8"), "a" + kReplacement + kReplacement + kReplacement + kReplacement + "z");
    EXPECT_EQ(decodeToUtf8("\xED\xA0\x80", "UTF-8"), kReplacement + kReplacement + kReplacement);
    EXPECT_EQ(decodeToUtf8("\xF0\x9F\x8E\xB5", "UTF-8"), utf8(u8"\U0001F3B5"));
    // The rest of the file is untouched by a bad value.
    RawFile g(withCharSet("134", "\xFF\xFF"));
    EXPECT_EQ(LanguageFile(g.path).text("Text", "After"), "tail");

    // Any bytes at all come out as well-formed UTF-8 with every ASCII byte that cannot be
    // the second byte of a pair kept.
    std::mt19937 rng(7);
    for (const char* codePage : {"CP936", "CP950", "CP932", "CP949", "CP1252", "UTF-8"}) {
        for (int round = 0; round < 200; ++round) {
            std::string bytes(std::size_t(rng() % 64), '\0');
            for (char& c : bytes) c = char(rng() & 0xFF);
            std::string out = decodeToUtf8(bytes, codePage);
            ASSERT_TRUE(validUtf8(out)) << codePage;
            std::size_t digits = 0, digitsOut = 0;
            for (char c : bytes) digits += (c >= '0' && c <= '9');
            for (char c : out) digitsOut += (c >= '0' && c <= '9');
            EXPECT_EQ(digitsOut, digits) << codePage;  // digits trail no lead byte in any of these
        }
    }
}

TEST(LanguageFile, PropertiesFallBackToTheirDefaults) {
    RawFile bad("[LanguageProperty]\r\nFontSize=9pt\r\nCharSet=\r\n");
    LanguageFile b(bad.path);
    EXPECT_EQ(b.fontSize(), 8);
    EXPECT_EQ(b.charSet(), 1);
    EXPECT_EQ(b.fontName(), "Tahoma");

    RawFile none("[Menu]\r\nFile=&File\r\n");
    LanguageFile n(none.path);
    EXPECT_EQ(n.fontSize(), 8);
    EXPECT_EQ(n.charSet(), 1);
    EXPECT_EQ(n.fontName(), "Tahoma");
    EXPECT_EQ(languageDisplayName(none.path), "");

    TempDir dir;
    LanguageFile missing(dir.file("missing.ini"));
    EXPECT_EQ(missing.text("Menu", "File"), "");
    EXPECT_EQ(missing.fontSize(), 8);
    EXPECT_EQ(missing.charSet(), 1);
    EXPECT_EQ(missing.fontName(), "Tahoma");
    EXPECT_EQ(languageDisplayName(dir.file("missing.ini")), "");

    RawFile set("[LanguageProperty]\r\nFontName=  Arial Unicode MS \r\nFontSize= 12 \r\nCharSet=0\r\n");
    LanguageFile s(set.path);
    EXPECT_EQ(s.fontName(), "Arial Unicode MS");
    EXPECT_EQ(s.fontSize(), 12);
    EXPECT_EQ(s.charSet(), 0);
}

TEST(LanguageFile, IntegersReadAsStrToIntDef) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"9", 9},           {"+10", 10},     {"-3", -3},   {"007", 7},
        {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
        {"2147483648", -1}, {"99999999999", -1}, {"", -1}, {"+", -1}, {"-", -1},
        {"9pt", -1},        {"1 2", -1},     {"1.5", -1},  {"0x10", -1}, {"--1", -1}, {"\xEF\xBC\x99", -1},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(parseIntOr(text, -1), expected) << text;
}

TEST(LanguageFile, MissingSectionOrKeyIsEmpty) {
    RawFile f(withCharSet("134", "\xD6\xD0"));
    LanguageFile file(f.path);
    EXPECT_EQ(file.text("Text", "Nothing"), "");
    EXPECT_EQ(file.text("Nothing", "Value"), "");
    // Names match without regard to ASCII case, as in every profile file.
    EXPECT_EQ(file.text("text", "VALUE"), utf8(u8"\u4E2D"));
}

// The shipped files, read from the source tree.

const char* const kShipped[] = {"English.ini", "ChineseGB.ini", "ChineseBig5.ini"};

std::string shippedPath(const std::string& name) {
    return std::string(TORVANE_SOURCE_DIR) + "/VKLanguage/" + name;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        std::size_t at = s.find(sep, from);
        parts.push_back(s.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos) return parts;
        from = at + 1;
    }
}

std::string lowered(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

// The English file carries the captions only (its messages are the catalogue's own); the
// Chinese files carry every message a window can show as well.
TEST(ShippedLanguageFiles, CarryEveryCaptionWithAValueAndNothingElse) {
    std::set<std::pair<std::string, std::string>> captions, messages;
    for (const CaptionKey& k : captionKeys()) {
        bool added = captions.insert({lowered(std::string(k.section)), lowered(std::string(k.key))}).second;
        EXPECT_TRUE(added) << k.section << "/" << k.key << " is listed twice";
    }
    for (const MessageEntry& m : messageCatalogue()) {
        bool added = m.cliOnly || messages.insert({"messages", lowered(std::string(m.key))}).second;
        EXPECT_TRUE(added) << m.key << " is listed twice";
    }
    for (const char* name : kShipped) {
        SCOPED_TRACE(name);
        std::set<std::pair<std::string, std::string>> listed = captions;
        if (std::string(name) != "English.ini") listed.insert(messages.begin(), messages.end());
        const std::string path = shippedPath(name);
        LanguageFile file(path);
        for (const CaptionKey& k : captionKeys()) {
            std::string value = file.text(std::string(k.section), std::string(k.key));
            EXPECT_FALSE(value.empty()) << k.section << "/" << k.key;
            EXPECT_EQ(value.find(kReplacement), std::string::npos) << k.section << "/" << k.key;
            EXPECT_TRUE(validUtf8(value)) << k.section << "/" << k.key;
        }
        // Read line by line, independently of the reader: every entry is one the program
        // reads, none is given twice, every line ends in CR LF, and no value is empty.
        const std::string bytes = fileBytes(path);
        ASSERT_FALSE(bytes.empty());
        EXPECT_NE(bytes.compare(0, 3, "\xEF\xBB\xBF"), 0) << "8-bit files carry no byte-order mark";
        ASSERT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
        std::string section;
        std::set<std::pair<std::string, std::string>> seen;
        for (std::string line : split(bytes.substr(0, bytes.size() - 1), '\n')) {
            ASSERT_FALSE(line.empty());
            ASSERT_EQ(line.back(), '\r') << line;
            line.pop_back();
            if (line.empty() || line[0] == ';') continue;
            if (line[0] == '[') {
                ASSERT_EQ(line.back(), ']') << line;
                section = lowered(line.substr(1, line.size() - 2));
                continue;
            }
            std::size_t eq = line.find('=');
            ASSERT_NE(eq, std::string::npos) << line;
            std::pair<std::string, std::string> entry{section, lowered(line.substr(0, eq))};
            EXPECT_TRUE(listed.count(entry)) << line.substr(0, eq) << " in [" << section << "] is read by nobody";
            EXPECT_TRUE(seen.insert(entry).second) << line.substr(0, eq) << " twice in [" << section << "]";
            EXPECT_LT(eq + 1, line.size()) << "empty value: " << line.substr(0, eq);
        }
        EXPECT_EQ(seen, listed);
    }
}

TEST(ShippedLanguageFiles, NameTheirLanguageAndCodePage) {
    LanguageFile en(shippedPath("English.ini"));
    EXPECT_EQ(en.text("LanguageProperty", "Name"), "English");
    EXPECT_EQ(en.charSet(), 1);
    EXPECT_EQ(en.fontName(), "Tahoma");
    EXPECT_EQ(en.fontSize(), 8);
    for (unsigned char c : fileBytes(shippedPath("English.ini"))) EXPECT_LT(c, 0x80);

    LanguageFile gb(shippedPath("ChineseGB.ini"));
    EXPECT_EQ(languageDisplayName(gb.path()), utf8(u8"\u7B80\u4F53\u4E2D\u6587"));
    EXPECT_EQ(gb.charSet(), 134);
    EXPECT_EQ(gb.fontSize(), 9);
    EXPECT_EQ(gb.text("Menu", "File"), utf8(u8"\u6587\u4EF6(&F)"));
    EXPECT_EQ(gb.text("StatusBar", "Mono"), utf8(u8"\u5355\u58F0\u9053"));
    EXPECT_EQ(gb.text("StatusBar", "Stereo"), utf8(u8"\u7ACB\u4F53\u58F0"));
    EXPECT_EQ(gb.text("StatusBar", "Bits"), utf8(u8"\u4F4D"));
    EXPECT_EQ(gb.text("Common", "Ok"), utf8(u8"\u786E\u5B9A"));

    LanguageFile big5(shippedPath("ChineseBig5.ini"));
    EXPECT_EQ(languageDisplayName(big5.path()), utf8(u8"\u7E41\u9AD4\u4E2D\u6587"));
    EXPECT_EQ(big5.charSet(), 136);
    EXPECT_EQ(big5.fontSize(), 9);
    EXPECT_EQ(big5.text("Menu", "File"), utf8(u8"\u6A94\u6848(&F)"));
    EXPECT_EQ(big5.text("Menu", "Help"), utf8(u8"\u8AAA\u660E(&H)"));
    EXPECT_EQ(big5.text("StatusBar", "Stereo"), utf8(u8"\u7ACB\u9AD4\u8072"));
    EXPECT_EQ(big5.text("StatusBar", "Bits"), utf8(u8"\u4F4D\u5143"));
    EXPECT_EQ(big5.text("Common", "Ok"), utf8(u8"\u78BA\u5B9A"));
}

TEST(ShippedLanguageFiles, FiltersListTheSameFormatsInOrder) {
    const std::vector<std::string> savePatterns = {"*.wav;*.mp3;*.wma;*.flac;*.ogg", "*.wav", "*.mp3", "*.wma", "*.flac", "*.ogg", "*.*"};
    const std::vector<std::string> openPatterns = {
        "*.wav;*.mp3;*.wma;*.aif;*.aiff;*.aifc;*.flac;*.ogg;*.oga;*.opus;*.m4a;*.aac;*.wave;*.rf64;*.bw64",
        "*.wav;*.wave;*.rf64;*.bw64", "*.mp3", "*.wma", "*.aif;*.aiff;*.aifc", "*.flac", "*.ogg;*.oga;*.opus",
        "*.m4a;*.aac", "*.*"};
    for (const char* name : kShipped) {
        LanguageFile file(shippedPath(name));
        for (const char* section : {"OpenDialog", "SaveDialog"}) {
            SCOPED_TRACE(std::string(name) + " " + section);
            const auto& patterns = std::string(section) == "OpenDialog" ? openPatterns : savePatterns;
            std::vector<std::string> parts = split(file.text(section, "Filter"), '|');
            ASSERT_EQ(parts.size(), 2 * patterns.size());
            for (std::size_t i = 0; i < patterns.size(); ++i) {
                EXPECT_EQ(parts[2 * i + 1], patterns[i]);
                // Each description shows its own patterns, as the English does.
                EXPECT_NE(parts[2 * i].find("(" + patterns[i] + ")"), std::string::npos) << parts[2 * i];
                EXPECT_GT(parts[2 * i].size(), patterns[i].size() + 2) << "a description besides the patterns";
            }
        }
    }
}

TEST(ShippedLanguageFiles, KeepTheEnglishAccelerators) {
    LanguageFile en(shippedPath("English.ini"));
    for (const char* name : {"ChineseGB.ini", "ChineseBig5.ini"}) {
        LanguageFile file(shippedPath(name));
        for (const CaptionKey& k : captionKeys()) {
            const std::string section(k.section), key(k.key);
            std::string english = en.text(section, key);
            std::string translated = file.text(section, key);
            std::size_t amp = english.find('&');
            if (amp == std::string::npos || amp + 1 == english.size()) {
                EXPECT_EQ(translated.find('&'), std::string::npos) << name << " " << section << "/" << key;
                continue;
            }
            // Chinese Windows programs put the English letter in brackets after the word.
            std::string letter(1, english[amp + 1]);
            std::string expectedTail = "(&" + letter + ")";
            ASSERT_GE(translated.size(), expectedTail.size()) << name << " " << section << "/" << key;
            EXPECT_EQ(translated.substr(translated.size() - expectedTail.size()), expectedTail)
                << name << " " << section << "/" << key;
        }
    }
}

TEST(ShippedLanguageFiles, ZoomRatiosAreTheSameEverywhere) {
    const std::map<std::string, std::string> ratios = {{"Zoom10", "10 : 1"}, {"Zoom8", "8 : 1"}, {"Zoom6", "6 : 1"},
                                                       {"Zoom4", "4 : 1"},   {"Zoom2", "2 : 1"}, {"Zoom1", "1 : 1"}};
    for (const char* name : kShipped) {
        LanguageFile file(shippedPath(name));
        for (const auto& [key, ratio] : ratios) EXPECT_EQ(file.text("Menu", key), ratio) << name << " " << key;
    }
}

}  // namespace
// Every message of a shipped translation decodes in its file's code page and keeps the
// arguments and line breaks of the English text, so nothing the user must read is lost.
TEST(ShippedLanguageFiles, MessagesKeepTheirArgumentsAndLineBreaks) {
    const std::vector<std::string> args = {"\x01", "\x02"};
    auto count = [](const std::string& t, char c) { return std::count(t.begin(), t.end(), c); };
    for (const char* name : {"ChineseGB.ini", "ChineseBig5.ini"}) {
        SCOPED_TRACE(name);
        LanguageFile file(shippedPath(name));
        for (const MessageEntry& m : messageCatalogue()) {
            if (m.cliOnly) continue;
            const std::string english = messageText(m.id, args), translated = messageText(m.id, args, &file);
            EXPECT_FALSE(file.text("Messages", std::string(m.key)).empty()) << m.key;
            EXPECT_EQ(translated.find(kReplacement), std::string::npos) << m.key;
            EXPECT_TRUE(validUtf8(translated)) << m.key;
            for (char c : {'\x01', '\x02', '\n'}) EXPECT_EQ(count(translated, c), count(english, c)) << m.key;
        }
    }
}

// What a language file lacks is English, never blank: messages (with their arguments and a
// "\n" written in the file as a line break) and captions alike.
TEST(LanguageFile, MissingMessagesAndCaptionsFallBackToEnglish) {
    RawFile f("[Messages]\r\nCannotOpenFile=Kan ikke \\n%1\r\nNothingToUndo=\r\n"
              "[Menu]\r\nOpen=Aabn\r\nUndo=\r\n");
    const LanguageFile file(f.path);
    struct Case {
        MessageId id;
        std::string expected;
    };
    for (const Case& c : {Case{MessageId::CannotOpenFile, "Kan ikke \nx.wav"},
                          Case{MessageId::NothingToUndo, "There is nothing to undo."},
                          Case{MessageId::SaveRefusedFolder, "Cannot save to x.wav: it is a folder. Nothing was changed."}})
        EXPECT_EQ(messageText(c.id, {"x.wav"}, &file), c.expected);
    EXPECT_EQ(captionText(&file, "Menu", "Open"), "Aabn");
    EXPECT_EQ(captionText(&file, "Menu", "Undo"), "Undo");
    EXPECT_EQ(captionText(&file, "OpenForm", "Decoding"), "Decoding:");
    EXPECT_EQ(captionText(nullptr, "Common", "Cancel"), "Cancel");
    // Every caption of the windows has its English stand-in.
    for (const CaptionKey& k : captionKeys())
        if (k.section != "StatusBar" && k.section != "LanguageProperty")
            EXPECT_FALSE(captionText(&file, k.section, k.key).empty()) << k.section << "/" << k.key;
}

}  // namespace torvane
