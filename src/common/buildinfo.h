#pragma once

#include <QString>

// The console's version ("0.1") and the commit it was built from (twelve
// hexadecimal digits, "-dirty" when the tree had changes, "unknown" outside
// a git checkout). What the About window and --version show.
QString BuildVersion();
QString BuildCommit();
