#include "ui/trends/summaryreader.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <cmath>
#include <mutex>
#include <utility>

#include "storage/database.h"
#include "storage/databasethread.h"
#include "ui/trends/readerwake.h"

SummaryConstants DefaultSummaryConstants() {
  SummaryConstants constants{};
  for (auto& quantity : constants) quantity.fill(1.0 / 60.0);
  return constants;
}

// What the database thread hands over. Owner is read and written on the
// reader's thread only (the wake-up runs there).
struct TSummaryReader::Shared {
  std::mutex Mutex;  // guards everything but Owner
  std::vector<std::pair<int, SummaryResult>> Results;
  int Count = 0;  // intervals of the read
  int Done = 0;   // intervals whose result has been handed over
  bool WakePosted = false;
  bool Abandoned = false;
  TSummaryReader* Owner = nullptr;
};

namespace {

// The quantities in the order of the result columns, with the puf_data column
// each sums.
struct SummedQuantity {
  SummationConstant Constant;
  const char* Column;
  const char* Alias;
};
constexpr SummedQuantity kQuantities[] = {
    {kKVF, "RVF", "VF"},      {kKGF, "RGF", "GF"},       {kKVRRS, "TRRS", "VRRS"},
    {kKVRRP, "TRRP", "VRRP"}, {kKVRRFL, "TRFL", "VRFL"},
};

SummaryResult Failed(const QString& error) {
  SummaryResult result;
  result.Error = error;
  return result;
}

// Runs one interval's query on the database thread.
SummaryResult Sum(TSQLConnection& connection, const QString& text) {
  if (!connection.Connected()) return Failed(QStringLiteral("the history database is not connected"));
  QSqlQuery query(connection.Database());
  query.setForwardOnly(true);
  if (!query.exec(text)) {
    if (IsConnectionLost(query.lastError())) connection.Close();
    return Failed(query.lastError().text());
  }
  SummaryResult result;
  const QSqlRecord record = query.record();
  std::array<int, SummaryResult::kColumnCount> indexes{};
  for (int i = 0; i < SummaryResult::kColumnCount; ++i) {
    indexes[i] = record.indexOf(TSummaryReader::ColumnNames()[i]);
    if (indexes[i] < 0) return Failed(u"the result has no column "_qs + TSummaryReader::ColumnNames()[i]);
  }
  if (query.next()) {
    for (int i = 0; i < SummaryResult::kColumnCount; ++i) {
      const QVariant value = query.value(indexes[i]);
      if (value.isNull()) continue;  // no row in the interval
      bool ok = false;
      const double number = value.toDouble(&ok);
      if (ok && std::isfinite(number)) {
        result.Values[i] = number;
      } else {
        result.BadValues = true;
      }
    }
  } else if (query.lastError().isValid()) {
    if (IsConnectionLost(query.lastError())) connection.Close();
    return Failed(query.lastError().text());
  }
  result.Ok = true;
  return result;
}

}  // namespace

TSummaryReader::TSummaryReader(TDatabaseThread* database, QObject* parent)
    : QObject(parent), m_database(database) {}

TSummaryReader::~TSummaryReader() {
  Abandon();
}

void TSummaryReader::Abandon() {
  m_running = false;
  if (!m_shared) return;
  m_shared->Owner = nullptr;
  {
    std::lock_guard lock(m_shared->Mutex);
    m_shared->Abandoned = true;
  }
  m_shared.reset();
}

const QStringList& TSummaryReader::ColumnNames() {
  static const QStringList names = [] {
    QStringList result;
    for (const char* section : {"1", "2"}) {
      for (const SummedQuantity& quantity : kQuantities)
        result << QString::fromLatin1(quantity.Alias) + QString::fromLatin1(section);
    }
    return result;
  }();
  return names;
}

QString TSummaryReader::QueryText(TDateTime start, TDateTime stop, const SummaryConstants& constants) {
  QStringList terms;
  for (int section = 0; section < 2; ++section) {
    const QString n = QString::number(section + 1);
    for (const SummedQuantity& quantity : kQuantities) {
      terms << FloatToSqlText(constants[quantity.Constant][section]) + u"*sum("_qs +
                   QString::fromLatin1(quantity.Column) + n + u") as "_qs +
                   QString::fromLatin1(quantity.Alias) + n;
    }
  }
  // Only the hours of the bounds count: whole hours from the start's to the
  // end of the stop's.
  const QString from = QDateTimeFromDateTime(start).toString(u"yyyy-MM-dd HH':00:00'"_qs);
  const QString to = QDateTimeFromDateTime(stop).toString(u"yyyy-MM-dd HH':59:59'"_qs);
  return u"select \r\n"_qs + terms.join(u", "_qs) + u"\r\nfrom puf_data \r\nwhere RecMoment >= '"_qs + from +
         u"' and RecMoment <= '"_qs + to + u"'"_qs;
}

bool TSummaryReader::Start(const std::vector<SummaryInterval>& intervals, const SummaryConstants& constants) {
  if (m_running) return false;
  m_running = true;
  if (m_shared) m_shared->Owner = nullptr;  // a finished read's late wake-up finds nobody
  auto shared = std::make_shared<Shared>();
  shared->Owner = this;
  shared->Count = static_cast<int>(intervals.size());
  m_shared = shared;
  const std::weak_ptr<Shared> weak = shared;
  const std::function<void()> collect = [weak] {
    const std::shared_ptr<Shared> alive = weak.lock();
    if (alive && alive->Owner != nullptr) alive->Owner->Collect();
  };

  auto handOver = [shared, collect](int index, SummaryResult result) {
    std::lock_guard lock(shared->Mutex);
    shared->Results.emplace_back(index, std::move(result));
    ++shared->Done;
    PostWakeOnce(shared->WakePosted, collect);
  };
  if (m_database == nullptr || intervals.empty()) {
    for (int i = 0; i < shared->Count; ++i) handOver(i, Failed(QStringLiteral("no history database")));
    if (intervals.empty()) {
      std::lock_guard lock(shared->Mutex);
      PostWakeOnce(shared->WakePosted, collect);
    }
    return true;
  }
  for (int i = 0; i < shared->Count; ++i) {
    const QString text = QueryText(intervals[i].Start, intervals[i].Stop, constants);
    m_database->Post([shared, handOver, i, text](TSQLConnection& connection) {
      {
        std::lock_guard lock(shared->Mutex);
        if (shared->Abandoned) return;
      }
      handOver(i, Sum(connection, text));
    });
  }
  return true;
}

void TSummaryReader::Collect() {
  if (!m_running || !m_shared) return;
  std::vector<std::pair<int, SummaryResult>> results;
  bool done = false;
  {
    std::lock_guard lock(m_shared->Mutex);
    m_shared->WakePosted = false;
    results.swap(m_shared->Results);
    done = m_shared->Done >= m_shared->Count;
  }
  // The signals may abandon or destroy this reader; nothing of it is used
  // after them unless the read is still its own.
  const std::shared_ptr<Shared> shared = m_shared;
  for (const auto& [index, result] : results) {
    emit BlockFinished(index, result);
    if (shared->Owner == nullptr) return;
  }
  if (!done) return;
  m_running = false;
  emit Finished();
}
