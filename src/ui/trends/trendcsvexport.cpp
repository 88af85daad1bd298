#include "ui/trends/trendcsvexport.h"

#include <QDateTime>
#include <QStringList>
#include <array>
#include <charconv>
#include <cmath>

#include "ui/trends/historyreader.h"

namespace {

// The shortest text that reads back as the same number, with a point
// whatever the locale. The console's values are floats: one that is exactly
// a float is written as the float it is (500.7639, not 500.763885498046875).
QString NumberText(double value) {
  std::array<char, 64> buffer{};
  const float single = static_cast<float>(value);
  const auto result = static_cast<double>(single) == value
                          ? std::to_chars(buffer.data(), buffer.data() + buffer.size(), single)
                          : std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return QString::fromLatin1(buffer.data(), result.ptr - buffer.data());
}

QString FailureText(const QString& path, const QString& reason) {
  return u"Не удалось сохранить файл "_qs + path + u": "_qs + reason;
}

}  // namespace

void TTrendCsvExport::Start(const TrendSource& source, TDateTime from, TDateTime to,
                            std::vector<TrendColumn> columns, const QString& path,
                            TPrintableView::ExportDone done, QObject* owner) {
  auto* exporter = new TTrendCsvExport(std::move(columns), path, std::move(done), owner);
  if (!exporter->Open()) return;
  const bool connected = source.DatabaseConnected && source.DatabaseConnected() && source.Database != nullptr;
  if (!connected) {
    std::vector<TrendRow> rows;
    if (source.MinuteRecords) {
      for (const MinuteRecord& record : source.MinuteRecords()) {
        if (record.RecMoment >= from && record.RecMoment <= to) rows.push_back(TrendRowOfRecord(record));
      }
    }
    exporter->Write(rows);
    exporter->Finish(true, {});
    return;
  }
  exporter->m_reader = new THistoryReader(source.Database, exporter);
  connect(exporter->m_reader, &THistoryReader::RowsArrived, exporter, &TTrendCsvExport::Write);
  connect(exporter->m_reader, &THistoryReader::Finished, exporter,
          [exporter](bool ok, int, const QString& error, const QStringList&) {
            exporter->Finish(ok, ok ? QString() : u"история не прочитана ("_qs + error + u")"_qs);
          });
  exporter->m_reader->Start(from, to);
}

TTrendCsvExport::TTrendCsvExport(std::vector<TrendColumn> columns, const QString& path,
                                 TPrintableView::ExportDone done, QObject* owner)
    : QObject(owner), m_columns(std::move(columns)), m_path(path), m_done(std::move(done)), m_file(path) {}

TTrendCsvExport::~TTrendCsvExport() {
  // The owner went first: the running read is abandoned with the reader.
  if (m_done) {
    m_file.cancelWriting();
    TPrintableView::ExportDone done = std::move(m_done);
    m_done = nullptr;
    done(false, FailureText(m_path, u"окно графиков закрыто"_qs));
  }
}

QString TTrendCsvExport::HeaderLine(const std::vector<TrendColumn>& columns) {
  QStringList fields{QStringLiteral("RecMoment")};
  for (TrendColumn column : columns) fields << TrendColumnName(column);
  return fields.join(u',');
}

QString TTrendCsvExport::RowLine(const TrendRow& row, const std::vector<TrendColumn>& columns) {
  QStringList fields{QDateTimeFromDateTime(row.Moment).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))};
  for (TrendColumn column : columns) {
    const double value = row.Value(column);
    fields << (std::isfinite(value) ? NumberText(value) : QString());
  }
  return fields.join(u',');
}

bool TTrendCsvExport::Open() {
  if (m_file.open(QIODevice::WriteOnly)) {
    Write({});  // the header
    return true;
  }
  Finish(false, m_file.errorString());
  return false;
}

void TTrendCsvExport::Write(const std::vector<TrendRow>& rows) {
  if (m_writeFailed || !m_file.isOpen()) return;
  QByteArray bytes;
  if (m_file.pos() == 0) bytes += HeaderLine(m_columns).toUtf8() + '\n';
  for (const TrendRow& row : rows) bytes += RowLine(row, m_columns).toUtf8() + '\n';
  if (m_file.write(bytes) != bytes.size()) m_writeFailed = true;
}

void TTrendCsvExport::Finish(bool ok, const QString& error) {
  if (!m_done) return;
  QString failure = error.isEmpty() ? QString() : FailureText(m_path, error);
  if (ok && m_writeFailed) {
    ok = false;
    failure = FailureText(m_path, m_file.errorString());
  }
  // flush first: a write the disk refuses while the buffer is emptied leaves
  // no error that commit would see, and commit would put a short file in
  // place of the old one.
  if (ok && (!m_file.flush() || !m_file.commit())) {
    ok = false;
    failure = FailureText(m_path, m_file.errorString());
  }
  if (!ok) m_file.cancelWriting();
  TPrintableView::ExportDone done = std::move(m_done);
  m_done = nullptr;
  deleteLater();
  done(ok, ok ? QString() : failure);
}
