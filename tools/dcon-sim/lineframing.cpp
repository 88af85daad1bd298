#include "lineframing.h"

void LineAssembler::Feed(std::string_view bytes, int64_t nowNs, std::vector<ReceivedLine>& lines) {
  for (char c : bytes) {
    if (c == '\n') continue;
    if (!m_started) {
      if (c == '\r') continue;
      m_started = true;
      m_line.FirstNs = nowNs;
    }
    ++m_line.WireLength;
    if (c == '\r') {
      m_line.CrNs = nowNs;
      lines.push_back(std::move(m_line));
      m_line = ReceivedLine();
      m_started = false;
    } else if (m_line.Text.size() < kMaxLineLength) {
      m_line.Text += c;
    } else {
      m_line.Overlong = true;
    }
  }
}
