#include "common/inifile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "common/cp1251.h"
#include "common/floattext.h"

namespace {

bool SameName(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The value part of a "key=value" line: trimmed, one pair of matching
// quotes removed.
QString ValueOf(const QString& line) {
  QString value = line.mid(line.indexOf(u'=') + 1).trimmed();
  if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
      value.back() == value.front()) {
    value = value.mid(1, value.size() - 2);
  }
  return value;
}

QString OneLine(QString text) {
  text.replace(u'\r', u' ');
  text.replace(u'\n', u' ');
  return text;
}

bool WriteAll(int fd, const QByteArray& bytes) {
  const char* data = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    left -= written;
  }
  return true;
}

bool ParseIntegerText(const QString& text, int& result) {
  QString t = text;
  bool negative = false;
  if (t.startsWith(u'-') || t.startsWith(u'+')) {
    negative = t.startsWith(u'-');
    t.remove(0, 1);
  }
  int base = 10;
  if (t.startsWith(u"0x", Qt::CaseInsensitive)) {
    base = 16;
    t.remove(0, 2);
  } else if (t.startsWith(u'$')) {
    base = 16;
    t.remove(0, 1);
  }
  if (t.isEmpty()) return false;
  for (QChar c : t) {
    const bool digit = c >= u'0' && c <= u'9';
    const bool hexLetter = (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    if (!digit && !(base == 16 && hexLetter)) return false;
  }
  bool ok = false;
  const qulonglong magnitude = t.toULongLong(&ok, base);
  if (!ok) return false;
  if (base == 16) {
    // Hexadecimal texts are bit patterns: 0xFFFFFFFF reads as -1.
    if (magnitude > 0xFFFFFFFFull) return false;
    const auto bits = static_cast<quint32>(magnitude);
    result = static_cast<int>(negative ? 0u - bits : bits);
    return true;
  }
  const qlonglong value = negative ? -static_cast<qlonglong>(magnitude) : static_cast<qlonglong>(magnitude);
  if (magnitude > 0x80000000ull || value > INT32_MAX || value < INT32_MIN) return false;
  result = static_cast<int>(value);
  return true;
}

}  // namespace

std::optional<double> ParseIniFloat(const QString& text) {
  std::string s;
  s.reserve(static_cast<size_t>(text.size()));
  qsizetype i = 0;
  const qsizetype n = text.size();
  if (i < n && (text[i] == u'+' || text[i] == u'-')) s.push_back(static_cast<char>(text[i++].unicode()));
  int mantissaDigits = 0;
  while (i < n && text[i].isDigit() && text[i].unicode() < 0x80) {
    s.push_back(static_cast<char>(text[i++].unicode()));
    ++mantissaDigits;
  }
  if (i < n && (text[i] == u'.' || text[i] == u',')) {
    s.push_back('.');
    ++i;
    while (i < n && text[i].isDigit() && text[i].unicode() < 0x80) {
      s.push_back(static_cast<char>(text[i++].unicode()));
      ++mantissaDigits;
    }
  }
  if (mantissaDigits == 0) return std::nullopt;
  if (i < n && (text[i] == u'e' || text[i] == u'E')) {
    s.push_back('e');
    ++i;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) s.push_back(static_cast<char>(text[i++].unicode()));
    int exponentDigits = 0;
    while (i < n && text[i].isDigit() && text[i].unicode() < 0x80) {
      s.push_back(static_cast<char>(text[i++].unicode()));
      ++exponentDigits;
    }
    if (exponentDigits == 0) return std::nullopt;
  }
  if (i != n) return std::nullopt;
  const char* begin = s.data();
  if (*begin == '+') ++begin;  // from_chars takes no plus sign
  double value = 0;
  const auto [end, error] = std::from_chars(begin, s.data() + s.size(), value);
  if (error != std::errc() || end != s.data() + s.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<int> ParseIniInteger(const QString& text) {
  int value = 0;
  if (!ParseIntegerText(text, value)) return std::nullopt;
  return value;
}

IniFile::IniFile(QString path) : m_path(std::move(path)) {
  const QString point = QLocale::system().decimalPoint();
  m_decimalSeparator = point.isEmpty() ? QChar(u'.') : point.front();
}

IniFile::FileStamp IniFile::StampOfFile() const {
  FileStamp stamp;
  struct stat info {};
  if (::stat(QFile::encodeName(m_path).constData(), &info) != 0) return stamp;
  stamp.exists = true;
  stamp.device = info.st_dev;
  stamp.inode = info.st_ino;
  stamp.size = info.st_size;
  stamp.modifiedNs = static_cast<qint64>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return stamp;
}

void IniFile::Refresh() const {
  if (m_updateDepth > 0 && m_loaded) return;  // the pending content is newer than the file
  const FileStamp stamp = StampOfFile();
  if (m_loaded && stamp == m_stamp) return;
  m_loaded = true;
  m_stamp = stamp;
  m_lines.clear();
  if (!stamp.exists) return;
  QFile file(m_path);
  if (!file.open(QIODevice::ReadOnly)) return;
  const QString text = FromCp1251(file.readAll());
  const QList<QStringView> rawLines = QStringView(text).split(u'\n');
  m_lines.reserve(static_cast<size_t>(rawLines.size()));
  for (qsizetype i = 0; i < rawLines.size(); ++i) {
    QStringView raw = rawLines[i];
    if (raw.endsWith(u'\r')) raw.chop(1);
    if (i == rawLines.size() - 1 && raw.isEmpty()) break;  // the final line break
    Line line;
    line.text = raw.toString();
    const QString trimmed = line.text.trimmed();
    if (trimmed.startsWith(u'[')) {
      const qsizetype close = trimmed.indexOf(u']');
      line.name = trimmed.mid(1, close < 0 ? -1 : close - 1).trimmed();
      line.isSection = true;
    } else if (!trimmed.startsWith(u';') && trimmed.contains(u'=')) {
      line.name = trimmed.left(trimmed.indexOf(u'=')).trimmed();
      line.isKey = !line.name.isEmpty();
    }
    m_lines.push_back(std::move(line));
  }
}

int IniFile::FindSection(const QString& section) const {
  for (size_t i = 0; i < m_lines.size(); ++i) {
    if (m_lines[i].isSection && SameName(m_lines[i].name, section)) return static_cast<int>(i);
  }
  return -1;
}

int IniFile::FindKey(const QString& section, const QString& key) const {
  const int start = FindSection(section);
  if (start < 0) return -1;
  for (size_t i = static_cast<size_t>(start) + 1; i < m_lines.size() && !m_lines[i].isSection; ++i) {
    if (m_lines[i].isKey && SameName(m_lines[i].name, key)) return static_cast<int>(i);
  }
  return -1;
}

bool IniFile::SectionExists(const QString& section) const {
  Refresh();
  return FindSection(section) >= 0;
}

bool IniFile::ValueExists(const QString& section, const QString& key) const {
  Refresh();
  return FindKey(section, key) >= 0;
}

QStringList IniFile::ReadSection(const QString& section) const {
  Refresh();
  QStringList keys;
  const int start = FindSection(section);
  if (start < 0) return keys;
  for (size_t i = static_cast<size_t>(start) + 1; i < m_lines.size() && !m_lines[i].isSection; ++i) {
    if (!m_lines[i].isKey) continue;
    bool seen = false;
    for (const QString& k : keys) seen = seen || SameName(k, m_lines[i].name);
    if (!seen) keys.append(m_lines[i].name);
  }
  return keys;
}

QStringList IniFile::ReadSections() const {
  Refresh();
  QStringList sections;
  for (const Line& line : m_lines) {
    if (!line.isSection) continue;
    bool seen = false;
    for (const QString& s : sections) seen = seen || SameName(s, line.name);
    if (!seen) sections.append(line.name);
  }
  return sections;
}

QString IniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const {
  Refresh();
  const int index = FindKey(section, key);
  return index < 0 ? defaultValue : ValueOf(m_lines[static_cast<size_t>(index)].text);
}

int IniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
  return ParseIniInteger(ReadString(section, key, QString())).value_or(defaultValue);
}

bool IniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

double IniFile::ReadFloat(const QString& section, const QString& key, double defaultValue) const {
  return ParseIniFloat(ReadString(section, key, QString())).value_or(defaultValue);
}

bool IniFile::WriteString(const QString& section, const QString& key, const QString& value) {
  return WriteRaw(section, key, OneLine(value));
}

bool IniFile::WriteInteger(const QString& section, const QString& key, int value) {
  return WriteRaw(section, key, QString::number(value));
}

bool IniFile::WriteBool(const QString& section, const QString& key, bool value) {
  return WriteRaw(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool IniFile::WriteFloat(const QString& section, const QString& key, double value) {
  return WriteRaw(section, key, FloatToStrGeneral(value, m_decimalSeparator));
}

bool IniFile::WriteRaw(const QString& section, const QString& key, const QString& value) {
  Refresh();
  std::vector<Line> lines = m_lines;
  Line entry;
  entry.text = key + u'=' + value;
  entry.name = key;
  entry.isKey = true;
  const int keyIndex = FindKey(section, key);
  if (keyIndex >= 0) {
    lines[static_cast<size_t>(keyIndex)] = entry;
  } else {
    const int sectionIndex = FindSection(section);
    if (sectionIndex < 0) {
      Line header;
      header.text = u'[' + section + u']';
      header.name = section;
      header.isSection = true;
      lines.push_back(header);
      lines.push_back(entry);
    } else {
      // After the section's last non-blank line, so blank lines that
      // separate it from the next section stay where they are.
      size_t insertAt = static_cast<size_t>(sectionIndex) + 1;
      for (size_t i = insertAt; i < lines.size() && !lines[i].isSection; ++i) {
        if (!lines[i].text.trimmed().isEmpty()) insertAt = i + 1;
      }
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
    }
  }
  return Store(lines);
}

bool IniFile::DeleteKey(const QString& section, const QString& key) {
  Refresh();
  const int index = FindKey(section, key);
  if (index < 0) return true;
  std::vector<Line> lines = m_lines;
  lines.erase(lines.begin() + index);
  return Store(lines);
}

bool IniFile::EraseSection(const QString& section) {
  Refresh();
  const int start = FindSection(section);
  if (start < 0) return true;
  std::vector<Line> lines = m_lines;
  size_t end = static_cast<size_t>(start) + 1;
  while (end < lines.size() && !lines[end].isSection) ++end;
  lines.erase(lines.begin() + start, lines.begin() + static_cast<std::ptrdiff_t>(end));
  return Store(lines);
}

void IniFile::BeginUpdate() {
  Refresh();
  ++m_updateDepth;
}

bool IniFile::EndUpdate() {
  if (m_updateDepth == 0) return true;
  if (--m_updateDepth > 0) return true;
  const std::vector<Line> pending = std::move(m_lines);
  m_lines.clear();
  m_loaded = false;  // on failure the next read takes the file as it is
  return Store(pending);
}

bool IniFile::Store(const std::vector<Line>& lines) {
  if (m_updateDepth > 0) {
    m_lines = lines;
    return true;
  }
  QString text;
  for (const Line& line : lines) {
    text += line.text;
    text += u"\r\n";
  }
  const QByteArray bytes = ToCp1251(text);

  // Write beside the file and rename over it: readers and a crash see the
  // old file or the new one, never a half-written one.
  QByteArray tempPath = QFile::encodeName(m_path) + ".XXXXXX";
  const int fd = ::mkstemp(tempPath.data());
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  ok = ::fchmod(fd, 0644) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(tempPath.constData(), QFile::encodeName(m_path).constData()) == 0;
  if (!ok) {
    ::unlink(tempPath.constData());
    return false;
  }
  m_lines = lines;
  m_stamp = StampOfFile();
  m_loaded = true;
  return true;
}
