#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// Size in bytes; raises "File <name> not found" when there is no such file.
uint64_t FileSizeOf(const std::string &fileName);

// Last modification time; raises "File <name> not found" likewise.
std::chrono::system_clock::time_point FileDateOf(const std::string &fileName);

// 1-based position of the last occurrence of sub in s; 0 when absent or
// when sub is empty.
size_t LastPos(std::string_view sub, std::string_view s);

// The whole file, or EStreamError with "Cannot open file ..." .
std::string ReadWholeFile(const std::filesystem::path &file);
