#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <array>
#include <functional>
#include <map>
#include <memory>

#include "console/consolecontroller.h"
#include "ui/mainwindow/platform.h"

class TElementEditors;
class TFormColorConfig;
class TFormControlSet;
class TFormEmul;
class TFormFlokGraph;
class TFormFlotGraph;
class TFormGraphBakLevel;
class TFormSvodTable;
class TFormWebPrint;
struct SummarySource;
class TTrendWindow;
struct TrendSource;
class TFormHardControl;
class TFormMainMenu;
class TFormMnemo;
class TFormSetupHard;
class TFormSetupMain;
class TShape;
class TWarningWindows;
class QMdiSubWindow;
class QScrollArea;

// The main window: the actions with their menu and tool bar, the status area
// (connect button, state indicator, clock), the views inside it and the
// warning windows of the event log. It shows and forwards: the console
// itself is the controller's, which must outlive the window.
//
// Closing the window (its close button, ActionExit after its question,
// SIGTERM through close()) stops the workers and saves through the
// controller, then powers the computer off when the configuration says so.
// User-interface thread only.
class TFormMain : public QMainWindow {
  Q_OBJECT

 public:
  explicit TFormMain(TConsoleController& controller,
                     MainWindowPlatform platform = MainWindowPlatform::System(), QWidget* parent = nullptr);
  ~TFormMain() override;

  // The action named "name" ("ActionMnemo" ...), or nullptr.
  QAction* Action(const QString& name) const;

  // Shows a view inside the window, maximized, and makes it the active view;
  // makes sure the application folder's "config" exists first. Nothing for
  // nullptr. The window takes the view over.
  void ShowView(QWidget* view);
  QWidget* ActiveView() const { return m_activeView; }

  // The state record is at most 60 s old (checked once a second).
  bool StateFresh() const { return m_controller.Snapshot().StateFresh; }

  // After the window closed: whether the configuration and "LastSet" were saved.
  bool Saved() const { return m_saved; }

  TFormMainMenu* FormMainMenu() const { return m_formMainMenu; }
  TFormMnemo* FormMnemo() const { return m_formMnemo; }
  // The trend windows. The flotation windows exist from the first tick on
  // (nullptr before), the other two from construction.
  TFormFlotGraph* FormFlotGraph(int section) const { return m_formFlotGraph[section == 1 ? 1 : 0]; }
  TFormFlokGraph* FormFlokGraph() const { return m_formFlokGraph; }
  TFormGraphBakLevel* FormGraphBakLevel() const { return m_formGraphBakLevel; }
  TFormSvodTable* FormSvodTable() const { return m_formSvodTable; }
  // The print window: prints, previews and saves the active view when it is
  // the summary table or a trend window.
  TFormWebPrint* FormWebPrint() const { return m_formWebPrint; }
  // The view that holds the diagram, centred at its own size.
  QWidget* MnemoView() const;
  TWarningWindows& WarningWindows() { return *m_warningWindows; }

  // The one-second timer's handler: colours the state indicator by the age
  // of the state record. Public for tests with an injected clock.
  void TimerUpdateStateTimer();

  // Texts of the connect report and of the exit question.
  static QString ConnectedText() { return u"Соединение установлено успешно."_qs; }
  static QString NotConnectedText() { return u"Соединение установить не удалось."_qs; }
  static QString ExitQuestion() { return u"Завершить работу с программой?"_qs; }
  static QString ExitCaption() { return u"Выход из программы"_qs; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateActions();
  void CreateMenu();
  void CreateToolBar();
  void CreateViews();

  // The 500 ms tick's part of the window, and the first tick's start-up.
  void TimerGetLogTimer(const ConsoleSnapshot& snapshot);
  void FormStartUp();
  void UpdateActionStates(const ConsoleSnapshot& snapshot);
  // Destruction: workers stopped and everything saved, then the shutdown.
  void FormDestroy();

  void ActionExitExecute();
  void ActionTimeSetExecute();
  void ActionTryToConnectExecute();
  void ActionAboutExecute();
  void ActionControlFormExecute();
  void ActionEmulControlExecute();
  void ActionSetupColorsExecute();
  void DatabaseAttemptFinished(bool connected);
  // What the trend windows read of the console.
  TrendSource MakeTrendSource();
  // The flotation window of a section (0 or 1), made when missing.
  TFormFlotGraph* FlotGraph(int section);
  void ShowFlotGraph(int section);
  void ShowTrendView(TTrendWindow* window);
  SummarySource MakeSummarySource();
  void ActionPrintExecute();
  void ShowSvodTable();

  TConsoleController& m_controller;
  MainWindowPlatform m_platform;
  QMdiArea* m_mdiArea = nullptr;
  std::map<QString, QAction*> m_actions;
  QLabel* m_labelClock = nullptr;
  TShape* m_shapeLinkPuf = nullptr;
  QToolButton* m_speedButtonTryConnect = nullptr;
  QWidget* m_panelInfo = nullptr;
  QTimer m_timerUpdateState;
  std::unique_ptr<TWarningWindows> m_warningWindows;
  TFormMainMenu* m_formMainMenu = nullptr;
  TFormMnemo* m_formMnemo = nullptr;
  QScrollArea* m_mnemoView = nullptr;
  std::unique_ptr<TElementEditors> m_elementEditors;
  TFormColorConfig* m_formColorConfig = nullptr;
  // The dialogs, made once and reused; children of the window.
  TFormHardControl* m_formHardControl = nullptr;
  TFormEmul* m_formEmul = nullptr;
  TFormSetupMain* m_formSetupMain = nullptr;
  TFormSetupHard* m_formSetupHard = nullptr;
  TFormControlSet* m_formControlSet = nullptr;
  std::array<TFormFlotGraph*, 2> m_formFlotGraph{};
  TFormFlokGraph* m_formFlokGraph = nullptr;
  TFormGraphBakLevel* m_formGraphBakLevel = nullptr;
  TFormSvodTable* m_formSvodTable = nullptr;
  TFormWebPrint* m_formWebPrint = nullptr;
  QPointer<QWidget> m_activeView;
  std::map<QWidget*, QMdiSubWindow*> m_subWindows;
  bool m_operatorConnect = false;  // the running database attempt is the operator's
  bool m_destroyed = false;
  bool m_saved = false;
  bool m_lastDisabled = false;
};
