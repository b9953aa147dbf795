#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// A design or template file: two document archives, each behind a 20-byte
// decimal length field padded with blanks.

struct TKeyringSides {
  std::string SideA;
  std::string SideB;
};

// Raises EConvertError for a length field that is no integer and EReadError
// for a length that is negative or runs past the end of the image.
TKeyringSides SplitSides(std::string_view image);

std::string JoinSides(std::string_view sideA, std::string_view sideB);

// Writes the joined image so that an existing file is replaced only once the
// new one is complete.
void SaveSidesToFile(const std::filesystem::path &file, std::string_view sideA,
                     std::string_view sideB);
TKeyringSides LoadSidesFromFile(const std::filesystem::path &file);
