#pragma once

#include <string>
#include <string_view>
#include <vector>

class TnvStorage;

// The bytes a shape or an effect is kept in for undo and the clipboard: the
// archive entries it uses, by name, then its XML text. Without an archive
// no entries are kept.
std::string WriteSnapshot(TnvStorage *archive, const std::vector<std::string> &names,
                          const std::string &xmlText);
// Writes the entries back into the archive (when there is one and an entry
// has bytes) and gives the XML text; EReadError for damaged bytes.
std::string ReadSnapshot(TnvStorage *archive, std::string_view bytes);
