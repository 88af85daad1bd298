#include "fieldbus/icplink.h"

#include <QDir>
#include <QFile>
#include <QSerialPort>
#include <algorithm>
#include <cerrno>
#include <array>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

#include <poll.h>
#include <sys/ioctl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

#include "common/cp1251.h"
#include "common/inifile.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr char kCarriageReturn = '\r';
constexpr std::array<int32_t, 15> kSpeeds = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                             19200, 38400, 56000, 57600, 115200, 128000, 256000};

const QString kPortChangeWhileActive = QStringLiteral("Нельзя менять порт при активном подключении!");
const QString kSpeedChangeWhileActive =
    QStringLiteral("Нельзя менять скорость обмена при активном подключении.");
// A device that is there but that this process may not open for reading and
// writing: whose it is and its mode, the one failure the console cannot mend
// by waiting. Empty for any other failure (a missing device, a busy one).
QString AccessProblem(const QString& device) {
  const QByteArray path = QFile::encodeName(device);
  if (::access(path.constData(), R_OK | W_OK) == 0 || errno != EACCES) return {};
  struct stat status {};
  if (::stat(path.constData(), &status) != 0) return {};
  // Each name is copied at once: the next lookup reuses the library's buffer.
  const auto userName = [](uid_t id) {
    const passwd* entry = ::getpwuid(id);
    return entry != nullptr ? QString::fromLocal8Bit(entry->pw_name) : QString::number(id);
  };
  const gid_t groupId = status.st_gid;
  const group* ownerGroup = ::getgrgid(groupId);
  const QString groupName =
      ownerGroup != nullptr ? QString::fromLocal8Bit(ownerGroup->gr_name) : QString::number(groupId);
  return QStringLiteral("у пользователя %1 нет прав на чтение и запись (владелец %2:%3, права %4)")
      .arg(userName(::geteuid()), userName(status.st_uid), groupName)
      .arg(status.st_mode & 07777, 4, 8, QLatin1Char('0'));
}

const QString kConnectWhileActive = QStringLiteral("Не могу переключиться при активном соединении!");
const QString kWrongSpeed = QStringLiteral("Попытка соединения с неправильной скоростью!");
const QString kOpenFailed =
    QStringLiteral("Не могу открыть COM-порт.\n\rВозможно, он используется\n\rдругой программой.");
const QString kStateUnreadable = QStringLiteral("Не могу узнать состояние порта.");
const QString kSettingsRefused = QStringLiteral("Не могу установить параметры порта.");
const QString kSendFailed = QStringLiteral("Не удалось послать блок информации.");
const QString kAnswerTooLong = QStringLiteral("Неожиданно длинный ответ.");
const QString kReceiveFailed = QStringLiteral("Не удалось принять блок информации.");
const QString kLinkBusy = QStringLiteral("Захват ресурса.");
const QString kSendOk = QStringLiteral("Send() OK");
const QString kReceiveOk = QStringLiteral("Recive() OK");

// Texts cross between threads only as deep copies. Qt's libraries are not
// built with ThreadSanitizer, which therefore cannot see the reference count
// of shared QString data and takes the last owner's release on one thread
// for a race with the other thread's copy.
QString Unshared(const QString& text) {
  return QString(text.constData(), text.size());
}

int ClampToWait(int64_t ms) {
  return static_cast<int>(std::clamp<int64_t>(ms, 0, INT_MAX));
}

// USB adapters hold received bytes back for up to 16 ms unless asked not to,
// which would cost more than the bytes themselves at module speeds. Drivers
// without the request (ptys among them) simply keep their latency.
void RequestLowLatency([[maybe_unused]] int handle) {
#ifdef __linux__
  serial_struct info;
  std::memset(&info, 0, sizeof info);
  if (ioctl(handle, TIOCGSERIAL, &info) != 0) return;
  info.flags |= ASYNC_LOW_LATENCY;
  ioctl(handle, TIOCSSERIAL, &info);
#endif
}

}  // namespace

int TICPLink::Timeouts::ByteWaitMs() const {
  return std::max(1, ClampToWait(int64_t{RMult} + RConst));
}

int TICPLink::Timeouts::WriteWaitMs(int64_t bytes) const {
  return ClampToWait(int64_t{WMult} * bytes + WConst);
}

TICPLink::TICPLink(QString portName, int32_t speed) : m_portName(Unshared(portName)), m_speed(speed) {}

TICPLink::~TICPLink() {
  SetActive(false);
}

QString TICPLink::GetOpenError() const {
  std::lock_guard lock(m_textMutex);
  return Unshared(m_openError);
}

QString TICPLink::GetPortName() const {
  std::lock_guard lock(m_textMutex);
  return Unshared(m_portName);
}

void TICPLink::SetPortName(const QString& name) {
  {
    std::lock_guard lock(m_textMutex);
    if (name == m_portName) return;
    if (!m_active) {
      m_portName = Unshared(name);
      return;
    }
  }
  ErrMessage(kPortChangeWhileActive);
}

QString TICPLink::GetCmdString() const {
  std::lock_guard lock(m_textMutex);
  return Unshared(m_cmdString);
}

void TICPLink::SetCmdString(const QString& text) {
  {
    std::lock_guard lock(m_textMutex);
    m_cmdString = Unshared(text);
  }
  m_sended = false;
}

QString TICPLink::GetResultStr() const {
  std::lock_guard lock(m_textMutex);
  return Unshared(m_resultStr);
}

void TICPLink::SetResultStr(const QString& text) {
  std::lock_guard lock(m_textMutex);
  if (m_resultStr != text) m_resultStr = Unshared(text);
}

QString TICPLink::GetStatus() const {
  std::lock_guard lock(m_textMutex);
  return Unshared(m_status);
}

void TICPLink::SetStatus(const QString& text) {
  std::lock_guard lock(m_textMutex);
  if (m_status != text) m_status = Unshared(text);
}

QString TICPLink::GetIniName() const {
  std::lock_guard lock(m_textMutex);
  return Unshared(m_iniName);
}

void TICPLink::SetIniName(const QString& name) {
  std::lock_guard lock(m_textMutex);
  if (m_iniName != name) m_iniName = Unshared(name);
}

void TICPLink::SetActive(bool active) {
  if (active == m_active) return;
  if (active) {
    ConnectToPort(m_speed);
  } else {
    ClosePort();
    m_active = false;
  }
}

void TICPLink::SetSended(bool sended) {
  if (sended == m_sended) return;
  if (sended) {
    m_sended = SendString(GetCmdString());
    m_recived = false;
  } else {
    m_sended = false;
  }
}

void TICPLink::SetSpeed(int32_t speed) {
  if (speed == m_speed) return;
  if (m_active) {
    ErrMessage(kSpeedChangeWhileActive);
    return;
  }
  m_speed = speed;
}

void TICPLink::SetRecived(bool recived) {
  if (recived == m_recived) return;
  if (recived) ReciveString();
  m_recived = recived;
}

TICPLink::Timeouts TICPLink::CurrentTimeouts() const {
  std::lock_guard lock(m_textMutex);
  return m_timeouts;
}

QString TICPLink::DevicePath(const QString& portName) {
  if (portName.size() > 3 && portName.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) {
    bool isNumber = false;
    const int number = portName.mid(3).toInt(&isNumber);
    // toInt accepts a sign and surrounding blanks; a port number has neither.
    const bool digitsOnly =
        std::all_of(portName.begin() + 3, portName.end(), [](QChar c) { return c.isDigit(); });
    if (isNumber && digitsOnly && number >= 1) return QStringLiteral("/dev/ttyS%1").arg(number - 1);
  }
  return portName;
}

bool TICPLink::IsValidSpeed(int32_t speed) {
  return std::find(kSpeeds.begin(), kSpeeds.end(), speed) != kSpeeds.end();
}

TICPLink::Timeouts TICPLink::ReadTimeouts(const QString& iniName) {
  const IniFile ini(QDir::current().absoluteFilePath(iniName));
  const QString section = QStringLiteral("timeouts");
  Timeouts timeouts;
  timeouts.RInterval = ini.ReadInteger(section, QStringLiteral("RInterval"), timeouts.RInterval);
  timeouts.RMult = ini.ReadInteger(section, QStringLiteral("RMult"), timeouts.RMult);
  timeouts.RConst = ini.ReadInteger(section, QStringLiteral("RConst"), timeouts.RConst);
  timeouts.WMult = ini.ReadInteger(section, QStringLiteral("WMult"), timeouts.WMult);
  timeouts.WConst = ini.ReadInteger(section, QStringLiteral("WConst"), timeouts.WConst);
  return timeouts;
}

bool TICPLink::ConnectToPort(int32_t speed) {
  if (m_active) {
    ErrMessage(kConnectWhileActive);
    return false;
  }
  if (!IsValidSpeed(speed)) {
    ErrMessage(kWrongSpeed);
    return false;
  }

  // QSerialPort opens exclusively (a lock file and TIOCEXCL) and non-blocking;
  // the exchanges block in its waits instead.
  auto port = std::make_unique<QSerialPort>();
  port->setPortName(DevicePath(GetPortName()));
  if (!port->open(QIODevice::ReadWrite)) {
    {
      const QString reason = AccessProblem(DevicePath(GetPortName()));
      std::lock_guard lock(m_textMutex);
      m_openError = reason;
    }
    ErrMessage(kOpenFailed);
    return false;
  }
  {
    std::lock_guard lock(m_textMutex);
    m_openError.clear();
  }
  const Timeouts timeouts = ReadTimeouts(GetIniName());

  termios settings;
  if (tcgetattr(port->handle(), &settings) != 0) {
    port->close();
    ErrMessage(kStateUnreadable);
    return false;
  }
  // Each setter goes to the driver at once and keeps every other setting.
  const bool applied = port->setBaudRate(speed) && port->setDataBits(QSerialPort::Data8) &&
                       port->setParity(QSerialPort::NoParity) && port->setStopBits(QSerialPort::OneStop) &&
                       port->setFlowControl(QSerialPort::NoFlowControl);
  if (!applied) {
    port->close();
    ErrMessage(kSettingsRefused);
    return false;
  }
  RequestLowLatency(port->handle());
  port->clear(QSerialPort::Input);

  {
    std::lock_guard lock(m_textMutex);
    m_timeouts = timeouts;
  }
  m_port = std::move(port);
  m_portLost = false;
  m_active = true;
  return true;
}

void TICPLink::ClosePort() {
  if (!m_port) return;
  m_port->close();
  m_port.reset();
}

bool TICPLink::SendString(const QString& text) {
  if (!m_active || !m_port) return false;

  QByteArray block = ToCp1251(text);
  if (block.size() > kMaxCommandLength) {
    ErrMessage(kSendFailed);
    return false;
  }
  block.append(kCarriageReturn);

  // Also empties Qt's own read buffer, so an answer that came too late for
  // the previous exchange can never be taken for the answer to this one.
  m_port->clear(QSerialPort::Input);
  m_port->clearError();
  if (m_port->write(block) != block.size()) {
    m_port->clear(QSerialPort::Output);
    ProbePortLost();
    ErrMessage(kSendFailed);
    return false;
  }

  int zeroWrites = 0;
  while (m_port->bytesToWrite() > 0) {
    const qint64 unsent = m_port->bytesToWrite();
    m_port->clearError();
    m_port->waitForBytesWritten(m_timeouts.WriteWaitMs(unsent));
    if (m_port->bytesToWrite() < unsent) continue;

    const QSerialPort::SerialPortError error = m_port->error();
    const bool stalled = error == QSerialPort::NoError || error == QSerialPort::TimeoutError;
    if (!stalled || ++zeroWrites >= kMaxZeroWrites) {
      // What is left of a failed block must not go out in front of the next one.
      m_port->clear(QSerialPort::Output);
      ProbePortLost();
      ErrMessage(kSendFailed);
      return false;
    }
    std::this_thread::sleep_for(milliseconds(kZeroWriteRetryMs));
  }

  SetStatus(kSendOk);
  return true;
}

bool TICPLink::ReadByte(char& byte) {
  if (!m_port->isOpen()) {  // the port object gave up on the device itself
    m_portLost = true;
    return false;
  }
  if (m_port->bytesAvailable() == 0) {
    const int waitMs = m_timeouts.ByteWaitMs();
    const Clock::time_point started = Clock::now();
    // The quiet wait is a plain poll: the port's own timed wait records a
    // time-out error with its message text each time, which a silent module
    // would pay for twenty times a second.
    pollfd request{m_port->handle(), POLLIN, 0};
    const bool ready = ::poll(&request, 1, waitMs) > 0;
    // A hung-up device also reports itself readable, with nothing to read.
    if (ready && (request.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) m_portLost = true;
    const bool readable = ready && !m_portLost && (request.revents & POLLIN) != 0;
    if (!readable || !m_port->waitForReadyRead(0)) {
      // A port whose device went away reports at once, again and again; wait
      // out the byte's time as a quiet line would, instead of spinning.
      const auto left = milliseconds(waitMs) - (Clock::now() - started);
      if (left > Clock::duration::zero()) std::this_thread::sleep_for(left);
      return false;
    }
  }
  return m_port->getChar(&byte);
}

QString TICPLink::ReciveString() {
  QString line;
  ReceiveLine(line);
  return line;
}

bool TICPLink::ReceiveLine(QString& answer) {
  answer.clear();
  if (!m_port) {  // a closed link has nothing to wait for
    ErrMessage(kReceiveFailed);
    return false;
  }

  const Clock::time_point started = Clock::now();
  std::array<char, kMaxAnswerLength + 1> line;
  int length = 0;
  for (;;) {
    char byte = 0;
    if (ReadByte(byte)) {
      if (byte == kCarriageReturn) {
        const char* end = std::find(line.data(), line.data() + length, '\0');
        answer = FromCp1251(line.data(), end - line.data());
        SetResultStr(answer);
        SetStatus(kReceiveOk);
        return true;
      }
      line[length++] = byte;
      if (length > kMaxAnswerLength) {
        ErrMessage(kAnswerTooLong);
        return false;
      }
    }
    // A device that is gone will send nothing more: no point waiting out the line's time.
    if (Clock::now() - started > milliseconds(kLineLimitMs) || Aborted() || m_portLost) {
      ErrMessage(kReceiveFailed);
      return false;
    }
  }
}

bool TICPLink::ProbePortLost() {
  if (!m_port || !m_port->isOpen()) {
    m_portLost = true;
    return true;
  }
  pollfd request{m_port->handle(), POLLOUT, 0};
  if (::poll(&request, 1, 0) > 0 && (request.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
    m_portLost = true;
  return m_portLost;
}

bool TICPLink::TryTakeLinkLock() {
  std::unique_lock lock(m_linkMutex);
  if (!m_linkFree.wait_for(lock, milliseconds(kLockWaitMs), [this] { return !m_linkBusy; })) return false;
  m_linkBusy = true;
  return true;
}

void TICPLink::ReleaseLinkLock() {
  {
    std::lock_guard lock(m_linkMutex);
    m_linkBusy = false;
  }
  m_linkFree.notify_one();
}

bool TICPLink::SendCommand(QString& answer) {
  if (!TryTakeLinkLock()) {
    ErrMessage(kLinkBusy);
    return false;
  }
  if (!SendString(GetCmdString())) {
    ReleaseLinkLock();
    return false;
  }
  // The outcome of this reception itself: an error another caller counted
  // meanwhile (a refused lock) does not fail an answer that arrived.
  const bool received = ReceiveLine(answer);
  ReleaseLinkLock();
  return received;
}

void TICPLink::ErrMessage(const QString& text) {
  {
    std::lock_guard lock(m_textMutex);
    m_status = Unshared(text);
  }
  // After the text, so that whoever sees the count grow also sees its text.
  m_errorCounter.fetch_add(1);
}
