#include "simbus.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int64_t kStopCheckNs = 50'000'000;
constexpr int kStallPollMs = 100;

std::string ErrnoText(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// The termios constant for a standard rate; 0 when there is none.
speed_t SpeedConstant(int baud) {
  static constexpr struct {
    int Baud;
    speed_t Speed;
  } kRates[] = {{50, B50},           {75, B75},           {110, B110},         {134, B134},
                {150, B150},         {200, B200},         {300, B300},         {600, B600},
                {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
                {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
                {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
                {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
                {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
                {3500000, B3500000}, {4000000, B4000000}};
  for (const auto& rate : kRates) {
    if (rate.Baud == baud) return rate.Speed;
  }
  return 0;
}

// Raw 8N1, no flow control, reads return as soon as one byte is there.
bool MakeRaw(int fd, int baud, bool requireSpeed, std::string& error) {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) {
    error = ErrnoText("tcgetattr");
    return false;
  }
  cfmakeraw(&settings);
  settings.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
  settings.c_cflag |= CLOCAL | CREAD | CS8;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  const speed_t speed = SpeedConstant(baud);
  if (speed != 0) {
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
  } else if (requireSpeed) {
    error = "the port cannot be set to " + std::to_string(baud) + " baud";
    return false;
  }
  if (tcsetattr(fd, TCSANOW, &settings) != 0) {
    error = ErrnoText("tcsetattr");
    return false;
  }
  return true;
}

// Points link at target, replacing a symlink that is already there but never
// a real file. The new link is made beside it and renamed over, so a console
// polling the name never sees it missing.
bool ReplaceSymlink(const std::string& target, const std::string& link, std::string& error) {
  struct stat existing {};
  if (lstat(link.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
    error = link + " exists and is not a symlink";
    return false;
  }
  const std::string temporary = link + ".dcon-sim-" + std::to_string(getpid());
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0) {
    error = ErrnoText("symlink " + link);
    return false;
  }
  if (rename(temporary.c_str(), link.c_str()) != 0) {
    error = ErrnoText("rename to " + link);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

SimBus::SimBus(int index, int fd, int slaveFd, int stopFd, int watchFd, std::string path, std::string link)
    : m_index(index),
      m_fd(fd),
      m_slaveFd(slaveFd),
      m_path(std::move(path)),
      m_link(std::move(link)),
      m_stopFd(stopFd),
      m_watchFd(watchFd) {}

SimBus::~SimBus() {
  Stop();
  if (!m_link.empty()) {
    // Only our own link: someone may have pointed the name elsewhere meanwhile.
    char target[4096];
    const ssize_t length = readlink(m_link.c_str(), target, sizeof target - 1);
    if (length >= 0 && std::string(target, static_cast<size_t>(length)) == m_path) unlink(m_link.c_str());
  }
  close(m_fd);
  if (m_slaveFd >= 0) close(m_slaveFd);
  if (m_watchFd >= 0) close(m_watchFd);
  close(m_stopFd);
}

std::unique_ptr<SimBus> SimBus::OpenPty(int index, const std::string& link, int baud, std::string& error) {
  const int stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopFd < 0) {
    error = ErrnoText("eventfd");
    return nullptr;
  }
  int master = -1;
  int slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    error = ErrnoText("openpty");
    close(stopFd);
    return nullptr;
  }
  auto closeBoth = [&] {
    close(master);
    close(slave);
    close(stopFd);
  };
  char name[256];
  if (ttyname_r(slave, name, sizeof name) != 0) {
    error = "cannot name the pty";
    closeBoth();
    return nullptr;
  }
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(slave, F_SETFD, FD_CLOEXEC);
  if (!MakeRaw(slave, baud, false, error) || fcntl(master, F_SETFL, O_NONBLOCK) != 0) {
    if (error.empty()) error = ErrnoText("fcntl");
    closeBoth();
    return nullptr;
  }
  // Before the link exists, so that no console can open the slave unseen; our
  // own slave descriptor is older than the watch and is not counted.
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch < 0 || inotify_add_watch(watch, name, IN_OPEN | IN_CLOSE) < 0) {
    error = ErrnoText("inotify on " + std::string(name));
    if (watch >= 0) close(watch);
    closeBoth();
    return nullptr;
  }
  if (!ReplaceSymlink(name, link, error)) {
    close(watch);
    closeBoth();
    return nullptr;
  }
  return std::unique_ptr<SimBus>(new SimBus(index, master, slave, stopFd, watch, name, link));
}

std::unique_ptr<SimBus> SimBus::OpenPort(int index, const std::string& device, int baud, std::string& error) {
  const int stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopFd < 0) {
    error = ErrnoText("eventfd");
    return nullptr;
  }
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = ErrnoText(device);
    close(stopFd);
    return nullptr;
  }
  if (!MakeRaw(fd, baud, true, error)) {
    error = device + ": " + error;
    close(fd);
    close(stopFd);
    return nullptr;
  }
  tcflush(fd, TCIOFLUSH);
  return std::unique_ptr<SimBus>(new SimBus(index, fd, -1, stopFd, -1, device, ""));
}

void SimBus::Start(SimulatedModules& modules, CommandLog& log, const LineTiming& timing, int64_t startNs,
                   std::function<void(const std::string&)> onFatal) {
  m_modules = &modules;
  m_log = &log;
  m_timing = timing;
  m_startNs = startNs;
  m_onFatal = std::move(onFatal);
  m_reader = std::thread([this] { ReadLoop(); });
  m_responder = std::thread([this] { AnswerLoop(); });
}

void SimBus::Stop() {
  m_stopRequested.store(true);
  // Wakes the reader's poll and any stalled write; the counter is never read
  // back, so the descriptor stays readable for good.
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t ignored = write(m_stopFd, &one, sizeof one);
  {
    // Taking the lock once orders the flag before the responder's wait, so
    // the notification cannot slip in between its check and its sleep.
    std::lock_guard lock(m_queueMutex);
  }
  m_queueChanged.notify_all();
  if (m_reader.joinable()) m_reader.join();
  if (m_responder.joinable()) m_responder.join();
}

void SimBus::Fail(const std::string& reason) {
  if (!m_failed.exchange(true) && m_onFatal) m_onFatal("bus " + std::to_string(m_index) + ": " + reason);
}

void SimBus::ReadLoop() {
  LineAssembler assembler;
  std::vector<ReceivedLine> lines;
  char buffer[4096];
  while (!m_stopRequested.load()) {
    // A negative descriptor (no watch on a real port) is skipped by poll.
    pollfd fds[3] = {{m_fd, POLLIN, 0}, {m_stopFd, POLLIN, 0}, {m_watchFd, POLLIN, 0}};
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      Fail(ErrnoText("poll"));
      return;
    }
    if (fds[1].revents != 0) return;
    if (fds[2].revents != 0) TrackOpeners();
    if (fds[0].revents == 0) continue;
    const ssize_t count = read(m_fd, buffer, sizeof buffer);
    const int64_t now = MonotonicNs();
    if (count > 0) {
      lines.clear();
      assembler.Feed(std::string_view(buffer, static_cast<size_t>(count)), now, lines);
      for (ReceivedLine& line : lines) Enqueue(std::move(line));
    } else if (count == 0) {
      Fail("the line was closed");
      return;
    } else if (errno != EAGAIN && errno != EINTR) {
      Fail(ErrnoText("read"));
      return;
    } else if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      // Nothing to read but an error condition that poll will report again and
      // again: give up rather than spin.
      Fail("the line reports an error");
      return;
    }
  }
}

void SimBus::TrackOpeners() {
  alignas(inotify_event) char buffer[4096];
  bool lastClosed = false;
  ssize_t count;
  while ((count = read(m_watchFd, buffer, sizeof buffer)) > 0) {
    for (char* next = buffer; next < buffer + count;) {
      const auto* event = reinterpret_cast<const inotify_event*>(next);
      next += sizeof(inotify_event) + event->len;
      if ((event->mask & IN_OPEN) != 0) ++m_openers;
      if ((event->mask & IN_CLOSE) != 0) --m_openers;
      // Events were lost: the count starts afresh, and the next close releases.
      if ((event->mask & IN_Q_OVERFLOW) != 0) m_openers = 0;
      if (m_openers <= 0 && (event->mask & IN_CLOSE) != 0) lastClosed = true;
      m_openers = std::max(m_openers, 0);
    }
  }
  // Only our own descriptor is left on the slave, so the claim belonged to a
  // console that is gone (closed, crashed or killed).
  if (lastClosed && m_openers == 0) ioctl(m_slaveFd, TIOCNXCL);
}

void SimBus::Enqueue(ReceivedLine line) {
  if (line.Overlong) {
    m_log->Note("bus " + std::to_string(m_index) + ": discarded a line of " +
                std::to_string(line.WireLength) + " bytes");
    return;
  }
  std::optional<ReceivedLine> dropped;
  {
    std::lock_guard lock(m_queueMutex);
    if (m_queue.size() >= kMaxPendingCommands) {
      dropped = std::move(m_queue.front());
      m_queue.pop_front();
    }
    m_queue.push_back(std::move(line));
  }
  m_queueChanged.notify_one();
  if (dropped)
    m_log->Write({dropped->FirstNs, dropped->CrNs, dropped->CrNs, m_index, dropped->Text, std::nullopt});
}

void SimBus::AnswerLoop() {
  while (true) {
    ReceivedLine command;
    {
      std::unique_lock lock(m_queueMutex);
      m_queueChanged.wait(lock, [this] { return m_stopRequested.load() || !m_queue.empty(); });
      if (m_stopRequested.load()) return;
      command = std::move(m_queue.front());
      m_queue.pop_front();
    }
    Answer(command);
  }
}

void SimBus::Answer(const ReceivedLine& command) {
  const double elapsedSeconds = static_cast<double>(command.CrNs - m_startNs) / 1e9;
  const AnswerPlan plan = m_modules->Respond(command.Text, elapsedSeconds);
  CommandRecord record{command.FirstNs, command.CrNs, command.CrNs, m_index, command.Text, std::nullopt};
  if (plan.Send) {
    const AnswerSchedule schedule(m_timing, command, plan, MonotonicNs());
    std::string sent;
    size_t next = 0;
    while (next < plan.Bytes.size()) {
      // Bytes due at the same moment (no pacing) go out in one write.
      const int64_t due = schedule.ByteDueNs(next);
      size_t end = next + 1;
      while (end < plan.Bytes.size() && schedule.ByteDueNs(end) == due) ++end;
      if (!SleepUntil(due)) break;
      const size_t written = WriteBytes(plan.Bytes.data() + next, end - next);
      sent.append(plan.Bytes, next, written);
      if (written < end - next) break;
      next = end;
    }
    if (!sent.empty()) {
      record.EndNs = MonotonicNs();
      record.Answer = std::move(sent);
    }
  }
  m_log->Write(record);
}

bool SimBus::SleepUntil(int64_t dueNs) {
  // Sleeps in slices so that Stop is noticed during long waits; the deadline
  // itself stays absolute, so slicing adds no drift.
  while (!m_stopRequested.load()) {
    const int64_t now = MonotonicNs();
    if (now >= dueNs) return true;
    const int64_t wake = std::min(dueNs, now + kStopCheckNs);
    const timespec until{static_cast<time_t>(wake / 1'000'000'000), static_cast<long>(wake % 1'000'000'000)};
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
  }
  return false;
}

size_t SimBus::WriteBytes(const char* data, size_t size) {
  size_t done = 0;
  int64_t stalledSince = -1;
  while (done < size && !m_stopRequested.load()) {
    const ssize_t count = write(m_fd, data + done, size - done);
    if (count > 0) {
      done += static_cast<size_t>(count);
      stalledSince = -1;
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && errno != EAGAIN) {
      Fail(ErrnoText("write"));
      break;
    }
    // The other side is not reading and the line's buffer is full.
    const int64_t now = MonotonicNs();
    if (stalledSince < 0) stalledSince = now;
    if (now - stalledSince >= int64_t{kWriteStallMs} * 1'000'000) {
      m_log->Note("bus " + std::to_string(m_index) + ": nobody reads, rest of the answer dropped");
      break;
    }
    pollfd fds[2] = {{m_fd, POLLOUT, 0}, {m_stopFd, POLLIN, 0}};
    poll(fds, 2, kStallPollMs);
  }
  return done;
}
