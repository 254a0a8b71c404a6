#pragma once

#include <QObject>

namespace qttest {

class RowPaintingTest : public QObject {
    Q_OBJECT
  private slots:
    void barAtFortyFivePercentEndsAtXMinusOnePlusFortyFive();
    void onePercentAndZeroDrawOnlyTheOutline();
    void sixPixelColumnHasNoFill();
    void textWhenGraphicOffOrStatusNotAPercentage();
};

class MainWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void menuTextsPromptsAndEnableRules();
    void captionRenewedAfterListenerRestart();
    void stopWithTwoLiveTransfersKeepThenDrop();
    void transferCompletesWhileModalDialogIsOpen();
    void layoutSavedAtExitAndRestoredAtStart();
    void alertWhileMinimisedOneInstanceGoneOnActivation();
    void splashClosesAtItsTimeoutOrFirstKeyWhichItSwallows();
    void listBackgroundFollowsThePalette();
    void sessionQueryLogsRowsAndEndRegistersRestart();
    void progressOfEveryBlockRepaintsTheRowOnceAPeriod();
};

class EngineLoopBridgeTest : public QObject {
    Q_OBJECT
  private slots:
    void aBurstIsTakenInOneActivation();
    void aBusyEngineLeavesQtItsTurn();
};

// Run last: it starts a notification-area host on the display.
class TrayTest : public QObject {
    Q_OBJECT
  private slots:
    void refusedTrayTurnsTaskbarOffAndWindowStays();
    void trayHidesWindowShowAndCloseFromItsMenu();
    void cleanupTestCase();
};

}  // namespace qttest
