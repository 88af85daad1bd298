#pragma once

#include <QAction>
#include <QWidget>
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

// The start page: one row per main view (picture, caption, function key),
// each part of a row runs the row's action. "summaryAvailable" says whether
// the history database is switched on, which shows the summary-table row.
// The actions must outlive the window. User-interface thread only.
class TFormMainMenu : public QWidget {
  Q_OBJECT

 public:
  TFormMainMenu(const MainMenuActions& actions, std::function<bool()> summaryAvailable,
                QWidget* parent = nullptr);
};
