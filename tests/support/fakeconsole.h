#pragma once

#include <QByteArray>
#include <QDateTime>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A console's TCP query server as the station sees it, on 127.0.0.1 with a free port: the
// greeting, framed replies without terminator, plain "Error:BAD CRC" / "Error:Cmd", no answer
// to an empty GetLogRec. It serves GetUnsavedCount, GetUnsavedRecord, SetSaveFlag,
// GetLogRecCount, GetLogRec and DeleteLogRec over the records and log lines a test gives it,
// and can misbehave on request: drop the connection at a given request, corrupt or garble
// replies, split replies into pieces, restart (stop listening for a while, then listen again
// on the same port). One connection is served at a time; a new one replaces the old.
// All methods may be called from any thread; the server runs on a thread of its own.
class FakeConsole {
 public:
  explicit FakeConsole(QByteArray prefix = "PUF1");
  ~FakeConsole();
  FakeConsole(const FakeConsole&) = delete;
  FakeConsole& operator=(const FakeConsole&) = delete;

  // Listens and starts serving. False if no socket could be bound.
  bool Start();
  quint16 Port() const { return m_port; }

  // Holds a minute record, offered after those held before. A record whose RecMoment is held
  // already takes that one's place and is offered again, as the current minute is after every
  // acquisition cycle. The text is the reply after "GetUnsavedRecord_OK:".
  void OfferMinute(const QByteArray& text);
  // A log line, Windows-1251 bytes "tick<TAB>yyyy-mm-dd hh:nn:ss<TAB>text".
  void AddLogLine(const QByteArray& line);

  // Request numbers count every query line received since Start, from 1. At request `number`
  // the connection is closed without a reply; with `executeFirst` the command still takes
  // effect (an acknowledgement whose reply is lost).
  void DropConnectionAt(int number, bool executeFirst);
  // The next `count` replies to `command` have one character of their text changed after the
  // checksum was computed, so that they arrive with a checksum that does not match.
  void CorruptReplies(const QByteArray& command, int count);
  // The next `count` requests are answered with bytes that are no frame at all.
  void AnswerGarbage(int count);
  // Replies go out in pieces a few milliseconds apart, as a slow network delivers them.
  void SplitReplies(bool split);
  // Closes the connection and the listener (done when this returns), stays away `downMs`, then
  // listens on the same port again.
  void Restart(int downMs);
  // Called on the server's thread with the data of every SetSaveFlag, before it takes effect.
  void SetAcknowledgeHook(std::function<void(const QByteArray&)> hook);

  // SetSaveFlag data that matched a record, in order (repeats included).
  std::vector<QByteArray> Acknowledged() const;
  // DeleteLogRec data that removed a line, in order.
  std::vector<QByteArray> DeletedLogTicks() const;
  int UnsavedCount() const;
  int LogLineCount() const;
  int RequestCount() const;
  int ConnectionCount() const;
  // True once a restart has finished and the server listens again.
  bool Listening() const;

 private:
  struct HeldMinute {
    QByteArray Moment;
    QByteArray Text;
    bool Saved = false;
  };

  void Serve();
  bool Listen();
  void CloseConnection();
  void HandleLine(const QByteArray& line);
  // The reply text for a command, and whether there is one at all.
  bool Execute(const QByteArray& command, const QByteArray& data, QByteArray& reply);
  void Send(const QByteArray& bytes);

  const QByteArray m_prefix;
  quint16 m_port = 0;
  int m_listener = -1;    // server thread only (after Start)
  int m_connection = -1;  // server thread only
  std::thread m_thread;
  std::atomic<bool> m_stop{false};

  mutable std::mutex m_mutex;  // guards everything below
  std::vector<HeldMinute> m_minutes;
  std::vector<QByteArray> m_logLines;
  std::vector<QByteArray> m_acknowledged;
  std::vector<QByteArray> m_deletedTicks;
  std::function<void(const QByteArray&)> m_acknowledgeHook;
  int m_requests = 0;
  int m_connections = 0;
  int m_dropAt = 0;
  bool m_dropExecutes = false;
  QByteArray m_corruptCommand;
  int m_corruptCount = 0;
  int m_garbageCount = 0;
  bool m_split = false;
  int m_restartDownMs = -1;  // >= 0: a restart is wanted
  bool m_listening = false;
};

// A minute record as a console writes it, with values of a working plant.
struct FakeMinute {
  QByteArray Moment;  // "yyyy-mm-dd hh:nn:00"
  std::array<QByteArray, 28> ValueTexts;
  std::array<QByteArray, 8> FlagTexts;

  QByteArray Text() const;
  // What a DOUBLE column should hold for value `index`: the text read as a double.
  double Expected(int index) const;
};

// Values for `moment` that vary with `seed`: densities, flows and reagent rates of single
// precision, widened and written with 15 digits as the console does (0.100000001490116).
FakeMinute MakeFakeMinute(const QDateTime& moment, uint32_t seed);
