#pragma once

#include "cli/CliCommand.h"

inline constexpr const char *RenderUsage =
    "  tallisyn-cli render FILE [--side A|B] [--page N] [--dpi D] -o OUT.png|OUT.pdf\n"
    "      (a page as PNG, 300 dpi by default; every page, or page N, as PDF)\n";

void RunRender(const TCliArgs &args, std::ostream &out);
