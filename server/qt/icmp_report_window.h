#pragma once

#include <QWidget>

#include "server/monitor/icmp_report.h"

class QPushButton;
class QTreeWidget;

namespace server {

// "Detected ICMP Messages": the report's rows, newest on top, and "Hide". Created hidden; the
// report decides whether it is visible, so the ICMP Report command and "Hide" both go through
// it. Closing the window hides it.
class IcmpReportWindow final : public QWidget, private server::IcmpReportObserver {
  public:
    explicit IcmpReportWindow(server::IcmpReport& report, QWidget* parent = nullptr);
    ~IcmpReportWindow() override;

    server::IcmpReport& report() { return report_; }
    QTreeWidget* list() const { return list_; }
    QPushButton* hideButton() const { return hide_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    // The list's client area resized: the last column takes what the fixed two leave.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void rowInserted(std::size_t index, const server::IcmpRow& row) override;
    void rowRemoved(std::size_t index) override;
    void visibilityChanged(bool visible) override;
    void fitLastColumn();

    server::IcmpReport& report_;
    QTreeWidget* list_;
    QPushButton* hide_;
};

}  // namespace server
