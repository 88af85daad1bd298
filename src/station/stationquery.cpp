#include "station/stationquery.h"

#include "common/cp1251.h"
#include "common/formatfloat.h"
#include "configuration/config.h"
#include "fieldbus/threadcontrol.h"
#include "station/commandset.h"
#include "station/framing.h"
#include "storage/eventlog.h"

TStationQuery::TStationQuery(const TConfig& config, ThreadControl& linkControl, TCommandSet& commands,
                             std::function<TDateTime()> now)
    : m_config(config), m_linkControl(linkControl), m_commands(commands), m_now(std::move(now)) {}

void TStationQuery::WinSockServerQuery(QByteArray& query, QByteArray& answer, const QString& peer) {
  answer.clear();
  if (query.isEmpty()) return;
  try {
    ++m_linkControl.CycleCount;
    const QByteArray line = TrimBlanks(query);
    if (line.isEmpty()) return;
    if (line == "GetTimeA") {
      answer = ToCp1251(FormatDateTime(u"dd.mm.yyyy hh:nn:ss"_qs, m_now()) + u"\r\n"_qs);
      return;
    }
    const QByteArray prefix = ToCp1251(m_config.ServerLinkPrefix);
    const ParsedRequest request = ParseRequestLine(line, prefix);
    switch (request.Kind) {
      case RequestKind::Ignored:
        return;
      case RequestKind::BadCrc:
        ++m_linkControl.CycleCount;
        ++m_linkControl.ErrorCount;
        answer = "Error:BAD CRC";
        return;
      case RequestKind::BadCommand:
        ++m_linkControl.ErrorCount;
        answer = "Error:Cmd";
        return;
      case RequestKind::Command:
        break;
    }
    const CommandReply reply =
        m_commands.ExecCommand(FromCp1251(request.Command), FromCp1251(request.Data), u"TCP "_qs + peer);
    if (!reply.Text.isEmpty()) answer = BuildFrame(prefix, ToCp1251(reply.Text));
  } catch (...) {
    answer.clear();
    CurrentLogEnvironment().Beep();
  }
}
