// tcp-load: closed-loop load on the console's query server or on a Modbus TCP
// peer. Each client thread holds its own connection and sends its next
// request as soon as the previous answer is complete. After a warm-up the
// requests that start within the measuring window are counted and timed.
//
//   tcp-load --console 127.0.0.1:7777 --command GetStateRec --prefix PUF1 --clients 8
//   tcp-load --modbus 127.0.0.1:1502 --clients 64 --seconds 5 --csv
//   tcp-load --console 127.0.0.1:7777 --probe      exit status 0 when the greeting comes

#include <arpa/inet.h>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kGreeting[] = "Tamsel query server\r";  // and its zero byte: 21 bytes
constexpr int kGreetingSize = sizeof(kGreeting);
constexpr int kModbusRegisterCount = 60;
constexpr int kModbusUnit = 1;
constexpr int kReconnectPauseMs = 50;

enum class Mode { kNone, kConsole, kModbus };

struct Options {
  Mode mode = Mode::kNone;
  std::string host;
  int port = 0;
  std::string query;    // without the CR
  std::string request;  // what the report calls the request
  int clients = 1;
  double seconds = 5;
  double warmup = 1;
  int timeoutMs = 2000;
  bool csv = false;
  bool header = false;
  bool probe = false;
  bool watchCycle = false;
  std::string prefix = "PUF1";
  std::string label;
};

// "<XXXX>": the byte sum modulo 65536 in upper-case hexadecimal.
std::string CheckSum(const std::string& text) {
  unsigned sum = 0;
  for (const char byte : text) sum += static_cast<unsigned char>(byte);
  char field[8];
  std::snprintf(field, sizeof(field), "<%04X>", sum & 0xFFFF);
  return field;
}

// An answer is complete when it ends with a checksum field; then "valid"
// tells whether the field matches the bytes before it.
bool AnswerComplete(const std::string& answer, bool& valid) {
  const size_t size = answer.size();
  if (size < 6 || answer[size - 1] != '>' || answer[size - 6] != '<') return false;
  for (size_t i = size - 5; i < size - 1; ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(answer[i]))) return false;
  }
  valid = CheckSum(answer.substr(0, size - 6)) == answer.substr(size - 6);
  return true;
}

bool SplitHostPort(const std::string& text, std::string& host, int& port) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  host = text.substr(0, colon);
  port = std::atoi(text.c_str() + colon + 1);
  return !host.empty() && port > 0 && port < 65536;
}

int ConnectTcp(const std::string& host, int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) return -1;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    close(fd);
    return -1;
  }
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  return fd;
}

bool SendAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t sent = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    done += static_cast<size_t>(sent);
  }
  return true;
}

// Appends what arrives within the time-out; false on close, error or time-out.
bool ReceiveSome(int fd, std::string& into, int timeoutMs) {
  pollfd poller = {fd, POLLIN, 0};
  const int ready = poll(&poller, 1, timeoutMs);
  if (ready <= 0) return false;
  char buffer[16384];
  const ssize_t received = recv(fd, buffer, sizeof(buffer), 0);
  if (received <= 0) return false;
  into.append(buffer, static_cast<size_t>(received));
  return true;
}

struct Result {
  std::vector<uint32_t> latenciesUs;
  uint64_t errors = 0;
};

// One connection to the query server, reconnected after any failure.
class ConsoleClient {
 public:
  explicit ConsoleClient(const Options& options) : m_options(options) {}
  ~ConsoleClient() { Disconnect(); }

  bool Connect() {
    m_fd = ConnectTcp(m_options.host, m_options.port);
    if (m_fd < 0) return false;
    std::string greeting;
    while (greeting.size() < kGreetingSize) {
      if (!ReceiveSome(m_fd, greeting, m_options.timeoutMs)) break;
    }
    if (greeting.size() == kGreetingSize && std::memcmp(greeting.data(), kGreeting, kGreetingSize) == 0)
      return true;
    Disconnect();
    return false;
  }

  bool Connected() const { return m_fd >= 0; }
  const std::string& Answer() const { return m_answer; }

  void Disconnect() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
  }

  // One request and its whole answer; false on any failure (the connection
  // is then dropped, since the stream may be out of step).
  bool Exchange() {
    m_answer.clear();
    if (!SendAll(m_fd, m_options.query + '\r')) return Fail();
    bool valid = false;
    while (!AnswerComplete(m_answer, valid)) {
      if (!ReceiveSome(m_fd, m_answer, m_options.timeoutMs)) return Fail();
    }
    return valid || Fail();
  }

 private:
  bool Fail() {
    Disconnect();
    return false;
  }

  const Options& m_options;
  int m_fd = -1;
  std::string m_answer;
};

class ModbusClient {
 public:
  explicit ModbusClient(const Options& options) : m_options(options) {}
  ~ModbusClient() { Disconnect(); }

  bool Connect() {
    m_context = modbus_new_tcp(m_options.host.c_str(), m_options.port);
    if (m_context == nullptr) return false;
    modbus_set_slave(m_context, kModbusUnit);
    modbus_set_response_timeout(m_context, static_cast<uint32_t>(m_options.timeoutMs / 1000),
                                static_cast<uint32_t>(m_options.timeoutMs % 1000) * 1000);
    if (modbus_connect(m_context) != 0) {
      Disconnect();
      return false;
    }
    const int one = 1;
    setsockopt(modbus_get_socket(m_context), IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    return true;
  }

  bool Connected() const { return m_context != nullptr; }

  void Disconnect() {
    if (m_context == nullptr) return;
    modbus_close(m_context);
    modbus_free(m_context);
    m_context = nullptr;
  }

  bool Exchange() {
    uint16_t registers[kModbusRegisterCount];
    if (modbus_read_registers(m_context, 0, kModbusRegisterCount, registers) == kModbusRegisterCount)
      return true;
    Disconnect();
    return false;
  }

 private:
  const Options& m_options;
  modbus_t* m_context = nullptr;
};

template <typename Client>
void RunClient(const Options& options, Clock::time_point measureStart, Clock::time_point measureEnd,
               Result& result) {
  Client client(options);
  while (Clock::now() < measureEnd) {
    if (!client.Connected() && !client.Connect()) {
      if (Clock::now() >= measureStart) ++result.errors;
      std::this_thread::sleep_for(std::chrono::milliseconds(kReconnectPauseMs));
      continue;
    }
    const Clock::time_point start = Clock::now();
    const bool ok = client.Exchange();
    const Clock::time_point end = Clock::now();
    if (start < measureStart || start >= measureEnd) continue;
    if (!ok) {
      ++result.errors;
      continue;
    }
    result.latenciesUs.push_back(
        static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::microseconds>(end - start).count()));
  }
}

template <typename Client>
int Probe(const Options& options) {
  Client client(options);
  return client.Connect() && client.Exchange() ? 0 : 1;
}

// The probe of the query server needs only the greeting.
template <>
int Probe<ConsoleClient>(const Options& options) {
  ConsoleClient client(options);
  return client.Connect() ? 0 : 1;
}

void Usage() {
  std::fprintf(
      stderr,
      "usage: tcp-load (--console HOST:PORT (--query TEXT | --command NAME [--prefix P] [--data D])\n"
      "                | --modbus HOST:PORT)\n"
      "                [--clients N] [--seconds S] [--warmup S] [--timeout-ms MS]\n"
      "                [--label TEXT] [--csv] [--csv-header] [--probe] [--watch-cycle]\n");
}

bool ParseOptions(int argc, char** argv, Options& options) {
  std::string command;
  std::string prefix = "PUF1";
  std::string data;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    std::string text;
    if (argument == "--console" || argument == "--modbus") {
      options.mode = argument == "--console" ? Mode::kConsole : Mode::kModbus;
      if (!value(text) || !SplitHostPort(text, options.host, options.port)) return false;
    } else if (argument == "--query") {
      if (!value(options.query)) return false;
    } else if (argument == "--command") {
      if (!value(command)) return false;
    } else if (argument == "--prefix") {
      if (!value(prefix)) return false;
    } else if (argument == "--data") {
      if (!value(data)) return false;
    } else if (argument == "--clients") {
      if (!value(text)) return false;
      options.clients = std::atoi(text.c_str());
    } else if (argument == "--seconds") {
      if (!value(text)) return false;
      options.seconds = std::atof(text.c_str());
    } else if (argument == "--warmup") {
      if (!value(text)) return false;
      options.warmup = std::atof(text.c_str());
    } else if (argument == "--timeout-ms") {
      if (!value(text)) return false;
      options.timeoutMs = std::atoi(text.c_str());
    } else if (argument == "--label") {
      if (!value(options.label)) return false;
    } else if (argument == "--csv") {
      options.csv = true;
    } else if (argument == "--csv-header") {
      options.header = true;
    } else if (argument == "--probe") {
      options.probe = true;
    } else if (argument == "--watch-cycle") {
      options.watchCycle = true;
    } else {
      return false;
    }
  }
  options.prefix = prefix;
  if (options.mode == Mode::kConsole) {
    if (options.query.empty() && !command.empty()) {
      const std::string frame = prefix + ':' + command + ':' + data;
      options.query = frame + CheckSum(frame);
    }
    if (options.query.empty() && !options.probe) return false;
    options.request = command.empty() ? options.query : command;
  } else if (options.mode == Mode::kModbus) {
    options.request = "read 60 holding registers";
  } else {
    return options.header;
  }
  if (options.label.empty()) options.label = options.mode == Mode::kConsole ? "console" : "modbus";
  return options.clients >= 1 && options.seconds > 0 && options.warmup >= 0 && options.timeoutMs > 0;
}

// Watches the console's acquisition cycle from outside while the load runs:
// polls GetStateRec every 20 ms on a connection of its own and notes when
// the record's time stamp (whole seconds) changes. With the 980 ms cycle the
// changes come about a second apart (two seconds when two cycles fell into
// one second); a longer pause means a late cycle.
void WatchCycle(const Options& options, Clock::time_point measureStart, Clock::time_point measureEnd) {
  Options watch = options;
  const std::string frame = options.prefix + ":GetStateRec:";
  watch.query = frame + CheckSum(frame);
  ConsoleClient client(watch);
  std::string lastMoment;
  Clock::time_point lastChange{};
  std::vector<double> intervalsMs;
  while (Clock::now() < measureEnd) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!client.Connected() && !client.Connect()) continue;
    if (!client.Exchange()) continue;
    const std::string& answer = client.Answer();
    const size_t start = answer.find("RecMoment='");
    if (start == std::string::npos) continue;
    const std::string moment = answer.substr(start + 11, 19);
    const Clock::time_point now = Clock::now();
    if (moment != lastMoment) {
      if (!lastMoment.empty() && now >= measureStart) {
        intervalsMs.push_back(std::chrono::duration<double, std::milli>(now - lastChange).count());
      }
      lastMoment = moment;
      lastChange = now;
    }
  }
  std::sort(intervalsMs.begin(), intervalsMs.end());
  const size_t n = intervalsMs.size();
  const auto late =
      std::count_if(intervalsMs.begin(), intervalsMs.end(), [](double ms) { return ms > 2100; });
  std::fprintf(
      stderr, "cycle watch: %zu changes of the state record, median %.0f ms, max %.0f ms, %ld over 2100 ms\n",
      n, n ? intervalsMs[n / 2] : 0.0, n ? intervalsMs.back() : 0.0, static_cast<long>(late));
}

constexpr char kCsvHeader[] =
    "label,mode,target,request,clients,seconds,requests,req_per_s,median_us,p99_us,errors";

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    Usage();
    return 2;
  }
  if (options.mode == Mode::kNone) {
    std::printf("%s\n", kCsvHeader);
    return 0;
  }
  if (options.probe) {
    return options.mode == Mode::kConsole ? Probe<ConsoleClient>(options) : Probe<ModbusClient>(options);
  }

  const Clock::time_point measureStart = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                            std::chrono::duration<double>(options.warmup));
  const Clock::time_point measureEnd = measureStart + std::chrono::duration_cast<Clock::duration>(
                                                          std::chrono::duration<double>(options.seconds));
  std::vector<Result> results(static_cast<size_t>(options.clients));
  std::vector<std::thread> threads;
  for (Result& result : results) {
    if (options.mode == Mode::kConsole) {
      threads.emplace_back(RunClient<ConsoleClient>, std::cref(options), measureStart, measureEnd,
                           std::ref(result));
    } else {
      threads.emplace_back(RunClient<ModbusClient>, std::cref(options), measureStart, measureEnd,
                           std::ref(result));
    }
  }
  if (options.watchCycle && options.mode == Mode::kConsole) {
    threads.emplace_back(WatchCycle, std::cref(options), measureStart, measureEnd);
  }
  for (std::thread& thread : threads) thread.join();

  std::vector<uint32_t> latencies;
  uint64_t errors = 0;
  for (const Result& result : results) {
    latencies.insert(latencies.end(), result.latenciesUs.begin(), result.latenciesUs.end());
    errors += result.errors;
  }
  std::sort(latencies.begin(), latencies.end());
  const size_t count = latencies.size();
  const double median = count == 0 ? 0 : latencies[count / 2];
  const double p99 = count == 0 ? 0 : latencies[std::min(count - 1, (count * 99 + 99) / 100 - 1)];
  const double rate = static_cast<double>(count) / options.seconds;
  const char* mode = options.mode == Mode::kConsole ? "console" : "modbus";
  const std::string target = options.host + ':' + std::to_string(options.port);

  if (options.csv) {
    if (options.header) std::printf("%s\n", kCsvHeader);
    std::printf("%s,%s,%s,%s,%d,%.1f,%zu,%.0f,%.0f,%.0f,%llu\n", options.label.c_str(), mode, target.c_str(),
                options.request.c_str(), options.clients, options.seconds, count, rate, median, p99,
                static_cast<unsigned long long>(errors));
  } else {
    std::printf("%-14s %-16s clients %3d: %9.0f req/s  median %7.0f us  p99 %7.0f us  errors %llu\n",
                options.label.c_str(), options.request.c_str(), options.clients, rate, median, p99,
                static_cast<unsigned long long>(errors));
  }
  return 0;
}
