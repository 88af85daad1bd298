#pragma once

class TConfig;
struct ProcessState;

// low if value is not >= low (a NaN too), high if value > high, else value.
double LimitToRange(double value, double low, double high);

// Step 4 of the read thread's cycle: feeds the moving averages, forms the
// solids load and the reagent flows of both sections in the mode of each
// reagent group, and takes over the specific consumptions. Posts
// "Error in CalcWorks()" and returns false on failure. Read thread only.
bool CalcWorks(ProcessState& state, const TConfig& config);
