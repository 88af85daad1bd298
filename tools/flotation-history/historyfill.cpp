#include "historyfill.h"

#include "historygenerator.h"
#include "historystore.h"

FillResult FillHistory(const FillRequest& request) {
  FillResult result;
  HistoryStore store(request.Database);
  if (!store.Open(result.Error)) return result;
  if (request.IfEmpty) {
    const std::optional<bool> hasRows = store.HasRows(result.Error);
    if (!hasRows) return result;
    if (*hasRows) {
      result.Ok = true;
      result.LeftAlone = true;
      return result;
    }
  }
  constexpr int64_t kSecondsPerDay = 86400;
  constexpr int64_t kMinutesPerDay = 1440;
  QDateTime end = request.End.toUTC();
  end.setTime(QTime(end.time().hour(), end.time().minute()));
  result.First = end.addSecs(-kSecondsPerDay * request.Days);
  const bool generated =
      GenerateHistory(request.Seed, result.First, kMinutesPerDay * request.Days,
                      [&](const QByteArray& recordText) { return store.Add(recordText, result.Error); });
  if (!generated || !store.Commit(result.Error)) return result;
  result.Rows = store.RowCount();
  result.Ok = true;
  return result;
}
