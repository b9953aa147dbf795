#pragma once

#include "cli/CliCommand.h"

#include <string>

inline constexpr const char *DocUsage =
    "  tallisyn-cli doc info FILE [--json] [--side A|B]   (pages and their shapes)\n"
    "  tallisyn-cli doc xml FILE [--page N] [--side A|B]  (the XML of a page, 1 by default)\n";

class TfsDocument;

// Reads a document archive, or one side ('A' or 'B') of a keyring file
// (side 0: a bare archive), into memory without touching anything on disk.
void LoadCliDocument(TfsDocument &doc, const std::string &file, char side);

void RunDoc(const TCliArgs &args, std::ostream &out);
