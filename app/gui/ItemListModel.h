#pragma once

#include <QAbstractTableModel>
#include <array>
#include <atomic>

#include "app/core/ItemList.h"

namespace sequora::gui {

/// A thin Qt model over an ItemList: it keeps no rows of its own, only how many rows its
/// views know of, and reads every cell from the list when a view asks. Each change the list
/// reports becomes the matching insert, remove and dataChanged signals, so a view keeps its
/// highlight and scroll position on the rows that did not change. A report from another
/// thread is carried over to the model's thread first, so the view only ever sees the list
/// from its own thread. During a batch (a slice of a long load) changes are collected and
/// reported once when the batch ends.
class ItemListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    /// Observes the list (replacing its change observer) until destroyed; the list must
    /// outlive the model.
    explicit ItemListModel(ItemList& list, QObject* parent = nullptr);
    ~ItemListModel() override;

    /// Number of rows the views know of.
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    /// Always nine.
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    /// The cell texts for display.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    /// The column headings, left-aligned.
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    /// Brings the model up to date with the list now: rows added or taken away at the end,
    /// and every row the views knew from `first` on reported as changed (model's thread only).
    void Refresh(int first = 0);
    /// True while a change is being reported (its views may change their selection then).
    bool Refreshing() const { return mRefreshing; }

    /// Collects the list's changes instead of reporting each one, until EndBatch.
    void BeginBatch();
    /// Reports the changes collected since BeginBatch in one go: rows added after the
    /// rows the views knew, and every row from the first one touched on as changed.
    void EndBatch();

signals:
    /// The model has been brought up to date with the list.
    void Refreshed();

public:
    /// The column headings, column "#" first.
    static const std::array<const char*, kColumnCount>& Headings();
    /// The initial column widths in pixels, column "#" first.
    static const std::array<int, kColumnCount>& ColumnWidths();

private:
    void OnListChanged(const ItemListChange& change);
    void Apply(const ItemListChange& change);
    int ListRow(int row) const;

    ItemList& mList;
    // Everything below but mRefreshQueued is used on the model's thread only.
    int mCount = 0;            // the rows the views know of
    bool mRefreshing = false;  // a change is being reported
    // While rows are announced as about to be inserted or removed the list already holds its
    // new rows: the views' rows from mShiftFrom on are the list's rows mShift further on.
    int mShiftFrom = 0;
    int mShift = 0;
    bool mBatching = false;  // between BeginBatch and EndBatch
    int mBatchFirst = -1;    // the first row a change of the batch touched, -1 for none
    // Written by whichever thread changes the list, cleared by the model's thread: one
    // queued refresh covers any number of changes made before it runs.
    std::atomic<bool> mRefreshQueued{false};
};

}  // namespace sequora::gui
