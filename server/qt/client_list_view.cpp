#include "server/qt/client_list_view.h"

#include <QEvent>
#include <QHeaderView>
#include <QPainter>

namespace server {

ClientListView::ClientListView(CNewView& view, QWidget* parent)
    : QTreeView(parent), view_(view), model_(view) {
    setModel(&model_);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideRight);
    setFrameShape(QFrame::NoFrame);
    // A report list's small font, so the default widths hold a time like "06 Dec, 14:05".
    QFont small = font();
    if (small.pointSizeF() > 8.0) {
        small.setPointSizeF(small.pointSizeF() - 1.0);
    }
    setFont(small);
    viewport()->setAutoFillBackground(true);
    viewport()->setBackgroundRole(QPalette::Base);

    QHeaderView* columns = header();
    columns->setStretchLastSection(false);
    columns->setSectionsMovable(false);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setMinimumSectionSize(0);
    for (int column = 0; column < kColumnCount; ++column) {
        applyWidth(column, view_.columnWidths()[static_cast<std::size_t>(column)]);
    }
    connect(columns, &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (!applyingWidth_) {
            view_.SetColumnWidth(column, width);
        }
    });
    connect(&model_, &ClientListModel::widthChanged, this, &ClientListView::applyWidth);
    connect(&model_, &ClientListModel::rowsChanged, this, &ClientListView::repaintRows);
    connect(&model_, &ClientListModel::graphicFlagChanged, viewport(),
            [this] { viewport()->update(); });
}

RowColours ClientListView::rowColours() const {
    return {palette().color(QPalette::Base), palette().color(QPalette::Text)};
}

void ClientListView::repaintRows(int first, int last) {
    const QRect top = visualRect(model_.index(first, 0));
    const QRect bottom = visualRect(model_.index(last, 0));
    if (top.isValid() && bottom.isValid()) {
        viewport()->update(0, top.top(), viewport()->width(), bottom.bottom() - top.top() + 1);
    }
}

void ClientListView::applyWidth(int column, int width) {
    applyingWidth_ = true;
    header()->resizeSection(column, width);
    applyingWidth_ = false;
}

void ClientListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const auto row = static_cast<std::size_t>(index.row());
    if (row >= view_.rows().size()) {
        return;
    }
    // Scrolled sideways, the first column starts left of the viewport.
    const QRect rowRect(header()->sectionViewportPosition(0), option.rect.top(),
                        option.rect.width(), option.rect.height());
    DrawClientRow(*painter, rowRect, view_.rows()[row], view_.columnWidths(), view_.graphic(),
                  rowColours());
}

void ClientListView::resizeEvent(QResizeEvent* event) {
    QTreeView::resizeEvent(event);
    view_.StretchLastColumn(viewport()->width());
}

void ClientListView::showEvent(QShowEvent* event) {
    QTreeView::showEvent(event);
    view_.StretchLastColumn(viewport()->width());
}

void ClientListView::changeEvent(QEvent* event) {
    QTreeView::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        // The background follows the system's window colour.
        viewport()->update();
    }
}

}  // namespace server
