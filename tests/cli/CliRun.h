#pragma once

#include "cli/CliCommand.h"

#include <sstream>
#include <string>
#include <vector>

// Runs tallisyn-cli in-process and keeps what it printed.
struct TRun {
  int Code;
  std::string Out, Err;
};

inline TRun Cli(const std::vector<std::string> &args) {
  std::ostringstream out, err;
  int code = RunCli(args, out, err);
  return {code, out.str(), err.str()};
}
