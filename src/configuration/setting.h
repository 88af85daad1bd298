#pragma once

#include <QString>
#include <atomic>
#include <mutex>
#include <type_traits>

// A configuration field that the user-interface thread writes and the worker
// threads read while they run. Reads and writes are whole values; a reader
// may see the old value for one cycle. It reads and assigns like the plain
// value it holds, so code uses configuration fields directly.
template <typename T, bool = std::is_trivially_copyable_v<T>>
class Setting {
 public:
  Setting(T value = T{}) : m_value(value) {}  // NOLINT: implicit by design
  Setting(const Setting& other) : m_value(other.Get()) {}
  Setting& operator=(const Setting& other) {
    Set(other.Get());
    return *this;
  }
  Setting& operator=(T value) {
    Set(value);
    return *this;
  }
  operator T() const { return Get(); }  // NOLINT: implicit by design
  T Get() const { return m_value.load(std::memory_order_relaxed); }
  void Set(T value) { m_value.store(value, std::memory_order_relaxed); }

 private:
  std::atomic<T> m_value;
};

// Texts are guarded by a mutex; a read returns a copy.
template <typename T>
class Setting<T, false> {
 public:
  Setting(T value = T{}) : m_value(std::move(value)) {}  // NOLINT: implicit by design
  Setting(const Setting& other) : m_value(other.Get()) {}
  Setting& operator=(const Setting& other) {
    Set(other.Get());
    return *this;
  }
  Setting& operator=(T value) {
    Set(std::move(value));
    return *this;
  }
  operator T() const { return Get(); }  // NOLINT: implicit by design
  T Get() const {
    std::lock_guard lock(m_mutex);
    return m_value;
  }
  void Set(T value) {
    std::lock_guard lock(m_mutex);
    m_value = std::move(value);
  }

 private:
  mutable std::mutex m_mutex;  // guards m_value
  T m_value;
};
