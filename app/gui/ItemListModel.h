#pragma once

#include <QAbstractTableModel>
#include <atomic>
#include <vector>

#include "app/core/ItemList.h"

namespace sequora::gui {

/// A thin Qt model over an ItemList. It shows a snapshot of the rows and takes a fresh one
/// whenever the list reports a change; a report from another thread is carried over to
/// the model's thread first, so the view only ever sees the list from its own thread.
class ItemListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    /// Observes the list (replacing its change observer) until destroyed; the list must
    /// outlive the model.
    explicit ItemListModel(ItemList& list, QObject* parent = nullptr);
    ~ItemListModel() override;

    /// Number of rows of the snapshot.
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    /// Always nine.
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    /// The cell texts for display.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    /// The column headings, left-aligned.
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    /// Takes a fresh snapshot of the list now (window thread only).
    void Refresh();
    /// The rows as the model shows them now.
    const std::vector<ItemRow>& Rows() const { return mRows; }
    /// True while a refresh changes the model (its views may change their selection then).
    bool Refreshing() const { return mRefreshing; }

signals:
    /// A refresh has brought the model up to date with the list.
    void Refreshed();

public:
    /// The column headings, column "#" first.
    static const std::array<const char*, kColumnCount>& Headings();
    /// The initial column widths in pixels, column "#" first.
    static const std::array<int, kColumnCount>& ColumnWidths();

private:
    void OnListChanged();

    ItemList& mList;
    std::vector<ItemRow> mRows;
    bool mRefreshing = false;  // model's thread only
    // Written by whichever thread changes the list, cleared by the model's thread: one
    // queued refresh covers any number of changes made before it runs.
    std::atomic<bool> mRefreshQueued{false};
};

}  // namespace sequora::gui
