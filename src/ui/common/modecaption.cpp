#include "ui/common/modecaption.h"

const char16_t* ModeCaption(ReagentMode mode) {
  switch (mode) {
    case kModeAutomatic:
      return u"АВТОМАТ";
    case kModeManual:
      return u"РУЧНОЙ";
    default:
      return u"ОТКЛЮЧЕНО";
  }
}
