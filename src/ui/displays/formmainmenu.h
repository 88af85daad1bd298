#pragma once

#include <QAction>
#include <QLabel>
#include <QWidget>
#include <array>
#include <functional>

// The commands of the main window that the main menu's rows carry.
struct MainMenuActions {
  QAction* Mnemo = nullptr;
  QAction* GraphFlot1 = nullptr;
  QAction* GraphFlot2 = nullptr;
  QAction* GraphFlok = nullptr;
  QAction* GraphLevel = nullptr;
  QAction* ControlForm = nullptr;
  QAction* SvodTable = nullptr;
};

// The start page: one row per main view (picture, caption, function key);
// a click on the picture or the caption runs the row's action, the key text
// only names the key. "summaryAvailable" says whether the history database is
// switched on, which shows the summary-table row (an empty one hides it).
// The actions are not owned; a row whose action is destroyed stops following
// it. The window owns its rows and labels. User-interface thread only.
class TFormMainMenu : public QWidget {
  Q_OBJECT

 public:
  TFormMainMenu(const MainMenuActions& actions, std::function<bool()> summaryAvailable,
                QWidget* parent = nullptr);

  // Shows the summary row when the database is on and shares the centre
  // panel's height among all rows. Runs on every resize of the centre panel;
  // the main window calls it again after the settings changed.
  void PanelCenterResize();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  static constexpr int kRowCount = 7;

  // Title across the top, the centre panel inside the side and bottom margins.
  void LayoutPanels();
  QWidget* CreateRow(QAction* action, const QString& rowName, const QString& keyText);

  std::function<bool()> m_summaryAvailable;
  QLabel* m_title = nullptr;
  QWidget* m_panelCenter = nullptr;
  std::array<QWidget*, kRowCount> m_rows{};
  QWidget* m_summaryRow = nullptr;
};
