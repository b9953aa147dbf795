#pragma once

#include "engine/fsMetafile.h"
#include "engine/fsMetafilePlayer.h"
#include "persist/fsPlainXml.h"
#include "persist/fsResource.h"
#include "shapes/fsEffectShape.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Pen and brush values as the platform's pen and brush objects hold them:
// colour, mixing mode (4 copies), style (solid, dash, dot, dash-dot,
// dash-dot-dot, clear, inside frame) and width in the picture's logical
// units; colour and style (solid, clear, then the six hatches), with an
// optional pattern bitmap that replaces the style.
using TfsPen = TXmlPen;
using TfsBrush = TXmlBrush;

// A Windows metafile or enhanced metafile on the page, whose records can be
// made to draw with the shape's own pen and brush instead of the picture's.
// The picture's bytes are kept unchanged in a resource.
class TfsExposedMetafile : public TfsEffectShape {
public:
  TfsExposedMetafile();
  ~TfsExposedMetafile() override;

  std::string ClassName() const override { return "TfsExposedMetafile"; }

  bool OverrideBrush() const { return FOverrideBrush; }
  void SetOverrideBrush(bool value);
  bool OverridePen() const { return FOverridePen; }
  void SetOverridePen(bool value);
  const TfsPen &Pen() const { return FPen; }
  void SetPen(const TfsPen &pen);
  const TfsBrush &Brush() const { return FBrush; }
  void SetBrush(const TfsBrush &brush);
  // The brush's pattern; none for a plain brush.
  const TBitmap32 *BrushBitmap() const { return FBrushBitmap.get(); }
  void SetBrushBitmap(const TBitmap32 *bitmap);

  TfsResource &Picture() { return *FPicture; }
  // The decoded picture (decoding it when needed), or none without data.
  const TfsMetafile *Metafile();

  // Plays one record with the replacement pen and brush selected around
  // it; answers 0 to stop the playback.
  virtual int PlayRecord(TfsMetafilePlayer &player, size_t index);

  void GetResourceNames(std::vector<std::string> &names) const override;
  void Paint(TBitmap32 &bitmap, const TDeviceContext &context) override;
  void SetDocument(TfsShapeDocument *document) override;
  void LoadFromXml(const TXmlNode *node) override;
  void SaveToXml(TXmlNode &node) override;

  // As the player takes them.
  TfsMetafilePen PlayerPen() const;
  TfsMetafileBrush PlayerBrush() const;

private:
  void PictureLoaded();
  void Repaint();

  bool FOverrideBrush = false;
  bool FOverridePen = false;
  TfsBrush FBrush;
  std::shared_ptr<const TBitmap32> FBrushBitmap;
  TfsPen FPen;
  std::unique_ptr<TfsResource> FPicture;
  // What the resource's last decoding made of its bytes.
  std::unique_ptr<TfsMetafile> FMetafile;
};
