#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

class QSerialPort;

// One serial port that carries single text lines: a command line closed by a
// carriage return goes out, the answer line up to the next carriage return
// comes back. The link knows nothing of what the lines mean; the input and
// output module lines and the station line each own one.
//
// Text on the wire is Windows-1251. Every failure goes through ErrMessage
// (Status becomes its text, ErrorCounter grows by one); nothing throws and
// nothing is logged here.
//
// Threads: one worker thread drives an instance (activation, exchanges,
// setters); any thread may read the properties while it does. SendCommand is
// also safe against concurrent callers through the link lock. The serial port
// object lives on the thread that activated the link; the exchanges and the
// closing belong on that thread (Qt binds the port's notifiers to it).
class TICPLink {
 public:
  // Time-outs in milliseconds, section "timeouts" of the file IniName.
  struct Timeouts {
    int RInterval = 10;
    int RMult = 7;
    int RConst = 40;
    int WMult = 3;
    int WConst = 30;

    // The longest wait for one received byte (at least 1 ms, so that a
    // zero setting does not turn the reception into a busy loop).
    int ByteWaitMs() const;
    // The longest wait of one write attempt for "bytes" unsent bytes.
    int WriteWaitMs(int64_t bytes) const;
  };

  static constexpr int kMaxCommandLength = 9999;
  static constexpr int kMaxAnswerLength = 9900;
  static constexpr int kLineLimitMs = 1000;
  static constexpr int kLockWaitMs = 250;
  static constexpr int kZeroWriteRetryMs = 50;
  static constexpr int kMaxZeroWrites = 7;

  explicit TICPLink(QString portName = QStringLiteral("COM3"), int32_t speed = 9600);
  ~TICPLink();

  TICPLink(const TICPLink&) = delete;
  TICPLink& operator=(const TICPLink&) = delete;

  QString GetPortName() const;
  // Refused while active when the name differs.
  void SetPortName(const QString& name);
  QString GetCmdString() const;
  // Also clears Sended.
  void SetCmdString(const QString& text);
  QString GetResultStr() const;
  void SetResultStr(const QString& text);
  int32_t GetSendCounter() const { return m_sendCounter.load(); }
  void SetSendCounter(int32_t value) { m_sendCounter.store(value); }
  int32_t GetErrorCounter() const { return m_errorCounter.load(); }
  void SetErrorCounter(int32_t value) { m_errorCounter.store(value); }
  QString GetStatus() const;
  void SetStatus(const QString& text);
  bool GetActive() const { return m_active.load(); }
  // True: opens the port with the current speed; false: closes it.
  void SetActive(bool active);
  bool GetSended() const { return m_sended.load(); }
  // True transmits CmdString and clears Recived.
  void SetSended(bool sended);
  int32_t GetSpeed() const { return m_speed.load(); }
  // Refused while active when the value differs; checked by ConnectToPort.
  void SetSpeed(int32_t speed);
  bool GetRecived() const { return m_recived.load(); }
  // True receives one answer line into ResultStr.
  void SetRecived(bool recived);
  QString GetIniName() const;
  void SetIniName(const QString& name);

  // Opens PortName exclusively, sets the time-outs, the speed and 8N1 without
  // flow control, and discards what the driver had received.
  bool ConnectToPort(int32_t speed);
  // Transmits the text and a carriage return, after discarding unread input.
  // False at once (without a message) on an inactive link.
  bool SendString(const QString& text);
  // Receives one line (without its carriage return); the empty text on
  // failure. The whole line must arrive within 1000 ms.
  QString ReciveString();
  // One exchange of CmdString under the link lock. True when an answer line
  // arrived in time; "answer" is then that line.
  bool SendCommand(QString& answer);
  // The single error path: Status = text, ErrorCounter + 1.
  void ErrMessage(const QString& text);

  // True once the exchanges found the device behind the open port gone (a
  // hang-up, an unplugged adapter, a closed pseudo-terminal): nothing more
  // will come through this handle, only a new ConnectToPort can help. A line
  // that is merely silent never sets it. Cleared by a successful
  // ConnectToPort. Any thread.
  bool GetPortLost() const { return m_portLost.load(); }
  // Why the last ConnectToPort could not open the port when the device is
  // there but this process may not read and write it (its owner and mode);
  // empty for any other outcome. Any thread.
  QString GetOpenError() const;

  // While the flag is set, a reception in progress gives up at its next byte
  // attempt (a worker's stop request, so a stop does not wait for a dead
  // module). Set before the worker starts; nullptr for none.
  void SetAbortFlag(const std::atomic<bool>* flag) { m_abort = flag; }

  // "COMn" is /dev/ttyS(n-1); any other name is a device path.
  static QString DevicePath(const QString& portName);
  static bool IsValidSpeed(int32_t speed);
  // The time-outs as ConnectToPort reads them from the file "iniName" in the
  // current directory (defaults for a missing file or key).
  static Timeouts ReadTimeouts(const QString& iniName);
  // The time-outs in force since the last successful ConnectToPort.
  Timeouts CurrentTimeouts() const;

 private:
  void ClosePort();
  // One byte with the per-byte time-out; false when none arrived.
  bool ReadByte(char& byte);
  // ReciveString with its outcome: false on failure ("line" is then empty).
  bool ReceiveLine(QString& line);
  bool Aborted() const { return m_abort != nullptr && m_abort->load(); }
  // Asks the driver, without waiting, whether the device has gone away; sets
  // PortLost when it has.
  bool ProbePortLost();
  // The link lock: taken within kLockWaitMs or not at all.
  bool TryTakeLinkLock();
  void ReleaseLinkLock();

  // Guards the six texts below and m_timeouts (written by the worker only,
  // so the worker reads m_timeouts without it).
  mutable std::mutex m_textMutex;
  QString m_portName;
  QString m_cmdString = QStringLiteral("$012");
  QString m_resultStr;
  QString m_status;
  QString m_iniName = QStringLiteral("comport.ini");
  QString m_openError;

  std::atomic<int32_t> m_sendCounter{0};
  std::atomic<int32_t> m_errorCounter{0};
  std::atomic<int32_t> m_speed;
  std::atomic<bool> m_active{false};
  std::atomic<bool> m_sended{false};
  std::atomic<bool> m_recived{false};
  std::atomic<bool> m_portLost{false};
  const std::atomic<bool>* m_abort = nullptr;

  // The link lock that serialises SendCommand. A flag under a mutex rather
  // than std::timed_mutex: libstdc++ waits on a timed_mutex with
  // pthread_mutex_clocklock, which ThreadSanitizer does not see, so every
  // release would be reported as an unlock of an unlocked mutex.
  std::mutex m_linkMutex;
  std::condition_variable m_linkFree;
  bool m_linkBusy = false;  // guarded by m_linkMutex

  std::unique_ptr<QSerialPort> m_port;  // only while active; worker thread only
  Timeouts m_timeouts;
};
