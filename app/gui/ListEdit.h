#pragma once

#include <QUndoCommand>
#include <functional>
#include <vector>

#include "app/core/ItemList.h"

namespace sequora::gui {

/// One undoable change of the item list: the rows from `index` on that read `before` come
/// to read `after`. Adding, removing, replacing, duplicating, moving (two rows swapped),
/// removing all and appending a file are all of this one kind. Each side also says which
/// row the user had remembered, so undo and redo put the highlight back. Window thread only.
class ListEdit : public QUndoCommand {
public:
    /// Remembers a row (-1 for none) after the edit has been applied or undone.
    using Remember = std::function<void(int row)>;

    /// The list and `remember` must outlive the command (the window's undo stack).
    ListEdit(const QString& text, ItemList& list, Remember remember, int index, std::vector<ItemRow> before,
             std::vector<ItemRow> after, int rememberedBefore, int rememberedAfter);

    /// A change already made to the list (a file's rows appended as they were read): the
    /// first redo, which the undo stack calls when the command is pushed, changes nothing.
    void MarkAlreadyDone() { mAlreadyDone = true; }

    /// Applies the change.
    void redo() override;
    /// Takes the change back.
    void undo() override;

private:
    void Splice(const std::vector<ItemRow>& from, const std::vector<ItemRow>& to, int remembered);

    ItemList& mList;
    Remember mRemember;
    int mIndex;
    std::vector<ItemRow> mBefore;
    std::vector<ItemRow> mAfter;
    int mRememberedBefore;
    int mRememberedAfter;
    bool mAlreadyDone = false;
};

}  // namespace sequora::gui
