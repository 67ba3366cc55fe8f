#pragma once
// Every command item of the main window as data: the menus and their items, the tool bar,
// the control bar, the waveform's context menu and the keyboard-only commands. The window
// builds its menus and bars from this table, SetUIMode enables the items from it, and the
// language files' captions are keyed by it, so no item is described in two places.

#include <span>

class QAction;
class QMenu;
class QToolButton;

namespace torvane {

class TMainForm;

// The rule of the UI mode table that enables an item; Always for items enabled in every mode.
enum class EnableGroup {
    Always, Open, Close, Save, SaveAs, SelectAll, Cut, Effects, ZoomItems, ZoomIn, ZoomOut,
    Play, PlayFromHere, Pause, Stop, SetStart, SetFinish,
    Space,  // pauses while playing, plays from here otherwise
    Undo, Redo,  // stopped or paused, with a step to undo or redo
    Scroll, // Home and End: whenever a document is open
};

enum class ItemKind {
    Menu,           // a menu of the menu bar; the item rows that follow belong to it
    MenuItem,
    MenuSeparator,
    ToolButton,     // a flat button of the tool bar at x
    ToolSeparator,  // a 2-pixel line of the tool bar at x
    ControlButton,  // a small button of the control bar at x, with a tool tip
    PopupItem,      // an item of the waveform's context menu
    Key,            // a shortcut without a menu item
};

using Handler = void (TMainForm::*)();

struct CommandItem {
    ItemKind kind;
    const char* objectName;
    // Where the language files keep the caption (a control button's tool tip).
    const char* section;
    const char* key;
    const char* caption;   // the stored caption, shown until a language is applied
    const char* icon;      // tool and control buttons
    int x;                 // tool and control buttons, tool separators
    const char* shortcut;  // portable key text; alternatives separated by "; "
    EnableGroup group;
    Handler handler;
    QMenu* TMainForm::*menu;          // Menu rows
    QAction* TMainForm::*action;      // MenuItem, PopupItem and Key rows
    QToolButton* TMainForm::*button;  // ToolButton and ControlButton rows
};

std::span<const CommandItem> commandTable();

}  // namespace torvane
