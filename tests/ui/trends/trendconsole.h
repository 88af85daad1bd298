#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

#include "process/staterecord.h"
#include "trenddb.h"
#include "ui/trends/trendwindow.h"

// The console as a trend window sees it in a test: a clock the test sets,
// minute records, the lines logged, the active view, and optionally a history
// database (connected while Connected is true).
struct FakeTrendConsole {
  explicit FakeTrendConsole(TDateTime now) : Now(now) {}

  TDateTime Now = 0;
  std::vector<MinuteRecord> Records;
  QStringList Log;
  TrendDatabase* Database = nullptr;
  bool Connected = false;
  QWidget* Active = nullptr;

  TrendSource Source() {
    TrendSource source;
    source.DatabaseConnected = [this] { return Connected; };
    source.Database = Database != nullptr ? &Database->Thread() : nullptr;
    source.MinuteRecords = [this] { return Records; };
    source.AddLogMessage = [this](const QString& text) { Log << text; };
    source.Now = [this] { return Now; };
    source.ActiveView = [this] { return Active; };
    return source;
  }
};
