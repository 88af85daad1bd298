#include "ui/trends/historyreader.h"

#include <QDateTime>
#include <QMetaObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <cmath>
#include <mutex>

#include "storage/database.h"
#include "storage/databasethread.h"
#include "ui/trends/readerwake.h"

namespace {

// Rows handed to the window per turn of its event loop, so that a broken
// collector's 30 000 rows a day cannot hold the window for long.
constexpr int kRowsPerTurn = 600;

}  // namespace

// What the database thread hands over. Owner is read and written on the
// reader's thread only (the wake-up runs there).
struct THistoryReader::Shared {
  std::mutex Mutex;  // guards everything but Owner
  std::vector<TrendRow> Rows;
  bool Done = false;
  bool Ok = false;
  QString Error;
  QStringList Warnings;
  bool WakePosted = false;
  bool Abandoned = false;
  THistoryReader* Owner = nullptr;
};

THistoryReader::THistoryReader(TDatabaseThread* database, QObject* parent)
    : QObject(parent), m_database(database) {}

THistoryReader::~THistoryReader() {
  if (!m_shared) return;
  m_shared->Owner = nullptr;
  std::lock_guard lock(m_shared->Mutex);
  m_shared->Abandoned = true;
}

QString THistoryReader::QueryText(TDateTime from, TDateTime to) {
  return QStringLiteral("select * from puf_data") + TimeRangeWhere(from, to) +
         QStringLiteral(" order by RecMoment");
}

bool THistoryReader::Start(TDateTime from, TDateTime to) {
  if (m_running) return false;
  m_running = true;
  m_delivered = 0;
  if (m_shared) m_shared->Owner = nullptr;  // a finished read's late wake-up finds nobody
  auto shared = std::make_shared<Shared>();
  shared->Owner = this;
  m_shared = shared;
  const std::weak_ptr<Shared> weak = shared;
  const std::function<void()> collect = [weak] {
    const std::shared_ptr<Shared> alive = weak.lock();
    if (alive && alive->Owner != nullptr) alive->Owner->Collect();
  };
  if (m_database == nullptr) {
    {
      std::lock_guard lock(shared->Mutex);
      shared->Done = true;
      shared->Error = QStringLiteral("no history database");
    }
    QMetaObject::invokeMethod(
        this, [this] { Collect(); }, Qt::QueuedConnection);
    return true;
  }

  const QString text = QueryText(from, to);
  m_database->Post([shared, collect, text](TSQLConnection& connection) {
    QStringList warnings;
    std::vector<TrendRow> batch;
    auto handOver = [&](bool done, bool ok, const QString& error) {
      std::lock_guard lock(shared->Mutex);
      shared->Rows.insert(shared->Rows.end(), batch.begin(), batch.end());
      batch.clear();
      if (done) {
        shared->Done = true;
        shared->Ok = ok;
        shared->Error = error;
        shared->Warnings = warnings;
      }
      PostWakeOnce(shared->WakePosted, collect);
      return !shared->Abandoned;
    };
    if (!connection.Connected()) {
      handOver(true, false, QStringLiteral("the history database is not connected"));
      return;
    }
    QSqlQuery query(connection.Database());
    query.setForwardOnly(true);
    if (!query.exec(text)) {
      if (IsConnectionLost(query.lastError())) connection.Close();
      handOver(true, false, query.lastError().text());
      return;
    }
    const QSqlRecord record = query.record();
    const int momentIndex = record.indexOf(QStringLiteral("RecMoment"));
    if (momentIndex < 0) {
      handOver(true, false, QStringLiteral("puf_data has no column RecMoment"));
      return;
    }
    std::array<int, kTrendColumnCount> indexes{};
    for (int i = 0; i < kTrendColumnCount; ++i) {
      const QString name = TrendColumnName(static_cast<TrendColumn>(i));
      indexes[i] = record.indexOf(name);
      if (indexes[i] < 0) warnings << QStringLiteral("puf_data has no column %1").arg(name);
    }
    bool badValues = false;
    bool badMoments = false;
    while (query.next()) {
      const QDateTime moment = query.value(momentIndex).toDateTime();
      if (!moment.isValid()) {
        badMoments = true;
        continue;
      }
      TrendRow row;
      row.Moment = DateTimeFromQDateTime(moment);
      for (int i = 0; i < kTrendColumnCount; ++i) {
        if (indexes[i] < 0) {
          row.Values[i] = kNoTrendValue;
          continue;
        }
        const QVariant value = query.value(indexes[i]);
        if (value.isNull()) continue;  // a NULL reads as 0
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (ok && std::isfinite(number)) {
          row.Values[i] = number;
        } else {
          row.Values[i] = kNoTrendValue;
          badValues = true;
        }
      }
      batch.push_back(row);
      if (static_cast<int>(batch.size()) >= kBatchRows && !handOver(false, false, {})) return;
    }
    if (badMoments) warnings << QStringLiteral("rows without a valid RecMoment were skipped");
    if (badValues) warnings << QStringLiteral("values that are not numbers were left out");
    if (query.lastError().isValid()) {
      if (IsConnectionLost(query.lastError())) connection.Close();
      handOver(true, false, query.lastError().text());
      return;
    }
    handOver(true, true, {});
  });
  return true;
}

void THistoryReader::Collect() {
  if (!m_running || !m_shared) return;
  std::vector<TrendRow> rows;
  bool done = false;
  bool more = false;
  bool ok = false;
  QString error;
  QStringList warnings;
  {
    std::lock_guard lock(m_shared->Mutex);
    m_shared->WakePosted = false;
    if (static_cast<int>(m_shared->Rows.size()) > kRowsPerTurn) {
      rows.assign(m_shared->Rows.begin(), m_shared->Rows.begin() + kRowsPerTurn);
      m_shared->Rows.erase(m_shared->Rows.begin(), m_shared->Rows.begin() + kRowsPerTurn);
      more = true;
    } else {
      rows.swap(m_shared->Rows);
      done = m_shared->Done;
      ok = m_shared->Ok;
      error = m_shared->Error;
      warnings = m_shared->Warnings;
    }
  }
  // The signals may destroy this reader; nothing of it is used after them.
  const std::shared_ptr<Shared> shared = m_shared;
  if (more) {
    QMetaObject::invokeMethod(
        this, [this] { Collect(); }, Qt::QueuedConnection);
  }
  if (!rows.empty()) {
    m_delivered += static_cast<int>(rows.size());
    emit RowsArrived(rows);
    if (shared->Owner == nullptr) return;
  }
  if (!done) return;
  m_running = false;
  emit Finished(ok, m_delivered, error, warnings);
}
