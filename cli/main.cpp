// torvane-cli: the editor's core without a window. Each subcommand opens its input exactly as
// the editor's Open command does (same working file, same messages) and prints or writes what
// the editor would hold.

#include <cerrno>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <algorithm>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <unistd.h>

#include <QCommandLineParser>
#include <QStringList>

#include "cli/TerminalProgress.h"
#include "codec/OpenDocument.h"
#include "codec/SaveDocument.h"
#include "doc/DocumentState.h"
#include "edit/Edits.h"
#include "i18n/Messages.h"
#include "platform/File.h"
#include "platform/Folders.h"
#include "platform/TerminationCleanup.h"
#include "platform/Utf8.h"
#include "platform/WaveHeader.h"
#include "session/Session.h"

namespace {

using namespace torvane;
namespace fs = std::filesystem;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// -q: no progress bar even on a terminal.
bool g_quiet = false;

// The command line speaks English: its texts come from the catalogue without a language file.
std::string text(MessageId id, const std::vector<std::string>& args = {}) { return messageText(id, args); }

// One line, as the shell tools say it; the whole text is one --help away.
int usageError(MessageId why, const std::vector<std::string>& args = {}) {
    std::fprintf(stderr, "torvane-cli: %s %s\n", text(why, args).c_str(), text(MessageId::CliSeeHelp).c_str());
    return kExitUsage;
}

// "torvane-cli: FILE: reason", the reason being the editor's message (after the caption of the
// box it has its own, an encoder's) and the system's reason where there is one.
int failure(const std::string& file, const Outcome& outcome) {
    std::string reason = outcome.failedWithMessage() ? text(outcome.message, outcome.args) : text(MessageId::CliNotSaved);
    if (outcome.systemError != 0) {
        if (!reason.empty() && reason.back() == '.') reason.pop_back();
        reason += std::string(": ") + std::strerror(outcome.systemError);
    }
    const MessageId caption = messageEntry(outcome.message).caption;
    if (outcome.failedWithMessage() && caption != MessageId::None) reason = text(caption) + ": " + reason;
    std::fprintf(stderr, "torvane-cli: %s: %s\n", file.c_str(), reason.c_str());
    return kExitFailed;
}

bool showProgress() { return !g_quiet && TerminalProgress::stderrIsTerminal(); }

// The extension that routes an open of standard input, found from its first bytes: the open
// picks its reader by the name, and a pipe has none.
std::string extensionOfContent(const unsigned char* b, std::size_t n) {
    auto at = [&](std::size_t offset, const char* tag) {
        const std::size_t len = std::strlen(tag);
        return n >= offset + len && std::memcmp(b + offset, tag, len) == 0;
    };
    static const unsigned char kAsf[] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11};
    if (at(0, "RIFF") && at(8, "WAVE")) return ".wav";
    if (at(0, "RF64") || at(0, "BW64")) return ".rf64";
    if (n >= sizeof kAsf && std::memcmp(b, kAsf, sizeof kAsf) == 0) return ".wma";
    if (at(0, "fLaC")) return ".flac";
    if (at(0, "OggS")) return at(28, "OpusHead") ? ".opus" : ".ogg";
    if (at(0, "FORM") && (at(8, "AIFF") || at(8, "AIFC"))) return ".aiff";
    if (at(4, "ftyp")) return ".m4a";
    if (at(0, "ID3") || (n >= 2 && b[0] == 0xFF && (b[1] & 0xE0) == 0xE0)) return ".mp3";
    return ".wav";
}

// Standard input into a file of the instance folder, named by what it holds; its path or why not.
Outcome copyStandardInput(const std::string& folder, std::string& path) {
    std::vector<unsigned char> block(kBlockBytes);
    std::size_t filled = 0;
    bool ended = false;
    // Enough of the start to know the format, before the file is named.
    while (filled < 64 && !ended) {
        const ssize_t got = ::read(STDIN_FILENO, block.data() + filled, block.size() - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Outcome::failed(MessageId::CannotReadSource).because(errno);
        ended = got == 0;
        filled += std::size_t(got);
    }
    path = folder + "stdin" + extensionOfContent(block.data(), filled);
    File out = File::open(path, File::Mode::Create, 0600);
    if (!out.valid()) return Outcome::failed(MessageId::CannotOpenTempFile).because(errno);
    std::uint64_t at = 0;
    for (;;) {
        if (filled && !out.writeAt(at, block.data(), filled)) return Outcome::failed(MessageId::CannotOpenTempFile).because(errno);
        at += filled;
        filled = 0;
        if (ended) break;
        const ssize_t got = ::read(STDIN_FILENO, block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Outcome::failed(MessageId::CannotReadSource).because(errno);
        ended = got == 0;
        filled = std::size_t(got);
    }
    if (!out.close()) return Outcome::failed(MessageId::CannotOpenTempFile).because(errno);
    return Outcome::done();
}

// A marker given as a column index, or as a time ("12.5s") meaning the column holding it.
bool parseMarker(const std::string& text, std::int32_t sampleRate, std::int32_t framesPerColumn, std::uint32_t& column) {
    if (text.empty()) return false;
    const bool seconds = text.back() == 's';
    const std::string number = seconds ? text.substr(0, text.size() - 1) : text;
    if (number.empty() || number.find_first_not_of("0123456789.") != std::string::npos ||
        (!seconds && number.find('.') != std::string::npos))
        return false;
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(number.c_str(), &end);
    if (errno != 0 || end != number.c_str() + number.size() || !(value >= 0)) return false;
    const double c = seconds ? std::floor(value * sampleRate / framesPerColumn) : value;
    if (c > 4294967295.0) return false;
    column = std::uint32_t(c);
    return true;
}

// --select's "S:F" (holding a colon) as two markers.
bool parseSelection(const std::string& text, std::int32_t sampleRate, std::int32_t framesPerColumn, Selection& s) {
    const auto colon = text.find(':');
    return parseMarker(text.substr(0, colon), sampleRate, framesPerColumn, s.startMarker) &&
           parseMarker(text.substr(colon + 1), sampleRate, framesPerColumn, s.finishMarker);
}

// One open, as the editor runs it, in a session whose working folder goes with it. IN "-" is
// standard input, kept in that folder first.
class CliOpen {
public:
    explicit CliOpen(std::string path, std::int32_t framesPerColumn = kDefaultFramesPerColumn)
        : m_path(std::move(path)), m_framesPerColumn(framesPerColumn) {}

    // The first edit of a chain, which the open may do as it copies (see Session::openEdited).
    struct FirstEdit {
        EditKind kind;
        std::string selection;  // --select's value; empty: the whole document
    };

    Outcome run(const FirstEdit* first = nullptr) {
        std::string source = m_path;
        if (m_path != "-") {
            if (const Outcome r = Session::openable(m_path); !r.ok()) return r;
        }
        if (!m_session.createFolder()) return Outcome::failed(MessageId::NoInstanceFolder);
        if (m_path == "-")
            if (const Outcome r = copyStandardInput(m_session.doc().tempFolder, source); !r.ok()) return r;
        WaveHeader header;
        const bool copies = sourceKindOf(source) == SourceKind::Wav &&
                            readWaveHeaderFile(source, header) == WaveHeaderError::None;
        TerminalProgress progress(showProgress(), copies ? TerminalProgress::Phase::Loading
                                                         : TerminalProgress::Phase::Decoding);
        // Copying only what the edit keeps spares copying the rest in and moving it back. The
        // environment switch runs the commands one by one, to compare the two.
        Selection selection;
        if (first && copies && !std::getenv("TORVANE_CLI_OPEN_WHOLE") &&
            (first->selection.empty() || parseSelection(first->selection, header.sampleRate, m_framesPerColumn, selection))) {
            const std::optional<Selection> chosen = first->selection.empty() ? std::nullopt : std::optional(selection);
            if (std::optional<Outcome> r = m_session.openEdited(source, m_framesPerColumn, first->kind, chosen, progress)) {
                m_edited = true;
                return *r;
            }
        }
        Outcome r = m_session.open(source, progress);
        if (r.ok() && m_framesPerColumn != kDefaultFramesPerColumn) r = m_session.zoomTo(m_framesPerColumn, progress);
        return r;
    }

    const DocumentState& doc() const { return m_session.doc(); }
    Session& session() { return m_session; }
    // The first edit was done with the open.
    bool edited() const { return m_edited; }

    // Saves to `out` as Save As would, the last thing done with the document. "-" is standard
    // output; `format` stands in for OUT's extension.
    Outcome saveTo(const std::string& out, std::optional<SaveFormat> format = std::nullopt) {
        if (out == "-" && !format) format = SaveFormat::Wav;
        const bool encodes = format ? *format != SaveFormat::Wav : saveFormatOf(out) != SaveFormat::Wav;
        TerminalProgress progress(showProgress(), encodes ? TerminalProgress::Phase::Encoding
                                                          : TerminalProgress::Phase::Saving);
        m_session.setProgramFolder(programFolder());
        return m_session.saveLast(out, progress, format, true);
    }

private:
    std::string m_path;
    std::int32_t m_framesPerColumn;
    Session m_session;
    bool m_edited = false;
};

// A tag's text on one line of `info`: a line break in it would start a line of its own.
std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

// A JSON string of `s`; a name that is not UTF-8 (a path's bytes) is read as Latin-1, so that
// the document stays one a JSON reader takes.
std::string jsonString(const std::string& s) {
    const bool latin1 = !validUtf8(s);
    std::string out = "\"";
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || (latin1 && c >= 0x80)) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

// The values `info` prints, in order: numbers as they are written, texts unquoted.
struct InfoValue {
    std::string key;
    std::string value;
    bool number;
};

std::vector<InfoValue> infoValues(const DocumentState& d) {
    const auto& f = d.format;
    // Milliseconds cut, not rounded: 29.9995 s is not yet 30.
    const std::uint64_t ms = f.sampleRate > 0 ? std::uint64_t(f.frameCount) * 1000 / std::uint64_t(f.sampleRate) : 0;
    char duration[32];
    std::snprintf(duration, sizeof duration, "%llu.%03llu", static_cast<unsigned long long>(ms / 1000),
                  static_cast<unsigned long long>(ms % 1000));
    std::vector<InfoValue> v = {
        {"sample_rate", std::to_string(f.sampleRate), true},
        {"channels", std::to_string(f.channels), true},
        {"bits_per_sample", std::to_string(f.bitsPerSample), true},
        {"block_size", std::to_string(f.blockSize), true},
        {"data_offset", std::to_string(std::uint32_t(f.dataOffset)), true},
        {"data_size", std::to_string(f.dataSize), true},
        {"data_end", std::to_string(std::uint32_t(f.dataEnd)), true},
        {"frame_count", std::to_string(f.frameCount), true},
        {"duration", duration, true},
        {"column_count", std::to_string(d.view.columnCount), true},
        {"source_bitrate", std::to_string(d.sourceBitRate), true},
        {"source_codec", d.source.codec, false},
        {"source_bits", std::to_string(d.source.bits), true},
        {"source_rate", std::to_string(d.source.rate), true},
        {"source_channels", std::to_string(d.source.channels), true},
    };
    // The source's tags after every other value, those it has only.
    const SourceTags& t = d.source.tags;
    const std::pair<const char*, const std::string*> tags[] = {
        {"title", &t.title}, {"artist", &t.artist}, {"album", &t.album},    {"year", &t.year},
        {"track", &t.track}, {"genre", &t.genre},   {"comment", &t.comment}};
    for (const auto& [name, value] : tags)
        if (!value->empty()) v.push_back({std::string("tag_") + name, *value, false});
    if (t.hasCover()) v.push_back({"tag_cover", t.coverMime + "," + std::to_string(t.cover->size()), false});
    return v;
}

using OptionList = QList<QCommandLineOption>;

// The global options every command takes besides its own.
OptionList withGlobalOptions(OptionList options) {
    options << QCommandLineOption(QStringList{"h", "help"}) << QCommandLineOption(QStringList{"V", "version"})
            << QCommandLineOption(QStringList{"q", "quiet"});
    return options;
}

int printUsage() {
    std::fputs(text(MessageId::CliUsage).c_str(), stdout);
    return kExitOk;
}

int printVersion() {
    std::printf("torvane-cli %s\n", TORVANE_VERSION);
    return kExitOk;
}

// What a value option without its value is told.
MessageId missingValueMessage(const QString& option) {
    if (option == "zoom") return MessageId::CliZoomNeedsLevel;
    if (option == "bitrate") return MessageId::CliBitRateNeedsNumber;
    if (option == "select") return MessageId::CliSelectNeeds;
    if (option == "volume") return MessageId::CliVolume;
    return MessageId::CliFormat;
}

// Parses a command's arguments: `--opt=value` or `--opt value`, "--" ends the options, "-" is
// a file. Returns an exit code when the run ends here (help, version, a usage error), else -1
// with the files in `files`.
int parseArguments(QCommandLineParser& parser, const std::vector<std::string>& args, const OptionList& own,
                    std::vector<std::string>& files) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.addOptions(withGlobalOptions(own));
    // Each byte a character of its own: a name that is not UTF-8 comes back as it was given.
    QStringList list{"torvane-cli"};
    for (const std::string& a : args) list << QString::fromLatin1(a.data(), qsizetype(a.size()));
    if (!parser.parse(list)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            const QString& name = unknown.front();
            return usageError(MessageId::CliUnknownOption, {((name.size() == 1 ? "-" : "--") + name).toLatin1().toStdString()});
        }
        // A value option last on the line, or a value given to one that takes none.
        if (!args.empty() && args.back().rfind("--", 0) == 0) {
            const QString last = QString::fromStdString(args.back().substr(2));
            for (const QCommandLineOption& o : own)
                if (o.names().contains(last) && !o.valueName().isEmpty())
                    return usageError(missingValueMessage(last), last == "format" ? std::vector<std::string>{""}
                                                                                    : std::vector<std::string>{});
        }
        for (const std::string& a : args)
            if (a.rfind("--", 0) == 0 && a.find('=') != std::string::npos)
                return usageError(MessageId::CliUnknownOption, {a});
        return usageError(MessageId::CliUnknownOption, {parser.errorText().toStdString()});
    }
    if (parser.isSet("help")) return printUsage();
    if (parser.isSet("version")) return printVersion();
    g_quiet = g_quiet || parser.isSet("quiet");
    for (const QString& p : parser.positionalArguments()) files.push_back(p.toLatin1().toStdString());
    return -1;
}

QCommandLineOption valueOption(const QString& name) { return QCommandLineOption(name, QString(), "value"); }

int runInfo(const std::vector<std::string>& args) {
    QCommandLineParser parser;
    std::vector<std::string> files;
    if (const int code = parseArguments(parser, args, {QCommandLineOption("json")}, files); code >= 0) return code;
    if (files.empty()) return usageError(MessageId::CliInfoArgs);
    const bool json = parser.isSet("json");
    const bool many = files.size() > 1;
    int code = kExitOk;
    bool first = true;
    if (json) std::printf("[");
    for (const std::string& file : files) {
        CliOpen open(file);
        if (const Outcome r = open.run(); !r.ok()) {
            code = failure(file, r);
            continue;
        }
        const std::vector<InfoValue> values = infoValues(open.doc());
        if (json) {
            std::printf("%s\n  {\"path\": %s", first ? "" : ",", jsonString(file).c_str());
            for (const InfoValue& v : values)
                std::printf(", \"%s\": %s", v.key.c_str(), v.number ? v.value.c_str() : jsonString(v.value).c_str());
            std::printf("}");
        } else {
            // Several files: a block each, led by its path, a blank line between blocks.
            if (!first) std::printf("\n");
            if (many) std::printf("path=%s\n", oneLine(file).c_str());
            for (const InfoValue& v : values) std::printf("%s=%s\n", v.key.c_str(), oneLine(v.value).c_str());
        }
        std::fflush(stdout);
        first = false;
    }
    if (json) std::printf(first ? "]\n" : "\n]\n");
    return code;
}

bool parseZoom(const std::string& text, std::int32_t& framesPerColumn) {
    for (const std::int32_t level : kZoomLevels) {
        if (text == std::to_string(level / 1000)) {
            framesPerColumn = level;
            return true;
        }
    }
    return false;
}

std::string value(const QCommandLineParser& parser, const char* name) { return parser.value(name).toLatin1().toStdString(); }

int runPeaks(const std::vector<std::string>& args) {
    QCommandLineParser parser;
    std::vector<std::string> files;
    if (const int code = parseArguments(parser, args, {valueOption("zoom")}, files); code >= 0) return code;
    std::int32_t framesPerColumn = kDefaultFramesPerColumn;
    if (parser.isSet("zoom") && !parseZoom(value(parser, "zoom"), framesPerColumn))
        return usageError(MessageId::CliZoomLevel, {value(parser, "zoom")});
    if (files.size() > 1) return usageError(MessageId::CliPeaksOneFile);
    if (files.empty()) return usageError(MessageId::CliPeaksNeedsFile);
    CliOpen open(files[0], framesPerColumn);
    if (const Outcome r = open.run(); !r.ok()) return failure(files[0], r);
    const DocumentState& d = open.doc();
    for (std::uint32_t c = 0; c < d.view.columnCount; ++c) std::printf("%u %d %d\n", c, d.peaks.left[c], d.peaks.right[c]);
    return kExitOk;
}

bool sameFile(const std::string& a, const std::string& b) {
    if (a == "-" || b == "-") return false;
    std::error_code ec;
    return a == b || fs::equivalent(a, b, ec);
}

// --format wav|mp3|wma|flac|ogg, given as the option's next argument or after "=".
bool parseFormat(const std::string& text, std::optional<SaveFormat>& format) {
    if (text == "wav") format = SaveFormat::Wav;
    else if (text == "mp3") format = SaveFormat::Mp3;
    else if (text == "wma") format = SaveFormat::Wma;
    else if (text == "flac") format = SaveFormat::Flac;
    else if (text == "ogg") format = SaveFormat::Ogg;
    else return false;
    return true;
}

// OUT's format: --format's, standard output's (WAV), or its extension's, which must be one a
// save writes: a name like "song.flac" is never written as something else under it.
MessageId outputFormat(const std::string& out, const std::optional<SaveFormat>& format, SaveFormat& output) {
    if (format) output = *format;
    else if (out == "-") output = SaveFormat::Wav;
    else if (isSaveExtension(out)) output = saveFormatOf(out);
    else return MessageId::CliOutKind;
    return MessageId::None;
}

int runDecode(const std::vector<std::string>& args) {
    QCommandLineParser parser;
    std::vector<std::string> files;
    if (const int code = parseArguments(parser, args, {}, files); code >= 0) return code;
    if (files.size() != 2) return usageError(MessageId::CliDecodeArgs);
    CliOpen open(files[0]);
    if (const Outcome r = open.run(); !r.ok()) return failure(files[0], r);
    if (sameFile(files[0], files[1])) return usageError(MessageId::CliOutIsFile);
    // The working file is the result: it is put in place as any save is.
    const Outcome saved = open.saveTo(files[1], SaveFormat::Wav);
    return saved.ok() ? kExitOk : failure(files[1], saved);
}

// --bitrate K: one of the rates the output format's encoder has. None when taken (and `kbps`
// set), else why not (with its arguments). Anything else would be encoded as asked (a 6 Mbit/s
// WMA) or snapped to another rate without a word.
MessageId parseBitRate(const std::string& text, SaveFormat format, std::int32_t& kbps, std::vector<std::string>& args) {
    static const std::vector<std::int32_t> kMp3 = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const std::vector<std::int32_t> kWma = {32, 48, 64, 80, 96, 128, 160, 192, 256, 320};
    if (format == SaveFormat::Wav || format == SaveFormat::Flac) return MessageId::CliBitRateWavOnly;
    if (format == SaveFormat::Ogg) {
        // Any whole number the Vorbis encoder can aim at (for 44.1 kHz stereo).
        const bool digits = !text.empty() && text.size() <= 3 && text.find_first_not_of("0123456789") == std::string::npos;
        const int value = digits ? std::atoi(text.c_str()) : 0;
        if (value < 45 || value > 500 || text[0] == '0') {
            args = {text};
            return MessageId::CliBitRateOgg;
        }
        kbps = value;
        return MessageId::None;
    }
    std::string accepted;
    for (const std::int32_t rate : format == SaveFormat::Mp3 ? kMp3 : kWma) {
        if (text == std::to_string(rate)) {
            kbps = rate;
            return MessageId::None;
        }
        accepted += " " + std::to_string(rate);
    }
    args = {accepted, text};
    return format == SaveFormat::Mp3 ? MessageId::CliBitRateMp3 : MessageId::CliBitRateWma;
}

int runConvert(const std::vector<std::string>& args) {
    QCommandLineParser parser;
    std::vector<std::string> files;
    const OptionList own = {QCommandLineOption("no-tags"), valueOption("format"), valueOption("bitrate")};
    if (const int code = parseArguments(parser, args, own, files); code >= 0) return code;
    std::optional<SaveFormat> format;
    if (parser.isSet("format") && !parseFormat(value(parser, "format"), format))
        return usageError(MessageId::CliFormat, {value(parser, "format")});
    if (files.size() != 2) return usageError(MessageId::CliConvertArgs);
    SaveFormat output = SaveFormat::Wav;
    if (outputFormat(files[1], format, output) != MessageId::None) return usageError(MessageId::CliOutKind, {files[1]});
    std::int32_t kbps = 0;
    if (parser.isSet("bitrate")) {
        std::vector<std::string> whyArgs;
        const MessageId why = parseBitRate(value(parser, "bitrate"), output, kbps, whyArgs);
        if (why != MessageId::None) return usageError(why, whyArgs);
    }
    if (sameFile(files[0], files[1])) return usageError(MessageId::CliOutIsIn);
    CliOpen open(files[0]);
    if (const Outcome r = open.run(); !r.ok()) return failure(files[0], r);
    if (kbps) open.session().setSourceBitRate(kbps);
    open.session().keepTags(!parser.isSet("no-tags"));
    const Outcome saved = open.saveTo(files[1], output);
    return saved.ok() ? kExitOk : failure(files[1], saved);
}

struct EditOp {
    std::string name;
    float factor = 1.0f;
};

int runEdit(const std::vector<std::string>& args) {
    QCommandLineParser parser;
    std::vector<std::string> files;
    static const char* const kOps[] = {"delete", "cut-out", "mute", "fade-in", "fade-out", "undo", "redo"};
    OptionList own = {QCommandLineOption("no-tags"), valueOption("format"), valueOption("zoom"), valueOption("select"),
                      valueOption("volume")};
    for (const char* op : kOps) own << QCommandLineOption(op);
    if (const int code = parseArguments(parser, args, own, files); code >= 0) return code;

    std::optional<SaveFormat> format;
    if (parser.isSet("format") && !parseFormat(value(parser, "format"), format))
        return usageError(MessageId::CliFormat, {value(parser, "format")});
    std::int32_t framesPerColumn = kDefaultFramesPerColumn;
    if (parser.isSet("zoom") && !parseZoom(value(parser, "zoom"), framesPerColumn))
        return usageError(MessageId::CliZoomLevel, {value(parser, "zoom")});
    const std::string selection = value(parser, "select");
    if (parser.isSet("select") && selection.find(':') == std::string::npos) return usageError(MessageId::CliSelectNeeds);
    // The operations in the order given: the parser keeps each option's name as it came.
    std::vector<EditOp> ops;
    const QStringList volumes = parser.values("volume");
    qsizetype nextVolume = 0;
    for (const QString& name : parser.optionNames()) {
        if (name == "volume") {
            static const char* const kPercents[] = {"250", "200", "150", "100", "75", "50", "25"};
            const std::string p = volumes.value(nextVolume++).toLatin1().toStdString();
            int index = -1;
            for (int k = 0; k < 7; ++k)
                if (p == kPercents[k]) index = k;
            if (index < 0) return usageError(MessageId::CliVolumeNot, {p});
            ops.push_back({"--volume", volumeFactor(index)});
        } else if (std::find(std::begin(kOps), std::end(kOps), name.toStdString()) != std::end(kOps)) {
            ops.push_back({"--" + name.toStdString()});
        }
    }
    if (files.size() != 2) return usageError(MessageId::CliEditArgs);
    SaveFormat output = SaveFormat::Wav;
    if (outputFormat(files[1], format, output) != MessageId::None) return usageError(MessageId::CliOutKind, {files[1]});
    if (ops.empty()) return usageError(MessageId::CliEditNeedsOp);
    if (sameFile(files[0], files[1])) return usageError(MessageId::CliOutIsIn);

    // A chain that never undoes keeps nothing for it: no second copy of the audio is written,
    // and a first Delete or Cut Out may be done by the open.
    const bool undoes = std::any_of(ops.begin(), ops.end(), [](const EditOp& op) { return op.name == "--undo"; });
    std::optional<CliOpen::FirstEdit> first;
    if (!undoes && (ops[0].name == "--delete" || ops[0].name == "--cut-out"))
        first = CliOpen::FirstEdit{ops[0].name == "--delete" ? EditKind::Delete : EditKind::CutOut, selection};
    CliOpen open(files[0], framesPerColumn);
    if (const Outcome r = open.run(first ? &*first : nullptr); !r.ok()) return failure(files[0], r);
    Session& session = open.session();
    const DocumentState& d = session.doc();
    if (!selection.empty() && !open.edited()) {
        Selection s;
        if (!parseSelection(selection, d.format.sampleRate, d.view.framesPerColumn, s))
            return usageError(MessageId::CliSelectValues, {selection});
        if (!session.select(s.startMarker, s.finishMarker))
            return usageError(MessageId::CliSelectRange,
                              {selection, std::to_string(d.view.columnCount ? d.view.columnCount - 1 : 0)});
    }
    session.keepUndo(undoes);
    TerminalProgress progress(showProgress(), TerminalProgress::Phase::Processing);
    for (const EditOp& op : std::vector<EditOp>(ops.begin() + (open.edited() ? 1 : 0), ops.end())) {
        Outcome r;
        if (op.name == "--delete") r = session.deleteSelection(progress);
        else if (op.name == "--cut-out") r = session.cutOut(progress);
        else if (op.name == "--volume") r = session.changeVolume(op.factor, false, progress);
        else if (op.name == "--mute") r = session.changeVolume(1.0f, true, progress);
        else if (op.name == "--fade-in") r = session.fadeIn(progress);
        else if (op.name == "--undo") r = session.undo(progress);
        else if (op.name == "--redo") r = session.redo(progress);
        else r = session.fadeOut(progress);
        if (!r.ok()) return failure(files[0], r);
    }
    progress.finish();
    session.keepTags(!parser.isSet("no-tags"));
    const Outcome saved = open.saveTo(files[1], output);
    return saved.ok() ? kExitOk : failure(files[1], saved);
}

struct Command {
    const char* name;
    int (*run)(const std::vector<std::string>& args);
};

const Command kCommands[] = {
    {"info", runInfo},
    {"peaks", runPeaks},
    {"decode", runDecode},
    {"edit", runEdit},
    {"convert", runConvert},
};

}  // namespace

int main(int argc, char** argv) {
    torvane::installTerminationCleanup();
    // A reader that went away (a closed pipe) is a failed write to report, not a silent death
    // that would leave the working folder behind.
    ::signal(SIGPIPE, SIG_IGN);
    // The global options may come before the command; the command takes the rest.
    std::vector<std::string> rest;
    std::string command;
    bool help = false, version = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (!command.empty()) {
            rest.push_back(a);
        } else if (a == "-h" || a == "--help") {
            help = true;
        } else if (a == "-V" || a == "--version") {
            version = true;
        } else if (a == "-q" || a == "--quiet") {
            g_quiet = true;
        } else if (a == "--") {
            if (i + 1 < argc) command = argv[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError(MessageId::CliUnknownOption, {a.substr(0, a.find('='))});
        } else {
            command = a;
        }
    }
    if (help || command == "help") return printUsage();
    if (version) return printVersion();
    if (command.empty()) return usageError(MessageId::CliNoCommand);
    for (const Command& c : kCommands) {
        if (command != c.name) continue;
        const int code = c.run(rest);
        // What was printed must have arrived (a full disk, a closed pipe): say so otherwise.
        errno = 0;
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "torvane-cli: %s\n",
                         text(MessageId::CliCannotWriteOutput, {std::strerror(errno ? errno : EIO)}).c_str());
            return kExitFailed;
        }
        return code;
    }
    return usageError(MessageId::CliUnknownCommand, {command});
}
