#pragma once

#include "base/fsStream.h"

#include <filesystem>
#include <functional>
#include <string_view>

// Every save of the program replaces its file this way, so that neither a
// failure nor a crash at any moment leaves less than the old file or the
// whole new one: the new content goes into a fresh file in the same folder,
// is flushed to the disk, takes the old file's permissions and is renamed
// over it; then the folder itself is synced so the rename survives a power
// cut. Through a symbolic link the file it names is replaced and the link
// stays. On failure the temporary file is removed and the error raised:
// "Cannot create file "<name>". <reason>" when the temporary file cannot be
// made or renamed, "Cannot write file "<name>". <reason>" when the data
// cannot be written, or whatever write itself raised.

// write fills the stream (opened for reading and writing, empty). Returns
// the path that was replaced (the link's target for a link).
std::filesystem::path SaveFileAtomically(const std::filesystem::path &file,
                                         const std::function<void(TFileStream &)> &write);

void SaveFileAtomically(const std::filesystem::path &file, std::string_view bytes);
