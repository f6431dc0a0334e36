// sonrake-cli: measurements from the command line, on the same application
// layer as the window.

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_run.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return runCli(args, std::cout, std::cerr);
}
