#pragma once

#include <QUndoCommand>
#include <functional>
#include <vector>

#include "app/core/ItemList.h"
#include "app/core/PackedRow.h"

namespace sequora::gui {

/// One undoable change of the item list, already made when the command is created: the rows
/// from `index` on that read `before` were replaced by `afterCount` rows. Adding, removing,
/// replacing, duplicating, moving (two rows swapped), removing all and appending a file are
/// all of this one kind. Undo and redo each swap the edit's rows in the list for the ones
/// the command holds, so a side is kept either in the list or in the command, never twice:
/// undoing the append of a million rows costs no copy of them. Each side also says which
/// row the user had remembered, so undo and redo put the highlight back. Window thread only.
class ListEdit : public QUndoCommand {
public:
    /// Remembers a row (-1 for none) after the edit has been applied or undone.
    using Remember = std::function<void(int row)>;

    /// The list and `remember` must outlive the command (the window's undo stack).
    ListEdit(const QString& text, ItemList& list, Remember remember, int index, std::vector<PackedRow> before,
             int afterCount, int rememberedBefore, int rememberedAfter);

    /// Applies the change; the first call, which the undo stack makes when the command is
    /// pushed, finds it made already and only remembers the row.
    void redo() override;
    /// Takes the change back.
    void undo() override;

private:
    void Swap(int remembered);

    ItemList& mList;
    Remember mRemember;
    int mIndex;
    std::vector<PackedRow> mHeld;  // the side of the edit that is not in the list now
    int mInList;                   // how many rows of the other side the list holds from mIndex on
    int mRememberedBefore;
    int mRememberedAfter;
    bool mFirstRedo = true;
};

}  // namespace sequora::gui
