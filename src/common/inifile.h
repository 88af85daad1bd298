#pragma once

#include <QByteArray>
#include <QChar>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

#include <optional>

// The integer conversion of INI values: optional sign, then decimal, or
// hexadecimal after "0x", "0X" or "$" (hexadecimal texts are 32-bit patterns,
// so 0xFFFFFFFF is -1). Nothing else may follow; out of range is no number.
std::optional<int> ParseIniInteger(const QString& text);

// The float conversion of INI values: optional sign, digits with at most one
// "." or "," as the separator, optional exponent; nothing else may follow.
// NaN, infinities and numbers beyond a double are no number.
std::optional<double> ParseIniFloat(const QString& text);

// An INI file with the semantics the console's files were written for:
// sections and keys match case-insensitively, whitespace around keys and
// values is ignored, a value in matching quotes loses them, the first of two
// equal sections or keys wins, lines that are not "key=value" are kept as they
// are. The bytes on disk are Windows-1251.
//
// Every successful write is on disk when the call returns: the whole file is
// written to a temporary file beside it and renamed over it, so a crash or a
// full disk never leaves half a file. Between BeginUpdate and EndUpdate the
// writes collect in memory and the file is written once at the end, so a
// whole configuration lands on disk completely or not at all. A missing or unreadable file reads as
// empty (every read returns its default) and is created by the first write.
// Reads see changes that other programs made to the file in the meantime.
//
// Not thread-safe: one thread uses an instance (several instances on the same
// file are fine).
class IniFile {
 public:
  // "path" need not exist; its folder must exist by the first write.
  explicit IniFile(QString path);

  const QString& FileName() const { return m_path; }

  // Decimal separator used when writing floats; reading accepts "." and ",".
  // Defaults to the separator of the system locale.
  void SetDecimalSeparator(QChar separator) { m_decimalSeparator = separator; }
  QChar DecimalSeparator() const { return m_decimalSeparator; }

  bool SectionExists(const QString& section) const;
  bool ValueExists(const QString& section, const QString& key) const;
  // Keys of a section in file order (first occurrence of each).
  QStringList ReadSection(const QString& section) const;
  QStringList ReadSections() const;

  QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
  // Decimal, or hexadecimal after "0x"/"0X"/"$", optional sign; anything
  // else (including trailing characters and values outside 32 bits) gives the
  // default.
  int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
  // A non-zero integer is true; a text that is not an integer gives the default.
  bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;
  // Optional sign, digits with "." or "," as separator, optional exponent;
  // NaN, infinities and trailing characters give the default.
  double ReadFloat(const QString& section, const QString& key, double defaultValue) const;

  // Each write returns false (and leaves the file as it was) when the file
  // cannot be written. Line breaks in a value are replaced by spaces.
  bool WriteString(const QString& section, const QString& key, const QString& value);
  bool WriteInteger(const QString& section, const QString& key, int value);
  bool WriteBool(const QString& section, const QString& key, bool value);  // "1" / "0"
  // Floats in the general 15-digit form with DecimalSeparator().
  bool WriteFloat(const QString& section, const QString& key, double value);

  bool DeleteKey(const QString& section, const QString& key);
  bool EraseSection(const QString& section);

  // Groups writes (see above). Pairs may nest; the outermost EndUpdate writes
  // the file and returns false when that failed, in which case the file keeps
  // its old content and the grouped changes are dropped. Inside a group,
  // writes return true and reads see the pending content.
  void BeginUpdate();
  bool EndUpdate();

 private:
  struct Line {
    QString text;  // the line as read, without its line break
    QString name;  // "[section]" line: the section; "key=value" line: the key
    bool isSection = false;
    bool isKey = false;
  };

  // Identity of the file content last read: a rename, a write or a touch
  // changes one of these.
  struct FileStamp {
    bool exists = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
  };

  FileStamp StampOfFile() const;
  void Refresh() const;
  bool Store(const std::vector<Line>& lines);
  // Index of the first "[section]" line, or -1.
  int FindSection(const QString& section) const;
  // Index of the key's line inside the first such section, or -1.
  int FindKey(const QString& section, const QString& key) const;
  bool WriteRaw(const QString& section, const QString& key, const QString& value);

  QString m_path;
  QChar m_decimalSeparator;
  mutable std::vector<Line> m_lines;
  mutable FileStamp m_stamp;
  mutable bool m_loaded = false;
  int m_updateDepth = 0;
};

// Groups the writes of a scope into one file write; Commit() reports whether
// it reached the disk. Without Commit the destructor writes and forgets the result.
class IniUpdate {
 public:
  explicit IniUpdate(IniFile& ini) : m_ini(ini) { m_ini.BeginUpdate(); }
  ~IniUpdate() {
    if (!m_committed) m_ini.EndUpdate();
  }
  IniUpdate(const IniUpdate&) = delete;
  IniUpdate& operator=(const IniUpdate&) = delete;
  bool Commit() {
    m_committed = true;
    return m_ini.EndUpdate();
  }

 private:
  IniFile& m_ini;
  bool m_committed = false;
};
