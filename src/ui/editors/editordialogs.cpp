#include "ui/editors/editordialogs.h"

#include <QColorDialog>
#include <QFontDialog>
#include <QMessageBox>

#include "ui/elements/elementpen.h"
#include "ui/elements/orvetutil.h"

namespace {

std::optional<TColor> PlatformPickColor(TColor initial, QWidget* parent) {
  const QColor chosen = QColorDialog::getColor(ColorFromTColor(initial), parent);
  if (!chosen.isValid()) return std::nullopt;
  return TColorFromColor(chosen);
}

std::optional<QFont> PlatformPickFont(const QFont& initial, QWidget* parent) {
  bool accepted = false;
  const QFont chosen = QFontDialog::getFont(&accepted, initial, parent);
  if (!accepted) return std::nullopt;
  return chosen;
}

void PlatformShowError(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, u"Ошибка"_qs, text);
}

}  // namespace

EditorDialogs EditorDialogs::Completed() const {
  EditorDialogs result = *this;
  if (!result.PickColor) result.PickColor = PlatformPickColor;
  if (!result.PickFont) result.PickFont = PlatformPickFont;
  if (!result.ShowError) result.ShowError = PlatformShowError;
  return result;
}

EditorDialogs PlatformEditorDialogs() {
  return EditorDialogs{}.Completed();
}

std::optional<int> ParsePenWidth(const QString& text) {
  bool ok = false;
  const int width = text.trimmed().toInt(&ok, 10);
  if (!ok || width < 0 || width > ElementPen::kMaxWidth) return std::nullopt;
  return width;
}

QString PenWidthErrorText(const QString& text) {
  return u"«%1» — неверная толщина.\nВведите целое число от 0 до %2."_qs.arg(text.trimmed())
      .arg(ElementPen::kMaxWidth);
}

QString StyleFileErrorText(const QString& configName) {
  return u"Не удалось записать файл стилей «%1».\nИзменения не сохранены."_qs.arg(
      IniPathOfConfigName(configName));
}
