#include "server/qt/icmp_report_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "server/qt/options_page_widget.h"

namespace server {

IcmpReportWindow::IcmpReportWindow(server::IcmpReport& report, QWidget* parent)
    : QWidget(parent, Qt::Window),
      report_(report),
      list_(new QTreeWidget(this)),
      hide_(new QPushButton(qs(server::kIcmpHideButton), this)) {
    setWindowTitle(qs(server::kIcmpWindowTitle));
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->header()->setStretchLastSection(false);
    QStringList titles;
    for (const server::IcmpColumn& column : server::kIcmpColumns) {
        titles << qs(column.title);
    }
    list_->setHeaderLabels(titles);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(hide_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(640, 300);

    connect(hide_, &QPushButton::clicked, this, [this] { report_.hide(); });
    for (std::size_t i = 0; i < report_.rows().size(); ++i) {
        rowInserted(i, report_.rows()[i]);
    }
    list_->viewport()->installEventFilter(this);
    report_.addObserver(this);
    setVisible(report_.visible());
    fitLastColumn();
}

IcmpReportWindow::~IcmpReportWindow() {
    report_.removeObserver(this);
}

void IcmpReportWindow::rowInserted(std::size_t index, const server::IcmpRow& row) {
    auto* item = new QTreeWidgetItem({qs(row.source), qs(row.stamp), qs(row.message)});
    list_->insertTopLevelItem(static_cast<int>(index), item);
}

void IcmpReportWindow::rowRemoved(std::size_t index) {
    delete list_->takeTopLevelItem(static_cast<int>(index));
}

void IcmpReportWindow::visibilityChanged(bool visible) {
    setVisible(visible);
    if (visible) {
        raise();
        activateWindow();
    }
}

void IcmpReportWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    report_.hide();
}

bool IcmpReportWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_->viewport() && event->type() == QEvent::Resize) {
        fitLastColumn();
    }
    return QWidget::eventFilter(watched, event);
}

void IcmpReportWindow::fitLastColumn() {
    const int clientWidth = list_->viewport()->width();
    for (int column = 0; column < 3; ++column) {
        list_->setColumnWidth(column, server::IcmpColumnWidth(column, clientWidth));
    }
}

}  // namespace server
