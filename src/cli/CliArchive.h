#pragma once

#include "cli/CliCommand.h"

inline constexpr const char *ArchiveUsage =
    "  tallisyn-cli archive list FILE            (name and size of every entry)\n"
    "  tallisyn-cli archive get FILE NAME [OUT]  (OUT absent: standard output)\n"
    "  tallisyn-cli archive put FILE NAME SRC    (creates FILE when missing)\n"
    "  tallisyn-cli archive rm FILE NAME\n";

void RunArchive(const TCliArgs &args, std::ostream &out);
