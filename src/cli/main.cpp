#include "cli/CliCommand.h"
#include "persist/fsBmpFormat.h"
#include "text/fsTextLayer.h"

#include <iostream>

int main(int argc, char **argv) {
  // Bitmap streams and text may be used by any command.
  InstallBmpStreamHandlers();
  InstallTextLayer();
  std::vector<std::string> args(argv + 1, argv + argc);
  return RunCli(args, std::cout, std::cerr);
}
