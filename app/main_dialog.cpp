#include "app/main_dialog.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMetaObject>
#include <QPushButton>
#include <QTreeWidget>
#include <thread>

#include "app/about_dialog.h"
#include "app/dialog_look.h"
#include "app/table_text.h"
#include "app/ui_texts.h"

namespace talu {

namespace {

// The main window's layout, in dialog units.
constexpr int kWidth = 320, kHeight = 200;
constexpr int kRecheckX = 55, kExitX = 213, kButtonY = 167;
constexpr int kButtonWidth = 50, kButtonHeight = 16;
constexpr int kListX = 7, kListY = 7, kListWidth = 306, kListHeight = 154;
// The column widths are pixels, not dialog units.
constexpr int kStepColumnPixels = 250;
constexpr int kResultColumnPixels = 200;

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

CTaluNetworkCheckDlg::CTaluNetworkCheckDlg(const CheckSuite& suite, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_suite(suite) {
  CreateControls();
  CreateActions();
  m_windowTable = std::make_unique<ListResultTable>(*m_list, *m_recheck);
  // Table calls from the checks' threads queue onto the GUI thread and wait
  // there; the dispatcher drops them once exit has begun.
  m_dispatcher = std::make_unique<WindowDispatcher>(
      [this](std::function<void()> task) {
        QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
      },
      std::this_thread::get_id());
  m_table = std::make_unique<SerializedResultTable>(*m_windowTable, *m_dispatcher);
  m_state = std::make_unique<CheckRunState>(*m_table, m_suite.workers, MakeProbePacketTable());
  m_windowTable->SetTickHandler([this](int timerId) { OnTimer(m_state.get(), timerId); });
}

CTaluNetworkCheckDlg::~CTaluNetworkCheckDlg() { RunExitSteps(); }

void CTaluNetworkCheckDlg::CreateControls() {
  setFont(DialogFont());
  setWindowTitle(Text(ui::kMainTitle));
  setWindowIcon(ApplicationIcon());
  const DialogBaseUnits base = BaseUnitsOf(font());
  setFixedSize(DialogSize(kWidth, kHeight, base));

  m_recheck = new QPushButton(Text(ui::kRecheck), this);
  m_recheck->setGeometry(DialogRect(kRecheckX, kButtonY, kButtonWidth, kButtonHeight, base));
  m_recheck->setDefault(true);
  connect(m_recheck, &QPushButton::clicked, this, &CTaluNetworkCheckDlg::OnRecheck);

  m_exit = new QPushButton(Text(ui::kExit), this);
  m_exit->setGeometry(DialogRect(kExitX, kButtonY, kButtonWidth, kButtonHeight, base));
  m_exit->setAutoDefault(false);
  connect(m_exit, &QPushButton::clicked, this, &CTaluNetworkCheckDlg::OnExit);

  m_list = new QTreeWidget(this);
  m_list->setGeometry(DialogRect(kListX, kListY, kListWidth, kListHeight, base));
  m_list->setColumnCount(2);
  m_list->setHeaderLabels({Text(ui::kStepColumn), Text(ui::kResultColumn)});
  m_list->setRootIsDecorated(false);
  m_list->setItemsExpandable(false);
  m_list->setUniformRowHeights(true);
  m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_list->header()->setStretchLastSection(false);
  m_list->header()->setSectionsMovable(false);
  m_list->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  m_list->setColumnWidth(0, kStepColumnPixels);
  m_list->setColumnWidth(1, kResultColumnPixels);

  // The template's tab order: re-check, exit, list.
  setTabOrder(m_recheck, m_exit);
  setTabOrder(m_exit, m_list);
}

void CTaluNetworkCheckDlg::CreateActions() {
  // Linux window managers offer no system menu to extend, so the About entry
  // sits in the window's context menu, beside copying, and on F1.
  setContextMenuPolicy(Qt::ActionsContextMenu);
  m_copyAction = new QAction(Text(ui::kCopyEntry), this);
  m_copyAction->setShortcut(QKeySequence::Copy);
  m_copyAction->setShortcutContext(Qt::WindowShortcut);
  connect(m_copyAction, &QAction::triggered, this, &CTaluNetworkCheckDlg::CopyRows);
  addAction(m_copyAction);

  auto* separator = new QAction(this);
  separator->setSeparator(true);
  addAction(separator);

  m_aboutAction = new QAction(Text(ui::kAboutEntry), this);
  m_aboutAction->setShortcut(QKeySequence(Qt::Key_F1));
  m_aboutAction->setShortcutContext(Qt::WindowShortcut);
  connect(m_aboutAction, &QAction::triggered, this, &CTaluNetworkCheckDlg::ShowAbout);
  addAction(m_aboutAction);
}

void CTaluNetworkCheckDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!m_opened) {
    m_opened = true;
    OnInitDialog();
  }
}

void CTaluNetworkCheckDlg::OnInitDialog() {
  if (m_suite.prepareOnOpen) m_suite.prepareOnOpen();
  StartCheckRun(m_state.get(), false);
}

void CTaluNetworkCheckDlg::OnRecheck() {
  // A disabled button cannot be clicked, and Enter reaches only an enabled
  // default button; the test keeps a programmatic call honest all the same.
  if (m_exited || !m_recheck->isEnabled()) return;
  StartCheckRun(m_state.get(), true);
}

void CTaluNetworkCheckDlg::OnExit() {
  if (m_exited) return;
  // An open About box runs its own modal loop, which must end for ours to.
  if (m_about) m_about->reject();
  hide();
  // The unmap must reach the display server now: the GUI thread is about to
  // wait for the workers and will not flush it.
  QGuiApplication::sync();
  RunExitSteps();
  done(0);
}

void CTaluNetworkCheckDlg::reject() { OnExit(); }

void CTaluNetworkCheckDlg::RunExitSteps() {
  if (m_exited) return;
  m_exited = true;
  m_dispatcher->RequestStop();
  StopChecksForExit(m_state.get());
  m_windowTable->StopAllTimers();
}

void CTaluNetworkCheckDlg::ShowAbout() {
  CAboutDlg about(this);
  m_about = &about;
  about.exec();
}

void CTaluNetworkCheckDlg::CopyRows() {
  std::vector<TableRow> rows = m_windowTable->Rows(true);
  if (rows.empty()) rows = m_windowTable->Rows(false);
  const std::string text = TabSeparatedRows(rows);
  QGuiApplication::clipboard()->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace talu
