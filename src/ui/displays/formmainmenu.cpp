#include "ui/displays/formmainmenu.h"

TFormMainMenu::TFormMainMenu(const MainMenuActions&, std::function<bool()>, QWidget* parent)
    : QWidget(parent) {
  setObjectName(QStringLiteral("FormMainMenu"));
  setWindowTitle(u"Главное меню"_qs);
}
