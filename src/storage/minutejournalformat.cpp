#include "storage/minutejournalformat.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kMagic[8] = {'F', 'L', 'O', 'T', 'M', 'J', 'N', 'L'};
constexpr uint8_t kKindRecord = 1;
constexpr uint8_t kKindSaved = 2;

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

void PutU32(QByteArray& out, uint32_t value) {
  const char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8),
                         static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
  out.append(bytes, 4);
}

void PutU64(QByteArray& out, uint64_t value) {
  PutU32(out, static_cast<uint32_t>(value));
  PutU32(out, static_cast<uint32_t>(value >> 32));
}

void PutF64(QByteArray& out, double value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  PutU64(out, bits);
}

void PutF32(QByteArray& out, float value) {
  uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  PutU32(out, bits);
}

uint32_t GetU32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
}

double GetF64(const char* p) {
  const uint64_t bits = uint64_t(GetU32(p)) | uint64_t(GetU32(p + 4)) << 32;
  double value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

float GetF32(const char* p) {
  const uint32_t bits = GetU32(p);
  float value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void AppendEntry(QByteArray& out, const QByteArray& payload) {
  PutU32(out, static_cast<uint32_t>(payload.size()));
  PutU32(out, JournalCrc32(payload.constData(), static_cast<std::size_t>(payload.size())));
  out.append(payload);
}

// Moments are compared bit for bit: a confirmation names the very record
// the journal was given, and a NaN must not match nothing forever.
bool SameMoment(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

uint32_t JournalCrc32(const char* data, std::size_t size) {
  uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i)
    c = kCrcTable[(c ^ static_cast<unsigned char>(data[i])) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

QByteArray JournalHeader() {
  QByteArray header(kMagic, sizeof kMagic);
  PutU32(header, kJournalVersion);
  PutU32(header, kJournalValueCount);
  return header;
}

void AppendRecordEntry(QByteArray& out, const JournalRecord& record) {
  QByteArray payload;
  payload.reserve(static_cast<qsizetype>(kJournalRecordPayloadSize));
  payload.append(static_cast<char>(kKindRecord));
  PutF64(payload, record.RecMoment);
  for (float value : record.Values) PutF32(payload, value);
  AppendEntry(out, payload);
}

void AppendSavedEntry(QByteArray& out, double recMoment) {
  QByteArray payload;
  payload.append(static_cast<char>(kKindSaved));
  PutF64(payload, recMoment);
  AppendEntry(out, payload);
}

JournalContents::JournalContents(int limit) : m_limit(std::max(limit, 1)) {}

bool JournalContents::Add(const JournalRecord& record) {
  bool pushedOut = false;
  while (m_records.size() >= static_cast<std::size_t>(m_limit)) {
    m_records.pop_front();
    pushedOut = true;
  }
  m_records.push_back(record);
  return pushedOut;
}

void JournalContents::Confirm(double recMoment) {
  const auto it = std::find_if(m_records.begin(), m_records.end(),
                               [&](const JournalRecord& r) { return SameMoment(r.RecMoment, recMoment); });
  if (it != m_records.end()) m_records.erase(it);
}

JournalReadResult ReadMinuteJournal(const QByteArray& bytes, int limit) {
  JournalReadResult result;
  const std::size_t size = static_cast<std::size_t>(bytes.size());
  const char* data = bytes.constData();
  if (size == 0) return result;

  if (size < kJournalHeaderSize || std::memcmp(data, kMagic, sizeof kMagic) != 0) {
    result.Header = JournalHeaderState::kGarbage;
    result.CutBytes = size;
    return result;
  }
  result.Version = GetU32(data + 8);
  if (result.Version != kJournalVersion || GetU32(data + 12) != kJournalValueCount) {
    result.Header = JournalHeaderState::kOtherVersion;
    result.CutBytes = size;
    return result;
  }
  result.Header = JournalHeaderState::kValid;

  JournalContents contents(limit);
  std::size_t at = kJournalHeaderSize;
  while (size - at >= kJournalEntryFrameSize) {
    const std::size_t length = GetU32(data + at);
    const uint32_t crc = GetU32(data + at + 4);
    if (length != kJournalRecordPayloadSize && length != kJournalSavedPayloadSize) break;
    if (size - at - kJournalEntryFrameSize < length) break;
    const char* payload = data + at + kJournalEntryFrameSize;
    if (JournalCrc32(payload, length) != crc) break;
    const auto kind = static_cast<uint8_t>(payload[0]);
    if (kind == kKindRecord && length == kJournalRecordPayloadSize) {
      JournalRecord record;
      record.RecMoment = GetF64(payload + 1);
      for (int i = 0; i < kJournalValueCount; ++i) record.Values[i] = GetF32(payload + 9 + 4 * i);
      if (contents.Add(record)) ++result.PushedOut;
    } else if (kind == kKindSaved && length == kJournalSavedPayloadSize) {
      contents.Confirm(GetF64(payload + 1));
    } else {
      break;  // a checksum that fits a payload we never write: treat as damage
    }
    at += kJournalEntryFrameSize + length;
    ++result.Entries;
  }
  result.ValidBytes = at;
  result.CutBytes = size - at;
  result.Records = contents.Records();
  return result;
}

QByteArray CompactedJournal(const std::deque<JournalRecord>& records) {
  QByteArray out = JournalHeader();
  out.reserve(static_cast<qsizetype>(kJournalHeaderSize +
                                     records.size() * (kJournalEntryFrameSize + kJournalRecordPayloadSize)));
  for (const JournalRecord& record : records) AppendRecordEntry(out, record);
  return out;
}
