#include "ui/displays/formabout.h"

TFormAbout::TFormAbout(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormAbout"));
}
