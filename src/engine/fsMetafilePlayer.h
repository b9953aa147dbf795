#pragma once

#include "engine/fsMetafile.h"
#include "raster/fsGR32.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

// Plays a TfsMetafile into a TBitmap32, stretched to a device rectangle and
// limited to a clip, one record at a time. The player is the device context
// of the playback: it holds the object table, the selected pen, brush and
// font, the colours, modes, transforms, clip and path, as the records leave
// them. A caller that wants to draw a record with a pen or brush of its own
// selects it around that record, as with SelectObject:
//
//   TfsMetafilePlayer player(mf, bitmap, target, clip);
//   player.OnRecord = [&](TfsMetafilePlayer &p, size_t i) {
//     TfsMetafilePen kept = p.SelectPen(myPen);
//     p.PlayRecord(i);
//     p.SelectPen(kept);
//     return true;
//   };
//   player.Play();
//
// An EMF's frame, or a WMF's window (its bounding box unless its records
// set one), is stretched onto the device rectangle. Records the player does
// not know are skipped (EMF+ comments among them, so their EMF fallback is
// what draws); a damaged record is skipped as a whole; nothing is drawn
// outside the clip. Pen mixing modes other than copying are not played.

// Pen styles, caps and joins as the records carry them.
enum TfsMetafilePenStyle : uint32_t {
  mpsSolid = 0,
  mpsDash = 1,
  mpsDot = 2,
  mpsDashDot = 3,
  mpsDashDotDot = 4,
  mpsNull = 5,
  mpsInsideFrame = 6,
  mpsUserStyle = 7,
  mpsAlternate = 8,
  mpsStyleMask = 0x0F,
  mpsEndCapRound = 0x0000,
  mpsEndCapSquare = 0x0100,
  mpsEndCapFlat = 0x0200,
  mpsEndCapMask = 0x0F00,
  mpsJoinRound = 0x0000,
  mpsJoinBevel = 0x1000,
  mpsJoinMiter = 0x2000,
  mpsJoinMask = 0xF000,
  mpsGeometric = 0x00010000,
};

enum TfsMetafileBrushStyle : uint32_t {
  mbsSolid = 0,
  mbsNull = 1,
  mbsHatched = 2,
  mbsPattern = 3,
};

struct TfsMetafilePen {
  uint32_t Style = mpsSolid; // TfsMetafilePenStyle values and flags
  // In logical units, scaled with the picture; 0 (a cosmetic pen) draws
  // one device pixel wide, and no pen draws thinner.
  int32_t Width = 0;
  TColor32 Color = clBlack32;
  // mpsUserStyle: dash and gap lengths in turn, in logical units.
  std::vector<uint32_t> Dashes;
};

struct TfsMetafileBrush {
  uint32_t Style = mbsSolid;
  TColor32 Color = clWhite32;
  // mbsHatched: 0 horizontal, 1 vertical, 2 forward diagonal, 3 backward
  // diagonal, 4 cross, 5 diagonal cross.
  uint32_t Hatch = 0;
  // mbsPattern: tiled in device pixels from the device origin.
  std::shared_ptr<const TBitmap32> Pattern;
  // A monochrome pattern draws its black in the text colour and its white
  // in the background colour.
  bool Monochrome = false;
};

struct TfsMetafileFont {
  int32_t Height = 0;     // logical units, as LOGFONT: < 0 em height, > 0 cell height
  int32_t Escapement = 0; // tenths of a degree, counter-clockwise
  int32_t Weight = 400;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  std::string Face = "Arial"; // UTF-8
};

class TfsMetafilePlayer {
public:
  // Target: the bitmap drawn into, blended by its combine mode; DeviceRect:
  // where the picture's frame lands, in the bitmap's pixels; Clip: the
  // pixels that may change (also limited to the bitmap). The metafile and
  // the bitmap must outlive the player, which gives the bitmap its clip box
  // back when it goes.
  TfsMetafilePlayer(const TfsMetafile &Metafile, TBitmap32 &Target, const TRect &DeviceRect,
                    const TRect &Clip);
  ~TfsMetafilePlayer();
  TfsMetafilePlayer(const TfsMetafilePlayer &) = delete;
  TfsMetafilePlayer &operator=(const TfsMetafilePlayer &) = delete;

  // As TfsMetafile::Records (an EMF's header and end records included).
  size_t RecordCount() const { return FMetafile.Records().size(); }
  // Plays record Index into the context; an index past the end does
  // nothing.
  void PlayRecord(size_t Index);
  // Every record in order, each through OnRecord when set (which plays it
  // by calling PlayRecord and answers false to stop), else directly.
  void Play();
  std::function<bool(TfsMetafilePlayer &Sender, size_t Index)> OnRecord;

  // Select a pen or brush as the picture's own select records do; each
  // returns the one selected before, so selecting that back restores it.
  TfsMetafilePen SelectPen(const TfsMetafilePen &Pen);
  TfsMetafileBrush SelectBrush(const TfsMetafileBrush &Brush);
  const TfsMetafilePen &Pen() const { return FDc.Pen; }
  const TfsMetafileBrush &Brush() const { return FDc.Brush; }
  const TfsMetafileFont &Font() const { return FDc.Font; }
  TColor32 TextColor() const { return FDc.TextColor; }
  TColor32 BkColor() const { return FDc.BkColor; }
  // Logical point to device pixel with the context's current transforms.
  TFloatPoint LogicalToDevice(double X, double Y) const;

  // Outlines in device pixels, as the drawing helpers hand them on.
  struct TPointD {
    double X = 0;
    double Y = 0;
  };
  struct TFigure {
    std::vector<TPointD> Points; // device pixels
    bool Closed = false;
  };

private:
  struct TMatrix {
    // x' = M11 x + M21 y + Dx, y' = M12 x + M22 y + Dy
    double M11 = 1, M12 = 0, M21 = 0, M22 = 1, Dx = 0, Dy = 0;
    TPointD Apply(double X, double Y) const {
      return {M11 * X + M21 * Y + Dx, M12 * X + M22 * Y + Dy};
    }
  };
  struct TObject {
    enum TKind : uint8_t { okNone, okPen, okBrush, okFont, okOther } Kind = okNone;
    TfsMetafilePen Pen;
    TfsMetafileBrush Brush;
    TfsMetafileFont Font;
  };
  struct TDcState {
    TfsMetafilePen Pen;
    TfsMetafileBrush Brush;
    TfsMetafileFont Font;
    TColor32 TextColor = clBlack32;
    TColor32 BkColor = clWhite32;
    bool BkOpaque = true;
    bool Winding = false;
    uint32_t TextAlign = 0;
    uint32_t MapMode = 1;
    double WinOrgX = 0, WinOrgY = 0, WinExtX = 1, WinExtY = 1;
    double VpOrgX = 0, VpOrgY = 0, VpExtX = 1, VpExtY = 1;
    TMatrix World;
    double CurX = 0, CurY = 0; // logical
    bool Clockwise = false;
    double MiterLimit = 10;
    TRect ClipRect;
    // Coverage per pixel of the clip region (null: all of ClipRect); never
    // changed once shared, so saved states may keep it.
    std::shared_ptr<const std::vector<uint8_t>> ClipMask;
  };
  struct TGlyphCache;

  // Records.
  void PlayEmf(const TfsMetafileRecord &R);
  void PlayEmfBitmap(const TfsMetafileRecord &R);
  void PlayWmf(const TfsMetafileRecord &R);

  // Transforms.
  void UpdateTransform();
  TPointD Dev(double X, double Y) const { return FToDevice.Apply(X, Y); }
  std::vector<TPointD> ToDevice(const std::vector<TPointD> &Logical) const;
  double DeviceScale() const;
  double DeviceScaleMax() const;
  bool AxisAligned() const;

  // Objects and states.
  void StoreObject(uint32_t Index, TObject Object);
  size_t WmfFreeSlot();
  void WmfCreate(TObject Object);
  void SelectStock(uint32_t Index);
  void SelectStored(uint32_t Index);
  void DeleteStored(uint32_t Index);
  void SaveDc();
  void RestoreDc(int32_t Which);
  static std::shared_ptr<const TBitmap32> DecodePattern(std::string_view Bmi,
                                                        std::string_view Bits);

  // Geometry, in device pixels.
  std::vector<TPointD> Ellipse(double L, double T, double R, double B) const;
  std::vector<TPointD> ArcPoints(double L, double T, double R, double B, double X1, double Y1,
                                 double X2, double Y2) const;
  std::vector<TPointD> RoundRect(double L, double T, double R, double B, double W, double H) const;
  void AppendBezier(std::vector<TPointD> &Out, TPointD P0, TPointD P1, TPointD P2,
                    TPointD P3) const;
  std::vector<TPointD> Beziers(const std::vector<TPointD> &Logical, bool FromCurrent) const;
  TFigure RectFigure(const TRect &R) const;
  std::vector<TFigure> RegionFigures(std::string_view P, size_t Offset, uint32_t Size,
                                     bool Device) const;
  // Rectangles, ellipses, round rectangles, arcs, chords and pies by their
  // logical box.
  void BoxShape(double L, double T, double R, double B, int Kind, double A, double Bb, double X1,
                double Y1, double X2, double Y2);

  // Drawing.
  double PenDeviceWidth() const;
  void FillCoverage(const std::vector<TFigure> &Figures, bool Winding,
                    const std::function<void(int32_t X, int32_t Y, uint8_t Coverage)> &Pixel);
  void BlendAt(int32_t X, int32_t Y, TColor32 C, uint32_t Coverage);
  TColor32 BrushColorAt(const TfsMetafileBrush &Brush, int32_t X, int32_t Y, bool &Draw) const;
  void FillFigures(const std::vector<TFigure> &Figures, const TfsMetafileBrush &Brush,
                   bool Winding);
  void FillSolid(const std::vector<TFigure> &Figures, TColor32 Color, bool Winding);
  void StrokeFigures(const std::vector<TFigure> &Figures);
  // Into the path while one is open, else filled and stroked.
  void Draw(std::vector<TFigure> Figures, bool Fill, bool Stroke);
  void MoveTo(double X, double Y);
  // Lines on from the current position (which the caller moves).
  void LineToPoints(const std::vector<TPointD> &Points);
  void PolyDraw(const std::vector<TPointD> &Logical, std::string_view Types);
  void DrawText(double X, double Y, const std::u16string &Text, const std::vector<double> &Dx,
                uint32_t Options, const TRect *OptRect);
  void DrawDib(std::string_view Bmi, std::string_view Bits, double Dx, double Dy, double Dw,
               double Dh, double Sx, double Sy, double Sw, double Sh, uint32_t Rop, bool DibOrigin,
               bool SourceAlpha, uint8_t ConstantAlpha);
  void PatBlt(double X, double Y, double W, double H, uint32_t Rop);

  // Clipping.
  void IntersectClip(const std::vector<TFigure> &Figures, int Mode, bool Winding);
  void ResetClip();
  void RestoreClip(const TDcState &From);
  void ApplyClipBox();
  uint8_t ClipAt(int32_t X, int32_t Y) const;

  const TfsMetafile &FMetafile;
  TBitmap32 &FTarget;
  TRect FDeviceRect;
  TRect FBaseClip;
  TRect FSavedClipBox;
  double FPxPerMmX = 96 / 25.4;
  double FPxPerMmY = 96 / 25.4;
  TMatrix FFrameMap; // reference device to target (EMF)
  TMatrix FToDevice; // logical to target
  TDcState FDc;
  std::vector<TDcState> FSaved;
  std::vector<TObject> FObjects;
  std::vector<bool> FUsed; // WMF slots in use
  bool FInPath = false;
  bool FFigureOpen = false;
  std::vector<TFigure> FPath;
  std::unique_ptr<TGlyphCache> FGlyphCache;
};
