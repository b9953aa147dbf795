#include "cli/CliCommand.h"

#include "cli/CliSides.h"
#include "raster/fsError.h"
#include "tallisyn_version.h"

#include <exception>
#include <ostream>

const std::vector<TCliGroup> &CliGroups() {
  static const std::vector<TCliGroup> groups = {
      {"sides", SidesUsage, RunSides},
  };
  return groups;
}

namespace {

void PrintUsage(std::ostream &os) {
  os << "usage:\n  tallisyn-cli --version\n";
  for (const auto &g : CliGroups())
    os << g.Usage;
}

} // namespace

int RunCli(const std::vector<std::string> &args, std::ostream &out, std::ostream &err) {
  if (args.empty()) {
    PrintUsage(err);
    return ceUsage;
  }
  if (args[0] == "--version") {
    out << "tallisyn-cli " << TALLISYN_VERSION << '\n';
    return ceSuccess;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    PrintUsage(out);
    return ceSuccess;
  }
  for (const auto &g : CliGroups()) {
    if (args[0] != g.Name)
      continue;
    try {
      g.Run(TCliArgs(args.begin() + 1, args.end()), out);
      return ceSuccess;
    } catch (const ECliUsage &u) {
      err << "usage:\n" << u.Usage;
      return ceUsage;
    } catch (const std::exception &e) {
      err << "tallisyn-cli: " << e.what() << '\n';
      return ceFailure;
    }
  }
  err << "tallisyn-cli: unknown command '" << args[0] << "'\n";
  PrintUsage(err);
  return ceUsage;
}
