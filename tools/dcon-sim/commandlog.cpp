#include "commandlog.h"

#include <time.h>

namespace {

std::mutex& OutputMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

std::string EscapeBytes(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte <= 0x7E && byte != '\\') {
      text += c;
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      text += "\\x";
      text += kHex[byte >> 4];
      text += kHex[byte & 0x0F];
    }
  }
  return text;
}

std::string FormatMonotonic(int64_t ns) {
  char text[40];
  std::snprintf(text, sizeof text, "%lld.%06lld", static_cast<long long>(ns / 1'000'000'000),
                static_cast<long long>(ns % 1'000'000'000 / 1000));
  return text;
}

int64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::string FormatCommandRecord(const CommandRecord& record) {
  std::string answer = "-";
  if (record.Answer) {
    std::string_view sent = *record.Answer;
    if (!sent.empty() && sent.back() == '\r') sent.remove_suffix(1);
    answer = EscapeBytes(sent);
  }
  return FormatMonotonic(record.FirstNs) + '\t' + FormatMonotonic(record.CrNs) + '\t' +
         FormatMonotonic(record.EndNs) + '\t' + std::to_string(record.Bus) + '\t' +
         EscapeBytes(record.Command) + '\t' + answer;
}

void WriteLine(std::FILE* stream, std::string_view line) {
  std::lock_guard lock(OutputMutex());
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

CommandLog::~CommandLog() {
  if (m_ownsFile) std::fclose(m_file);
}

bool CommandLog::Open(const std::string& path, bool verbose) {
  m_verbose = verbose;
  if (path.empty()) return true;
  if (path == "-") {
    m_file = stdout;
    return true;
  }
  m_file = std::fopen(path.c_str(), "w");
  m_ownsFile = m_file != nullptr;
  return m_file != nullptr;
}

void CommandLog::Write(const CommandRecord& record) {
  if (!m_file && !m_verbose) return;
  const std::string line = FormatCommandRecord(record);
  if (m_file) WriteLine(m_file, line);
  if (m_verbose) WriteLine(stderr, line);
}

void CommandLog::Note(const std::string& text) {
  if (m_verbose) WriteLine(stderr, text);
}
