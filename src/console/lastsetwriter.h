#pragma once

#include <QString>
#include <array>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "process/setpoints.h"

// Keeps the remembered setpoints ("LastSet") on disk while the console runs,
// so that a crash or a kill -9 does not take the station's or the operator's
// last setpoints with it. A thread of its own looks at the setpoints every
// check interval and writes them when they differ from what it wrote (or
// tried to write) last: a burst of station Set commands costs a write or two,
// and no thread that changes a setpoint ever waits for the disk. The mode
// bytes are left out on purpose: after a restart every dosing group starts
// off, and an operator or the station switches it on again.
//
// A failed write is logged once; the writer tries again at the next change
// and logs once more when a write succeeds again.
//
// Ownership and lifetime: reads "setpoints", which must outlive the writer.
// "write" is called on the writer's thread (or on the caller's by Poll) and
// must stay usable until Stop() returns. Start, Stop and Poll belong to one
// owner thread; Poll only while the thread is not running.
class TLastSetWriter {
 public:
  using Values = std::array<float, kSetpointCount>;
  // Writes the twelve setpoints, in SetpointIndex order; false when they did
  // not reach the disk.
  using WriteFunction = std::function<bool(const Values&)>;

  static constexpr int kCheckIntervalMs = 250;

  // "fileName" is only for the log lines. Until Start says otherwise, what
  // the setpoints hold now counts as written.
  TLastSetWriter(const SetpointBlock& setpoints, WriteFunction write, QString fileName);
  ~TLastSetWriter();  // Stop()

  TLastSetWriter(const TLastSetWriter&) = delete;
  TLastSetWriter& operator=(const TLastSetWriter&) = delete;

  // Starts the thread. "onDisk" is what the file holds already, so an
  // unchanged start writes nothing. A second Start while running does nothing.
  void Start(const Values& onDisk, int checkIntervalMs = kCheckIntervalMs);
  // Ends the thread, waiting for a write under way. Makes no final write: the
  // owner's exit save writes the setpoints with the configuration.
  void Stop();

  // One check: writes when the setpoints differ from the values last written
  // or tried. True when it wrote successfully.
  bool Poll();

  static Values Read(const SetpointBlock& setpoints);

 private:
  void Run(int checkIntervalMs);

  const SetpointBlock& m_setpoints;
  WriteFunction m_write;
  QString m_fileName;

  // Used by the one thread that polls (the writer's, or the owner's through Poll).
  Values m_lastTried{};
  bool m_failing = false;

  std::mutex m_stopMutex;  // guards m_stopRequested
  std::condition_variable m_stopSignal;
  bool m_stopRequested = false;
  std::thread m_thread;  // started and joined by the owner thread
};
