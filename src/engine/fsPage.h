#pragma once

#include "engine/fsPageDocument.h"
#include "engine/fsShape.h"
#include "persist/fsBitmapResource.h"

#include <memory>

// One page: a shape whose box is the paper and whose children are the
// shapes on it, with page colour, margins, a helper grid, a background
// picture and a thumbnail. A default page shows the document's defaults.
// Pages of an archive are read the first time anything of them is needed.
class TfsPage : public TfsShape {
public:
  TfsPage();
  ~TfsPage() override;

  std::string ClassName() const override { return "TfsPage"; }

  TfsPageDocument *PageDocument() const { return FPageDocument; }
  void SetDocument(TfsShapeDocument *document) override;

  // Effective settings: the document's defaults on a default page.
  float MarginLeft();
  float MarginTop();
  float MarginRight();
  float MarginBottom();
  float GridSize();
  TColor GridColor();
  TColor PageColor();
  bool BackgroundTiled();
  TfsBitmapResource &Background(); // the effective background picture
  TfsBitmapResource &OwnBackground() { return *FBackground; }
  void SetMarginLeft(float value);
  void SetMarginTop(float value);
  void SetMarginRight(float value);
  void SetMarginBottom(float value);
  void SetGridSize(float value);
  void SetGridColor(TColor value);
  void SetPageColor(TColor value);
  void SetBackgroundTiled(bool value);
  TfsHelperMethodType HelperMethod() const;
  bool ShowMargins() const;
  TfsViewStyleType ViewStyle() const;

  bool IsDefaultPage();
  void SetIsDefaultPage(bool value);
  bool ContentLoaded() const { return FContentLoaded; }
  void SetContentLoaded(bool value) { FContentLoaded = value; }
  // Reads the page now when it was not read yet.
  virtual void EnsureLoaded();
  // Places the page in the view: no undo record, no notification.
  virtual void SetPagePosition(float left, float top);

  // The thumbnail, a 24-bit picture (alpha unused) of the document's
  // thumbnail size; regenerated when stale. None without a document.
  const TBitmap32 *GetThumbnail();
  void SetThumbnail(const TBitmap32 *thumbnail);
  bool ThumbnailStale() const { return FThumbnailStale; }
  void SetThumbnailStale(bool value) { FThumbnailStale = value; }
  void UpdateThumbnail();

  std::string GetDisplayName() const override;
  void SnapPoint(TFloatPoint &point) override;
  void Paint(TBitmap32 &bitmap, const TDeviceContext &context) override;
  void PaintOverlay(TBitmap32 &bitmap, const TDeviceContext &context) override;
  void SetModified(bool value) override;
  void SetGeometry(float left, float top, float width, float height, float angle) override;
  void GetResourceNames(std::vector<std::string> &names) const override;
  void LoadFromXml(const TXmlNode *node) override;
  void SaveToXml(TXmlNode &node) override;

private:
  // The page stops following the defaults: their values become its own
  // (the background too, unless a picture of its own just arrived).
  void LeaveDefaults(bool withBackground);
  // A look setting of the page's own was stored.
  void OwnSettingChanged();
  template <class T> void SetOwnSetting(T &field, T value, T effective);
  void BackgroundLoaded();
  void BackgroundChanged();
  void PaintTiles(TBitmap32 &bitmap, TBitmap32 &picture, const TRect &page);
  void PaintGrid(TBitmap32 &bitmap, const TRect &page, float gridSize, TColor32 color, bool dots);

  TfsPageDocument *FPageDocument = nullptr;
  std::unique_ptr<TfsBitmapResource> FBackground;
  bool FBackgroundTiled = false;
  TColor FGridColor = 0xFFFFC0;
  float FGridSize = 5;
  bool FContentLoaded = true;
  float FMarginBottom = 10;
  float FMarginLeft = 10;
  float FMarginTop = 10;
  float FMarginRight = 10;
  TColor FPageColor = 0xFFFFFF;
  bool FThumbnailStale = false;
  std::unique_ptr<TBitmap32> FThumbnail;
  bool FIsDefaultPage = true;
};
