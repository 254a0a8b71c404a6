#pragma once

#include <QAbstractTableModel>
#include <QTimer>

#include "server/monitor/client_list.h"

namespace server {

// The client list as a Qt table: rows come and go at once, while cell changes (progress may
// change with every block) are gathered and shown at most every kRepaintInterval.
class ClientListModel final : public QAbstractTableModel, public ClientListObserver {
    Q_OBJECT

  public:
    static constexpr int kRepaintIntervalMs = 100;

    explicit ClientListModel(CNewView& view, QObject* parent = nullptr);
    ~ClientListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    CNewView& view() { return view_; }
    // Cell changes waiting for the next repaint.
    bool repaintPending() const { return dirtyFirst_ >= 0; }
    // Shows the waiting changes now.
    void flushChanges();

  signals:
    // Cells of these rows changed. Not dataChanged: a view repaints its whole viewport for a
    // range, which with progress on every row ten times a second cost more than the transfers.
    void rowsChanged(int first, int last);
    void widthChanged(int column, int width);
    void graphicFlagChanged(bool on);

  private:
    void rowAboutToBeAdded(std::size_t index) override;
    void rowAdded(std::size_t index, const ClientRow& row) override;
    void rowChanged(std::size_t index, int column, const ClientRow& row) override;
    void tagChanged(std::size_t index, const ClientRow& row) override;
    void rowAboutToBeRemoved(std::size_t index, const ClientRow& row) override;
    void rowRemoved(std::size_t index) override;
    void columnWidthChanged(int column, int width) override;
    void graphicChanged(bool on) override;

    CNewView& view_;
    QTimer repaint_;
    int dirtyFirst_ = -1;
    int dirtyLast_ = -1;
};

}  // namespace server
