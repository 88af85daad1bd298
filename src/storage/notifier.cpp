#include "storage/notifier.h"

#include <atomic>

#include "storage/eventlog.h"

namespace {

class EventLogNotifierImpl final : public Notifier {
 public:
  void ShowError(const QString& caption, const QString& text) override {
    AddLogMessage(caption + QStringLiteral(": ") + text, 0);
  }
};

std::atomic<Notifier*> g_notifier{nullptr};

}  // namespace

Notifier& EventLogNotifier() {
  static EventLogNotifierImpl notifier;
  return notifier;
}

void SetNotifier(Notifier* notifier) {
  g_notifier.store(notifier, std::memory_order_release);
}

Notifier& CurrentNotifier() {
  Notifier* notifier = g_notifier.load(std::memory_order_acquire);
  return notifier != nullptr ? *notifier : EventLogNotifier();
}
