#pragma once
// Which commands a UI mode enables. Pure: the main window applies the result to its menu
// items, tool buttons, control buttons and context menu, and tests read it directly.

#include <cstdint>

namespace torvane {

struct UIModeInputs {
    std::uint32_t mode = 0;  // 0 no document, 1 stopped, 2 playing, 3 paused
    bool modified = false;
    bool zoom1Checked = false;   // MZoom1
    bool zoom10Checked = true;   // MZoom10
    std::uint32_t playColumn = 0;
    std::uint32_t startMarker = 0;
    std::uint32_t finishMarker = 0;
};

// One flag per group of items that always share their state.
struct UIModeStates {
    bool open = false;         // MOpen, ButtonOpen
    bool close = false;        // MClose, ButtonClose
    bool save = false;         // MSave, ButtonSave
    bool saveAs = false;       // MSaveAs, ButtonSaveAs
    bool selectAll = false;    // MSelectAll, MPopSelectAll
    bool cut = false;          // MDelete, ButtonDelete, MCutOut, ButtonCutOut
    bool effects = false;      // MVolume, ButtonVolume, MFadeIn, ButtonFadeIn, MFadeOut, ButtonFadeOut
    bool zoomItems = false;    // MZoom10 ... MZoom1
    bool zoomIn = false;       // ButtonZoomIn
    bool zoomOut = false;      // ButtonZoomOut
    bool play = false;         // MPlay, CButtonPlay
    bool playFromHere = false; // MPlayFromHere, CButtonPlayFromHere, MPopPlayFromHere
    bool pause = false;        // MPause, CButtonPause
    bool stop = false;         // MStop, CButtonStop
    bool setStart = false;     // MSetStart, CButtonSetStart, MPopSetStart
    bool setFinish = false;    // MSetFinish, CButtonSetFinish, MPopSetFinish

    bool operator==(const UIModeStates&) const = default;
};

UIModeStates uiModeStates(const UIModeInputs& in);

}  // namespace torvane
