#include "app/gui/ListEdit.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace sequora::gui {

ListEdit::ListEdit(const QString& text, ItemList& list, Remember remember, int index,
                   std::vector<ItemRow> before, std::vector<ItemRow> after, int rememberedBefore,
                   int rememberedAfter)
    : QUndoCommand(text),
      mList(list),
      mRemember(std::move(remember)),
      mIndex(index),
      mBefore(std::move(before)),
      mAfter(std::move(after)),
      mRememberedBefore(rememberedBefore),
      mRememberedAfter(rememberedAfter) {}

void ListEdit::redo() {
    if (std::exchange(mAlreadyDone, false)) {
        mRemember(mRememberedAfter);
        return;
    }
    Splice(mBefore, mAfter, mRememberedAfter);
}

void ListEdit::undo() {
    Splice(mAfter, mBefore, mRememberedBefore);
}

void ListEdit::Splice(const std::vector<ItemRow>& from, const std::vector<ItemRow>& to, int remembered) {
    std::vector<ItemRow> rows = mList.Rows();
    const auto first = rows.begin() + std::min<std::ptrdiff_t>(mIndex, std::ssize(rows));
    const auto last = first + std::min<std::ptrdiff_t>(std::ssize(from), rows.end() - first);
    rows.insert(rows.erase(first, last), to.begin(), to.end());
    mList.SetRows(std::move(rows));
    mRemember(remembered);
}

}  // namespace sequora::gui
