#include "station/linkthread.h"

#include <QThread>

#include "common/cp1251.h"
#include "common/trimblanks.h"
#include "configuration/config.h"
#include "fieldbus/icplink.h"
#include "fieldbus/threadcontrol.h"
#include "station/commandset.h"
#include "station/framing.h"
#include "storage/eventlog.h"

namespace {
constexpr unsigned long kIdleSleepMs = 50;
}

TStationLink::TStationLink(TICPLink& link, const TConfig& config, ThreadControl& control,
                           TCommandSet& commands)
    : m_link(link),
      m_config(config),
      m_control(control),
      m_commands(commands),
      m_portKeeper(link, config.ServerLinkPort, config.LinkPortSpeed, config.PortRetrySec, u"Поток связи"_qs,
                   [](const QString& port) { return u"Поток связи: Не могу подключить порт"_qs + port; }) {}

QByteArray TStationLink::Prefix() const {
  return ToCp1251(m_config.ServerLinkPrefix);
}

bool TStationLink::SendAnswer(const QString& reply) {
  if (!m_link.GetActive()) return false;
  return m_link.SendString(FromCp1251(BuildFrame(Prefix(), ToCp1251(reply))));
}

void TStationLink::HandleLine(const QString& line) {
  const ParsedRequest request = ParseRequestLine(ToCp1251(line), Prefix());
  switch (request.Kind) {
    case RequestKind::Ignored:
      return;
    case RequestKind::BadCrc:
      SendAnswer(u"Error:BAD CRC"_qs);
      ++m_control.CycleCount;
      ++m_control.ErrorCount;
      return;
    case RequestKind::BadCommand:
      SendAnswer(u"Error:Cmd"_qs);
      ++m_control.ErrorCount;
      return;
    case RequestKind::Command:
      break;
  }
  ++m_control.CycleCount;
  try {
    const CommandReply reply =
        m_commands.ExecCommand(FromCp1251(request.Command), FromCp1251(request.Data), m_link.GetPortName());
    SendAnswer(reply.Text);
    if (!reply.Recognised) {
      SendAnswer(u"Error:Unknown command"_qs);
      ++m_control.ErrorCount;
    }
  } catch (...) {
    SendAnswer(u"Error:internal error"_qs);
    ++m_control.ErrorCount;
  }
}

void TStationLink::LinkThreadWork() {
  // The station line has nothing to do without its port.
  const auto mayRunWithout = [] { return false; };
  if (!m_portKeeper.Open(m_control, mayRunWithout)) return;
  m_control.ErrorCount = 0;
  while (!m_control.StopRequest.load()) {
    if (!m_portKeeper.Keep(m_control, mayRunWithout)) break;
    const QString line = TrimBlanks(m_link.ReciveString());
    if (line.isEmpty()) {
      QThread::msleep(kIdleSleepMs);
      continue;
    }
    HandleLine(line);
  }
  m_link.SetActive(false);
}
