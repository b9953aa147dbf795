#pragma once

#include "cli/CliCommand.h"

inline constexpr const char *SidesUsage =
    "  tallisyn-cli sides split FILE OUTDIR     (writes OUTDIR/sideA.stor, sideB.stor)\n"
    "  tallisyn-cli sides join SIDEA SIDEB OUT\n";

void RunSides(const TCliArgs &args, std::ostream &out);
