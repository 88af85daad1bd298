#pragma once

#include <QBrush>

#include "ui/elements/tcolor.h"

// The fill of an element's shape: a solid colour. Plain value type; elements
// hold their own copy, any thread.
struct ElementBrush {
  TColor Color = clWhite;

  QBrush ToQBrush() const { return QBrush(ColorFromTColor(Color)); }
  bool operator==(const ElementBrush&) const = default;
};
