#pragma once

#include <cstdio>

// The console's version ("0.1") and the commit it was built from (twelve
// hexadecimal digits, "-dirty" when the tree had changes, "unknown" outside
// a git checkout), without Qt, for every program of the project.
const char* BuildVersionText();
const char* BuildCommitText();

// What every program prints for --version, on stdout: its name, the version
// and the commit, as Debian's programs do.
inline void PrintVersion(const char* program) {
  std::printf("%s %s (commit %s)\n", program, BuildVersionText(), BuildCommitText());
}
