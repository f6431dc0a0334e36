#pragma once
// The driver parameters on the command line: the params subcommand, which
// fits the curves of the program's own impedance exports, and the printing
// that measure --params shares with it.

#include <ostream>

#include "analysis/driver_params.h"
#include "cli/cli_args.h"

// Prints p to out: "key value unit" lines of its valid values, or with json
// one object {"ok", "message", "re_from_dc", "parameters": {key: {"value",
// "unit"}}}. What could not be worked out (the first curve, or the second
// one and the mechanical side) goes to err as one line "sonrake-cli: TEXT"
// (in JSON also as "message"). Returns kCliOk when everything asked for was
// worked out, else kCliRunFailed.
int printDriverParams(const DriverParams& p, const char* message, bool json, std::ostream& out,
                      std::ostream& err);

// The params subcommand: reads FILE and the second curve's file, fits and
// prints. Unreadable files are a failed run with the reason on err.
int runParamsCommand(const CliArgs& args, std::ostream& out, std::ostream& err);
