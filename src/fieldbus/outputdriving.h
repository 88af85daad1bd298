#pragma once

#include <QString>
#include <atomic>

#include "fieldbus/portkeeper.h"

class TConfig;
class TICPLink;
struct ProcessState;
struct ThreadControl;

inline constexpr int kOutputModuleCount = 2;
inline constexpr int kMaxOutputChannel = 4;

// The value text of an analog-output command: a sign, two integer digits, a
// point and three decimals, "+12.500", whatever the system's number format.
// Below 0 the sign is "-" ("-02.400"); magnitudes the two digits cannot hold
// are sent as the largest that fits, "+99.999" / "-99.999"; a value that is
// not a number is sent as "+00.000". The text is always seven characters.
QString OutputValueText(double value);

// "#AAN(data)": the command setting channel "channel" of the module at
// "address" to "value".
QString OutputCommand(int address, int channel, double value);

// The write thread's work: delivers the reagent flows in force to the
// analog-output modules. Holds references only.
class TOutputDriving {
 public:
  TOutputDriving(TConfig& config, ProcessState& state, TICPLink& link, const std::atomic<bool>& emulationOn);

  // The six flows in force into InstantValues 8-13 and, through each output
  // signal's calibration, into RawValues 8-13.
  bool PrepareOutputs();
  // One command per output signal; false when a command that was due could
  // not be sent or got no answer. Stops early when "stop" is set.
  bool WriteOutputs(const std::atomic<bool>* stop = nullptr);
  // The thread procedure: opens the link, cycles until StopRequest, closes it.
  // A port that does not open or goes away is tried again (TPortKeeper).
  void Run(ThreadControl& control);

  // For tests: the retry timing. Not while the thread runs.
  TPortKeeper& PortKeeper() { return m_portKeeper; }

 private:
  TConfig& m_config;
  ProcessState& m_state;
  TICPLink& m_link;
  const std::atomic<bool>& m_emulationOn;
  TPortKeeper m_portKeeper;
};
