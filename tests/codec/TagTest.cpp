// The source's tags through open and save: each kind of source as ffmpeg tags it, each saved
// format as ffprobe reads it back; a document without tags saves as it always did.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <map>
#include <random>

#include "codec/OpenDocument.h"
#include "codec/TagReader.h"
#include "codec/TagWriter.h"
#include "session/Session.h"
#include "support/TestFiles.h"

using namespace torvane;
using namespace torvane::test;

namespace {

using Tags = std::map<std::string, std::string>;
const std::string kBin = TORVANE_BIN_DIR;
const Tags kTags = {{"title", "Tïtle ✓"}, {"artist", "Ärtist"}, {"album", "Album"},  {"year", "2001"},
                    {"track", "3"},        {"genre", "Rock"},    {"comment", "Cömment"}};

Tags textOf(const SourceTags& t) {
    return {{"title", t.title}, {"artist", t.artist}, {"album", t.album},    {"year", t.year},
            {"track", t.track}, {"genre", t.genre},   {"comment", t.comment}};
}

// The container's and the audio streams' tags as ffprobe reads them (keys in lower case, the
// year by any of its names), and the count of attached pictures.
std::pair<Tags, int> probeTags(const std::string& file) {
    const Bytes json = capture("ffprobe -v error -show_format -show_streams -of json " + quote(file));
    const QJsonObject root =
        QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(json.data()), qsizetype(json.size()))).object();
    Tags tags;
    int pictures = 0;
    auto take = [&tags](const QJsonObject& o) {
        const QJsonObject t = o["tags"].toObject();
        for (auto it = t.begin(); it != t.end(); ++it) {
            const std::string key = it.key().toLower().toStdString();
            tags[key == "date" || key == "wm/year" ? "year" : key] = it.value().toString().toStdString();
        }
    };
    take(root["format"].toObject());
    for (const auto s : root["streams"].toArray()) {
        if (s.toObject()["disposition"].toObject()["attached_pic"].toInt()) ++pictures;
        else take(s.toObject());
    }
    return {tags, pictures};
}

}  // namespace

TEST(Tags, EveryKindOfSourceKeepsItsTagsInEverySavedFormat) {
    TempDir dir, work;
    const std::string cover = dir.file("cover.png"), wav = dir.file("tone.wav"), cli = quote(kBin + "/torvane-cli");
    ASSERT_TRUE(run("ffmpeg -nostdin -v error -f lavfi -i color=c=red:s=8x8 -frames:v 1 " + quote(cover)));
    ASSERT_TRUE(makeToneWav(wav, 44100, 2, 1.0));
    std::string meta;
    for (const auto& [key, value] : kTags) meta += " -metadata " + (key == "year" ? "date" : key) + "=" + quote(value);
    const std::string withCover = "-i " + quote(cover) + " -map 0 -map 1 -c:v png -disposition:v attached_pic -id3v2_version 3";
    const std::vector<std::pair<std::string, std::string>> sources = {
        {"s.mp3", withCover}, {"s.wav", ""}, {"s.wma", ""}, {"s.flac", ""}, {"s.ogg", ""}};
    for (const auto& [name, extra] : sources) {
        SCOPED_TRACE(name);
        const std::string source = dir.file(name);
        ASSERT_TRUE(run("ffmpeg -nostdin -v error -i " + quote(wav) + " " + extra + meta + " " + quote(source)));
        if (!isOpenableSource(source)) {  // read alone where the editor does not open the kind
            EXPECT_EQ(textOf(readSourceTags(source)), kTags);
            continue;
        }
        Session session;
        NoProgress none;
        ASSERT_TRUE(session.createFolder(work.path()));
        ASSERT_TRUE(session.open(source, none).ok());
        session.setProgramFolder(kBin + "/");
        const SourceTags& tags = session.doc().source.tags;
        EXPECT_EQ(textOf(tags), kTags);
        const bool hasCover = !extra.empty();
        ASSERT_EQ(tags.hasCover(), hasCover);
        EXPECT_TRUE(!hasCover || (tags.coverMime == "image/png" && *tags.cover == readFile(cover)));
        for (const std::string out : {"o.mp3", "o.wma", "o.wav"}) {
            ASSERT_TRUE(session.save(dir.file(out), none).ok()) << out;
            const auto [saved, pictures] = probeTags(dir.file(out));
            for (const auto& [key, value] : kTags) EXPECT_EQ(saved.count(key) ? saved.at(key) : "", value) << out << key;
            EXPECT_EQ(pictures, hasCover && out == "o.mp3" ? 1 : 0) << out;
        }
    }
    // The command line shows them, and leaves them out when asked.
    const std::string info = captureLine(cli + " info " + quote(dir.file("s.mp3")));
    for (const auto& [key, value] : kTags) EXPECT_NE(info.find("\ntag_" + key + "=" + value + "\n"), std::string::npos);
    EXPECT_NE(info.find("\ntag_cover=image/png," + std::to_string(readFile(cover).size())), std::string::npos);
    for (const std::string name : {"s.mp3", "s.wav"}) {  // a WAV's own chunks go too
        const std::string out = dir.file("n-" + name);
        ASSERT_TRUE(run(cli + " convert --no-tags " + quote(dir.file(name)) + " " + quote(out)));
        const auto [dropped, droppedPictures] = probeTags(out);
        for (const auto& [key, value] : kTags) EXPECT_EQ(dropped.count(key), 0u) << name << key;
        EXPECT_EQ(droppedPictures, 0);
    }
}

// Without tags, or without keeping them, a save is the audio alone: the WAV is the working file.
TEST(Tags, ADocumentWithoutTagsSavesTheAudioAlone) {
    TempDir dir, work;
    ASSERT_TRUE(makeToneWav(dir.file("plain.wav"), 22050, 1, 2.0));
    Session session;
    NoProgress none;
    ASSERT_TRUE(session.createFolder(work.path()));
    ASSERT_TRUE(session.open(dir.file("plain.wav"), none).ok());
    session.setProgramFolder(kBin + "/");
    ASSERT_TRUE(session.doc().source.tags.empty());
    for (const std::string ext : {".mp3", ".wav"}) {
        ASSERT_TRUE(session.save(dir.file("kept" + ext), none).ok());
        session.keepTags(false);
        ASSERT_TRUE(session.save(dir.file("dropped" + ext), none).ok());
        session.keepTags(true);
        EXPECT_TRUE(readFile(dir.file("kept" + ext)) == readFile(dir.file("dropped" + ext))) << ext;
    }
    EXPECT_TRUE(readFile(dir.file("kept.wav")) == readFile(session.doc().workingFilePath));
}

// Inserting in place, over files of up to a few blocks, gives the tag followed by the old bytes.
TEST(Tags, InsertAtStartEqualsTheTagFollowedByTheOldBytes) {
    std::mt19937 rng(20261208);
    TempDir dir;
    for (std::size_t round = 0; round < 4; ++round) {
        const std::size_t size = kBlockBytes * round * 3 / 4 + std::uniform_int_distribution<std::size_t>(0, 99999)(rng);
        const Bytes old = randomBytes(size, rng);
        const Bytes tag = randomBytes(std::uniform_int_distribution<std::size_t>(1, 300000)(rng), rng);
        writeFile(dir.file("f"), old);
        File f = File::open(dir.file("f"), File::Mode::ReadWrite);
        ASSERT_TRUE(insertAtStart(f, tag)) << size;
        Bytes expected = tag;
        expected.insert(expected.end(), old.begin(), old.end());
        EXPECT_TRUE(readFile(dir.file("f")) == expected) << size;
    }
}
