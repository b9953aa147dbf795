#pragma once

#include "raster/fsGR32.h"

// Stretching one bitmap's rectangle onto another's with a reconstruction
// filter. TransferStretched itself is declared beside TBitmap32.

// Raised for unusable stretch arguments: "Destination bitmap is nil or
// empty" (a blank destination), "Source rectangle is invalid".
class EBitmapTransferError : public EfsError {
public:
  using EfsError::EfsError;
};

// The filter's kernel k(x), single precision, and its radius.
float StretchKernel(TStretchFilter Filter, float X);
int32_t StretchKernelRadius(TStretchFilter Filter);

// Area averaging when shrinking opaque with sfLinear (each destination pixel
// the truncated mean of its block), otherwise a normal stretch transfer
// clipped to the destination's bounds. Nothing on blank bitmaps.
void DrawOntoAveraged(TBitmap32 &Dst, const TRect &DstRect, const TBitmap32 &Src,
                      const TRect &SrcRect, TStretchFilter Filter, TDrawMode Mode);
