#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One line as it arrived from the console, with the CLOCK_MONOTONIC times that
// pacing and the command log need.
struct ReceivedLine {
  std::string Text;       // without CR and LFs; the first kMaxLineLength bytes of an overlong line
  size_t WireLength = 0;  // bytes that came over the wire for it, CR included, LFs not
  int64_t FirstNs = 0;    // when its first byte was read
  int64_t CrNs = 0;       // when its CR was read
  bool Overlong = false;  // longer than kMaxLineLength: not a command
};

// Cuts the byte stream of one bus into CR-terminated lines. LF bytes are
// dropped wherever they come, so a console that sends CR LF works too; a CR
// with nothing before it is no line. A line longer than kMaxLineLength is
// still delimited (so the next line is found) but comes out marked Overlong,
// and only its first kMaxLineLength bytes are kept, so a console that never
// sends a CR cannot make the simulator grow.
//
// Not thread-safe: the one thread that reads a bus owns its assembler.
class LineAssembler {
 public:
  static constexpr size_t kMaxLineLength = 256;

  // Takes bytes read at nowNs and appends every line they complete to lines.
  void Feed(std::string_view bytes, int64_t nowNs, std::vector<ReceivedLine>& lines);

 private:
  ReceivedLine m_line;
  bool m_started = false;
};
