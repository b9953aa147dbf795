#pragma once

#include "cli/CliCommand.h"

inline constexpr const char *FontsUsage =
    "  tallisyn-cli fonts                       (lists the installed font families)\n";

inline constexpr const char *TextUsage =
    "  tallisyn-cli text TEXT --font FACE --size PX [--bold] [--italic] -o OUT.png\n";

void RunFonts(const TCliArgs &args, std::ostream &out);
void RunText(const TCliArgs &args, std::ostream &out);
