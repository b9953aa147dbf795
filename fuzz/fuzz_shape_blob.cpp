// Reads arbitrary bytes as a shape snapshot (the form the clipboard and undo
// keep shapes in), writes the shape again and reads that back: the second
// snapshot must equal the first. Trees of moderate size are also painted,
// turned, translucent and mirrored shapes through their caches.
#include "base/fsError.h"
#include "engine/fsShape.h"
#include "engine/fsShapeDocument.h"
#include "persist/nvStorage.h"
#include "raster/fsGR32.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// A document with an archive that asks nothing of a window.
class TFuzzDocument : public TfsShapeDocument {
public:
  TnvStorage *Storage() override { return &Archive; }
  int32_t NewShapeID() override { return ++LastID; }
  bool IsLoading() const override { return false; }
  bool IsRecordingUndo() const override { return false; }
  void FileCommand(std::unique_ptr<TfsCommand>) override {}
  void BeginUndoGroup() override {}
  void EndUndoGroup() override {}
  void ShapeChanged(TfsShape &) override {}
  void SelectionChanged(TfsShape &) override {}
  void ShapeDestroying(TfsShape &) override {}
  void ShapeLoadError(TfsShape &, const std::string &) override {}
  void ShapeFiled(TfsShape &, TXmlNode &, bool) override {}
  void SetDocumentModified() override {}
  void CloseEdit(TfsShape &) override {}
  void InvalidateScreen(const TRect &) override {}
  TfsViewMapping ViewMapping() const override { return {}; }
  void ShowBusy() override {}
  bool ShowHints() const override { return false; }

  TnvStorage Archive;
  int32_t LastID = 0;
};

// Caches are as large as their shapes: only modest ones are painted.
bool Paintable(const TfsShape &s) {
  const float sizes[] = {s.DocWidth(),    s.DocHeight(),    s.ExtentLeft(), s.ExtentTop(),
                         s.ExtentRight(), s.ExtentBottom(), s.DocLeft(),    s.DocTop()};
  for (float v : sizes)
    if (!(std::fabs(v) < 500))
      return false;
  for (int i = 0; i < s.ShapeCount(); ++i)
    if (!Paintable(*s.GetShape(i)))
      return false;
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char *>(data), size);
  TFuzzDocument document;
  TfsShape first;
  first.SetDocument(&document);
  try {
    first.LoadFromBlob(bytes);
  } catch (const EfsError &) {
    return 0;
  }
  const std::string snapshot = first.SaveToBlob();
  TfsShape second;
  second.SetDocument(&document);
  second.LoadFromBlob(snapshot);
  if (second.SaveToBlob() != snapshot) {
    std::fprintf(stderr, "a snapshot read back writes differently\n");
    std::abort();
  }
  if (!Paintable(first))
    return 0;
  TBitmap32 target;
  target.SetSize(40, 40);
  TDeviceContext context;
  context.DeviceType = dtScreen;
  context.DestDpm = 0.5f;
  context.CacheDpm = 0.5f;
  context.DropCache = true;
  try {
    TfsShape::RenderShape(first, target, FloatRect(-20, -20, 60, 60), context, false);
  } catch (const EfsError &) {
  }
  return 0;
}
