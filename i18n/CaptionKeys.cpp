#include "i18n/CaptionKeys.h"

#include <initializer_list>

namespace torvane {

namespace {

void add(std::vector<CaptionKey>& out, std::string_view section, std::initializer_list<std::string_view> keys) {
    for (std::string_view k : keys) out.push_back({section, k});
}

std::vector<CaptionKey> build() {
    std::vector<CaptionKey> k;
    add(k, "Menu", {"File", "Open", "Close", "Save", "SaveAs", "Exit",
                    "Edit", "Undo", "Redo", "SelectAll", "Delete", "CutOut", "Volume", "FadeIn", "FadeOut",
                    "Zoom", "Zoom10", "Zoom8", "Zoom6", "Zoom4", "Zoom2", "Zoom1",
                    "Control", "Play", "PlayFrom", "Pause", "Stop", "SetStart", "SetFinish",
                    "Language", "Help", "HelpDocument", "HomePage", "About"});
    add(k, "ToolBar", {"Open", "Close", "Save", "SaveAs", "Delete", "CutOut", "Volume", "FadeIn",
                       "FadeOut", "ZoomIn", "ZoomOut", "Help", "Update"});
    add(k, "Control", {"SetStart", "SetFinish", "PlayFrom", "SelectAll", "Play", "Pause", "Stop"});
    add(k, "OpenDialog", {"Filter"});
    add(k, "SaveDialog", {"Filter"});
    add(k, "AboutForm", {"Caption", "Version", "HomePage", "Copyright", "Reserved"});
    add(k, "Common", {"Ok", "Cancel"});
    add(k, "OpenForm", {"Caption", "Decoding", "Loading"});
    add(k, "ReloadForm", {"Caption"});
    add(k, "SaveForm", {"Caption"});
    add(k, "ProcessForm", {"Caption", "Processing", "Reloading"});
    add(k, "VolumeForm", {"Caption", "Volume", "Mute"});
    add(k, "StatusBar", {"Mono", "Stereo", "Bits"});
    add(k, "LanguageProperty", {"Name", "FontName", "FontSize", "CharSet"});
    return k;
}

}  // namespace

const std::vector<CaptionKey>& captionKeys() {
    static const std::vector<CaptionKey> keys = build();
    return keys;
}

}  // namespace torvane
