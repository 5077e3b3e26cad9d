#include "app/gui/ListEdit.h"

#include <utility>

namespace sequora::gui {

ListEdit::ListEdit(const QString& text, ItemList& list, Remember remember, int index,
                   std::vector<PackedRow> before, int afterCount, int rememberedBefore, int rememberedAfter)
    : QUndoCommand(text),
      mList(list),
      mRemember(std::move(remember)),
      mIndex(index),
      mHeld(std::move(before)),
      mInList(afterCount),
      mRememberedBefore(rememberedBefore),
      mRememberedAfter(rememberedAfter) {}

void ListEdit::redo() {
    if (std::exchange(mFirstRedo, false)) {
        mRemember(mRememberedAfter);
        return;
    }
    Swap(mRememberedAfter);
}

void ListEdit::undo() {
    Swap(mRememberedBefore);
}

void ListEdit::Swap(int remembered) {
    const int coming = static_cast<int>(mHeld.size());
    mHeld = mList.Splice(mIndex, mInList, std::move(mHeld));
    mInList = coming;
    mRemember(remembered);
}

}  // namespace sequora::gui
