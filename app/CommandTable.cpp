#include "app/CommandTable.h"

#include "app/FormMain.h"

namespace torvane {
namespace {

using F = TMainForm;
using G = EnableGroup;
using K = ItemKind;

constexpr CommandItem menu(const char* name, const char* key, const char* caption, QMenu* F::*field) {
    return {K::Menu, name, "Menu", key, caption, nullptr, 0, nullptr, G::Always, nullptr, field, nullptr, nullptr};
}
constexpr CommandItem item(const char* name, const char* key, const char* caption, const char* shortcut, G group,
                           Handler handler, QAction* F::*field) {
    return {K::MenuItem, name, "Menu", key, caption, nullptr, 0, shortcut, group, handler, nullptr, field, nullptr};
}
constexpr CommandItem separator() {
    return {K::MenuSeparator, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, G::Always, nullptr, nullptr,
            nullptr, nullptr};
}
constexpr CommandItem tool(const char* name, const char* key, const char* caption, const char* icon, int x, G group,
                           Handler handler, QToolButton* F::*field) {
    return {K::ToolButton, name, "ToolBar", key, caption, icon, x, nullptr, group, handler, nullptr, nullptr, field};
}
constexpr CommandItem toolSeparator(int x) {
    return {K::ToolSeparator, nullptr, nullptr, nullptr, nullptr, nullptr, x, nullptr, G::Always, nullptr, nullptr,
            nullptr, nullptr};
}
constexpr CommandItem control(const char* name, const char* key, const char* hint, const char* icon, int x, G group,
                              Handler handler, QToolButton* F::*field) {
    return {K::ControlButton, name, "Control", key, hint, icon, x, nullptr, group, handler, nullptr, nullptr, field};
}
constexpr CommandItem popup(const char* name, const char* key, const char* caption, G group, Handler handler,
                            QAction* F::*field) {
    return {K::PopupItem, name, "Control", key, caption, nullptr, 0, nullptr, group, handler, nullptr, field, nullptr};
}
constexpr CommandItem keyOnly(const char* name, const char* shortcut, G group, Handler handler, QAction* F::*field) {
    return {K::Key, name, nullptr, nullptr, nullptr, nullptr, 0, shortcut, group, handler, nullptr, field, nullptr};
}

const CommandItem kTable[] = {
    menu("MenuFile", "File", "&File", &F::MenuFile),
    item("MOpen", "Open", "Open ...", "Ctrl+O", G::Open, &F::MOpenClick, &F::MOpen),
    item("MClose", "Close", "Close", "Ctrl+W", G::Close, &F::MCloseClick, &F::MClose),
    separator(),
    item("MSave", "Save", "Save", "Ctrl+S", G::Save, &F::MSaveClick, &F::MSave),
    item("MSaveAs", "SaveAs", "Save As ...", "Ctrl+Shift+S", G::SaveAs, &F::MSaveAsClick, &F::MSaveAs),
    separator(),
    item("MExit", "Exit", "Exit", "Ctrl+Q", G::Always, &F::MExitClick, &F::MExit),

    menu("MenuEdit", "Edit", "&Edit", &F::MenuEdit),
    item("MUndo", "Undo", "Undo", "Ctrl+Z", G::Undo, &F::MUndoClick, &F::MUndo),
    item("MRedo", "Redo", "Redo", "Ctrl+Y; Ctrl+Shift+Z", G::Redo, &F::MRedoClick, &F::MRedo),
    separator(),
    item("MSelectAll", "SelectAll", "Select All", "Ctrl+A", G::SelectAll, &F::MSelectAllClick, &F::MSelectAll),
    separator(),
    item("MDelete", "Delete", "Delete", "Del", G::Cut, &F::MDeleteClick, &F::MDelete),
    item("MCutOut", "CutOut", "Cut Out", nullptr, G::Cut, &F::MCutOutClick, &F::MCutOut),
    separator(),
    item("MVolume", "Volume", "Volume", nullptr, G::Effects, &F::MVolumeClick, &F::MVolume),
    separator(),
    item("MFadeIn", "FadeIn", "Fade In", nullptr, G::Effects, &F::MFadeInClick, &F::MFadeIn),
    item("MFadeOut", "FadeOut", "Fade Out", nullptr, G::Effects, &F::MFadeOutClick, &F::MFadeOut),

    menu("MenuZoom", "Zoom", "&Zoom", &F::MenuZoom),
    item("MZoom10", "Zoom10", "10 : 1", nullptr, G::ZoomItems, &F::MZoom10Click, &F::MZoom10),
    item("MZoom8", "Zoom8", "8 : 1", nullptr, G::ZoomItems, &F::MZoom8Click, &F::MZoom8),
    item("MZoom6", "Zoom6", "6 : 1", nullptr, G::ZoomItems, &F::MZoom6Click, &F::MZoom6),
    item("MZoom4", "Zoom4", "4 : 1", nullptr, G::ZoomItems, &F::MZoom4Click, &F::MZoom4),
    item("MZoom2", "Zoom2", "2 : 1", nullptr, G::ZoomItems, &F::MZoom2Click, &F::MZoom2),
    item("MZoom1", "Zoom1", "1 : 1", nullptr, G::ZoomItems, &F::MZoom1Click, &F::MZoom1),

    menu("MenuControl", "Control", "&Control", &F::MenuControl),
    item("MPlay", "Play", "Play", nullptr, G::Play, &F::CButtonPlayClick, &F::MPlay),
    item("MPlayFromHere", "PlayFrom", "Play From Here", nullptr, G::PlayFromHere, &F::CButtonPlayFromHereClick,
         &F::MPlayFromHere),
    item("MPause", "Pause", "Pause", nullptr, G::Pause, &F::CButtonPauseClick, &F::MPause),
    item("MStop", "Stop", "Stop", nullptr, G::Stop, &F::CButtonStopClick, &F::MStop),
    separator(),
    item("MSetStart", "SetStart", "Set Start Marker", "[", G::SetStart, &F::CButtonSetStartClick, &F::MSetStart),
    item("MSetFinish", "SetFinish", "Set Finish Marker", "]", G::SetFinish, &F::CButtonSetFinishClick,
         &F::MSetFinish),

    menu("MenuLanguage", "Language", "&Language", &F::MenuLanguage),

    menu("MenuHelp", "Help", "&Help", &F::MenuHelp),
    item("MHelp", "HelpDocument", "Help", "F1", G::Always, &F::MHelpClick, &F::MHelp),
    item("MHome", "HomePage", "Home Page", nullptr, G::Always, &F::MHomeClick, &F::MHome),
    separator(),
    item("MAbout", "About", "About", nullptr, G::Always, &F::MAboutClick, &F::MAbout),

    tool("ButtonOpen", "Open", "Open", "open", 0, G::Open, &F::ButtonOpenClick, &F::ButtonOpen),
    tool("ButtonClose", "Close", "Close", "close", 48, G::Close, &F::ButtonCloseClick, &F::ButtonClose),
    tool("ButtonSave", "Save", "Save", "save", 96, G::Save, &F::ButtonSaveClick, &F::ButtonSave),
    tool("ButtonSaveAs", "SaveAs", "Save As", "saveas", 144, G::SaveAs, &F::ButtonSaveAsClick, &F::ButtonSaveAs),
    toolSeparator(199),
    tool("ButtonDelete", "Delete", "Delete", "delete", 207, G::Cut, &F::ButtonDeleteClick, &F::ButtonDelete),
    tool("ButtonCutOut", "CutOut", "Cut Out", "cutout", 256, G::Cut, &F::ButtonCutOutClick, &F::ButtonCutOut),
    toolSeparator(311),
    tool("ButtonVolume", "Volume", "Volume", "volume", 319, G::Effects, &F::ButtonVolumeClick, &F::ButtonVolume),
    tool("ButtonFadeIn", "FadeIn", "Fade In", "fadein", 368, G::Effects, &F::ButtonFadeInClick, &F::ButtonFadeIn),
    tool("ButtonFadeOut", "FadeOut", "Fade Out", "fadeout", 416, G::Effects, &F::ButtonFadeOutClick,
         &F::ButtonFadeOut),
    toolSeparator(471),
    tool("ButtonZoomIn", "ZoomIn", "Zoom In", "zoomin", 479, G::ZoomIn, &F::ButtonZoomInClick, &F::ButtonZoomIn),
    tool("ButtonZoomOut", "ZoomOut", "Zoom Out", "zoomout", 528, G::ZoomOut, &F::ButtonZoomOutClick,
         &F::ButtonZoomOut),
    toolSeparator(583),
    tool("ButtonHelp", "Help", "Help", "help", 591, G::Always, &F::ButtonHelpClick, &F::ButtonHelp),
    tool("ButtonUpdate", "Update", "Update", "update", 640, G::Always, &F::ButtonUpdateClick, &F::ButtonUpdate),

    control("CButtonPlay", "Play", "Play", "play", 111, G::Play, &F::CButtonPlayClick, &F::CButtonPlay),
    control("CButtonPlayFromHere", "PlayFrom", "Play From Here", "playfromhere", 134, G::PlayFromHere,
            &F::CButtonPlayFromHereClick, &F::CButtonPlayFromHere),
    control("CButtonPause", "Pause", "Pause", "pause", 157, G::Pause, &F::CButtonPauseClick, &F::CButtonPause),
    control("CButtonStop", "Stop", "Stop", "stop", 180, G::Stop, &F::CButtonStopClick, &F::CButtonStop),
    control("CButtonSetStart", "SetStart", "Set Start Marker", "setstart", 224, G::SetStart,
            &F::CButtonSetStartClick, &F::CButtonSetStart),
    control("CButtonSetFinish", "SetFinish", "Set Finish Marker", "setfinish", 247, G::SetFinish,
            &F::CButtonSetFinishClick, &F::CButtonSetFinish),

    popup("MPopSetStart", "SetStart", "Set Start Marker", G::SetStart, &F::CButtonSetStartClick, &F::MPopSetStart),
    popup("MPopSetFinish", "SetFinish", "Set Finish Marker", G::SetFinish, &F::CButtonSetFinishClick,
          &F::MPopSetFinish),
    popup("MPopPlayFromHere", "PlayFrom", "Play From Here", G::PlayFromHere, &F::CButtonPlayFromHereClick,
          &F::MPopPlayFromHere),
    popup("MPopSelectAll", "SelectAll", "Select All", G::SelectAll, &F::MSelectAllClick, &F::MPopSelectAll),

    keyOnly("KeyZoomIn", "Ctrl+=; Ctrl++", G::ZoomIn, &F::ButtonZoomInClick, &F::KeyZoomIn),
    keyOnly("KeyZoomOut", "Ctrl+-", G::ZoomOut, &F::ButtonZoomOutClick, &F::KeyZoomOut),
    keyOnly("KeySpace", "Space", G::Space, &F::KeySpacePress, &F::KeySpace),
    keyOnly("KeyHome", "Home", G::Scroll, &F::KeyHomePress, &F::KeyHome),
    keyOnly("KeyEnd", "End", G::Scroll, &F::KeyEndPress, &F::KeyEnd),
};

}  // namespace

std::span<const CommandItem> commandTable() { return kTable; }

}  // namespace torvane
