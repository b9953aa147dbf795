#pragma once

#include "raster/fsGR32.h"

#include <memory>

// Point transforms that carry a shape's cached rendering onto a page: the
// forward transform maps source pixels to destination pixels.
class TfsTransform {
public:
  TfsTransform() = default;
  virtual ~TfsTransform() = default;

  virtual bool IsAffine() const { return false; }
  virtual void Invert() = 0;
  virtual void TransformPoint(const TFloatPoint &In, TFloatPoint &Out) const = 0;
  // A new transform of the same class holding the same mapping.
  virtual std::unique_ptr<TfsTransform> Clone() const = 0;
};

// (x, y) -> (m11 x + m21 y + m31, m12 x + m22 y + m32). Each operation
// applies its step after the ones already there.
class TfsAffineTransform : public TfsTransform {
public:
  double m11 = 1, m12 = 0, m21 = 0, m22 = 1, m31 = 0, m32 = 0;

  bool IsAffine() const override { return true; }
  // A singular (or non-finite) matrix has no inverse: it becomes all zeros,
  // which IsSingular reports, instead of infinities.
  void Invert() override;
  void TransformPoint(const TFloatPoint &In, TFloatPoint &Out) const override;
  std::unique_ptr<TfsTransform> Clone() const override;

  void Assign(const TfsAffineTransform &Source);
  void Clear();
  void Translate(double Dx, double Dy);
  void Scale(double Sx, double Sy);
  // Alpha in degrees about (Cx, Cy); with y pointing down a positive angle
  // turns clockwise on screen.
  void Rotate(double Cx, double Cy, double Alpha);
  void TransformPoints(TFloatPoint *Points, int32_t Count) const;
  // Double-precision form used by the sampler.
  void Transform(double X, double Y, double &OutX, double &OutY) const {
    OutX = m11 * X + m21 * Y + m31;
    OutY = m12 * X + m22 * Y + m32;
  }
  double Determinant() const { return m11 * m22 - m12 * m21; }
  bool IsSingular() const;
};
