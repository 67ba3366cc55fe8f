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
#include <vector>

#include "cli/TerminalProgress.h"
#include "codec/OpenDocument.h"
#include "codec/SaveDocument.h"
#include "doc/DocumentState.h"
#include "edit/Edits.h"
#include "platform/Folders.h"
#include "platform/Prompts.h"
#include "platform/TerminationCleanup.h"
#include "session/Session.h"

namespace {

using namespace torvane;
namespace fs = std::filesystem;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "usage: torvane-cli COMMAND [ARGUMENTS]\n"
    "\n"
    "Opens WAV, MP3 and WMA files the way Torvane Audio Editor does, without a window.\n"
    "\n"
    "Commands:\n"
    "  info FILE              Open FILE and print the working file's values, one key=value\n"
    "                         line each: sample_rate (Hz), channels, bits_per_sample,\n"
    "                         block_size (bytes per frame), data_offset, data_size, data_end\n"
    "                         (bytes), frame_count, duration (whole seconds), column_count\n"
    "                         (columns of the waveform at zoom 10:1) and source_bitrate\n"
    "                         (average kbit/s of an MP3 or WMA source, 0 for WAV).\n"
    "  peaks FILE [--zoom N]  Open FILE and print its peak table, one line per column:\n"
    "                         \"column left right\", peaks 0..100 (right equals left for mono).\n"
    "                         N is the zoom level 10, 8, 6, 4, 2 or 1, meaning N*1000 sample\n"
    "                         frames per column; the default is 10.\n"
    "  decode FILE OUT.wav    Open FILE and write the working file the editor makes of it\n"
    "                         (the decoded PCM WAV of an MP3 or WMA, a copy of a WAV) to OUT.wav.\n"
    "  edit IN OUT [--zoom N] [--select S:F] [--format F] OP...\n"
    "                         Open IN as the editor does, set the zoom (default 10) and the\n"
    "                         selection (default the whole document), apply each OP in order\n"
    "                         with the editor's marker rules after each, and write the result\n"
    "                         to OUT as convert does. S and F are column indices at that zoom, or\n"
    "                         times with an s suffix (12.5s), each meaning the column that holds\n"
    "                         that time; S must be below F and F at most the last column.\n"
    "                         OP is one of:\n"
    "                           --delete     remove the selection\n"
    "                           --cut-out    keep only the selection\n"
    "                           --volume P   scale the selection by P percent: 250, 200, 150,\n"
    "                                        100, 75, 50 or 25\n"
    "                           --mute       silence the selection\n"
    "                           --fade-in    fade the selection in\n"
    "                           --fade-out   fade the selection out\n"
    "                           --undo       undo the last edit not yet undone: the file,\n"
    "                                        the zoom and the selection as before it\n"
    "                           --redo       do the last undone edit again; an edit after\n"
    "                                        --undo drops what could be redone\n"
    "                         --undo with nothing to undo, or --redo with nothing to redo,\n"
    "                         is refused (exit 1) and nothing is written.\n"
    "                         After Delete the selection is one column from its start; after\n"
    "                         Cut Out it is the whole document; the others keep it. IN is never\n"
    "                         modified; OUT must be another file.\n"
    "  convert IN OUT [--bitrate K] [--format F]\n"
    "                         Open IN and write it to OUT exactly as the editor's Save As does,\n"
    "                         in the format of OUT's extension: .mp3 (MP3 at the source's bit\n"
    "                         rate; 128 kbit/s for a WAV source; at most 64 at 11025 Hz and\n"
    "                         below), .wma (WMA, 44100 Hz stereo, at the source's bit rate; 96\n"
    "                         for a WAV source), anything else a copy of the working file (WAV).\n"
    "                         --bitrate K (or --bitrate=K, kbit/s) stands in for the source's bit\n"
    "                         rate: for MP3 one of 32 40 48 56 64 80 96 112 128 160 192 224 256\n"
    "                         320, for WMA one of 32 48 64 80 96 128 160 192 256 320; it is\n"
    "                         refused for WAV output.\n"
    "                         --format wav|mp3|wma stands in for OUT's extension.\n"
    "\n"
    "OUT is written the way the editor saves: into a new temporary file ~NAME.XXXXXX.tmp beside\n"
    "it, which replaces OUT only when complete, so OUT is always the old file or the whole new\n"
    "one. OUT keeps its permissions (and owner and group where allowed); a symbolic link stays\n"
    "a link and its target gets the new file; a file with several hard links is rewritten in\n"
    "place, so every name sees the new audio. A FIFO or a character device receives the\n"
    "finished bytes and stays what it was. OUT \"-\" is standard output (WAV unless --format\n"
    "says otherwise). A folder, a socket or a block device is refused and left alone.\n"
    "  --help, -h             Show this text.\n"
    "  --version              Print the version.\n"
    "\n"
    "FILE is taken by its extension: .wav, .mp3 or .wma, in any case. A file the editor would\n"
    "refuse prints the editor's message on stderr and exits with 1; a usage error exits with 2.\n"
    "While stderr is a terminal, a progress bar is drawn there.\n";

int usageError(const std::string& why) {
    std::fprintf(stderr, "torvane-cli: %s\n\n%s", why.c_str(), kUsage);
    return kExitUsage;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return kExitFailed;
}

// The encoders' own messages go to stderr, one line each, after their caption.
class StderrPrompts final : public Prompts {
public:
    int messageBox(const MessageRequest& request) override {
        if (request.caption.empty()) std::fprintf(stderr, "%s\n", request.text.c_str());
        else std::fprintf(stderr, "%s: %s\n", request.caption.c_str(), request.text.c_str());
        return IDOK;
    }
    std::optional<FileDialogResult> fileDialog(const FileDialogRequest&) override { return std::nullopt; }
    void openExternal(const std::string&) override {}
};

// One open, as the editor runs it, in a session whose working folder goes with it.
class CliOpen {
public:
    explicit CliOpen(std::string path, std::int32_t framesPerColumn = kDefaultFramesPerColumn)
        : m_path(std::move(path)), m_framesPerColumn(framesPerColumn) {}

    // Empty on success, else the message to print.
    std::string run() {
        if (const Outcome r = Session::openable(m_path); !r.ok()) return r.message;
        if (!m_session.createFolder()) return kMsgNoInstanceFolder;
        TerminalProgress progress(TerminalProgress::stderrIsTerminal());
        Outcome r = m_session.open(m_path, progress);
        if (r.ok() && m_framesPerColumn != kDefaultFramesPerColumn) r = m_session.zoomTo(m_framesPerColumn, progress);
        return r.ok() ? std::string() : r.message;
    }

    const DocumentState& doc() const { return m_session.doc(); }
    Session& session() { return m_session; }

    // Saves to `out` as Save As would; empty on success, else the message to print.
    // "-" is standard output; `format` stands in for OUT's extension.
    std::string saveTo(const std::string& out, std::optional<SaveFormat> format = std::nullopt) {
        StderrPrompts prompts;
        TerminalProgress progress(TerminalProgress::stderrIsTerminal());
        m_session.setProgramFolder(programFolder());
        if (out == "-" && !format) format = SaveFormat::Wav;
        const Outcome r = m_session.save(out, prompts, progress, nullptr, format, true);
        if (r.ok()) return {};
        return r.message.empty() ? std::string("The file was not saved.") : r.message;
    }

private:
    std::string m_path;
    std::int32_t m_framesPerColumn;
    Session m_session;
};

int runInfo(const std::vector<std::string>& args) {
    if (args.size() != 1) return usageError("info takes exactly one FILE");
    CliOpen open(args[0]);
    const std::string message = open.run();
    if (!message.empty()) return failure(message);
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
            if (i + 1 >= args.size()) return usageError("--zoom needs a level (10, 8, 6, 4, 2 or 1)");
            zoom = args[++i];
        } else if (a.rfind("--zoom=", 0) == 0) {
            zoom = a.substr(7);
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError("unknown option " + a);
        } else if (file.empty()) {
            file = a;
            continue;
        } else {
            return usageError("peaks takes one FILE");
        }
        if (!parseZoom(zoom, framesPerColumn)) return usageError("zoom level must be 10, 8, 6, 4, 2 or 1, not " + zoom);
    }
    if (file.empty()) return usageError("peaks needs a FILE");
    CliOpen open(file, framesPerColumn);
    const std::string message = open.run();
    if (!message.empty()) return failure(message);
    const DocumentState& d = open.doc();
    for (std::uint32_t c = 0; c < d.view.columnCount; ++c) std::printf("%u %d %d\n", c, d.peaks.left[c], d.peaks.right[c]);
    return kExitOk;
}

bool sameFile(const std::string& a, const std::string& b) {
    if (a == "-" || b == "-") return false;
    std::error_code ec;
    return a == b || fs::equivalent(a, b, ec);
}

// --format wav|mp3|wma, given as the option's next argument or after "=".
bool parseFormat(const std::string& text, std::optional<SaveFormat>& format) {
    if (text == "wav") format = SaveFormat::Wav;
    else if (text == "mp3") format = SaveFormat::Mp3;
    else if (text == "wma") format = SaveFormat::Wma;
    else return false;
    return true;
}

int runDecode(const std::vector<std::string>& args) {
    if (args.size() != 2) return usageError("decode takes FILE and OUT.wav");
    CliOpen open(args[0]);
    const std::string message = open.run();
    if (!message.empty()) return failure(message);
    if (sameFile(args[0], args[1])) return usageError("OUT must be another file than FILE: the source is never modified");
    // The working file is the result: it is put in place as any save is.
    const std::string saved = open.saveTo(args[1], SaveFormat::Wav);
    return saved.empty() ? kExitOk : failure(saved);
}

// --bitrate K: one of the rates the output format's encoder has. Empty when taken (and `kbps`
// set), else why not. Anything else would be encoded as asked (a 6 Mbit/s WMA) or snapped to
// another rate without a word.
std::string parseBitRate(const std::string& text, SaveFormat format, std::int32_t& kbps) {
    static const std::vector<std::int32_t> kMp3 = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const std::vector<std::int32_t> kWma = {32, 48, 64, 80, 96, 128, 160, 192, 256, 320};
    if (format == SaveFormat::Wav) return "--bitrate applies to MP3 and WMA output only";
    std::string accepted;
    for (const std::int32_t rate : format == SaveFormat::Mp3 ? kMp3 : kWma) {
        if (text == std::to_string(rate)) {
            kbps = rate;
            return {};
        }
        accepted += " " + std::to_string(rate);
    }
    return std::string(format == SaveFormat::Mp3 ? "MP3" : "WMA") + " output takes --bitrate" + accepted + ", not '" +
           text + "'";
}

int runConvert(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    std::optional<std::string> bitRate;
    std::optional<SaveFormat> format;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--format" || args[i].rfind("--format=", 0) == 0) {
            const std::string value = args[i] == "--format" ? (i + 1 < args.size() ? args[++i] : "") : args[i].substr(9);
            if (!parseFormat(value, format)) return usageError("--format takes wav, mp3 or wma, not " + value);
        } else if (args[i] == "--bitrate") {
            if (i + 1 >= args.size()) return usageError("--bitrate needs a number of kbit/s");
            bitRate = args[++i];
        } else if (args[i].rfind("--bitrate=", 0) == 0) {
            bitRate = args[i].substr(10);
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            return usageError("unknown option " + args[i]);
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 2) return usageError("convert takes IN and OUT");
    std::int32_t kbps = 0;
    if (bitRate) {
        const SaveFormat output = format ? *format : files[1] == "-" ? SaveFormat::Wav : saveFormatOf(files[1]);
        const std::string why = parseBitRate(*bitRate, output, kbps);
        if (!why.empty()) return usageError(why);
    }
    if (sameFile(files[0], files[1])) return usageError("OUT must be another file than IN: the source is never modified");
    CliOpen open(files[0]);
    const std::string message = open.run();
    if (!message.empty()) return failure(message);
    if (kbps) open.session().setSourceBitRate(kbps);
    const std::string saved = open.saveTo(files[1], format);
    return saved.empty() ? kExitOk : failure(saved);
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
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
        if (a == "--format" || a.rfind("--format=", 0) == 0) {
            const std::string* v = a == "--format" ? value() : nullptr;
            const std::string text = v ? *v : a.substr(std::min<std::size_t>(a.size(), 9));
            if (!parseFormat(text, format)) return usageError("--format takes wav, mp3 or wma, not " + text);
        } else if (a == "--zoom") {
            const std::string* z = value();
            if (!z) return usageError("--zoom needs a level (10, 8, 6, 4, 2 or 1)");
            if (!parseZoom(*z, framesPerColumn)) return usageError("zoom level must be 10, 8, 6, 4, 2 or 1, not " + *z);
        } else if (a == "--select") {
            const std::string* v = value();
            if (!v || v->find(':') == std::string::npos) return usageError("--select needs S:F");
            selection = *v;
        } else if (a == "--volume") {
            const std::string* p = value();
            static const char* const kPercents[] = {"250", "200", "150", "100", "75", "50", "25"};
            int index = -1;
            for (int k = 0; k < 7; ++k)
                if (p && *p == kPercents[k]) index = k;
            if (index < 0) return usageError("--volume takes 250, 200, 150, 100, 75, 50 or 25" + (p ? ", not " + *p : std::string()));
            ops.push_back({a, volumeFactor(index)});
        } else if (a == "--delete" || a == "--cut-out" || a == "--mute" || a == "--fade-in" || a == "--fade-out" ||
                   a == "--undo" || a == "--redo") {
            ops.push_back({a});
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) return usageError("edit takes IN and OUT");
    if (ops.empty()) return usageError("edit needs at least one operation");
    if (sameFile(files[0], files[1])) return usageError("OUT must be another file than IN: the source is never modified");

    CliOpen open(files[0], framesPerColumn);
    const std::string message = open.run();
    if (!message.empty()) return failure(message);
    Session& session = open.session();
    const DocumentState& d = session.doc();
    if (!selection.empty()) {
        const auto colon = selection.find(':');
        std::uint32_t start = 0, finish = 0;
        if (!parseMarker(selection.substr(0, colon), d, start) || !parseMarker(selection.substr(colon + 1), d, finish))
            return usageError("--select needs two column indices or times such as 12.5s, not " + selection);
        if (!session.select(start, finish))
            return usageError("the editor cannot select " + selection + ": the start must be below the finish and the "
                              "finish at most the last column (" + std::to_string(d.view.columnCount ? d.view.columnCount - 1 : 0) +
                              ")");
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
        if (!r.ok()) return failure(r.message);
    }
    const std::string saved = open.saveTo(files[1], format);
    return saved.empty() ? kExitOk : failure(saved);
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
    if (argc < 2) return usageError("no command given");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (command == "--version") {
        std::printf("torvane-cli %s\n", TORVANE_VERSION);
        return kExitOk;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
    }
    for (const Command& c : kCommands) {
        if (command != c.name) continue;
        const int code = c.run(args);
        // What was printed must have arrived (a full disk, a closed pipe): say so otherwise.
        errno = 0;
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "torvane-cli: cannot write the output: %s\n",
                         std::strerror(errno ? errno : EIO));
            return kExitFailed;
        }
        return code;
    }
    return usageError("unknown command " + command);
}
