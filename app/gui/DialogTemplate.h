#pragma once

#include <span>
#include <string_view>

namespace sequora::gui {

/// The kinds of control a dialog template can hold.
enum class ControlKind { GroupBox, Label, Edit, PushButton, CheckBox, DropDownCombo, ListView };

/// A rectangle in dialog units (x, y, width, height).
struct DialogRect {
    int x;
    int y;
    int width;
    int height;
};

/// How a control follows the window when it grows beyond the template's size: only the
/// item list grows (with the frames around it); what lies below it moves down.
enum class Anchor {
    Fixed,         ///< keeps its place and size
    GrowWidth,     ///< grows with the window's width
    Grow,          ///< grows with the window's width and height
    MoveDown,      ///< moves down with the window's height
    MoveDownRight  ///< moves down and right with the window's growth
};

/// One control of a dialog template; id -1 marks a static control (label, frame).
struct ControlTemplate {
    int id;
    ControlKind kind;
    std::string_view caption;
    DialogRect rect;
    Anchor anchor = Anchor::Fixed;
};

/// Control identifiers of the main window.
enum ControlId : int {
    kIdServerName = 1000,
    kIdConnect = 1001,
    kIdSendEvent = 1002,
    kIdSetBit = 1003,
    kIdSendCommand = 1004,
    kIdEventString = 1005,
    kIdCommand = 1006,
    kIdCommandOptions = 1007,
    kIdBitNumber = 1008,
    kIdDelay = 1009,
    kIdBitState = 1010,
    kIdAddItem = 1011,
    kIdItemList = 1012,
    kIdStart = 1013,
    kIdPause = 1014,
    kIdStop = 1015,
    kIdTrialCount = 1016,
    kIdRunContinuously = 1017,
    kIdOpenCfg = 1018,
    kIdSaveCfg = 1019,
    kIdRemoveAll = 1020,
    kIdRemoveCurrent = 1021,
    kIdMoveUp = 1022,
    kIdMoveDown = 1023,
    kIdRandomDelay = 1024,
    kIdDelayMin = 1025,
    kIdDelayMax = 1026,
};

/// The labels of the fields that messages name.
inline constexpr std::string_view kDelayLabel = "Delay Post Trial Action (ms)";
inline constexpr std::string_view kDelayMinLabel = "Delay Range: Min";
inline constexpr std::string_view kBitStateLabel = "Bit State";

/// The main window's caption.
inline constexpr std::string_view kMainWindowCaption = "Sequora Utility Version 2.00";
/// The main window's client size in dialog units.
inline constexpr DialogRect kMainWindowSize{0, 0, 425, 307};
/// The point size of the dialog font that the dialog units are measured in.
inline constexpr int kDialogFontPointSize = 8;
/// The height of a drop-down combo's closed edit part in dialog units; the template's
/// height of a combo is that of its dropped-down list.
inline constexpr int kComboEditHeight = 12;

/// Every control of the main window, frames first so that they lie beneath the controls.
std::span<const ControlTemplate> MainWindowTemplate();

}  // namespace sequora::gui
