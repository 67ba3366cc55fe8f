#include "i18n/CaptionKeys.h"

#include <initializer_list>
#include <utility>

#include "i18n/LanguageFile.h"

namespace torvane {

namespace {

// "Key=English" pairs.
void add(std::vector<CaptionKey>& out, std::string_view section,
         std::initializer_list<std::pair<std::string_view, std::string_view>> keys) {
    for (const auto& [k, english] : keys) out.push_back({section, k, english});
}

constexpr std::string_view kSaveFilter =
    "All Support Files(*.wav;*.mp3;*.wma;*.flac;*.ogg)|*.wav;*.mp3;*.wma;*.flac;*.ogg|WAV Files(*.wav)|*.wav|"
    "MP3 Files(*.mp3)|*.mp3|WMA Files(*.wma)|*.wma|FLAC Files(*.flac)|*.flac|Ogg Vorbis Files(*.ogg)|*.ogg|"
    "All Files(*.*)|*.*";

// Open takes more kinds than Save writes.
constexpr std::string_view kOpenFilter =
    "All audio files(*.wav;*.mp3;*.wma;*.aif;*.aiff;*.aifc;*.flac;*.ogg;*.oga;*.opus;*.m4a;*.aac;*.wave;*.rf64;*.bw64)|"
    "*.wav;*.mp3;*.wma;*.aif;*.aiff;*.aifc;*.flac;*.ogg;*.oga;*.opus;*.m4a;*.aac;*.wave;*.rf64;*.bw64|"
    "WAV Files(*.wav;*.wave;*.rf64;*.bw64)|*.wav;*.wave;*.rf64;*.bw64|MP3 Files(*.mp3)|*.mp3|"
    "WMA Files(*.wma)|*.wma|AIFF Files(*.aif;*.aiff;*.aifc)|*.aif;*.aiff;*.aifc|FLAC Files(*.flac)|*.flac|"
    "Ogg Vorbis/Opus Files(*.ogg;*.oga;*.opus)|*.ogg;*.oga;*.opus|M4A/AAC Files(*.m4a;*.aac)|*.m4a;*.aac|"
    "All Files(*.*)|*.*";

std::vector<CaptionKey> build() {
    std::vector<CaptionKey> k;
    add(k, "Menu", {{"File", "&File"}, {"Open", "Open ..."}, {"Close", "Close"}, {"Save", "Save"},
                    {"SaveAs", "Save As ..."}, {"Exit", "Exit"}, {"Edit", "&Edit"}, {"Undo", "Undo"},
                    {"Redo", "Redo"}, {"SelectAll", "Select All"}, {"Delete", "Delete"}, {"CutOut", "Cut Out"},
                    {"Volume", "Volume"}, {"FadeIn", "Fade In"}, {"FadeOut", "Fade Out"}, {"Zoom", "&Zoom"},
                    {"Zoom10", "10 : 1"}, {"Zoom8", "8 : 1"}, {"Zoom6", "6 : 1"}, {"Zoom4", "4 : 1"},
                    {"Zoom2", "2 : 1"}, {"Zoom1", "1 : 1"}, {"Control", "&Control"}, {"Play", "Play"},
                    {"PlayFrom", "Play From Here"}, {"Pause", "Pause"}, {"Stop", "Stop"},
                    {"SetStart", "Set Start Marker"}, {"SetFinish", "Set Finish Marker"},
                    {"Language", "&Language"}, {"Help", "&Help"}, {"HelpDocument", "Help"},
                    {"HomePage", "Home Page"}, {"About", "About"}});
    add(k, "ToolBar", {{"Open", "Open"}, {"Close", "Close"}, {"Save", "Save"}, {"SaveAs", "Save As"},
                       {"Delete", "Delete"}, {"CutOut", "Cut Out"}, {"Volume", "Volume"}, {"FadeIn", "Fade In"},
                       {"FadeOut", "Fade Out"}, {"ZoomIn", "Zoom In"}, {"ZoomOut", "Zoom Out"}, {"Help", "Help"},
                       {"Update", "Update"}});
    add(k, "Control", {{"SetStart", "Set Start Marker"}, {"SetFinish", "Set Finish Marker"},
                       {"PlayFrom", "Play From Here"}, {"SelectAll", "Select All"}, {"Play", "Play"},
                       {"Pause", "Pause"}, {"Stop", "Stop"}});
    add(k, "OpenDialog", {{"Filter", kOpenFilter}});
    add(k, "SaveDialog", {{"Filter", kSaveFilter}});
    add(k, "AboutForm", {{"Caption", "About"}, {"Version", "Version:"}, {"HomePage", "Home page:"},
                         {"Copyright", "Copyright"}, {"Reserved", "All rights reserved."}});
    add(k, "Common", {{"Ok", "OK"}, {"Cancel", "Cancel"}});
    add(k, "OpenForm", {{"Caption", "Open File"}, {"Decoding", "Decoding:"}, {"Loading", "Loading:"}});
    add(k, "ReloadForm", {{"Caption", "Reload File"}});
    add(k, "SaveForm", {{"Caption", "Save File"}});
    add(k, "ProcessForm", {{"Caption", "Process"}, {"Processing", "Processing:"}, {"Reloading", "Reloading:"}});
    add(k, "VolumeForm", {{"Caption", "Volume"}, {"Volume", "Volume:"}, {"Mute", "Mute"}});
    // The status bar words keep their own rule (a missing word is left out), and the
    // properties have their defaults where they are read.
    add(k, "StatusBar", {{"Mono", ""}, {"Stereo", ""}, {"Bits", ""}});
    add(k, "LanguageProperty", {{"Name", ""}, {"FontName", ""}, {"FontSize", ""}, {"CharSet", ""}});
    return k;
}

}  // namespace

const std::vector<CaptionKey>& captionKeys() {
    static const std::vector<CaptionKey> keys = build();
    return keys;
}

std::string captionText(const LanguageFile* language, std::string_view section, std::string_view key) {
    std::string t = language ? language->text(std::string(section), std::string(key)) : std::string();
    if (!t.empty()) return t;
    for (const CaptionKey& c : captionKeys())
        if (c.section == section && c.key == key) return std::string(c.english);
    return t;
}

}  // namespace torvane
