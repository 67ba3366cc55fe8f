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

#include "cli/TerminalProgress.h"
#include "codec/OpenDocument.h"
#include "codec/SaveDocument.h"
#include "doc/DocumentState.h"
#include "edit/Edits.h"
#include "i18n/Messages.h"
#include "platform/Folders.h"
#include "platform/TerminationCleanup.h"
#include "session/Session.h"

namespace {

using namespace torvane;
namespace fs = std::filesystem;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;


// The command line speaks English: its texts come from the catalogue without a language file.
std::string text(MessageId id, const std::vector<std::string>& args = {}) { return messageText(id, args); }

int usageError(MessageId why, const std::vector<std::string>& args = {}) {
    std::fprintf(stderr, "torvane-cli: %s\n\n%s", text(why, args).c_str(), text(MessageId::CliUsage).c_str());
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

// One open, as the editor runs it, in a session whose working folder goes with it.
class CliOpen {
public:
    explicit CliOpen(std::string path, std::int32_t framesPerColumn = kDefaultFramesPerColumn)
        : m_path(std::move(path)), m_framesPerColumn(framesPerColumn) {}

    Outcome run() {
        if (const Outcome r = Session::openable(m_path); !r.ok()) return r;
        if (!m_session.createFolder()) return Outcome::failed(MessageId::NoInstanceFolder);
        TerminalProgress progress(TerminalProgress::stderrIsTerminal());
        Outcome r = m_session.open(m_path, progress);
        if (r.ok() && m_framesPerColumn != kDefaultFramesPerColumn) r = m_session.zoomTo(m_framesPerColumn, progress);
        return r;
    }

    const DocumentState& doc() const { return m_session.doc(); }
    Session& session() { return m_session; }

    // Saves to `out` as Save As would. "-" is standard output; `format` stands in for OUT's
    // extension.
    Outcome saveTo(const std::string& out, std::optional<SaveFormat> format = std::nullopt) {
        TerminalProgress progress(TerminalProgress::stderrIsTerminal());
        m_session.setProgramFolder(programFolder());
        if (out == "-" && !format) format = SaveFormat::Wav;
        return m_session.save(out, progress, format, true);
    }

private:
    std::string m_path;
    std::int32_t m_framesPerColumn;
    Session m_session;
};

// A tag's text on one line of `info`: a line break in it would start a line of its own.
std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

int runInfo(const std::vector<std::string>& args) {
    if (args.size() != 1) return usageError(MessageId::CliInfoArgs);
    CliOpen open(args[0]);
    if (const Outcome r = open.run(); !r.ok()) return failure(args[0], r);
    const DocumentState& d = open.doc();
    std::printf("sample_rate=%d\n", d.format.sampleRate);
    std::printf("channels=%d\n", d.format.channels);
    std::printf("bits_per_sample=%d\n", d.format.bitsPerSample);
    std::printf("block_size=%u\n", d.format.blockSize);
    std::printf("data_offset=%u\n", std::uint32_t(d.format.dataOffset));
    std::printf("data_size=%u\n", d.format.dataSize);
    std::printf("data_end=%u\n", std::uint32_t(d.format.dataEnd));
    std::printf("frame_count=%u\n", d.format.frameCount);
    std::printf("duration=%u\n", d.format.duration);
    std::printf("column_count=%u\n", d.view.columnCount);
    std::printf("source_bitrate=%d\n", d.sourceBitRate);
    std::printf("source_codec=%s\n", d.source.codec.c_str());
    std::printf("source_bits=%d\n", d.source.bits);
    std::printf("source_rate=%d\n", d.source.rate);
    std::printf("source_channels=%d\n", d.source.channels);
    // The source's tags after every other line, those it has only.
    const SourceTags& t = d.source.tags;
    const std::pair<const char*, const std::string*> tags[] = {
        {"title", &t.title}, {"artist", &t.artist}, {"album", &t.album},    {"year", &t.year},
        {"track", &t.track}, {"genre", &t.genre},   {"comment", &t.comment}};
    for (const auto& [name, value] : tags)
        if (!value->empty()) std::printf("tag_%s=%s\n", name, oneLine(*value).c_str());
    if (t.hasCover()) std::printf("tag_cover=%s,%zu\n", t.coverMime.c_str(), t.cover->size());
    return kExitOk;
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

int runPeaks(const std::vector<std::string>& args) {
    std::string file;
    std::int32_t framesPerColumn = kDefaultFramesPerColumn;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string zoom;
        if (a == "--zoom") {
            if (i + 1 >= args.size()) return usageError(MessageId::CliZoomNeedsLevel);
            zoom = args[++i];
        } else if (a.rfind("--zoom=", 0) == 0) {
            zoom = a.substr(7);
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError(MessageId::CliUnknownOption, {a});
        } else if (file.empty()) {
            file = a;
            continue;
        } else {
            return usageError(MessageId::CliPeaksOneFile);
        }
        if (!parseZoom(zoom, framesPerColumn)) return usageError(MessageId::CliZoomLevel, {zoom});
    }
    if (file.empty()) return usageError(MessageId::CliPeaksNeedsFile);
    CliOpen open(file, framesPerColumn);
    if (const Outcome r = open.run(); !r.ok()) return failure(file, r);
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
    if (args.size() != 2) return usageError(MessageId::CliDecodeArgs);
    CliOpen open(args[0]);
    if (const Outcome r = open.run(); !r.ok()) return failure(args[0], r);
    if (sameFile(args[0], args[1])) return usageError(MessageId::CliOutIsFile);
    // The working file is the result: it is put in place as any save is.
    const Outcome saved = open.saveTo(args[1], SaveFormat::Wav);
    return saved.ok() ? kExitOk : failure(args[1], saved);
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
    std::vector<std::string> files;
    std::optional<std::string> bitRate;
    std::optional<SaveFormat> format;
    bool keepTags = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--no-tags") {
            keepTags = false;
        } else if (args[i] == "--format" || args[i].rfind("--format=", 0) == 0) {
            const std::string value = args[i] == "--format" ? (i + 1 < args.size() ? args[++i] : "") : args[i].substr(9);
            if (!parseFormat(value, format)) return usageError(MessageId::CliFormat, {value});
        } else if (args[i] == "--bitrate") {
            if (i + 1 >= args.size()) return usageError(MessageId::CliBitRateNeedsNumber);
            bitRate = args[++i];
        } else if (args[i].rfind("--bitrate=", 0) == 0) {
            bitRate = args[i].substr(10);
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            return usageError(MessageId::CliUnknownOption, {args[i]});
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 2) return usageError(MessageId::CliConvertArgs);
    SaveFormat output = SaveFormat::Wav;
    if (outputFormat(files[1], format, output) != MessageId::None) return usageError(MessageId::CliOutKind, {files[1]});
    std::int32_t kbps = 0;
    if (bitRate) {
        std::vector<std::string> whyArgs;
        const MessageId why = parseBitRate(*bitRate, output, kbps, whyArgs);
        if (why != MessageId::None) return usageError(why, whyArgs);
    }
    if (sameFile(files[0], files[1])) return usageError(MessageId::CliOutIsIn);
    CliOpen open(files[0]);
    if (const Outcome r = open.run(); !r.ok()) return failure(files[0], r);
    if (kbps) open.session().setSourceBitRate(kbps);
    open.session().keepTags(keepTags);
    const Outcome saved = open.saveTo(files[1], output);
    return saved.ok() ? kExitOk : failure(files[1], saved);
}

// A marker given as a column index, or as a time ("12.5s") meaning the column holding it.
bool parseMarker(const std::string& text, const DocumentState& d, std::uint32_t& column) {
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
    const double c = seconds ? std::floor(value * d.format.sampleRate / d.view.framesPerColumn) : value;
    if (c > 4294967295.0) return false;
    column = std::uint32_t(c);
    return true;
}

struct EditOp {
    std::string name;
    float factor = 1.0f;
};

int runEdit(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    std::int32_t framesPerColumn = kDefaultFramesPerColumn;
    std::string selection;
    std::vector<EditOp> ops;
    std::optional<SaveFormat> format;
    bool keepTags = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
        if (a == "--no-tags") {
            keepTags = false;
        } else if (a == "--format" || a.rfind("--format=", 0) == 0) {
            const std::string* v = a == "--format" ? value() : nullptr;
            const std::string text = v ? *v : a.substr(std::min<std::size_t>(a.size(), 9));
            if (!parseFormat(text, format)) return usageError(MessageId::CliFormat, {text});
        } else if (a == "--zoom") {
            const std::string* z = value();
            if (!z) return usageError(MessageId::CliZoomNeedsLevel);
            if (!parseZoom(*z, framesPerColumn)) return usageError(MessageId::CliZoomLevel, {*z});
        } else if (a == "--select") {
            const std::string* v = value();
            if (!v || v->find(':') == std::string::npos) return usageError(MessageId::CliSelectNeeds);
            selection = *v;
        } else if (a == "--volume") {
            const std::string* p = value();
            static const char* const kPercents[] = {"250", "200", "150", "100", "75", "50", "25"};
            int index = -1;
            for (int k = 0; k < 7; ++k)
                if (p && *p == kPercents[k]) index = k;
            if (index < 0) return p ? usageError(MessageId::CliVolumeNot, {*p}) : usageError(MessageId::CliVolume);
            ops.push_back({a, volumeFactor(index)});
        } else if (a == "--delete" || a == "--cut-out" || a == "--mute" || a == "--fade-in" || a == "--fade-out" ||
                   a == "--undo" || a == "--redo") {
            ops.push_back({a});
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError(MessageId::CliUnknownOption, {a});
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) return usageError(MessageId::CliEditArgs);
    SaveFormat output = SaveFormat::Wav;
    if (outputFormat(files[1], format, output) != MessageId::None) return usageError(MessageId::CliOutKind, {files[1]});
    if (ops.empty()) return usageError(MessageId::CliEditNeedsOp);
    if (sameFile(files[0], files[1])) return usageError(MessageId::CliOutIsIn);

    CliOpen open(files[0], framesPerColumn);
    if (const Outcome r = open.run(); !r.ok()) return failure(files[0], r);
    Session& session = open.session();
    const DocumentState& d = session.doc();
    if (!selection.empty()) {
        const auto colon = selection.find(':');
        std::uint32_t start = 0, finish = 0;
        if (!parseMarker(selection.substr(0, colon), d, start) || !parseMarker(selection.substr(colon + 1), d, finish))
            return usageError(MessageId::CliSelectValues, {selection});
        if (!session.select(start, finish))
            return usageError(MessageId::CliSelectRange,
                              {selection, std::to_string(d.view.columnCount ? d.view.columnCount - 1 : 0)});
    }
    // A chain that never undoes keeps nothing for it: no second copy of the audio is written.
    session.keepUndo(std::any_of(ops.begin(), ops.end(), [](const EditOp& op) { return op.name == "--undo"; }));
    TerminalProgress progress(TerminalProgress::stderrIsTerminal());
    for (const EditOp& op : ops) {
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
    session.keepTags(keepTags);
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
    if (argc < 2) return usageError(MessageId::CliNoCommand);
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(text(MessageId::CliUsage).c_str(), stdout);
        return kExitOk;
    }
    if (command == "--version") {
        std::printf("torvane-cli %s\n", TORVANE_VERSION);
        return kExitOk;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(text(MessageId::CliUsage).c_str(), stdout);
            return kExitOk;
        }
    }
    for (const Command& c : kCommands) {
        if (command != c.name) continue;
        const int code = c.run(args);
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
