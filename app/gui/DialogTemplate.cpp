#include "app/gui/DialogTemplate.h"

#include <array>

namespace sequora::gui {

namespace {

using enum ControlKind;

constexpr int kStatic = -1;

constexpr std::array kMainWindowControls{
    ControlTemplate{kStatic, GroupBox, "Networking Properties", {4, 3, 416, 32}, Anchor::GrowWidth},
    ControlTemplate{kStatic, GroupBox, "Trial Properties", {4, 38, 416, 251}, Anchor::Grow},
    ControlTemplate{kStatic, GroupBox, "Experiment Items List", {7, 145, 408, 125}, Anchor::Grow},
    ControlTemplate{kStatic, Label, "Computer Name or IP Address", {16, 18, 98, 8}},
    ControlTemplate{kIdServerName, Edit, "", {116, 16, 143, 12}},
    ControlTemplate{kIdConnect, PushButton, "Connect", {268, 16, 72, 11}},
    ControlTemplate{kIdSendEvent, CheckBox, "Send Event String", {9, 55, 73, 10}},
    ControlTemplate{kStatic, Label, "Event String", {91, 57, 40, 8}},
    ControlTemplate{kIdEventString, Edit, "", {133, 54, 246, 12}},
    ControlTemplate{kIdSetBit, CheckBox, "Set TTL Bit", {9, 71, 47, 10}},
    ControlTemplate{kStatic, Label, "Bit Number", {91, 73, 38, 8}},
    ControlTemplate{kIdBitNumber, Edit, "", {133, 70, 44, 12}},
    ControlTemplate{kStatic, Label, kBitStateLabel, {193, 73, 28, 8}},
    ControlTemplate{kIdBitState, DropDownCombo, "", {225, 69, 45, 74}},
    ControlTemplate{kIdSendCommand, CheckBox, "Send Command", {9, 86, 65, 10}},
    ControlTemplate{kStatic, Label, "Command Options", {92, 88, 59, 8}},
    ControlTemplate{kIdCommandOptions, DropDownCombo, "", {154, 84, 171, 74}},
    ControlTemplate{kStatic, Label, "Command", {32, 103, 32, 8}},
    ControlTemplate{kIdCommand, Edit, "", {67, 100, 314, 12}},
    ControlTemplate{kStatic, Label, kDelayLabel, {9, 119, 88, 8}},
    ControlTemplate{kIdDelay, Edit, "", {101, 116, 44, 12}},
    ControlTemplate{kIdRandomDelay, CheckBox, "Use Random Delay", {156, 118, 76, 10}},
    ControlTemplate{kStatic, Label, kDelayMinLabel, {239, 119, 57, 8}},
    ControlTemplate{kIdDelayMin, Edit, "", {300, 116, 44, 12}},
    ControlTemplate{kStatic, Label, "Max", {351, 119, 14, 8}},
    ControlTemplate{kIdDelayMax, Edit, "", {367, 116, 44, 12}},
    ControlTemplate{kIdAddItem, PushButton, "Add Item", {8, 133, 75, 12}},
    ControlTemplate{kIdRemoveAll, PushButton, "Remove All Items", {87, 133, 75, 12}},
    ControlTemplate{kIdRemoveCurrent, PushButton, "Remove Current Item", {166, 133, 75, 12}},
    ControlTemplate{kIdMoveUp, PushButton, "Move Item Up", {245, 133, 75, 12}},
    ControlTemplate{kIdMoveDown, PushButton, "Move Item Down", {324, 133, 75, 12}},
    ControlTemplate{kIdItemList, ListView, "", {9, 154, 402, 113}, Anchor::Grow},
    ControlTemplate{kStatic, Label, "Trial Count", {12, 275, 38, 8}, Anchor::MoveDown},
    ControlTemplate{kIdTrialCount, Edit, "", {51, 272, 44, 12}, Anchor::MoveDown},
    ControlTemplate{kIdRunContinuously, CheckBox, "Run Continuously", {102, 273, 72, 10}, Anchor::MoveDown},
    ControlTemplate{kIdStart, PushButton, "Start", {242, 272, 56, 13}, Anchor::MoveDownRight},
    ControlTemplate{kIdPause, PushButton, "Pause", {301, 272, 56, 12}, Anchor::MoveDownRight},
    ControlTemplate{kIdStop, PushButton, "Stop", {359, 272, 56, 12}, Anchor::MoveDownRight},
    ControlTemplate{kIdOpenCfg, PushButton, "Open .cfg File", {4, 291, 92, 12}, Anchor::MoveDown},
    ControlTemplate{kIdSaveCfg, PushButton, "Save .cfg File", {99, 291, 92, 12}, Anchor::MoveDown},
};

}  // namespace

std::span<const ControlTemplate> MainWindowTemplate() {
    return kMainWindowControls;
}

}  // namespace sequora::gui
