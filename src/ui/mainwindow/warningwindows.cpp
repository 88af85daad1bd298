#include "ui/mainwindow/warningwindows.h"

#include <algorithm>
#include <cmath>

namespace {

// Far beyond any screen, yet safe to convert to int.
constexpr double kCoordinateLimit = 1.0e6;

}  // namespace

TWarningWindows::TWarningWindows(QWidget* owner, NormalDeviate normalDeviate,
                                 TShowErrorForm::ScreenWake wakeScreen)
    : m_owner(owner),
      m_hadOwner(owner != nullptr),
      m_normalDeviate(std::move(normalDeviate)),
      m_wakeScreen(std::move(wakeScreen)),
      m_generator(std::random_device{}()),
      m_shared(new TShowErrorForm(owner, m_wakeScreen)) {}

TWarningWindows::~TWarningWindows() {
  if (m_hadOwner) return;
  delete m_shared.data();
  for (const QPointer<TShowErrorForm>& window : m_separate) delete window.data();
}

void TWarningWindows::ShowShared(const QString& text, TDateTime moment, uint32_t flags) {
  if (m_shared != nullptr) m_shared->ShowError(text, moment, flags);
}

void TWarningWindows::ShowSeparate(const QString& text, TDateTime moment, uint32_t flags) {
  if (OwnerGone()) return;
  TShowErrorForm* window = TakeSeparateWindow();
  // Placed before it is shown, so it appears where it belongs.
  const int left = Coordinate(kLeftMean, kLeftDeviation);
  const int top = Coordinate(kTopMean, kTopDeviation);
  window->move(left, top);
  window->ShowError(text, moment, flags);
}

QList<TShowErrorForm*> TWarningWindows::SeparateWindows() const {
  QList<TShowErrorForm*> windows;
  for (const QPointer<TShowErrorForm>& window : m_separate) {
    if (window != nullptr) windows.append(window);
  }
  return windows;
}

TShowErrorForm* TWarningWindows::TakeSeparateWindow() {
  std::erase_if(m_separate, [](const QPointer<TShowErrorForm>& window) { return window == nullptr; });
  TShowErrorForm* window = nullptr;
  if (static_cast<int>(m_separate.size()) < kMaxSeparateWindows) {
    window = new TShowErrorForm(m_owner, m_wakeScreen);
  } else {
    // A closed window costs the operator nothing; a visible one holds a
    // message he may not have read yet.
    auto reused =
        std::find_if(m_separate.begin(), m_separate.end(),
                     [](const QPointer<TShowErrorForm>& candidate) { return candidate->isHidden(); });
    if (reused == m_separate.end()) reused = m_separate.begin();
    window = *reused;
    m_separate.erase(reused);
  }
  m_separate.emplace_back(window);
  return window;
}

int TWarningWindows::Coordinate(double mean, double deviation) {
  double value = m_normalDeviate ? m_normalDeviate(mean, deviation)
                                 : std::normal_distribution<double>(mean, deviation)(m_generator);
  if (!std::isfinite(value)) value = mean;
  return static_cast<int>(std::trunc(std::clamp(value, -kCoordinateLimit, kCoordinateLimit)));
}
