#include "app/gui/ItemListModel.h"

#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <algorithm>

namespace sequora::gui {

ItemListModel::ItemListModel(ItemList& list, QObject* parent)
    : QAbstractTableModel(parent), mList(list), mRows(list.Rows()) {
    mList.SetChangeObserver([this] { OnListChanged(); });
}

ItemListModel::~ItemListModel() {
    mList.SetChangeObserver(nullptr);
}

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
        return QString::fromLocal8Bit(
            mRows[static_cast<std::size_t>(index.row())][static_cast<std::size_t>(index.column())]);
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

void ItemListModel::OnListChanged() {
    if (QThread::currentThread() == thread()) {
        Refresh();
        return;
    }
    if (mRefreshQueued.exchange(true)) {
        return;
    }
    QMetaObject::invokeMethod(
        this, [this] { Refresh(); }, Qt::QueuedConnection);
}

void ItemListModel::Refresh() {
    mRefreshQueued.store(false);
    mRefreshing = true;
    std::vector<ItemRow> rows = mList.Rows();
    const int oldCount = static_cast<int>(mRows.size());
    const int newCount = static_cast<int>(rows.size());

    // The rows that differ lie between an unchanged head and an unchanged tail. Rows are
    // inserted or removed at the end of that stretch first, while every other row still
    // shows its old texts, and only then does the stretch get its new texts: views then
    // keep their highlight and scroll position on the rows that did not change.
    const int shorter = std::min(oldCount, newCount);
    int head = 0;
    while (head < shorter && mRows[static_cast<std::size_t>(head)] == rows[static_cast<std::size_t>(head)]) {
        ++head;
    }
    int tail = 0;
    while (tail < shorter - head && mRows[static_cast<std::size_t>(oldCount - 1 - tail)] ==
                                        rows[static_cast<std::size_t>(newCount - 1 - tail)]) {
        ++tail;
    }
    const int oldMiddle = oldCount - head - tail;
    const int newMiddle = newCount - head - tail;
    const auto at = [](int index) { return static_cast<std::ptrdiff_t>(index); };

    if (newMiddle > oldMiddle) {
        const int first = head + oldMiddle;
        beginInsertRows(QModelIndex(), first, first + newMiddle - oldMiddle - 1);
        mRows.insert(mRows.begin() + at(first), rows.begin() + at(first),
                     rows.begin() + at(head + newMiddle));
        endInsertRows();
    } else if (newMiddle < oldMiddle) {
        const int first = head + newMiddle;
        beginRemoveRows(QModelIndex(), first, head + oldMiddle - 1);
        mRows.erase(mRows.begin() + at(first), mRows.begin() + at(head + oldMiddle));
        endRemoveRows();
    }
    mRows = std::move(rows);
    if (newMiddle > 0) {
        emit dataChanged(index(head, 0), index(head + newMiddle - 1, kColumnCount - 1));
    }
    mRefreshing = false;
    emit Refreshed();
}

}  // namespace sequora::gui
