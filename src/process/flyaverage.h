#pragma once

#include <cstdint>
#include <vector>

// Moving average over the last Size values of a signal, with the sample
// standard deviation and the maximum of the stored values on request.
//
// Not thread-safe: one thread uses an instance at a time (the read thread in
// the acquisition cycle; the owner only while constructing).
class TFlyAverage {
 public:
  TFlyAverage();

  // n >= 1 sets the size and clears the history (nothing if n is the current
  // size); n < 1 is refused with an error message through the notifier.
  void SetSize(int32_t n);
  int32_t GetSize() const { return m_size; }

  // Offers the next value; SetAccepted(true) adds it once.
  void SetNewData(double x);
  double GetNewData() const { return m_newData; }
  void SetAccepted(bool accepted);
  bool GetAccepted() const { return m_accepted; }

  // Appends x and returns the new average (0 with no buffer). A NaN or an
  // infinity spoils the average only while it is among the last Size values.
  double Add(double x);
  // A fresh zeroed buffer of Size elements; the history is gone.
  void Reset();

  double GetAverage() const { return m_average; }
  double GetTotalSum() const { return m_totalSum; }
  int32_t GetValCount() const { return m_valCount; }
  int32_t GetWriteIndex() const { return m_writeIndex; }
  int32_t GetReadIndex() const { return m_readIndex; }
  // Read-only properties: the setters accept a value and ignore it.
  void SetAverage(double) {}
  void SetTotalSum(double) {}
  void SetValCount(int32_t) {}
  void SetWriteIndex(int32_t) {}
  void SetReadVal(double) {}

  // 0 <= i < Size moves the read position; anything else is refused with an
  // error message.
  void SetReadIndex(int32_t i);
  double GetReadVal() const;

  // Sample standard deviation of the stored values; 0 below six values.
  double CalcSKO() const;
  // Exactly -1 recomputes Sigma; any other value is ignored.
  void SetSigma(double x);
  double GetSigma() const { return m_sigma; }
  // Largest stored value; 0 when none is stored.
  double GetMax() const;

 private:
  std::vector<double> m_values;
  int32_t m_size = 10;
  double m_newData = 0;
  bool m_accepted = false;
  int32_t m_writeIndex = 0;
  int32_t m_readIndex = 0;
  double m_average = 0;
  double m_totalSum = 0;
  int32_t m_valCount = 0;
  double m_sigma = 0;
};
