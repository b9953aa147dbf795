#pragma once

#include "cli/CliCommand.h"

inline constexpr const char *ImageUsage =
    "  tallisyn-cli image convert IN OUT [--max W H]   (format by extension or content)\n";

void RunImage(const TCliArgs &args, std::ostream &out);
