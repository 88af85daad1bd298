#pragma once

#include <QByteArray>
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>

// The bytes of minutes.journal, without any file or thread: what the journal
// writes and what it reads back at start. Plain functions and values; any
// thread.
//
//   header  "FLOTMJNL", u32 version (1), u32 values per record (30)
//   entry   u32 payload length, u32 CRC-32 of the payload, payload
//   payload u8 kind, then
//           kind 1, a minute that ended unconfirmed: f64 RecMoment, 30 x f32 values
//           kind 2, the station confirmed a minute:  f64 RecMoment
//
// All numbers little-endian; the CRC is the common CRC-32 (reflected,
// polynomial 0xEDB88320, as in zlib and Ethernet).

inline constexpr int kJournalValueCount = 30;
inline constexpr uint32_t kJournalVersion = 1;
inline constexpr std::size_t kJournalHeaderSize = 16;
inline constexpr std::size_t kJournalEntryFrameSize = 8;  // length and CRC
inline constexpr std::size_t kJournalRecordPayloadSize = 1 + 8 + 4 * kJournalValueCount;
inline constexpr std::size_t kJournalSavedPayloadSize = 1 + 8;

// A minute record as the journal keeps it: the moment and the 30 slots.
struct JournalRecord {
  double RecMoment = 0;
  std::array<float, kJournalValueCount> Values{};
};

uint32_t JournalCrc32(const char* data, std::size_t size);

QByteArray JournalHeader();
void AppendRecordEntry(QByteArray& out, const JournalRecord& record);
void AppendSavedEntry(QByteArray& out, double recMoment);

// The unconfirmed minutes an entry sequence leaves, oldest first, never more
// than "limit": a new minute beyond the limit pushes the oldest out, as the
// console's own list does. A confirmation takes out the oldest minute with
// exactly that moment; one for a minute not held is ignored.
class JournalContents {
 public:
  explicit JournalContents(int limit);
  // Returns true when the oldest minute had to go to make room.
  bool Add(const JournalRecord& record);
  void Confirm(double recMoment);
  const std::deque<JournalRecord>& Records() const { return m_records; }
  int Limit() const { return m_limit; }

 private:
  int m_limit;
  std::deque<JournalRecord> m_records;
};

enum class JournalHeaderState { kValid, kEmpty, kGarbage, kOtherVersion };

struct JournalReadResult {
  JournalHeaderState Header = JournalHeaderState::kEmpty;
  uint32_t Version = 0;               // the file's, when its magic is ours
  std::deque<JournalRecord> Records;  // unconfirmed, oldest first, at most the limit
  std::size_t ValidBytes = 0;         // header and every entry up to the first damaged one
  std::size_t CutBytes = 0;           // what follows them: a torn or corrupt tail
  int Entries = 0;                    // good entries read
  int PushedOut = 0;                  // minutes beyond the limit, oldest first
};

// Reads a whole file's bytes. Never fails: whatever does not check out ends
// the good part, and the result says where and why.
JournalReadResult ReadMinuteJournal(const QByteArray& bytes, int limit);

// The whole file for a set of minutes: header and one entry each.
QByteArray CompactedJournal(const std::deque<JournalRecord>& records);
