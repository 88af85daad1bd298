#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "configuration/calibration.h"
#include "configuration/setting.h"

class IniFile;
class Tmcrypt;

// One analog signal: where it comes from or goes to, and how it converts.
// Created with the configuration and alive as long as it, so workers may hold
// references. Fields are written by the user-interface thread and read by the
// workers (see Setting).
class TSignalSet {
 public:
  TSignalSet(QString name, int module, int chanel, int recIndex);

  // Also the name of its INI section. Set at construction (or by LoadSignal
  // with its name, before any worker starts); never changed while workers run.
  QString SignalName;
  const int Module;  // 0 = module of section 1, 1 = module of section 2
  Setting<int> Chanel;
  Setting<int> RecIndex;
  Setting<bool> InverseFlag;  // kept in the file only
  Setting<int> AverageSize{1};

  // Conversion through the signal's table (clamp as CalibrateValue). Any thread.
  double CalibrateValue(double x, bool clamp) const;
  // Copy of the table, and replacing it (settings window). Any thread.
  CalibrationTable Calibration() const;
  void SetCalibration(const CalibrationTable& table);

 private:
  friend bool LoadSignal(const IniFile&, const QString&, TSignalSet&, bool);
  friend bool SaveSignal(IniFile&, const QString&, const TSignalSet&, bool);

  mutable std::mutex m_calibrationMutex;  // guards m_calibration
  CalibrationTable m_calibration;
};

// Summation constants of the summary table, [quantity][section].
enum SummationConstant { kKVF = 0, kKGF, kKVRRS, kKVRRP, kKVRRFL, kSummationConstantCount };

// Colour groups of the plant diagram, in file order.
enum ColorGroup { kPulpa = 0, kReciver, kPenoGen, kFlotoConc, kFlotOut, kFlok, kColorGroupCount };
using ColorSet = std::array<Setting<uint32_t>, kColorGroupCount>;  // 0x00BBGGRR

inline constexpr int kInputSignalCount = 8;
inline constexpr int kOutputSignalCount = 6;
inline constexpr int kSignalRoom = 10;
inline constexpr int kDefaultMinuteRecordLimit = 4320;
inline constexpr int kDefaultLanPort = 7777;
inline constexpr int kDefaultLanMaxConnections = 64;

// Everything the plant engineer can set. Created with the built-in defaults;
// loaded once at start, changed by the settings windows, saved at exit. The
// user-interface thread writes, every thread reads the fields directly.
class TConfig {
 public:
  TConfig();
  TConfig(const TConfig&) = delete;
  TConfig& operator=(const TConfig&) = delete;

  // MySQL
  Setting<QString> Host{QStringLiteral("127.0.0.1")};
  Setting<QString> Login{QStringLiteral("temp_master")};
  Setting<QString> Password;
  Setting<int> Version{5};
  Setting<bool> SavePassword{true};
  Setting<bool> Disabled{false};

  // COM
  Setting<QString> HardReadPort{QStringLiteral("COM2")};
  Setting<QString> HardWritePort{QStringLiteral("COM3")};
  Setting<QString> ServerLinkPort{QStringLiteral("COM1")};
  Setting<QString> ServerLinkPrefix{QStringLiteral("PUF1")};
  Setting<int> ReadPortSpeed{38400};
  Setting<int> WritePortSpeed{38400};
  Setting<int> LinkPortSpeed{38400};

  // ICP
  Setting<int> I7017_1_addr{1};
  Setting<int> I7017_2_addr{2};
  Setting<int> I7024_1_addr{3};
  Setting<int> I7024_2_addr{4};

  // CONST
  std::array<std::array<Setting<double>, 2>, kSummationConstantCount> SummationConstants;
  Setting<double> MAX_TRRS{300};
  Setting<double> MAX_TRRP{150};
  Setting<double> MAX_TRFL{150};
  Setting<double> MAX_ZRRS{1500};
  Setting<double> MAX_ZRRP{150};
  Setting<double> MAX_ZRFL{150};
  Setting<double> MIN_RVF{40};

  // Signals, in their built-in order; the lists never change length.
  std::vector<std::unique_ptr<TSignalSet>> InputSignals;
  std::vector<std::unique_ptr<TSignalSet>> OutputSignals;

  // Emul, [module 0 / 1]
  std::array<Setting<bool>, 2> EmulI7017Flag;
  std::array<Setting<QString>, 2> EmulI7017Answer;
  std::array<Setting<bool>, 2> DisableDacWrite;

  Setting<int> MinuteRecordLimit{kDefaultMinuteRecordLimit};  // not stored

  ColorSet OnColors;
  ColorSet OffColors;

  // System
  Setting<bool> SaveLogFlag{true};
  Setting<bool> ReplaceShell{false};
  Setting<bool> ShutdownOnExit{false};
  Setting<bool> AutoStartControl{true};
  Setting<bool> LanServer{true};
  // Optional keys of the TCP query server, read but never written: an
  // engineer adds them by hand; without them the server listens on all
  // addresses, port 7777, for everyone, and closes a connection that has
  // been silent for 10 minutes (far above any station's polling interval).
  Setting<int> LanPort{kDefaultLanPort};                      // 1 ... 65535
  Setting<QString> LanBindAddress;                            // empty: all addresses
  Setting<QString> LanAllow;                                  // empty: everyone
  Setting<int> LanIdleTimeout{600};                           // seconds, 0 = never
  Setting<int> LanMaxConnections{kDefaultLanMaxConnections};  // at least 1
  // The desktop's date and time settings program with its arguments, for
  // the main window's date-and-time command; empty: the first of the usual
  // desktops' programs that is installed. Read but never written, like the above.
  Setting<QString> TimeSetCommand;
  // The minute-record journal beside the INI file; read, never written.
  Setting<bool> MinuteJournal{true};
  // Seconds between attempts to open a port that failed or went away
  // (fieldbus and station line); 0: the thread ends, as it always did.
  // Read, never written.
  Setting<int> PortRetrySec{10};

  // Reads every stored field; absent or unreadable values keep the current
  // ones. The secret is unscrambled with "crypt".
  bool LoadConfig(IniFile& ini, Tmcrypt& crypt);
  // Writes every stored field; stops at the first failed write and returns false.
  bool SaveConfig(IniFile& ini, Tmcrypt& crypt) const;
};

// Section names and keys as they stand in the file.
// "section" is the array index 0 / 1; the key counts from 1: "KVF_1", "KVF_2" ...
QString SummationConstantKey(SummationConstant quantity, int section);
extern const std::array<const char*, kColorGroupCount> kColorKeys;  // "Pulpa" ...

bool LoadSignal(const IniFile& ini, const QString& section, TSignalSet& signal, bool withName);
bool SaveSignal(IniFile& ini, const QString& section, const TSignalSet& signal, bool withName);
// A colour text that does not convert ends the reading: false, it and the
// following keys keep their values.
bool LoadColors(ColorSet& colors, const IniFile& ini, const QString& section);
bool SaveColors(const ColorSet& colors, IniFile& ini, const QString& section);
// "0x" and eight upper-case hexadecimal digits.
QString ColorToText(uint32_t color);
