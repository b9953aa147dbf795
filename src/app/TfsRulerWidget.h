#pragma once

#include "engine/fsDocument.h"

#include <QWidget>

#include <functional>

// A ruler beside the document view: the top one runs along x, the left one
// along y, and the corner shows the units and cycles them when clicked.
// The document hands it the page-local millimetre at the view's edge and
// the view scale (device pixels per mm); the pointer's position is marked
// by a hair line.
class TfsRulerWidget : public QWidget, public TfsRuler {
  Q_OBJECT
public:
  enum TKind { rkTop, rkLeft, rkCorner };
  static constexpr int Thickness = 20;

  explicit TfsRulerWidget(TKind kind, QWidget *parent = nullptr);

  void SetUnits(TRulerUnit units) override;
  void SetView(float offset, float scale) override;
  // The hair line at a position along the ruler (logical pixels from the
  // view's edge); negative hides it.
  void SetHairLine(int position);

  TKind Kind() const { return FKind; }
  TRulerUnit Units() const { return FUnits; }
  float Offset() const { return FOffset; }
  float Scale() const { return FScale; }
  int HairLine() const { return FHairLine; }
  // Millimetres per unit (pixels at the nominal 96 per inch).
  static double UnitMm(TRulerUnit units);
  static QString UnitName(TRulerUnit units);

  // The corner was clicked.
  std::function<void()> OnCycleUnits;

protected:
  void paintEvent(QPaintEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;

private:
  TKind FKind;
  TRulerUnit FUnits = ruMilli;
  float FOffset = 0;
  float FScale = 1;
  int FHairLine = -1;
};
