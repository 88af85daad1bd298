#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

// Turns SIGINT and SIGTERM into a Qt signal of the main loop, so that a
// service stop or Ctrl+C ends the console the way its own exit does; with
// "viewDump", SIGUSR1 too, as a request to write down what the windows show.
// One instance per process, made on the main thread before the loop runs.
class TerminationSignal : public QObject {
  Q_OBJECT

 public:
  explicit TerminationSignal(QObject* parent = nullptr, bool viewDump = false);
  ~TerminationSignal() override;
  // False when the handlers could not be installed (errno says why).
  bool Installed() const { return m_notifier != nullptr; }

 signals:
  void Received();
  void ViewDumpRequested();

 private:
  int m_fds[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> m_notifier;
};
