#include "process/flyaverage.h"

#include <QString>
#include <cmath>

#include "storage/notifier.h"

namespace {

constexpr int kMinimumSkoCount = 6;

void ShowError(const char16_t* text) {
  CurrentNotifier().ShowError(QStringLiteral("Ошибка"), QString::fromUtf16(text));
}

constexpr const char16_t* kSizeError = u"Нельзя устанавливать размер среднего менше чем 2.";
constexpr const char16_t* kReadIndexError = u"Индекс чтения должен быть в пределах от 0 до Size.";

}  // namespace

TFlyAverage::TFlyAverage() {
  Reset();
}

void TFlyAverage::SetSize(int32_t n) {
  if (n == m_size) return;
  if (n < 1) {
    ShowError(kSizeError);
    return;
  }
  m_size = n;
  Reset();
}

void TFlyAverage::SetNewData(double x) {
  m_newData = x;
  m_accepted = false;
}

void TFlyAverage::SetAccepted(bool accepted) {
  if (!accepted || m_accepted) return;
  Add(m_newData);
  m_accepted = true;
}

double TFlyAverage::Add(double x) {
  if (m_values.empty()) return 0;
  if (m_valCount == 0) {
    m_values[0] = x;
    m_totalSum = x;
    m_average = x;
    m_valCount = 1;
    m_writeIndex = m_size > 1 ? 1 : 0;
    return x;
  }
  if (m_valCount < m_size) {
    m_values[m_writeIndex] = x;
    m_totalSum += x;
    ++m_valCount;
  } else {
    m_totalSum -= m_values[m_writeIndex];
    m_values[m_writeIndex] = x;
    m_totalSum += x;
  }
  if (++m_writeIndex >= m_size) m_writeIndex = 0;

  // A NaN or infinity once added stays in a running sum even after it has
  // left the window; start the sum afresh so the average recovers then.
  if (!std::isfinite(m_totalSum)) {
    m_totalSum = 0;
    for (int32_t i = 0; i < m_valCount; ++i) m_totalSum += m_values[i];
  }
  m_average = m_totalSum / m_valCount;
  return m_average;
}

void TFlyAverage::Reset() {
  m_values.clear();
  m_accepted = false;
  m_valCount = 0;
  m_writeIndex = 0;
  m_readIndex = 0;
  m_average = 0;
  m_totalSum = 0;
  if (m_size < 1) {
    // Without a buffer Add refuses values, so the average stays 0.
    ShowError(kSizeError);
    return;
  }
  m_values.assign(static_cast<std::size_t>(m_size), 0.0);
}

void TFlyAverage::SetReadIndex(int32_t i) {
  if (i == m_readIndex) return;
  if (i < 0 || i >= m_size) {
    ShowError(kReadIndexError);
    return;
  }
  m_readIndex = i;
}

double TFlyAverage::GetReadVal() const {
  if (m_readIndex < 0 || static_cast<std::size_t>(m_readIndex) >= m_values.size()) return 0;
  return m_values[m_readIndex];
}

double TFlyAverage::CalcSKO() const {
  if (m_valCount < kMinimumSkoCount) return 0;
  double sum = 0;
  for (int32_t i = 0; i < m_valCount; ++i) sum += m_values[i];
  const double mean = sum / m_valCount;
  double squares = 0;
  for (int32_t i = 0; i < m_valCount; ++i) {
    const double deviation = m_values[i] - mean;
    squares += deviation * deviation;
  }
  return std::sqrt(squares / (m_valCount - 1));
}

void TFlyAverage::SetSigma(double x) {
  if (x == -1) m_sigma = CalcSKO();
}

double TFlyAverage::GetMax() const {
  if (m_valCount == 0 || m_values.empty()) return 0;
  double maximum = m_values[0];
  for (int32_t i = 1; i < m_valCount; ++i) {
    if (m_values[i] > maximum) maximum = m_values[i];
  }
  return maximum;
}
