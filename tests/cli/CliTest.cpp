#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "codec/OpenDocument.h"
#include "doc/InstanceFolder.h"
#include "platform/FolderLock.h"
#include "support/PlainEdits.h"
#include "support/SessionDocument.h"
#include "support/TestFiles.h"
#include "doc/WorkingFile.h"

using namespace torvane;
using namespace torvane::test;

namespace {

std::string tempParent() { return std::filesystem::temp_directory_path().string() + "/"; }

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(inputs.valid());
        ASSERT_TRUE(tmp.valid());
    }

    // Runs torvane-cli with `args` (already quoted), with a TMPDIR of the test's own so that
    // the tool's temp folder can be seen to go.
    // With `input`, the tool reads that file's bytes from a pipe.
    CliRun cli(const std::string& args, const std::string& input = {}) {
        const std::string out = inputs.path() + "stdout", err = inputs.path() + "stderr";
        const std::string command = (input.empty() ? "" : "cat " + quote(input) + " | ") + "TMPDIR=" + quote(tmp.path()) +
                                    " " + quote(std::string(TORVANE_BIN_DIR) + "/torvane-cli") + " " + args + " >" +
                                    quote(out) + " 2>" + quote(err) + (input.empty() ? " </dev/null" : "");
        const int status = std::system(command.c_str());
        CliRun r;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = text(readFile(out));
        r.err = text(readFile(err));
        return r;
    }
    std::string file(const std::string& name) const { return inputs.path() + name; }
    bool tmpIsEmpty() const { return std::filesystem::is_empty(tmp.path()); }

    InstanceFolder inputs{tempParent()};
    InstanceFolder tmp{tempParent()};
};

TEST_F(CliTest, InfoPrintsTheWorkingFileValues) {
    // 18-byte fmt, a stray byte: every value differs from a naive guess.
    const std::string path = file("a.wav");
    writeFile(path, RiffBuilder().fmt(1, 2, 8000, 16, {0, 0}).data(Bytes(4 * 25000 + 1)).bytes());
    const CliRun r = cli("info " + quote(path));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");  // no progress bar when stderr is not a terminal
    EXPECT_EQ(r.out,
              "sample_rate=8000\n"
              "channels=2\n"
              "bits_per_sample=16\n"
              "block_size=4\n"
              "data_offset=46\n"
              "data_size=100001\n"
              "data_end=100047\n"
              "frame_count=25000\n"
              "duration=3.125\n"
              "column_count=3\n"
              "source_bitrate=0\n"
              "source_codec=pcm_s16le\n"
              "source_bits=16\n"
              "source_rate=8000\n"
              "source_channels=2\n");
    EXPECT_TRUE(tmpIsEmpty());
}

// The source bit rate is the file's size over the length ffmpeg decodes it to, so a file of a
// few seconds, or of less than one, reads near its real average (not 190, 0 and 284 as over
// whole seconds).
TEST_F(CliTest, InfoShowsTheSourceBitRateOverTheExactDuration) {
    for (const auto& [name, seconds] : {std::pair{"a.mp3", 2.9}, {"b.mp3", 0.5}, {"c.wma", 1.99}}) {
        const std::string wav = file("src.wav"), src = file(name);
        const bool wma = std::string(name).ends_with(".wma");
        ASSERT_TRUE(makeToneWav(wav, 44100, 2, seconds) && (wma ? makeWma(wav, src, 128) : makeMp3(wav, src, 128)));
        const std::uint64_t decoded = capture("ffmpeg -nostdin -v error -i " + quote(src) + " -f s16le -").size();
        const std::uint64_t kbps = std::filesystem::file_size(src) * 176400 / (125 * decoded) & (wma ? ~1ull : ~0ull);
        EXPECT_TRUE(kbps >= 128 && kbps <= 150) << name << " " << kbps;
        EXPECT_NE(cli("info " + quote(src)).out.find("source_bitrate=" + std::to_string(kbps) + "\n"), std::string::npos)
            << name << " " << kbps;
    }
}

TEST_F(CliTest, PeaksPrintOneLinePerColumnAtEveryZoom) {
    std::mt19937 rng(1);
    const std::string path = file("p.wav");
    writeFile(path, makeWav(44100, 2, 16, randomBytes(4 * 23456, rng)));
    for (int zoom : {10, 8, 6, 4, 2, 1}) {
        SCOPED_TRACE(zoom);
        const CliRun r = cli("peaks " + quote(path) + (zoom == 10 ? std::string() : " --zoom " + std::to_string(zoom)));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        DocumentState doc;
        InstanceFolder f(tempParent());
        doc.tempFolder = f.path();
        doc.documentPath = path;
        doc.view.framesPerColumn = zoom * 1000;
        NoProgress none;
        ASSERT_TRUE(openDocument(doc, none).ok());
        std::ostringstream expected;
        for (std::uint32_t c = 0; c < doc.view.columnCount; ++c)
            expected << c << ' ' << doc.peaks.left[c] << ' ' << doc.peaks.right[c] << '\n';
        EXPECT_EQ(r.out, expected.str());
        EXPECT_EQ(doc.view.columnCount, columnCountFor(23456, std::uint32_t(zoom) * 1000));
    }
    EXPECT_EQ(cli("peaks --zoom=2 " + quote(path)).exitCode, 0);
}

TEST_F(CliTest, DecodeWritesTheWorkingFile) {
    const std::string wav = file("d.wav"), mp3 = file("d.mp3"), out = file("out.wav");
    ASSERT_TRUE(makeToneWav(wav, 22050, 2, 2.0) && makeMp3(wav, mp3, 64));
    CliRun r = cli("decode " + quote(mp3) + " " + quote(out));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    DocumentState doc;
    InstanceFolder f(tempParent());
    doc.tempFolder = f.path();
    doc.documentPath = mp3;
    NoProgress none;
    ASSERT_TRUE(openDocument(doc, none).ok());
    EXPECT_TRUE(readFile(out) == readFile(doc.workingFilePath));
    EXPECT_TRUE(tmpIsEmpty());

    // A WAV comes out as it went in, and an existing output is replaced.
    r = cli("decode " + quote(wav) + " " + quote(out));
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_TRUE(readFile(out) == readFile(wav));
}

TEST_F(CliTest, RefusalsPrintTheEditorsMessageAndExitOne) {
    const std::string wav = file("r.wav"), mp3 = file("r.mp3"), fake = file("fake.wav");
    ASSERT_TRUE(makeToneWav(wav, 22050, 1, 1.0) && makeMp3(wav, mp3, 64));
    std::filesystem::copy_file(mp3, fake);
    CliRun r = cli("info " + quote(fake));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "torvane-cli: " + fake + ": This is not a valid Wave file.\n");
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(tmpIsEmpty());

    const std::string ogg = file("song.txt");
    std::filesystem::copy_file(wav, ogg);
    r = cli("peaks " + quote(ogg));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "torvane-cli: " + ogg + ": Can not open the file.\n");

    writeFile(file("noise.mp3"), Bytes(3000, 0x55));
    r = cli("decode " + quote(file("noise.mp3")) + " " + quote(file("o.wav")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "torvane-cli: " + file("noise.mp3") + ": Can not creat the decode stream.\n");
    EXPECT_FALSE(std::filesystem::exists(file("o.wav")));

    writeFile(file("deep.wav"), RiffBuilder().fmt(1, 1, 8000, 20).data(Bytes(300)).bytes());
    r = cli("info " + quote(file("deep.wav")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "torvane-cli: " + file("deep.wav") + ": Not PCM formats!\n");
}

TEST_F(CliTest, UsageErrorsExitTwoWithOneLine) {
    const std::string wav = file("u.wav");
    writeFile(wav, makeWav(8000, 1, 8, Bytes(100, 128)));
    for (const std::string& args : {std::string(""), std::string("frobnicate"), std::string("info"),
                                   "peaks " + quote(wav) + " --zoom 3",
                                   "peaks " + quote(wav) + " --zoom", "peaks " + quote(wav) + " --fast",
                                   std::string("decode ") + quote(wav),
                                   // --bitrate takes only the rates of the output format's encoder
                                   "convert " + quote(wav) + " " + quote(file("x.mp3")) + " --bitrate 999",
                                   "convert " + quote(wav) + " " + quote(file("x.wma")) + " --bitrate 40",
                                   "convert " + quote(wav) + " " + quote(file("x.wav")) + " --bitrate 128",
                                   "convert " + quote(wav) + " " + quote(file("x.flac")) + " --bitrate 128",
                                   "convert " + quote(wav) + " " + quote(file("x.ogg")) + " --bitrate 44",
                                   // an extension no save writes, or none, without --format
                                   "convert " + quote(wav) + " " + quote(file("x.xyz")),
                                   "edit " + quote(wav) + " " + quote(file("x")) + " --mute"}) {
        SCOPED_TRACE(args);
        const CliRun r = cli(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.starts_with("torvane-cli: ") && r.err.ends_with(" (see torvane-cli --help)\n")) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
        EXPECT_EQ(r.out, "");
    }
    for (const char* name : {"x.mp3", "x.wma", "x.wav", "x.flac", "x.ogg", "x.xyz", "x"}) EXPECT_FALSE(std::filesystem::exists(file(name)));
}

// An accepted --bitrate is the file's rate, and the encoder libraries never write to the
// terminal themselves: off a terminal (no progress bar) a convert says nothing.
TEST_F(CliTest, ConvertAtAnAcceptedBitRateSaysNothing) {
    const std::string wav = file("q.wav");
    ASSERT_TRUE(makeToneWav(wav, 44100, 2, 1.0));
    for (const auto& [out, option, rate] : {std::tuple{"q.mp3", "--bitrate=40", "40000"}, {"q.wma", "--bitrate 320", "320000"},
                                                {"q.ogg", "--bitrate 96", "96000"}}) {
        const CliRun r = cli("convert " + quote(wav) + " " + quote(file(out)) + " " + option);
        EXPECT_EQ(r.exitCode, 0) << out;
        EXPECT_EQ(r.err, "") << out;
        EXPECT_EQ(captureLine("ffprobe -v error -show_entries stream=bit_rate -of csv=p=0 " + quote(file(out))), rate);
    }
}

TEST_F(CliTest, ProgressBarOnlyOnATerminal) {
    const std::string path = file("bar.wav");
    writeFile(path, makeWav(8000, 1, 16, Bytes(2 * 50000)));
    // script(1) gives the tool a terminal; its output goes to a file as before.
    const std::string out = file("bar.out"), tty = file("bar.tty");
    const std::string inner = quote(std::string(TORVANE_BIN_DIR) + "/torvane-cli") + " info " + quote(path) + " >" + quote(out);
    ASSERT_EQ(std::system(("script -qec " + quote(inner) + " /dev/null >" + quote(tty) + " </dev/null").c_str()), 0);
    const std::string screen = text(readFile(tty));
    // A WAV is copied, not decoded: one Loading bar for the copy and the peak table.
    EXPECT_EQ(screen.find("Decoding:"), std::string::npos) << screen;
    EXPECT_NE(screen.find("Loading:"), std::string::npos);
    EXPECT_NE(screen.find("100%"), std::string::npos);
    EXPECT_NE(text(readFile(out)).find("frame_count=50000\n"), std::string::npos);
    const std::string quiet = quote(std::string(TORVANE_BIN_DIR) + "/torvane-cli") + " -q info " + quote(path) + " >" + quote(out);
    ASSERT_EQ(std::system(("script -qec " + quote(quiet) + " /dev/null >" + quote(tty) + " </dev/null").c_str()), 0);
    EXPECT_EQ(text(readFile(tty)).find("Loading:"), std::string::npos);
}

TEST_F(CliTest, HelpAndVersion) {
    CliRun r = cli("--help");
    EXPECT_EQ(r.exitCode, 0);
    for (const char* word : {"info FILE", "peaks FILE [--zoom N]", "decode FILE OUT.wav", "sample_rate", "channels",
                             "bits_per_sample", "block_size", "data_offset", "data_size", "data_end", "frame_count",
                             "duration", "column_count", "source_bitrate", "10, 8, 6, 4, 2 or 1", "--version"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    EXPECT_EQ(cli("peaks --help").exitCode, 0);
    r = cli("--version");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("torvane-cli ", 0), 0u);
}

// The shell's conventions, case by case: `out` is what stdout starts with, `err` all of stderr.
TEST_F(CliTest, CommandLineConventions) {
    const std::string a = file("a.wav"), missing = file("missing.wav");
    writeFile(a, makeWav(8000, 1, 16, Bytes(2 * 23999)));  // 2.999875 s
    const std::string peaks = cli("peaks --zoom 1 " + quote(a)).out, info = cli("info " + quote(a)).out;
    const std::string frob = "torvane-cli: unknown option --frob (see torvane-cli --help)\n";
    const struct {
        std::string args;
        int code;
        std::string out, err;
    } cases[] = {
        {"peaks --zoom=1 " + quote(a), 0, peaks, ""},
        {"-q peaks " + quote(a) + " --zoom 1 -q", 0, peaks, ""},
        {"peaks --zoom 1 -- " + quote(a), 0, peaks, ""},
        {"info -- " + quote(a), 0, info, ""},
        {"-h", 0, "usage: torvane-cli", ""},
        {"convert -h", 0, "usage: torvane-cli", ""},
        {"-V", 0, "torvane-cli ", ""},
        {"info --version", 0, "torvane-cli ", ""},
        {"--frob info", 2, "", frob},
        {"info --frob " + quote(a), 2, "", frob},
        {"peaks " + quote(a) + " -- --zoom", 2, "", "torvane-cli: peaks takes one FILE (see torvane-cli --help)\n"},
        {"info " + quote(missing), 1, "", "torvane-cli: " + missing + ": Cannot read the source file: No such file or directory\n"},
        {"info " + quote(a) + " " + quote(missing) + " " + quote(a), 1, "path=" + a + "\n" + info + "\npath=" + a + "\n",
         "torvane-cli: " + missing + ": Cannot read the source file: No such file or directory\n"},
    };
    EXPECT_NE(info.find("duration=2.999\n"), std::string::npos) << info;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const CliRun r = cli(c.args);
        EXPECT_EQ(r.exitCode, c.code);
        EXPECT_TRUE(r.out.starts_with(c.out) && (c.code != 2 || r.out.empty())) << r.out;
        EXPECT_EQ(r.err, c.err);
    }
}

// --json is one array that a JSON reader takes, with the lines' keys and values, and "-" reads
// standard input as the file it was piped from.
TEST_F(CliTest, InfoAsJsonAndFromStandardInput) {
    const std::string a = file("a.wav"), b = file("b.wav"), mp3 = file("c.mp3");
    writeFile(a, makeWav(8000, 1, 16, Bytes(2 * 23999)));
    ASSERT_TRUE(makeToneWav(b, 22050, 2, 1.0));
    const std::string title = "say \"hi\" \\ \t and \xc3\xa9";
    ASSERT_TRUE(run("lame --quiet --tt " + quote(title) + " " + quote(b) + " " + quote(mp3)));
    const CliRun r = cli("info " + quote(a) + " " + quote(mp3) + " --json");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
    ASSERT_TRUE(doc.isArray()) << error.errorString().toStdString() << r.out;
    ASSERT_EQ(doc.array().size(), 2);
    const std::string paths[] = {a, mp3};
    for (int i = 0; i < 2; ++i) {
        const QJsonObject o = doc.array()[i].toObject();
        EXPECT_EQ(o["path"].toString().toStdString(), paths[i]);
        // Every line of the text form is a key of the object with the same value.
        std::istringstream lines(cli("info " + quote(paths[i])).out);
        int keys = 1;
        for (std::string line; std::getline(lines, line); ++keys) {
            const auto eq = line.find('=');
            const QJsonValue v = o[QString::fromStdString(line.substr(0, eq))];
            const std::string value = v.isString() ? v.toString().toStdString() : QString::number(v.toDouble(), 'g', 12).toStdString();
            EXPECT_EQ(line.substr(eq + 1), line.starts_with("duration=") ? QString::number(v.toDouble(), 'f', 3).toStdString() : value) << line;
            EXPECT_EQ(v.isString(), line.starts_with("tag_") || line.starts_with("source_codec")) << line;
        }
        EXPECT_EQ(o.size(), keys);
    }
    EXPECT_NE(r.out.find("\"duration\": 2.999,"), std::string::npos);
    EXPECT_EQ(doc.array()[1].toObject()["tag_title"].toString().toStdString(), title);

    for (const std::string& source : {a, mp3}) {
        const CliRun piped = cli("info -", source);
        EXPECT_EQ(piped.exitCode, 0) << piped.err;
        EXPECT_EQ(piped.out, cli("info " + quote(source)).out);
    }
    EXPECT_TRUE(tmpIsEmpty());
}

}  // namespace

// Without a temp folder to work in (here TMPDIR names a file) the tool says so and writes
// nothing: no working file in the current folder or anywhere else.
TEST_F(CliTest, NoTempFolderIsAFailureNotAFallback) {
    const std::string wav = file("t.wav");
    writeFile(wav, makeWav(8000, 1, 16, Bytes(2 * 8000)));
    const std::string notAFolder = file("not-a-folder");
    writeFile(notAFolder, Bytes(1));
    const std::string err = file("stderr");
    const std::string command = "cd " + quote(tmp.path()) + " && TMPDIR=" + quote(notAFolder) + " " +
                                quote(std::string(TORVANE_BIN_DIR) + "/torvane-cli") + " info " + quote(wav) +
                                " >/dev/null 2>" + quote(err) + " </dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(text(readFile(err)), "torvane-cli: " + wav + ": Cannot create a temporary folder.\n");
    EXPECT_TRUE(tmpIsEmpty());
}

// A chain of edits from the shell gives the bytes of the plain transcription of the same chain
// with the editor's marker rules between the steps; IN is left as it was.
TEST_F(CliTest, EditChainEqualsThePlainTranscription) {
    std::mt19937 rng(77);
    const std::string in = file("in.wav"), out = file("out.wav");
    const Bytes source = makeWav(22050, 2, 16, randomBytes(4 * 123457, rng));
    writeFile(in, source);
    const CliRun r = cli("edit " + quote(in) + " " + quote(out) +
                         " --zoom 4 --select 3:20 --volume 150 --fade-out --delete --cut-out");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(readFile(in) == source);
    EXPECT_TRUE(tmpIsEmpty());

    Plain p{source, 44, std::uint32_t(source.size()), 4, 4000, 3, 20, 16};
    p.volume(1.5f, false);
    p.fade(false);
    p.deleteSelection();
    p.dataEnd = std::uint32_t(p.file.size());
    p.finish = 4;  // Delete: one column past the start
    p.cutOut();
    EXPECT_TRUE(readFile(out) == p.file);

    // Times: 1.5 s and 4 s at 22 050 Hz and 10 000 frames a column are columns 3 and 8.
    const CliRun t = cli("edit " + quote(in) + " " + quote(out) + " --select 1.5s:4s --mute");
    ASSERT_EQ(t.exitCode, 0) << t.err;
    Plain m{source, 44, std::uint32_t(source.size()), 4, 10000, 3, 8, 16};
    m.volume(1.0f, true);
    EXPECT_TRUE(readFile(out) == m.file);
}

// --undo and --redo in chains: every edit undone gives back the source itself, byte for byte;
// undo then redo gives the plain transcription; a new edit after an undo drops the redo.
TEST_F(CliTest, UndoAndRedoInEditChains) {
    std::mt19937 rng(91);
    const std::string in = file("in.wav"), out = file("out.wav");
    const Bytes source = makeWav(22050, 2, 16, randomBytes(4 * 154321, rng));
    writeFile(in, source);
    const std::string io = "edit " + quote(in) + " " + quote(out) + " --zoom 4 --select 3:20 ";

    const CliRun all = cli(io + "--fade-in --volume 250 --delete --cut-out --undo --undo --undo --undo");
    ASSERT_EQ(all.exitCode, 0) << all.err;
    EXPECT_TRUE(readFile(out) == source);
    EXPECT_TRUE(tmpIsEmpty());

    const CliRun again = cli(io + "--volume 50 --fade-out --undo --undo --redo --redo --delete --undo --redo");
    ASSERT_EQ(again.exitCode, 0) << again.err;
    Plain p{source, 44, std::uint32_t(source.size()), 4, 4000, 3, 20, 16};
    p.volume(0.5f, false);
    p.fade(false);
    p.deleteSelection();
    EXPECT_TRUE(readFile(out) == p.file);

    // Cut Out undone, then Mute: only the mute of the first selection is left.
    const CliRun dropped = cli(io + "--cut-out --undo --mute");
    ASSERT_EQ(dropped.exitCode, 0) << dropped.err;
    Plain m{source, 44, std::uint32_t(source.size()), 4, 4000, 3, 20, 16};
    m.volume(1.0f, true);
    EXPECT_TRUE(readFile(out) == m.file);

    std::filesystem::remove(out);
    const std::pair<std::string, std::string> refusals[] = {
        {"--undo", "nothing to undo"},
        {"--fade-in --undo --undo", "nothing to undo"},
        {"--fade-in --redo", "nothing to redo"},
        {"--delete --undo --mute --redo", "nothing to redo"},
    };
    for (const auto& [ops, why] : refusals) {
        const CliRun r = cli(io + ops);
        EXPECT_EQ(r.exitCode, 1) << ops;
        EXPECT_NE(r.err.find(why), std::string::npos) << ops << ": " << r.err;
        EXPECT_FALSE(std::filesystem::exists(out)) << ops;
    }
    EXPECT_TRUE(tmpIsEmpty());
    EXPECT_NE(cli("--help").out.find("--undo"), std::string::npos);
}

// A first Delete or Cut Out done by the open writes the OUT, and says, what the commands run
// one by one write and say (the environment switch runs them one by one).
TEST_F(CliTest, EditDoneWithTheOpenEqualsTheSteps) {
    std::mt19937 rng(1209);
    const std::string in = file("in.wav"), out = file("out.wav");
    const char* const chains[] = {"--delete", "--cut-out", "--cut-out --fade-in --delete", "--delete --redo", "--delete --undo"};
    for (int round = 0; round < 30; ++round) {
        const int zoom = std::array{10, 8, 6, 4, 2, 1}[rng() % 6];
        const std::uint32_t frames = rng() % 5 ? rng() % std::uint32_t(3000 * zoom) : rng() % 3;
        writeFile(in, randomWav(rng, std::uint16_t(1 + rng() % 2), rng() % 2 ? 8 : 16, frames, rng() % 2));
        const std::string last = std::to_string(columnCountFor(frames, std::uint32_t(zoom) * 1000) - 1);
        const std::string selections[] = {"", "--select 0:1", "--select 0:" + last, "--select 0.5s:1s", "--select x:2",
                                          "--select " + std::to_string(rng() % 9) + ":" + last};
        const std::string args = "edit " + quote(in) + " " + quote(out) + " --zoom " + std::to_string(zoom) + " " +
                                 selections[rng() % 6] + " " + chains[rng() % 5];
        std::string results[2];
        for (int fused = 0; fused < 2; ++fused) {
            fused ? unsetenv("TORVANE_CLI_OPEN_WHOLE") : setenv("TORVANE_CLI_OPEN_WHOLE", "1", 1);
            const CliRun r = cli(args);
            results[fused] = std::to_string(r.exitCode) + r.err + text(std::filesystem::exists(out) ? readFile(out) : Bytes{});
            std::filesystem::remove(out);
        }
        EXPECT_TRUE(results[0] == results[1]) << args;
    }
    EXPECT_TRUE(tmpIsEmpty());
}

TEST_F(CliTest, EditRefusesWhatTheEditorCouldNotDo) {
    const std::string in = file("in.wav"), out = file("never.wav");
    const Bytes source = makeWav(8000, 1, 8, Bytes(95000, 100));  // 10 columns
    writeFile(in, source);
    const std::pair<std::string, std::string> cases[] = {
        {"--select 5:5 --cut-out", "cannot select 5:5"},
        {"--select 6:2 --delete", "cannot select 6:2"},
        {"--select 2:10 --delete", "at most the last column (9)"},
        {"--select 2s --delete", "--select needs S:F"},
        {"--select a:3 --delete", "--select needs two column indices or times"},
        {"--volume 33", "--volume takes 250, 200, 150, 100, 75, 50 or 25, not 33"},
        {"--volume", "--volume takes"},
        {"--zoom 3 --delete", "zoom level must be 10, 8, 6, 4, 2 or 1, not 3"},
        {"--louder", "unknown option --louder"},
        {"--format aiff --delete", "--format takes wav, mp3, wma, flac or ogg, not aiff"},
        {"", "edit needs at least one operation"},
    };
    for (const auto& [options, why] : cases) {
        const CliRun r = cli("edit " + quote(in) + " " + quote(out) + " " + options);
        EXPECT_EQ(r.exitCode, 2) << options;
        EXPECT_NE(r.err.find(why), std::string::npos) << options << ": " << r.err;
        EXPECT_FALSE(std::filesystem::exists(out)) << options;
    }
    const CliRun same = cli("edit " + quote(in) + " " + quote(in) + " --delete");
    EXPECT_EQ(same.exitCode, 2);
    EXPECT_NE(same.err.find("OUT must be another file than IN"), std::string::npos);
    EXPECT_TRUE(readFile(in) == source);
    EXPECT_TRUE(tmpIsEmpty());
    EXPECT_NE(cli("--help").out.find("edit IN OUT [--zoom N] [--select S:F] [--format F] [--no-tags] OP..."), std::string::npos);
}

// Output that cannot be written is a failure, not a success: info and peaks into /dev/full.
TEST_F(CliTest, OutputThatCannotBeWrittenIsAFailure) {
    const std::string path = file("a.wav");
    writeFile(path, makeWav(8000, 1, 16, Bytes(2 * 30000)));
    // A full device of our own, never the system's.
    const std::string full = file("full");
    if (!run("mknod " + quote(full) + " c 1 7")) GTEST_SKIP() << "mknod not permitted";
    for (const char* command : {"info ", "peaks "}) {
        const std::string err = file("err");
        const std::string line = "TMPDIR=" + quote(tmp.path()) + " " + quote(std::string(TORVANE_BIN_DIR) + "/torvane-cli") +
                                 " " + command + quote(path) + " >" + quote(full) + " 2>" + quote(err);
        const int status = std::system(line.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << command;
        EXPECT_EQ(WEXITSTATUS(status), 1) << command;
        const Bytes e = readFile(err);
        EXPECT_NE(std::string(e.begin(), e.end()).find("cannot write the output"), std::string::npos) << command;
    }
}

// Ctrl+C, kill or a closed terminal while the tool holds a working file: the signal ends it as
// it would any program, and its folder goes with it. (The tool is held at the working file's
// full size by a pipe that nobody reads.)
TEST_F(CliTest, TerminationSignalsRemoveTheInstanceFolder) {
    const std::string path = file("long.wav");
    writeFile(path, makeWav(8000, 1, 8, Bytes(8000 * 60 * 15, 128)));  // 9000 lines of peaks
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            dup2(pipeFds[1], 1);
            close(pipeFds[0]);
            setenv("TMPDIR", tmp.path().c_str(), 1);
            const std::string tool = std::string(TORVANE_BIN_DIR) + "/torvane-cli";
            execl(tool.c_str(), tool.c_str(), "peaks", path.c_str(), "--zoom", "1", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(pipeFds[1]);
        // Wait until its folder holds the whole working file.
        const std::string working = tmp.path() + "torvane-" + std::to_string(child) + "-";
        bool held = false;
        for (int i = 0; i < 3000 && !held; ++i) {
            for (const auto& e : std::filesystem::directory_iterator(tmp.path())) {
                const std::string f = e.path().string() + "/AudioTemp.wav";
                std::error_code ec;
                if (e.path().string().rfind(working, 0) == 0 && std::filesystem::file_size(f, ec) == 44 + 8000 * 60 * 15)
                    held = true;
            }
            if (!held) usleep(10000);
        }
        ASSERT_TRUE(held);
        kill(child, sig);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        close(pipeFds[0]);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_TRUE(tmpIsEmpty());
    }
}

// Folders of instances that ended without removing theirs (a crash, SIGKILL) are removed by
// the next start. A folder is a live instance's while its lock is held, whatever pid its name
// carries; a link and anything else stay too.
TEST_F(CliTest, FoldersOfEndedInstancesAreRemovedAtStart) {
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string dead = tmp.path() + "torvane-" + std::to_string(getpid()) + "-17";
    const std::string alive = tmp.path() + "torvane-" + std::to_string(gone) + "-18";
    const std::string other = tmp.path() + "torvane-notes";
    const std::string link = tmp.path() + "torvane-" + std::to_string(gone) + "-19";
    for (const std::string& d : {dead, alive, other}) {
        std::filesystem::create_directory(d);
        writeFile(d + "/AudioTemp.wav", makeWav(8000, 1, 8, Bytes(100)));
    }
    std::filesystem::create_directory_symlink(other, link);
    FolderLock held;
    ASSERT_EQ(held.tryLock(alive), FolderLock::Result::Held);

    const std::string wav = file("a.wav");
    writeFile(wav, makeWav(8000, 1, 16, Bytes(200)));
    EXPECT_EQ(cli("info " + quote(wav)).exitCode, 0);

    EXPECT_FALSE(std::filesystem::exists(dead));
    EXPECT_TRUE(std::filesystem::exists(alive + "/AudioTemp.wav"));
    EXPECT_TRUE(std::filesystem::exists(other + "/AudioTemp.wav"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
}

namespace {
// Runs torvane-cli in a child with `limitBytes` as its file-size limit (0: none) and TMPDIR set;
// returns the child's pid without waiting (stdout and stderr go to `log`).
pid_t spawnCli(const std::vector<std::string>& args, const std::string& tmpdir, const std::string& log,
               rlim_t limitBytes = 0) {
    const pid_t child = fork();
    if (child != 0) return child;
    if (limitBytes) {
        const struct rlimit limit = {limitBytes, limitBytes};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 1);
    dup2(fd, 2);
    setenv("TMPDIR", tmpdir.c_str(), 1);
    const std::string tool = std::string(TORVANE_BIN_DIR) + "/torvane-cli";
    std::vector<char*> argv{const_cast<char*>(tool.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(tool.c_str(), argv.data());
    _exit(127);
}
int waitExit(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}
}  // namespace

// A temp folder that fills during an open (a file-size limit stands in for the full disk): the
// open fails with the full-disk message, the tool ends normally and leaves nothing behind.
TEST_F(CliTest, ATempFolderThatFillsDuringAnOpenFailsCleanly) {
    const std::string wav = file("a.wav"), mp3 = file("a.mp3"), log = file("log");
    ASSERT_TRUE(makeToneWav(wav, 44100, 2, 6.0));
    ASSERT_TRUE(makeMp3(wav, mp3));
    for (const std::string& source : {wav, mp3}) {
        SCOPED_TRACE(source);
        EXPECT_EQ(waitExit(spawnCli({"info", source}, tmp.path(), log, 200 * 1024)), 1);
        // The system's reason is said too.
        EXPECT_EQ(text(readFile(log)), "torvane-cli: " + source + ": Cannot write the working file (is the disk full?): " +
                                           std::strerror(EFBIG) + "\n");
        EXPECT_TRUE(tmpIsEmpty());
    }
}

// SIGKILL at any moment of a save leaves the destination as it was or as it should be, never
// in between (the save writes beside it and renames).
TEST_F(CliTest, SigkillDuringASaveNeverLeavesAPartialFile) {
    // An MP3 save: encoding takes long enough for the kills to land inside it.
    const std::string wav = file("long.wav"), out = file("out.mp3"), log = file("log");
    ASSERT_TRUE(makeToneWav(wav, 44100, 2, 20.0));
    const Bytes old(5000, 7);
    ASSERT_EQ(waitExit(spawnCli({"convert", wav, out}, tmp.path(), log)), 0) << text(readFile(log));
    const Bytes fresh = readFile(out);
    ASSERT_GT(fresh.size(), 100000u);
    std::mt19937 rng(5);
    int partialSeen = 0;
    for (int round = 0; round < 12; ++round) {
        writeFile(out, old);
        const pid_t child = spawnCli({"convert", wav, out}, tmp.path(), log);
        usleep(useconds_t(std::uniform_int_distribution<int>(0, 700000)(rng)));
        kill(child, SIGKILL);
        waitExit(child);
        const Bytes now = readFile(out);
        EXPECT_TRUE(now == old || now == fresh) << "round " << round << ": " << now.size() << " bytes";
        if (saveTemporaryLeft(out)) ++partialSeen;
        std::filesystem::remove_all(tmp.path());
        std::filesystem::create_directory(tmp.path());
    }
    std::printf("a save was cut short in %d of 12 rounds\n", partialSeen);
    // What the killed saves left is removed by the next save to the same name.
    ASSERT_EQ(waitExit(spawnCli({"convert", wav, out}, tmp.path(), log)), 0);
    EXPECT_FALSE(saveTemporaryLeft(out));
}

// Two instances at once, each editing its own file: neither disturbs the other's working file
// (each has its own folder) nor removes it at start; both results are what each gives alone.
TEST_F(CliTest, TwoInstancesEditAtTheSameTime) {
    const std::string a = file("a.wav"), b = file("b.wav");
    ASSERT_TRUE(makeSignalWav(a, 44100, 2, 20.0));
    ASSERT_TRUE(makeSignalWav(b, 22050, 1, 15.0));
    const std::vector<std::string> editA = {"edit", a, file("a-out.wav"), "--volume", "50", "--fade-in", "--fade-out"};
    const std::vector<std::string> editB = {"edit", b, file("b-out.wav"), "--select", "2:9", "--delete", "--mute"};
    ASSERT_EQ(waitExit(spawnCli(editA, tmp.path(), file("log-a"))), 0);
    ASSERT_EQ(waitExit(spawnCli(editB, tmp.path(), file("log-b"))), 0);
    const Bytes aloneA = readFile(file("a-out.wav")), aloneB = readFile(file("b-out.wav"));
    for (int round = 0; round < 3; ++round) {
        std::filesystem::remove(file("a-out.wav"));
        std::filesystem::remove(file("b-out.wav"));
        const pid_t first = spawnCli(editA, tmp.path(), file("log-a"));
        const pid_t second = spawnCli(editB, tmp.path(), file("log-b"));
        EXPECT_EQ(waitExit(first), 0);
        EXPECT_EQ(waitExit(second), 0);
        EXPECT_TRUE(readFile(file("a-out.wav")) == aloneA);
        EXPECT_TRUE(readFile(file("b-out.wav")) == aloneB);
    }
    EXPECT_TRUE(tmpIsEmpty());
}

// Every kind of destination × every format (the editor's Save runs the same code): each
// gets the bytes a plain new file gets, and stays what it was — a link a link, a hard link
// shared, a foreign 600 file 600 and foreign, a FIFO or device a FIFO or device; a folder,
// socket or block device is refused untouched. No temporary file is left anywhere.
TEST_F(CliTest, EveryKindOfDestinationGetsTheBytesAndKeepsWhatItIs) {
    namespace fs = std::filesystem;
    const std::string in = file("in.wav");
    writeFile(in, makeWav(8000, 1, 16, Bytes(2 * 8000, 3)));
    const bool root = geteuid() == 0;
    for (const std::string ext : {"wav", "mp3", "wma", "flac", "ogg"}) {
        ASSERT_EQ(cli("convert " + quote(in) + " " + quote(file("ref." + ext))).exitCode, 0);
        const Bytes expected = readFile(file("ref." + ext));
        if (ext == "flac") {
            EXPECT_EQ(text(Bytes(expected.begin(), expected.begin() + 4)), "fLaC");
        }
        struct Case {
            std::string name, made = {}, expectError = {};
            bool stdoutGetsIt = false;
        };
        const Case cases[] = {
            {"new", ""}, {"foreign", "echo old >@; chmod 600 @; chown 65534:65534 @"},
            {"chain", "echo old >@.t; ln -s @.t @.l; ln -s @.l @"}, {"dangling", "ln -s @.t @"},
            {"hard", "echo old >@; ln @ @.h"}, {"fifo", "mkfifo @; cat @ >@.got &"},
            {"null", "mknod @ c 1 3"}, {"full", "mknod @ c 1 7", "No space left on device"},
            {"dir", "mkdir @", "it is a folder"}, {"block", "mknod @ b 7 250", "it is a block device"},
            {"socket", "python3 -c 'import socket,sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' @",
             "it is a socket"},
            {"-", "", "", true}, {"self", "ln -s /proc/self/fd/1 @", "", true},
            {"loop", "ln -s @ @", "Too many levels of symbolic links"}, {std::string(254 - ext.size(), 'n'), ""}, {"\xff\xfe", ""},  // the longest name; not UTF-8
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name.substr(0, 10) + "." + ext);
            const std::string out = c.name == "-" ? "-" : file(c.name + "." + ext);
            std::string made = c.made;
            for (std::size_t at; (at = made.find('@')) != std::string::npos;) made.replace(at, 1, quote(out));
            if (!made.empty() && (!run(made) || (made.find("mknod") != std::string::npos && !root))) continue;
            struct stat before {};
            lstat(out.c_str(), &before);
            const CliRun r = cli("convert " + quote(in) + " " + quote(out) + " --format " + ext);
            struct stat after {};
            lstat(out.c_str(), &after);
            EXPECT_EQ(r.exitCode, c.expectError.empty() ? 0 : 1) << r.err;
            EXPECT_NE(r.err.find(c.expectError), std::string::npos) << r.err;
            if (c.stdoutGetsIt) {
                EXPECT_TRUE(Bytes(r.out.begin(), r.out.end()) == expected);
            }
            if (!c.made.empty() && c.name != "dangling") {
                EXPECT_EQ(after.st_mode, before.st_mode);
                EXPECT_EQ(after.st_uid, before.st_uid);
                EXPECT_EQ(after.st_nlink, before.st_nlink);
            }
            if ((c.made.empty() && c.name != "-") || c.name == "foreign") {
                EXPECT_TRUE(readFile(out) == expected);
            }
            if (c.name == "chain" || c.name == "dangling") {
                EXPECT_TRUE(readFile(out + ".t") == expected);
            }
            if (c.name == "hard") {
                EXPECT_TRUE(readFile(out + ".h") == expected && after.st_ino == before.st_ino);
            }
            if (c.name == "fifo") {
                for (int i = 0; i < 500 && readFile(out + ".got").size() < expected.size(); ++i) usleep(10000);
                EXPECT_TRUE(readFile(out + ".got") == expected);
            }
            EXPECT_FALSE(c.name != "-" && saveTemporaryLeft(out));
            EXPECT_TRUE(tmpIsEmpty());
        }
    }
}

// Two saves to one name at once each write their own temporary file: both succeed and the
// result is one whole input, never a mix.
TEST_F(CliTest, ConcurrentSavesToOneNameGiveOneWholeResult) {
    const std::string a = file("a.wav"), b = file("b.wav"), out = file("out.wav");
    std::mt19937 rng(9);
    writeFile(a, makeWav(44100, 2, 16, randomBytes(4 * 200000, rng)));
    writeFile(b, makeWav(22050, 1, 16, randomBytes(2 * 300000, rng)));
    const Bytes wantA = readFile(a), wantB = readFile(b);
    for (int round = 0; round < 20; ++round) {
        const pid_t first = spawnCli({"convert", a, out}, tmp.path(), file("log-a"));
        const pid_t second = spawnCli({"convert", b, out}, tmp.path(), file("log-b"));
        EXPECT_EQ(waitExit(first), 0) << round;
        EXPECT_EQ(waitExit(second), 0) << round;
        const Bytes got = readFile(out);
        EXPECT_TRUE(got == wantA || got == wantB) << round;
    }
    EXPECT_FALSE(saveTemporaryLeft(out));
}

// Links planted where a temporary file might go are never written through: the victim keeps its
// bytes, the planted links stay, and the destination becomes a plain file.
TEST_F(CliTest, PlantedLinksAreNeverWrittenThrough) {
    const std::string in = file("in.wav"), victim = file("victim.txt"), out = file("b.wav");
    writeFile(in, makeWav(8000, 1, 16, Bytes(2000, 9)));
    writeFile(victim, Bytes{'v'});
    for (const char* planted : {"~b.wav.tmp", "~b.wav.AAAAAA.tmp", "~b.wav.tmp.part"})
        std::filesystem::create_symlink(victim, file(planted));
    ASSERT_EQ(cli("convert " + quote(in) + " " + quote(out)).exitCode, 0);
    EXPECT_TRUE(readFile(victim) == Bytes{'v'});
    EXPECT_TRUE(std::filesystem::is_symlink(file("~b.wav.AAAAAA.tmp")));
    EXPECT_FALSE(std::filesystem::is_symlink(out));
    EXPECT_TRUE(readFile(out) == readFile(in));
}

// decode onto another file system, killed at random moments: OUT is always the old file or the
// whole new one (it used to be written in place there).
TEST_F(CliTest, DecodeAcrossFileSystemsKilledAtRandomIsNeverPartial) {
    struct stat shm {}, temp {};
    if (stat("/dev/shm", &shm) != 0 || stat(tmp.path().c_str(), &temp) != 0 || shm.st_dev == temp.st_dev)
        GTEST_SKIP() << "no second file system";
    InstanceFolder other("/dev/shm/");
    // A large WAV: its open is a fast copy, so the write of OUT is a good part of the run.
    const std::string wav = file("long.wav"), out = other.path() + "out.wav";
    ASSERT_TRUE(makeToneWav(wav, 44100, 2, 600.0));
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_EQ(waitExit(spawnCli({"decode", wav, out}, tmp.path(), file("log"))), 0);
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - begin);
    const Bytes fresh = readFile(out), old(1000, 1);
    std::mt19937 rng(3);
    // The moments only spread the kills over the run; what is checked holds at any moment.
    for (int round = 0; round < 10; ++round) {
        writeFile(out, old);
        const pid_t child = spawnCli({"decode", wav, out}, tmp.path(), file("log"));
        usleep(useconds_t(std::uniform_int_distribution<long>(0, long(took.count()))(rng)));
        kill(child, SIGKILL);
        waitExit(child);
        const Bytes now = readFile(out);
        EXPECT_TRUE(now == old || now == fresh) << round << ": " << now.size();
        std::filesystem::remove_all(tmp.path());
        std::filesystem::create_directory(tmp.path());
    }
}

// Too little temp space to keep Undo for an edit of a chain that undoes: refused before the
// edit with the reason, nothing written (it used to go on and then say "nothing to undo").
// Without --undo nothing is kept, and the same edit goes through.
TEST_F(CliTest, NoSpaceForUndoIsSaidBeforeEditing) {
    if (!run("unshare -m sh -c 'mount -t tmpfs -o size=1m tmpfs " + quote(tmp.path()) + "'"))
        GTEST_SKIP() << "no private mounts here";
    const std::string in = file("in.wav"), out = file("out.wav");
    writeFile(in, makeWav(44100, 2, 16, Bytes(2500000, 7)));  // a 2.5 MB working file on 6 MB
    for (const bool undo : {true, false}) {
        const std::string edit = quote(std::string(TORVANE_BIN_DIR) + "/torvane-cli") + " edit " + quote(in) + " " +
                                 quote(out) + " --volume 50" + (undo ? " --undo" : "");
        const std::string line = "unshare -m sh -c " + quote("mount -t tmpfs -o size=6m tmpfs " + quote(tmp.path()) +
                                                            " && TMPDIR=" + quote(tmp.path()) + " " + edit) +
                                 " 2>" + quote(file("err"));
        const int status = std::system(line.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), undo ? 1 : 0);
        EXPECT_EQ(text(readFile(file("err"))), undo ? "torvane-cli: " + in + ": There is not enough free space to keep Undo for this edit.\n" : "");
        EXPECT_EQ(std::filesystem::exists(out), !undo);
    }
}
