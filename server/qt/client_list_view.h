#pragma once

#include <QTreeView>

#include "server/qt/client_list_model.h"
#include "server/qt/client_row_painter.h"

namespace server {

// The main window's client area: six left-aligned columns whose widths are the model's (user
// resizes go back to it), the last one stretched over the spare width on every resize, rows
// painted by DrawClientRow on the window colour.
class ClientListView final : public QTreeView {
    Q_OBJECT

  public:
    ClientListView(CNewView& view, QWidget* parent = nullptr);

    ClientListModel& listModel() { return model_; }
    RowColours rowColours() const;

  protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void applyWidth(int column, int width);
    void repaintRows(int first, int last);

    CNewView& view_;
    ClientListModel model_;
    bool applyingWidth_ = false;
};

}  // namespace server
