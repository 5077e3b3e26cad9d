#include "ItemListModel.h"

#include <QMetaObject>
#include <QPointer>
#include <QThread>

namespace sequora::gui {

ItemListModel::ItemListModel(ItemList& list, QObject* parent)
    : QAbstractTableModel(parent), mList(list), mRows(list.Rows()) {
    mList.SetChangeObserver([this] { OnListChanged(); });
}

ItemListModel::~ItemListModel() { mList.SetChangeObserver(nullptr); }

int ItemListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(mRows.size());
}

int ItemListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant ItemListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumnCount) {
        return {};
    }
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        return QString::fromLocal8Bit(mRows[static_cast<std::size_t>(index.row())]
                                          [static_cast<std::size_t>(index.column())]);
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
        "#", "Send EV", "Event String", "Set Bit", "Bit #", "Bit State", "Send Cmd", "Command",
        "Delay"};
    return headings;
}

const std::array<int, kColumnCount>& ItemListModel::ColumnWidths() {
    static const std::array<int, kColumnCount> widths{25, 55, 140, 50, 40, 55, 65, 130, 45};
    return widths;
}

void ItemListModel::OnListChanged() {
    if (QThread::currentThread() == thread()) {
        Refresh();
        return;
    }
    if (mRefreshQueued.exchange(true)) {
        return;
    }
    QMetaObject::invokeMethod(this, [this] { Refresh(); }, Qt::QueuedConnection);
}

void ItemListModel::Refresh() {
    mRefreshQueued.store(false);
    std::vector<ItemRow> rows = mList.Rows();
    const int oldCount = static_cast<int>(mRows.size());
    const int newCount = static_cast<int>(rows.size());
    // Rows only ever come and go as a whole list or one at a time, and the view's
    // highlight is managed by the window; announcing the difference at the end keeps
    // the current highlight where it is when the row count stays the same (a swap).
    if (newCount > oldCount) {
        beginInsertRows(QModelIndex(), oldCount, newCount - 1);
        mRows = std::move(rows);
        endInsertRows();
    } else if (newCount < oldCount) {
        beginRemoveRows(QModelIndex(), newCount, oldCount - 1);
        mRows = std::move(rows);
        endRemoveRows();
    } else {
        mRows = std::move(rows);
    }
    if (newCount > 0) {
        emit dataChanged(index(0, 0), index(newCount - 1, kColumnCount - 1));
    }
}

}  // namespace sequora::gui
