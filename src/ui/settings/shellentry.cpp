#include "ui/settings/shellentry.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const QString kEntryFileName = QStringLiteral("flotation-console.desktop");

// Exec takes its program as a quoted argument in which '"', '`', '$' and '\'
// are escaped; the value as a whole is a desktop-entry string, whose own
// escape doubles every '\', and '%' would start a field code.
QString ExecValue(const QString& executable) {
  QString quoted = QStringLiteral("\"");
  for (const QChar c : executable) {
    if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted += u'\\';
    quoted += c;
  }
  quoted += u'"';
  quoted.replace(u'\\', QStringLiteral("\\\\"));
  quoted.replace(u'%', QStringLiteral("%%"));
  return quoted;
}

bool HasControlCharacter(const QString& text) {
  for (const QChar c : text) {
    if (c.category() == QChar::Other_Control) return true;
  }
  return false;
}

}  // namespace

QString ShellEntryPath() {
  QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (configHome.isEmpty() || !QDir::isAbsolutePath(configHome)) {
    configHome = QDir::homePath() + QStringLiteral("/.config");
  }
  return QDir(configHome).filePath(QStringLiteral("autostart/") + kEntryFileName);
}

QByteArray ShellEntryText(const QString& executable) {
  const QString text = QStringLiteral("[Desktop Entry]\n") + QStringLiteral("Type=Application\n") +
                       u"Name=Пульт управления флотацией\n"_qs + QStringLiteral("Exec=") +
                       ExecValue(executable) + u'\n' + QStringLiteral("Terminal=false\n") +
                       QStringLiteral("X-GNOME-Autostart-enabled=true\n");
  return text.toUtf8();
}

bool WriteShellEntry(bool replaceShell, const QString& executable, QString& error) {
  const QString path = ShellEntryPath();
  if (!replaceShell) {
    const QFileInfo entry(path);
    if (!entry.exists() && !entry.isSymLink()) return true;
    QFile file(path);
    if (file.remove()) return true;
    error = u"Не удалось удалить файл автозапуска "_qs + path + u": "_qs + file.errorString();
    return false;
  }
  // A line break in the path would end the Exec line early and the session
  // would start something else; better to refuse than to write that.
  if (executable.isEmpty() || !QDir::isAbsolutePath(executable) || HasControlCharacter(executable)) {
    error = u"Путь к программе непригоден для файла автозапуска: "_qs + executable;
    return false;
  }
  const QString folder = QFileInfo(path).absolutePath();
  if (!QDir().mkpath(folder)) {
    error = u"Не удалось создать папку автозапуска "_qs + folder + u'.';
    return false;
  }
  QSaveFile file(path);
  const QByteArray text = ShellEntryText(executable);
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
    error = u"Не удалось записать файл автозапуска "_qs + path + u": "_qs + file.errorString();
    return false;
  }
  return true;
}
