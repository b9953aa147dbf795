#pragma once

#include "engine/fsDeviceContext.h"
#include "engine/fsShapeDocument.h"

#include <cstdint>

class TfsPage;
class TfsBitmapResource;

enum TfsHelperMethodType : uint8_t { hmNone = 0, hmDots = 1, hmGrid = 2, hmPattern = 3 };
enum TfsViewStyleType : uint8_t { vsPrintLayout = 0, vsNormal = 1 };

// The document's default page settings, which default pages show.
struct TfsPageDefaults {
  float MarginLeft = 10;
  float MarginTop = 10;
  float MarginRight = 10;
  float MarginBottom = 10;
  float GridSize = 5;
  TColor GridColor = 0xFFFFC0;
  TColor PageColor = 0xFFFFFF;
  bool BackgroundTiled = false;
  float PageWidth = 210;
  float PageHeight = 297;
};

// What a page asks of its document beyond what every shape asks.
class TfsPageDocument : public TfsShapeDocument {
public:
  virtual const TfsPageDefaults &PageDefaults() const = 0;
  virtual TfsBitmapResource &DefaultBackground() = 0;
  virtual TfsHelperMethodType HelperMethod() const = 0;
  virtual bool ShowMargins() const = 0;
  virtual TfsViewStyleType ViewStyle() const = 0;
  // 1-based position of the page; 0 when it is not one of the pages.
  virtual int PageNumber(const TfsPage &page) const = 0;
  // Reads the page's entry from the archive now (lazy loading).
  virtual void ReadPage(TfsPage &page) = 0;
  // The page became a default page: it takes the default size.
  virtual void PageBecameDefault(TfsPage &page) = 0;
  // After the page's geometry changed (the view follows the current page).
  virtual void PageGeometryChanged(TfsPage &page) = 0;
  // Commands filed inside this bracket are dropped: placing a page in the
  // view is no change of the page that undo should see.
  virtual void BeginUnrecorded() = 0;
  virtual void EndUnrecorded() = 0;
  // OnPageChanged.
  virtual void PageChanged(TfsPage &page) = 0;
  // Thumbnails: size and the colour around the page.
  virtual int32_t ThumbnailWidth() const = 0;
  virtual int32_t ThumbnailHeight() const = 0;
  virtual TColor Color() const = 0;
  // OnPaintBackground / OnPaintForeground with the page box in pixels.
  virtual void PaintBackground(TBitmap32 &bitmap, const TDeviceContext &context,
                               const TRect &pageRect) = 0;
  virtual void PaintForeground(TBitmap32 &bitmap, const TDeviceContext &context,
                               const TRect &pageRect) = 0;
  // Draws a page fitted and centred into a rectangle of a bitmap at no more
  // than maxDpm (thumbnails).
  virtual void RenderPageToBitmap(TfsPage &page, TBitmap32 &bitmap, const TRect &rect,
                                  float maxDpm) = 0;
};

// Commands filed while it lives are dropped (none are filed without a
// document anyway): for changes undo must not see, and for content that is
// going away for good.
class TfsUnrecordedScope {
public:
  explicit TfsUnrecordedScope(TfsPageDocument *document) : FDocument(document) {
    if (FDocument)
      FDocument->BeginUnrecorded();
  }
  ~TfsUnrecordedScope() {
    if (FDocument)
      FDocument->EndUnrecorded();
  }
  TfsUnrecordedScope(const TfsUnrecordedScope &) = delete;
  TfsUnrecordedScope &operator=(const TfsUnrecordedScope &) = delete;

private:
  TfsPageDocument *FDocument;
};
