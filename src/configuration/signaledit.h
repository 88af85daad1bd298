#pragma once

#include <QChar>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <memory>
#include <optional>
#include <vector>

#include "configuration/calibration.h"
#include "configuration/setting.h"

class TConfig;
class TSignalSet;

// The apply steps of the hardware settings dialog's pages, without widgets:
// the dialog hands over the texts of its controls, the steps store into the
// configuration one field at a time, each at once, and stop at the first text
// that does not read; nothing is rolled back. The result names the message to
// show and whether the configuration file is to be written now (the caller
// writes it, so that the file is written in one piece by its owner).
//
// User-interface thread only: it is the one writer of the configuration. The
// worker threads read the fields meanwhile; every field is a Setting, and a
// signal's table is replaced whole, so a worker sees the old or the new table.

// Accepted ranges where the settings table gives none for a key.
struct IntegerRange {
  int Min;
  int Max;
};
inline constexpr IntegerRange kModuleAddressRange{0, 255};  // two hexadecimal digits in a DCON command
inline constexpr IntegerRange kChanelRange{0, 7};           // eight channels on a module
// The moving averages refuse anything longer at start-up.
inline constexpr IntegerRange kAverageSizeRange{1, 86400};
// The fastest standard rate a serial driver accepts.
inline constexpr IntegerRange kPortSpeedRange{1, 4000000};

enum class HardApplyError {
  None,
  PortSpeed,
  InputDeviceNumber,
  InputSignalName,
  OutputDeviceNumber,
  OutputSignalName,
  Chanel,
  AverageSize,
  Calibration,
  CalibrationTooLong,
};

struct HardApplyResult {
  HardApplyError Error = HardApplyError::None;
  QString Message;           // the text of the error box; empty on success
  bool WriteConfig = false;  // the configuration file is to be written now

  bool Ok() const { return Error == HardApplyError::None; }
};

// The texts of the port page.
struct LinkPageTexts {
  QString ServerLinkPort;
  QString LinkPortSpeed;
  QString HardWritePort;
  QString WritePortSpeed;
  QString HardReadPort;
  QString ReadPortSpeed;
};

// The point rows of a calibration grid, cells left to right: the argument,
// then the function value of each point (module value, physical value for an
// input; physical value, module value for an output).
using CalibrationRows = std::vector<QStringList>;

// The texts of the input or the output page.
struct SignalPageTexts {
  int Section = 0;  // 0 = section 1, 1 = section 2, which is also the signals' module number
  QString DeviceNumber;
  QString SignalName;  // empty: no signal chosen
  QString Chanel;
  QString AverageSize;  // the input page only
  CalibrationRows Rows;
};

// The three port names as typed, then the speeds in the order station link,
// input, output; a speed that does not read or lies outside its range leaves
// it and the following speeds as they are. The file is written in any case.
HardApplyResult ApplyLinkPage(TConfig& config, const LinkPageTexts& texts);

// Device number, signal, channel, averaging, then the table: its size becomes
// the row count and the points are read in row order; at the first bad cell
// the table keeps the new size and, from that cell on, its previous points.
// The file is written after success and after a bad table, not after the
// earlier errors. A grid of more rows than a table holds stores nothing.
// "decimalSeparator" is the one the operator types.
HardApplyResult ApplyInputPage(TConfig& config, const SignalPageTexts& texts, QChar decimalSeparator);
// The same for an output signal, without averaging.
HardApplyResult ApplyOutputPage(TConfig& config, const SignalPageTexts& texts, QChar decimalSeparator);

// The module address of a section's input or output module; nullptr for a
// section other than 0 and 1.
Setting<int>* InputModuleAddress(TConfig& config, int section);
Setting<int>* OutputModuleAddress(TConfig& config, int section);

// The signals of a list whose module is "section", in configuration order.
// The pointers live as long as the configuration.
std::vector<TSignalSet*> SectionSignals(const std::vector<std::unique_ptr<TSignalSet>>& signalList,
                                        int section);

// The grid rows of a table: one per point in use, each number in the general
// form with "decimalSeparator".
CalibrationRows CalibrationToRows(const CalibrationTable& table, QChar decimalSeparator);

// The most points a grid may hand over for the signal's table.
int CalibrationPointLimit(QStringView signalName);

// A whole number as the operator types it: blanks around it, an optional sign
// and decimal digits, within 32 bits. Hexadecimal, fractions and anything
// else is no number.
std::optional<int> ParseOperatorInteger(const QString& text);
// A decimal as the operator types it: blanks around it, an optional sign,
// digits with at most one "decimalSeparator" (the other of "." and "," is a
// typing error), an optional exponent. Empty texts, letters, hexadecimal,
// NaN and infinities and magnitudes beyond single precision are no number.
std::optional<double> ParseOperatorDecimal(const QString& text, QChar decimalSeparator);
