#pragma once

#include <QByteArray>
#include <QString>

#include "fieldbus/portkeeper.h"

class TCommandSet;
class TConfig;
class TICPLink;
struct ThreadControl;

// The station-link thread: answers the central station on the serial line,
// one request line at a time, with the command set shared with the TCP
// query server. The thread is the only user of its link.
class TStationLink {
 public:
  TStationLink(TICPLink& link, const TConfig& config, ThreadControl& control, TCommandSet& commands);

  // Sends prefix ":" reply checksum and a carriage return; false when the
  // port is not open or the line could not be written.
  bool SendAnswer(const QString& reply);

  // Handles one received line: ignores it, or answers it with one or two
  // frames. Counts requests and errors in the control block.
  void HandleLine(const QString& line);

  // The thread body: opens the port, then handles lines until the stop
  // request, then closes the port. A port that does not open or goes away is
  // logged and tried again (TPortKeeper); with retries off a port that does
  // not open ends the thread.
  void LinkThreadWork();

  // For tests: the retry timing. Not while the thread runs.
  TPortKeeper& PortKeeper() { return m_portKeeper; }

 private:
  QByteArray Prefix() const;

  TICPLink& m_link;
  const TConfig& m_config;
  ThreadControl& m_control;
  TCommandSet& m_commands;
  TPortKeeper m_portKeeper;
};
