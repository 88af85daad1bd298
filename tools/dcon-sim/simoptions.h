#pragma once

#include <string>
#include <vector>

#include "dconmodules.h"
#include "linepacing.h"

struct BusSetup {
  enum class Kind { kPty, kPort };
  Kind Type = Kind::kPty;
  std::string Path;  // the symlink to create (pty) or the device to open (port)
};

// Everything the command line says, checked.
struct SimOptions {
  std::vector<BusSetup> Buses;  // in command-line order; bus N is Buses[N]
  LineTiming Timing;
  SimulationSetup Simulation;
  std::string LogPath;  // empty: no log; "-": stdout
  bool Verbose = false;
  bool Help = false;
  bool Version = false;
};

// Parses the arguments after the program name. Without --in and --out the
// modules are inputs 01 and 02 and outputs 03 and 04. Returns false with a
// one-line reason in error for anything it cannot use: unknown options, bad
// numbers or addresses, an address given twice, --fixed or a fault for an
// address that has no module, no bus at all.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error);

// The --help text.
std::string SimUsage();
