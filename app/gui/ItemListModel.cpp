#include "app/gui/ItemListModel.h"

#include <QMetaObject>
#include <QThread>
#include <algorithm>

namespace sequora::gui {

ItemListModel::ItemListModel(ItemList& list, QObject* parent)
    : QAbstractTableModel(parent), mList(list), mCount(list.RowCount()) {
    mList.SetChangeObserver([this](const ItemListChange& change) { OnListChanged(change); });
}

ItemListModel::~ItemListModel() {
    mList.SetChangeObserver(nullptr);
}

int ItemListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : mCount;
}

int ItemListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant ItemListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumnCount) {
        return {};
    }
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        return QString::fromLocal8Bit(mList.CellText(ListRow(index.row()), index.column()));
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    return {};
}

QVariant ItemListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole) {
        return QString::fromLatin1(Headings()[static_cast<std::size_t>(section)]);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    return {};
}

const std::array<const char*, kColumnCount>& ItemListModel::Headings() {
    static const std::array<const char*, kColumnCount> headings{
        "#", "Send EV", "Event String", "Set Bit", "Bit #", "Bit State", "Send Cmd", "Command", "Delay"};
    return headings;
}

const std::array<int, kColumnCount>& ItemListModel::ColumnWidths() {
    static const std::array<int, kColumnCount> widths{25, 55, 140, 50, 40, 55, 65, 130, 45};
    return widths;
}

int ItemListModel::ListRow(int row) const {
    return row >= mShiftFrom ? row + mShift : row;
}

void ItemListModel::OnListChanged(const ItemListChange& change) {
    if (QThread::currentThread() != thread()) {
        if (mRefreshQueued.exchange(true)) return;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (mRefreshQueued.load()) Refresh();
            },
            Qt::QueuedConnection);
        return;
    }
    if (mBatching) {
        mBatchFirst = mBatchFirst < 0 ? change.first : std::min(mBatchFirst, change.first);
        return;
    }
    // The model no longer knows the list as it was before this change: catch up whole.
    if (mRefreshQueued.load() || mCount != mList.RowCount() - change.inserted + change.removed) {
        Refresh();
        return;
    }
    Apply(change);
}

void ItemListModel::Apply(const ItemListChange& change) {
    mRefreshing = true;
    // Rows are inserted or removed at the end of the changed stretch first, while every row
    // after it is still shown where it was, and only then does the stretch get its new texts.
    const int kept = std::min(change.removed, change.inserted);
    const int shift = change.inserted - change.removed;
    if (shift != 0) {
        const int at = change.first + kept;
        mShiftFrom = change.first + change.removed;
        mShift = shift;
        if (shift > 0) {
            beginInsertRows(QModelIndex(), at, at + shift - 1);
        } else {
            beginRemoveRows(QModelIndex(), at, at - shift - 1);
        }
        mShiftFrom = 0;
        mShift = 0;
        mCount += shift;
        if (shift > 0) {
            endInsertRows();
        } else {
            endRemoveRows();
        }
    }
    if (kept > 0) emit dataChanged(index(change.first, 0), index(change.first + kept - 1, kColumnCount - 1));
    mRefreshing = false;
    emit Refreshed();
}

void ItemListModel::Refresh(int first) {
    mRefreshQueued.store(false);
    mRefreshing = true;
    const int count = mList.RowCount();
    const int known = std::min(count, mCount);
    if (count > mCount) {
        beginInsertRows(QModelIndex(), mCount, count - 1);
        mCount = count;
        endInsertRows();
    } else if (count < mCount) {
        beginRemoveRows(QModelIndex(), count, mCount - 1);
        mCount = count;
        endRemoveRows();
    }
    // Rows just inserted need no word of change; the ones the views had may have changed.
    if (first < known) emit dataChanged(index(first, 0), index(known - 1, kColumnCount - 1));
    mRefreshing = false;
    emit Refreshed();
}

void ItemListModel::BeginBatch() {
    mBatching = true;
    mBatchFirst = -1;
}

void ItemListModel::EndBatch() {
    mBatching = false;
    if (mBatchFirst >= 0 || mCount != mList.RowCount()) Refresh(std::max(mBatchFirst, 0));
    mBatchFirst = -1;
}

}  // namespace sequora::gui
