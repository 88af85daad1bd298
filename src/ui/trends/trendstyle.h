#pragma once

#include <QString>

#include "ui/elements/tcolor.h"

class QFont;
class QLabel;
class QWidget;
class TLabel;
class TLevelGraph;

// Helpers the trend windows share for their look. User-interface thread.

// The design values the trend graphs of this console share: scales, grids,
// fonts, cursor, border and one-minute slots over a day. The window sets its
// own limits, margins, pens and IniName afterwards.
void ApplyTrendGraphDesign(TLevelGraph& graph);
// A filled background in "color" for a window or a panel.
void SetTrendBackground(QWidget& widget, TColor color);
// A caption's text colour.
void SetTrendTextColor(QWidget& widget, TColor color);
TColor TrendTextColor(const QWidget& widget);
// The hidden "WaitPanel" a window shows while it loads: "Дождитесь загрузки
// данных" on a raised panel of 320 x 60; the window places it.
QLabel* MakeWaitPanel(QWidget* owner);
// A caption on "parent", sized to its text.
TLabel* MakeTrendCaption(QWidget* parent, const QString& name, const QString& text, const QFont& font,
                         TColor color);
