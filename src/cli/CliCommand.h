#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// Exit codes of tallisyn-cli.
enum TCliExit : int { ceSuccess = 0, ceFailure = 1, ceUsage = 2 };

// Arguments after the group word (for "sides split A B": "split", "A", "B").
using TCliArgs = std::vector<std::string>;

// Raised for a malformed command line; the message is the usage text.
struct ECliUsage {
  std::string Usage;
};

// One group of subcommands: a word, its usage lines and the code that runs
// them. Run raises ECliUsage for bad arguments and EfsError for failures.
struct TCliGroup {
  const char *Name;
  const char *Usage;
  void (*Run)(const TCliArgs &args, std::ostream &out);
};

// Registered groups, sorted by name.
const std::vector<TCliGroup> &CliGroups();

// A command file registers its group with a static TCliRegistrar:
//   static TCliRegistrar reg({"sides", SidesUsage, RunSides});
struct TCliRegistrar {
  explicit TCliRegistrar(const TCliGroup &group);
};

// The whole program minus process set-up; returns the exit code.
int RunCli(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);
