#include "raster/fsTransform.h"

#include <cmath>
#include <numbers>

void TfsAffineTransform::Invert() {
  const double det = Determinant();
  if (det == 0 || !std::isfinite(det) || !std::isfinite(m31) || !std::isfinite(m32)) {
    m11 = m12 = m21 = m22 = m31 = m32 = 0;
    return;
  }
  const double d = 1.0 / det;
  const double a11 = d * m22;
  const double a12 = -d * m12;
  const double a21 = -d * m21;
  const double a22 = d * m11;
  const double a31 = -m31 * a11 - m32 * a21;
  const double a32 = -m31 * a12 - m32 * a22;
  m11 = a11;
  m12 = a12;
  m21 = a21;
  m22 = a22;
  m31 = a31;
  m32 = a32;
}

bool TfsAffineTransform::IsSingular() const {
  const double det = Determinant();
  return det == 0 || !std::isfinite(det) || !std::isfinite(m31) || !std::isfinite(m32);
}

void TfsAffineTransform::TransformPoint(const TFloatPoint &In, TFloatPoint &Out) const {
  double x, y;
  Transform(In.X, In.Y, x, y);
  Out = {static_cast<float>(x), static_cast<float>(y)};
}

std::unique_ptr<TfsTransform> TfsAffineTransform::Clone() const {
  auto t = std::make_unique<TfsAffineTransform>();
  t->Assign(*this);
  return t;
}

void TfsAffineTransform::Assign(const TfsAffineTransform &Source) {
  m11 = Source.m11;
  m12 = Source.m12;
  m21 = Source.m21;
  m22 = Source.m22;
  m31 = Source.m31;
  m32 = Source.m32;
}

void TfsAffineTransform::Clear() {
  Assign(TfsAffineTransform());
}

void TfsAffineTransform::Translate(double Dx, double Dy) {
  m31 += Dx;
  m32 += Dy;
}

void TfsAffineTransform::Scale(double Sx, double Sy) {
  m11 *= Sx;
  m21 *= Sx;
  m31 *= Sx;
  m12 *= Sy;
  m22 *= Sy;
  m32 *= Sy;
}

void TfsAffineTransform::Rotate(double Cx, double Cy, double Alpha) {
  const bool centred = Cx != 0 || Cy != 0;
  if (centred)
    Translate(-Cx, -Cy);
  const double a = Alpha * std::numbers::pi / 180.0;
  const double c = std::cos(a);
  const double s = std::sin(a);
  auto step = [c, s](double &x, double &y) {
    const double nx = x * c - y * s;
    y = x * s + y * c;
    x = nx;
  };
  step(m11, m12);
  step(m21, m22);
  step(m31, m32);
  if (centred)
    Translate(Cx, Cy);
}

void TfsAffineTransform::TransformPoints(TFloatPoint *Points, int32_t Count) const {
  for (int32_t i = 0; i < Count; ++i)
    TransformPoint(Points[i], Points[i]);
}
