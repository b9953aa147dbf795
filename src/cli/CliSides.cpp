#include "cli/CliSides.h"

#include "base/fsAtomicFile.h"
#include "designer/KeyringFile.h"
#include "designer/uFileUtils.h"

#include <filesystem>
#include <ostream>

void RunSides(const TCliArgs &args, std::ostream &out) {
  if (args.size() == 3 && args[0] == "split") {
    auto sides = LoadSidesFromFile(args[1]);
    std::filesystem::path dir(args[2]);
    std::filesystem::create_directories(dir);
    SaveFileAtomically(dir / "sideA.stor", sides.SideA);
    SaveFileAtomically(dir / "sideB.stor", sides.SideB);
    out << "sideA.stor " << sides.SideA.size() << " bytes\n"
        << "sideB.stor " << sides.SideB.size() << " bytes\n";
    return;
  }
  if (args.size() == 4 && args[0] == "join") {
    std::string a = ReadWholeFile(args[1]);
    std::string b = ReadWholeFile(args[2]);
    SaveSidesToFile(args[3], a, b);
    out << args[3] << ' ' << (a.size() + b.size() + 40) << " bytes\n";
    return;
  }
  throw ECliUsage{SidesUsage};
}

static TCliRegistrar SidesRegistrar({"sides", SidesUsage, RunSides});
