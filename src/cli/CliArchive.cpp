#include "cli/CliArchive.h"

#include "base/fsAtomicFile.h"
#include "designer/uFileUtils.h"
#include "persist/nvStorage.h"
#include "base/fsStream.h"

#include <filesystem>
#include <ostream>

namespace {

// Opening a file that is not there would give an empty archive; a command
// that reads one should say the file is missing instead.
void OpenExisting(TnvStorage &storage, const std::string &file) {
  { TFileStream probe(file, fmOpenRead); }
  storage.LoadFromFile(file);
}

// Entry names are bytes; control characters would garble the listing.
std::string Printable(const std::string &name) {
  std::string s = name;
  for (char &c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      c = '?';
  return s;
}

[[noreturn]] void NotFound(const std::string &name) {
  throw EnvStorageError("Stream \"" + name + "\" not found in the storage");
}

} // namespace

void RunArchive(const TCliArgs &args, std::ostream &out) {
  const std::string verb = args.empty() ? std::string() : args[0];
  if (verb == "list" && args.size() == 2) {
    TnvStorage storage;
    OpenExisting(storage, args[1]);
    for (const auto &e : storage.Index())
      out << Printable(e.Name) << '\t' << e.Size << '\n';
    return;
  }
  if (verb == "get" && (args.size() == 3 || args.size() == 4)) {
    TnvStorage storage;
    OpenExisting(storage, args[1]);
    if (!storage.StreamExists(args[2]))
      NotFound(args[2]);
    TMemoryStream data;
    storage.ReadStream(args[2], data);
    if (args.size() == 4)
      SaveFileAtomically(args[3], data.Bytes());
    else
      out.write(data.Bytes().data(), static_cast<std::streamsize>(data.Bytes().size()));
    return;
  }
  if (verb == "put" && args.size() == 4) {
    TMemoryStream data(ReadWholeFile(args[3]));
    TnvStorage storage;
    storage.LoadFromFile(args[1]);
    storage.WriteStream(args[2], data);
    storage.SaveToFile(args[1]);
    return;
  }
  if (verb == "rm" && args.size() == 3) {
    TnvStorage storage;
    OpenExisting(storage, args[1]);
    if (!storage.StreamExists(args[2]))
      NotFound(args[2]);
    storage.DeleteStream(args[2]);
    storage.SaveToFile(args[1]);
    return;
  }
  throw ECliUsage{ArchiveUsage};
}

static TCliRegistrar ArchiveRegistrar({"archive", ArchiveUsage, RunArchive});
