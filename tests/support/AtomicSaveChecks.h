#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace testsupport {

// Checks a save that replaces a file: save(file) must always write the same
// new content. The file is given oldBytes first.
//  - Killed (SIGKILL) at moments spread over a whole save, the file holds
//    either oldBytes or the complete new content, never anything else; at
//    least one kill must land while the save was under way.
//  - Under a file-size limit (RLIMIT_FSIZE) below the new content the save
//    raises an error whose message starts with expectedMessage, and the
//    file still holds oldBytes, with no temporary file left beside it.
void ExpectAtomicSave(const std::function<void(const std::filesystem::path &)> &save,
                      const std::string &oldBytes, const std::string &expectedMessage);

// Files of the folder other than `keep` (left-over temporary files).
int StrayFiles(const std::filesystem::path &folder, const std::filesystem::path &keep);

} // namespace testsupport
