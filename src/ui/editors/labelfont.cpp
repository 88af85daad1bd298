#include "ui/editors/labelfont.h"

#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>

#include "common/inifile.h"
#include "ui/elements/elementfont.h"
#include "ui/elements/orvetutil.h"

namespace {

const QString kPrefix = QStringLiteral("Font");

// The caption's font as the style files describe fonts.
ElementFont CaptionFont(const QLabel& caption) {
  return ElementFont::FromQFont(caption.font(),
                                TColorFromColor(caption.palette().color(caption.foregroundRole())));
}

// fontconfig hands any unknown face its last resort, so a face counts as
// present when the database has it or it resolves to something else than a
// face that surely does not exist (aliases such as Times New Roman).
bool FaceAvailable(const QFont& candidate) {
  for (const QString& family : candidate.families()) {
    if (QFontDatabase::hasFamily(family)) return true;
  }
  QFont missing = candidate;
  missing.setFamilies({QStringLiteral("No Face Of The Flotation Console")});
  return QFontInfo(candidate).family() != QFontInfo(missing).family();
}

}  // namespace

QString LabelFontFile(const QLabel& caption, const QString& appDir) {
  const QWidget* parent = caption.parentWidget();
  if (parent == nullptr || parent->objectName().isEmpty()) return {};
  return QDir(appDir).filePath(u"config/"_qs + parent->objectName() + u".INI"_qs);
}

bool SaveLabelFont(const QLabel& caption, const QString& appDir) {
  const QString file = LabelFontFile(caption, appDir);
  if (file.isEmpty() || caption.objectName().isEmpty()) return false;
  IniFile ini(file);
  IniUpdate update(ini);
  SaveFontToIni(ini, caption.objectName(), kPrefix, CaptionFont(caption));
  return update.Commit();
}

bool LoadLabelFont(QLabel& caption, const QString& appDir) {
  const QString file = LabelFontFile(caption, appDir);
  if (file.isEmpty() || caption.objectName().isEmpty()) return false;
  const IniFile ini(file);
  const ElementFont current = CaptionFont(caption);
  ElementFont stored = current;
  LoadFontFromIni(ini, caption.objectName(), kPrefix, stored);

  QFont font = caption.font();
  // A face this machine lacks leaves the caption in the face it had, rather
  // than in whatever the font system falls back to.
  if (stored.Name() != current.Name() && FaceAvailable(stored.ToQFont())) {
    font.setFamilies(stored.ToQFont().families());
  }
  if (stored.PixelSize() != current.PixelSize()) font.setPixelSize(stored.PixelSize());
  caption.setFont(font);
  if (stored.Color() != current.Color()) {
    QPalette palette = caption.palette();
    palette.setColor(caption.foregroundRole(), ColorFromTColor(stored.Color()));
    caption.setPalette(palette);
  }
  return true;
}
