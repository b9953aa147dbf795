#include "cli/CliCommand.h"

#include "base/fsError.h"
#include "shapes/fsStandardShapes.h"
#include "tallisyn_version.h"

#include <algorithm>
#include <exception>
#include <string_view>
#include <ostream>

namespace {
std::vector<TCliGroup> &Groups() {
  static std::vector<TCliGroup> groups;
  return groups;
}
} // namespace

TCliRegistrar::TCliRegistrar(const TCliGroup &group) {
  auto &g = Groups();
  auto at = std::find_if(g.begin(), g.end(), [&](const TCliGroup &x) {
    return std::string_view(x.Name) > group.Name;
  });
  g.insert(at, group);
}

const std::vector<TCliGroup> &CliGroups() { return Groups(); }

namespace {

void PrintUsage(std::ostream &os) {
  os << "usage:\n  tallisyn-cli --version\n";
  for (const auto &g : CliGroups())
    os << g.Usage;
}

} // namespace

int RunCli(const std::vector<std::string> &args, std::ostream &out, std::ostream &err) {
  RegisterStandardShapes();
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
