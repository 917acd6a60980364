// The real main dialog and About box, headless, over fake checks.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <csignal>
#include <functional>
#include <latch>
#include <memory>

#include "app/about_dialog.h"
#include "app/application.h"
#include "app/window_application.h"
#include "app/dialog_look.h"
#include "app/exit_signals.h"
#include "app/fakes/fake_checks.h"
#include "app/main_dialog.h"

using namespace talu;

namespace {

// Generous bounds for waits on the fakes' threads; nothing here measures speed.
constexpr int kWaitBoundMs = 10000;
constexpr int kWorkersPerLanRun = 7;
constexpr auto kLingerAfterRelease = std::chrono::milliseconds(300);

const QStringList kAllSteps = {
    "检查网络...",           "检查UPnP映射...",       "检测网络类型...",
    "检查与Talu调度通信...", "跳过与缓存调度检测...", "检查与高速调度通信...",
    "检测  P2P 协议通讯...", "检测  BT  协议通讯...", "检测 Http 协议通讯...",
};

QString Step(const CTaluNetworkCheckDlg& dialog, int row) {
  return dialog.ResultList()->topLevelItem(row)->text(0);
}
QString Result(const CTaluNetworkCheckDlg& dialog, int row) {
  const QTreeWidgetItem* item = dialog.ResultList()->topLevelItem(row);
  return item ? item->text(1) : QString();
}

// Calls onHide when the dialog receives its hide event, on the GUI thread,
// before the exit path goes on to wait for the workers.
class HideWatcher final : public QObject {
 public:
  explicit HideWatcher(std::function<void()> onHide) : m_onHide(std::move(onHide)) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Hide && m_onHide) std::exchange(m_onHide, nullptr)();
    return false;
  }

 private:
  std::function<void()> m_onHide;
};

// A dialog over the fakes that lets held workers go before it is destroyed:
// a failed check must end the test, not leave its exit waiting on the gate.
struct HeldDialog {
  explicit HeldDialog(std::function<void()> releaseWorkers) : release(std::move(releaseWorkers)) {}
  ~HeldDialog() { release(); }
  std::function<void()> release;
  CTaluNetworkCheckDlg dialog{fakes::FakeSuite()};
};

// Every text row `row` is given, in order.
void RecordResultsOf(CTaluNetworkCheckDlg& dialog, int row, QObject* context,
                     std::shared_ptr<QStringList> seen) {
  QAbstractItemModel* model = dialog.ResultList()->model();
  QObject::connect(model, &QAbstractItemModel::dataChanged, context,
                   [model, row, seen](const QModelIndex& from, const QModelIndex& to) {
                     if (from.row() <= row && row <= to.row() && from.column() <= 1 && 1 <= to.column()) {
                       seen->append(model->index(row, 1).data().toString());
                     }
                   });
}

// The dots after "正在检测", or -1 for a text that is not the marker.
int DotsOfMarker(const QString& text) {
  const QString stem = "正在检测";
  if (!text.startsWith(stem)) return -1;
  const QString dots = text.mid(stem.size());
  return dots.count('.') == dots.size() ? static_cast<int>(dots.size()) : -1;
}

}  // namespace

class DialogTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<fakes::FakePlan> m_plan;
  std::unique_ptr<std::latch> m_gate;

  // Workers held until ReleaseWorkers.
  void HoldWorkers() {
    m_gate = std::make_unique<std::latch>(1);
    m_plan->gate = m_gate.get();
    m_plan->lingerAfterGate = kLingerAfterRelease;
  }
  void ReleaseWorkers() {
    if (m_gate && !m_gate->try_wait()) m_gate->count_down();
  }
  bool WaitForRunEnd(CTaluNetworkCheckDlg& dialog) {
    return QTest::qWaitFor([&] { return dialog.RecheckButton()->isEnabled(); }, kWaitBoundMs);
  }
  bool WaitForAllWorkers(int count) {
    return QTest::qWaitFor([&] { return m_plan->workersStarted == count; }, kWaitBoundMs);
  }

 private slots:
  void initTestCase() { QApplication::setFont(DialogFont()); }

  void init() {
    m_plan = std::make_unique<fakes::FakePlan>();
    fakes::UsePlan(m_plan.get());
  }

  void cleanup() {
    ReleaseWorkers();  // a failed check must not leave a dialog waiting forever
  }

  void textsColumnsAndLayout() {
    HoldWorkers();
    HeldDialog held([this] { ReleaseWorkers(); });
    CTaluNetworkCheckDlg& dialog = held.dialog;
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QString("Talu网络环境检测 2.0"));
    QTreeWidget* list = dialog.ResultList();
    QCOMPARE(list->columnCount(), 2);
    QCOMPARE(list->headerItem()->text(0), QString("检查步骤"));
    QCOMPARE(list->headerItem()->text(1), QString("检查结果"));
    QCOMPARE(list->columnWidth(0), 250);
    QCOMPARE(list->columnWidth(1), 200);
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(!list->rootIsDecorated());
    QCOMPARE(dialog.RecheckButton()->text(), QString("重新检测"));
    QCOMPARE(dialog.ExitButton()->text(), QString("退出"));
    QVERIFY(dialog.RecheckButton()->isDefault());
    QVERIFY(!dialog.ExitButton()->isDefault());

    // The template's dialog units through the dialog's own font.
    QVERIFY(QFontInfo(dialog.font()).family().contains("WenQuanYi"));
    const DialogBaseUnits base = BaseUnitsOf(dialog.font());
    QVERIFY(base.x > 0 && base.y > 0);
    QCOMPARE(dialog.size(), DialogSize(320, 200, base));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(list->geometry(), DialogRect(7, 7, 306, 154, base));
    QCOMPARE(dialog.RecheckButton()->geometry(), DialogRect(55, 167, 50, 16, base));
    QCOMPARE(dialog.ExitButton()->geometry(), DialogRect(213, 167, 50, 16, base));
    for (QPushButton* button : {dialog.RecheckButton(), dialog.ExitButton()}) {
      QVERIFY(button->minimumSizeHint().width() <= button->width());
      QVERIFY(button->minimumSizeHint().height() <= button->height());
    }
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);

    // Tab order: re-check, exit, list.
    QCOMPARE(dialog.RecheckButton()->nextInFocusChain(), static_cast<QWidget*>(dialog.ExitButton()));
    QCOMPARE(dialog.ExitButton()->nextInFocusChain(), static_cast<QWidget*>(list));

    const QList<QSize> iconSizes = dialog.windowIcon().availableSizes();
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) QVERIFY(iconSizes.contains(QSize(size, size)));
  }

  void aWholeRunShowsEveryRowWithoutAScrollBar() {
    HeldDialog held([this] { ReleaseWorkers(); });
    CTaluNetworkCheckDlg& dialog = held.dialog;
    dialog.show();
    QVERIFY(WaitForRunEnd(dialog));
    QTreeWidget* list = dialog.ResultList();
    QCOMPARE(list->topLevelItemCount(), 9);
    for (int row = 0; row < 9; ++row) {
      QCOMPARE(Step(dialog, row), kAllSteps[row]);
      QVERIFY(list->viewport()->rect().contains(list->visualItemRect(list->topLevelItem(row))));
    }
    QVERIFY(!list->verticalScrollBar()->isVisible());
    QVERIFY(!list->horizontalScrollBar()->isVisible());
    QCOMPARE(Result(dialog, 0), QString("连接Internet成功"));
    QCOMPARE(Result(dialog, 2), QString("网络类型为:1"));
    QCOMPARE(Result(dialog, 4), QString());
    // The texts fit their columns: nothing is cut off.
    const QFontMetrics metrics(list->font());
    for (int row = 0; row < 9; ++row) {
      QVERIFY(metrics.horizontalAdvance(Step(dialog, row)) < list->columnWidth(0));
    }
  }

  void recheckIsDisabledDuringARunAndStartsAnotherAfterIt() {
    HoldWorkers();
    HeldDialog held([this] { ReleaseWorkers(); });
    CTaluNetworkCheckDlg& dialog = held.dialog;
    dialog.show();
    QVERIFY(!dialog.RecheckButton()->isEnabled());  // at once on opening
    QCOMPARE(m_plan->opened.load(), 1);
    QVERIFY(WaitForAllWorkers(kWorkersPerLanRun));

    // Enter while the run is on does nothing.
    QTest::keyClick(&dialog, Qt::Key_Return);
    QTest::qWait(50);
    QCOMPARE(m_plan->workersStarted.load(), kWorkersPerLanRun);
    QCOMPARE(dialog.ResultList()->topLevelItemCount(), 9);

    ReleaseWorkers();
    QVERIFY(WaitForRunEnd(dialog));
    QCOMPARE(Result(dialog, 8), QString("正常"));

    // Enter now: the list empties before the new run's first row, and re-check
    // is disabled again. The run is opened only once.
    m_gate = std::make_unique<std::latch>(1);
    m_plan->gate = m_gate.get();
    QTest::keyClick(&dialog, Qt::Key_Return);
    QCOMPARE(dialog.ResultList()->topLevelItemCount(), 0);
    QVERIFY(!dialog.RecheckButton()->isEnabled());
    QVERIFY(WaitForAllWorkers(2 * kWorkersPerLanRun));
    QCOMPARE(Step(dialog, 0), kAllSteps[0]);
    QCOMPARE(m_plan->opened.load(), 1);
    ReleaseWorkers();
    QVERIFY(WaitForRunEnd(dialog));

    // And the button itself.
    QTest::mouseClick(dialog.RecheckButton(), Qt::LeftButton);
    QVERIFY(!dialog.RecheckButton()->isEnabled());
    QVERIFY(WaitForRunEnd(dialog));
    QCOMPARE(m_plan->workersStarted.load(), 3 * kWorkersPerLanRun);
  }

  void aFailedInternetCheckLeavesRowZeroAloneAndRecheckDisabled() {
    m_plan->connection = NotConnected;
    HeldDialog held([this] { ReleaseWorkers(); });
    CTaluNetworkCheckDlg& dialog = held.dialog;
    dialog.show();
    QTRY_COMPARE_WITH_TIMEOUT(Result(dialog, 0), QString("连接Internet失败"), kWaitBoundMs);
    QTest::qWait(100);
    QCOMPARE(dialog.ResultList()->topLevelItemCount(), 1);
    QVERIFY(!dialog.RecheckButton()->isEnabled());
    QTest::keyClick(&dialog, Qt::Key_Return);
    QCOMPARE(dialog.ResultList()->topLevelItemCount(), 1);
  }

  void aModemLinkSkipsTheUpnpRow() {
    m_plan->connection = Modem;
    HeldDialog held([this] { ReleaseWorkers(); });
    CTaluNetworkCheckDlg& dialog = held.dialog;
    dialog.show();
    QVERIFY(WaitForRunEnd(dialog));
    QCOMPARE(Step(dialog, 1), QString("跳过UPnP映射检查"));
    QCOMPARE(Result(dialog, 1), QString());
    QCOMPARE(m_plan->workersStarted.load(), kWorkersPerLanRun - 1);
  }

  void theMarkerGrowsDotsWhileTheTimersRun() {
    HoldWorkers();
    HeldDialog held([this] { ReleaseWorkers(); });
    CTaluNetworkCheckDlg& dialog = held.dialog;
    dialog.show();
    QVERIFY(WaitForAllWorkers(kWorkersPerLanRun));
    QTRY_VERIFY_WITH_TIMEOUT(dialog.WindowTable().TimerActive(kUpnpTimerId) &&
                                 dialog.WindowTable().TimerActive(kNatTypeTimerId),
                             kWaitBoundMs);
    // Every marked row, from one dot to six and round to one again. Both
    // timers tick, so the row may move on twice in a moment: its history is
    // watched, not its text now and then.
    auto seen = std::make_shared<QStringList>();
    RecordResultsOf(dialog, 3, this, seen);
    QTRY_VERIFY_WITH_TIMEOUT(seen->size() >= 7, kWaitBoundMs);
    int dots = DotsOfMarker(seen->first());
    QVERIFY(dots >= 1 && dots <= 6);
    for (qsizetype i = 1; i < seen->size(); ++i) {
      const int next = dots == 6 ? 1 : dots + 1;
      QCOMPARE(DotsOfMarker(seen->at(i)), next);
      dots = next;
    }
    QVERIFY(seen->contains("正在检测......"));  // seven texts in a row hold the wrap
    QVERIFY(Result(dialog, 8).startsWith("正在检测."));
    QCOMPARE(Result(dialog, 0), QString("连接Internet成功"));
    QCOMPARE(Result(dialog, 4), QString());

    ReleaseWorkers();
    QVERIFY(WaitForRunEnd(dialog));
    QVERIFY(!dialog.WindowTable().TimerActive(kUpnpTimerId));
    QVERIFY(!dialog.WindowTable().TimerActive(kNatTypeTimerId));
    QTest::qWait(2 * static_cast<int>(kAnimationPeriod.count()));
    for (int row = 1; row < 9; ++row) {
      if (row != 4) QCOMPARE(Result(dialog, row), QString::fromStdString(fakes::FinalText(row)));
    }
  }

  void everyExitRouteHidesAtOnceAndWaitsForTheWorkers_data() {
    QTest::addColumn<QString>("route");
    QTest::newRow("exit button") << "button";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("close button or Alt+F4") << "close";
    QTest::newRow("SIGTERM") << "sigterm";
    QTest::newRow("SIGINT") << "sigint";
    QTest::newRow("SIGTERM with the About box open") << "sigterm-about";
  }

  void everyExitRouteHidesAtOnceAndWaitsForTheWorkers() {
    QFETCH(QString, route);
    HoldWorkers();
    ExitSignals exitSignals;
    HeldDialog held([this] { ReleaseWorkers(); });
    CTaluNetworkCheckDlg& dialog = held.dialog;
    const std::unique_ptr<QSocketNotifier> onSignal = RouteExitSignals(exitSignals, dialog);

    int runningAtHide = -1;
    HideWatcher watcher([&] {
      runningAtHide = m_plan->workersRunning;
      ReleaseWorkers();  // they linger, so an exit that did not wait would end first
    });
    dialog.installEventFilter(&watcher);
    int runningAtEnd = -1;
    QObject::connect(&dialog, &QDialog::finished, [&] { runningAtEnd = m_plan->workersRunning; });

    // The route is taken from the modal loop, once every worker runs.
    QTimer takeRoute;
    QObject::connect(&takeRoute, &QTimer::timeout, [&] {
      if (m_plan->workersStarted != kWorkersPerLanRun) return;
      takeRoute.stop();
      if (route == "button") {
        QTest::mouseClick(dialog.ExitButton(), Qt::LeftButton);
      } else if (route == "escape") {
        QTest::keyClick(&dialog, Qt::Key_Escape);
      } else if (route == "close") {
        // What the window manager sends for its close button and for Alt+F4.
        QCloseEvent close;
        QApplication::sendEvent(dialog.windowHandle(), &close);
      } else if (route == "sigint") {
        std::raise(SIGINT);
      } else if (route == "sigterm") {
        std::raise(SIGTERM);
      } else if (route == "sigterm-about") {
        QTimer::singleShot(0, [] { std::raise(SIGTERM); });
        dialog.ShowAbout();
      }
    });
    takeRoute.start(10);
    // A hang must fail the test, not the test run.
    QTimer::singleShot(kWaitBoundMs * 3, &dialog, [&] {
      ReleaseWorkers();
      dialog.done(1);
    });

    const int result = dialog.exec();
    QCOMPARE(result, 0);
    QCOMPARE(runningAtHide, kWorkersPerLanRun);
    QCOMPARE(runningAtEnd, 0);
    QVERIFY(dialog.isHidden());
    QVERIFY(!dialog.State().m_bRunning);
  }

  void theAboutBoxOpensFromF1AndFromTheContextMenu() {
    HeldDialog held([this] { ReleaseWorkers(); });
    CTaluNetworkCheckDlg& dialog = held.dialog;
    dialog.show();
    QVERIFY(WaitForRunEnd(dialog));

    const QList<QAction*> entries = dialog.actions();
    QCOMPARE(entries.size(), 3);
    QCOMPARE(entries[0], dialog.CopyAction());
    QVERIFY(entries[1]->isSeparator());
    QCOMPARE(entries[2], dialog.AboutAction());
    QCOMPARE(dialog.AboutAction()->text(), QString("关于 TaluNetworkCheck(&A)..."));
    QCOMPARE(dialog.AboutAction()->shortcut(), QKeySequence(Qt::Key_F1));

    struct Seen {
      QString title, version, notice, ok;
      bool okIsDefault = false;
      bool textsFit = false;
      bool closed = false;
    };
    // Looks at the About box once it is up, then closes it as the user would.
    const auto inspectAbout = [](Seen* seen, bool byEscape) {
      QTimer::singleShot(0, [seen, byEscape] {
        auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        if (!about) return;
        seen->title = about->windowTitle();
        seen->version = about->VersionLabel()->text();
        seen->notice = about->NoticeLabel()->text();
        seen->ok = about->OkButton()->text();
        seen->okIsDefault = about->OkButton()->isDefault();
        // Nothing cut off: each text needs no more room than its control has.
        seen->textsFit = true;
        for (QWidget* control : {static_cast<QWidget*>(about->VersionLabel()),
                                 static_cast<QWidget*>(about->NoticeLabel()),
                                 static_cast<QWidget*>(about->OkButton())}) {
          const QSize needed = control->minimumSizeHint();
          seen->textsFit = seen->textsFit && needed.width() <= control->width() &&
                           needed.height() <= control->height() &&
                           about->rect().contains(control->geometry());
        }
        if (byEscape) {
          QTest::keyClick(about, Qt::Key_Escape);
        } else {
          QTest::mouseClick(about->OkButton(), Qt::LeftButton);
        }
        seen->closed = about->isHidden();
      });
    };

    Seen byF1;
    inspectAbout(&byF1, false);
    // Shortcuts reach the active window only.
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(dialog.ResultList(), Qt::Key_F1);
    QVERIFY(byF1.closed);
    QCOMPARE(byF1.title, QString("关于 TaluNetworkCheck"));
    QCOMPARE(byF1.version, QString("TaluNetworkCheck 1.0 版"));
    QVERIFY(!byF1.notice.isEmpty());
    QCOMPARE(byF1.ok, QString("确定"));
    QVERIFY(byF1.okIsDefault);
    QVERIFY(byF1.textsFit);

    Seen byMenu;
    inspectAbout(&byMenu, true);
    dialog.AboutAction()->trigger();
    QVERIFY(byMenu.closed);
    QCOMPARE(byMenu.version, QString("TaluNetworkCheck 1.0 版"));
    QVERIFY(dialog.isVisible());  // the main window stays

    // A right click on the list brings up the window's menu with the entry.
    bool menuHadAbout = false;
    QTimer::singleShot(0, [&] {
      if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
        menuHadAbout = menu->actions().contains(dialog.AboutAction());
        menu->close();
      }
    });
    QWidget* viewport = dialog.ResultList()->viewport();
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(10, 10),
                                 viewport->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(viewport, &rightClick);
    QVERIFY(menuHadAbout);

  }

  void copyingGivesTheSelectedRowsOrAllAsTabSeparatedText() {
    HeldDialog held([this] { ReleaseWorkers(); });
    CTaluNetworkCheckDlg& dialog = held.dialog;
    dialog.show();
    QVERIFY(WaitForRunEnd(dialog));
    QTreeWidget* list = dialog.ResultList();
    QClipboard* clipboard = QApplication::clipboard();

    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    clipboard->clear();
    list->setFocus();
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    QStringList all = clipboard->text().split('\n');
    QCOMPARE(all.size(), 10);  // nine lines and the empty text after the last break
    QCOMPARE(all[0], QString("检查网络...\t连接Internet成功"));
    QCOMPARE(all[4], QString("跳过与缓存调度检测...\t"));
    QCOMPARE(all[9], QString());

    list->topLevelItem(0)->setSelected(true);
    list->topLevelItem(7)->setSelected(true);
    clipboard->clear();
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard->text(), QString("检查网络...\t连接Internet成功\n检测  BT  协议通讯...\t正常\n"));

    clipboard->clear();
    dialog.CopyAction()->trigger();
    QCOMPARE(clipboard->text(), QString("检查网络...\t连接Internet成功\n检测  BT  协议通讯...\t正常\n"));
  }
};

QTEST_MAIN(DialogTest)
#include "dialog_test.moc"
