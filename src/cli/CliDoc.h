#pragma once

#include "cli/CliCommand.h"

inline constexpr const char *DocUsage =
    "  tallisyn-cli doc info FILE [--json] [--side A|B]   (pages and their shapes)\n"
    "  tallisyn-cli doc xml FILE [--page N] [--side A|B]  (the XML of a page, 1 by default)\n";

void RunDoc(const TCliArgs &args, std::ostream &out);
