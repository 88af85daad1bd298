#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

// Bytes as log text: printable ASCII stays, everything else (CR, tab, bytes
// above 0x7E) and the backslash itself become \xNN, so a log line never
// contains a tab or line break of its own and can always be read back.
std::string EscapeBytes(std::string_view bytes);

// CLOCK_MONOTONIC nanoseconds as seconds with six decimals ("1234.567890").
std::string FormatMonotonic(int64_t ns);

// The current CLOCK_MONOTONIC time in nanoseconds.
int64_t MonotonicNs();

// One command as it went on the command log.
struct CommandRecord {
  int64_t FirstNs = 0;
  int64_t CrNs = 0;
  int64_t EndNs = 0;  // last answer byte written; CrNs when nothing was sent
  int Bus = 0;
  std::string Command;                // without CR
  std::optional<std::string> Answer;  // the bytes actually sent; nullopt when none
};

// T_FIRST<TAB>T_CR<TAB>T_END<TAB>BUS<TAB>COMMAND<TAB>ANSWER, without a line
// break. The answer loses one closing CR; "-" stands for no answer.
std::string FormatCommandRecord(const CommandRecord& record);

// Writes a whole line to a stream and flushes it. Every line the simulator
// prints goes through here, under one lock, so that lines of several buses and
// the signal handling never interleave inside a line.
void WriteLine(std::FILE* stream, std::string_view line);

// Where command records go: a file, stdout, and with verbose also stderr.
// Threads: Write may be called from any thread.
class CommandLog {
 public:
  CommandLog() = default;
  ~CommandLog();
  CommandLog(const CommandLog&) = delete;
  CommandLog& operator=(const CommandLog&) = delete;

  // path: empty for no log, "-" for stdout, else a file that is truncated.
  // False when the file cannot be opened.
  bool Open(const std::string& path, bool verbose);
  void Write(const CommandRecord& record);
  // A remark that is no command (a discarded line, a stalled write): stderr,
  // only with verbose.
  void Note(const std::string& text);

 private:
  std::FILE* m_file = nullptr;  // set before the buses start, then only read
  bool m_ownsFile = false;
  bool m_verbose = false;
};
