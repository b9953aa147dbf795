#pragma once

#include "persist/fsResource.h"

// A picture in one of the registered raster formats, chosen by the
// extension of FileName; pictures made in memory are kept as HCK.
class TfsBitmapResource : public TfsResource {
public:
  std::string ClassName() const override { return "TfsBitmapResource"; }

  void EncodeBitmap(const TBitmap32 &bitmap) override;
  void DecodeBitmap(std::unique_ptr<TBitmap32> &bitmap) override;
  void LoadFileData() override;
  int64_t BitmapMemory() const override;

  // Owners call this after drawing on Bitmap().
  virtual void BitmapChanged();

  // A copy of bitmap becomes the picture; none clears the resource.
  void SetBitmap(const TBitmap32 *bitmap);
};
