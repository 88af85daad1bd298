#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

#include "common/tdatetime.h"

class TCommandSet;
class TConfig;
struct ThreadControl;

// The TCP query server's answer to one query line: the same frames as the
// serial station link, with the TCP dialect: error replies in plain text,
// no terminator, nothing for an empty reply, and "GetTimeA" for the time.
// Runs in the connection threads, several at once.
class TStationQuery {
 public:
  TStationQuery(const TConfig& config, ThreadControl& linkControl, TCommandSet& commands,
                std::function<TDateTime()> now = NowDateTime);

  // "query" is the trimmed line in Windows-1251 bytes; "peer" is the
  // client's address, recorded with every accepted Set command.
  void WinSockServerQuery(QByteArray& query, QByteArray& answer, const QString& peer);

 private:
  const TConfig& m_config;
  ThreadControl& m_linkControl;
  TCommandSet& m_commands;
  std::function<TDateTime()> m_now;
};
