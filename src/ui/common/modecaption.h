#pragma once

#include "process/valueblock.h"

// The word a window shows for a reagent group's mode: "АВТОМАТ", "РУЧНОЙ",
// "ОТКЛЮЧЕНО".
const char16_t* ModeCaption(ReagentMode mode);
