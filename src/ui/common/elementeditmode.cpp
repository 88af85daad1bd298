#include "ui/common/elementeditmode.h"

namespace {
bool g_elementEditMode = false;
}  // namespace

bool ElementEditMode() {
  return g_elementEditMode;
}

void SetElementEditMode(bool on) {
  g_elementEditMode = on;
}
