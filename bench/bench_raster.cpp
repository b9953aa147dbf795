// Raster speed against mature peers on identical work: antialiased polygon
// fills, stretching and the rotating map sampler, each drawn onto an opaque
// white page. Every peer's picture is compared with ours once, so that no
// side wins by skipping work. The last lines are "ratio <workload> <x>":
// our median time over the peer's.
#include "raster/fsGR32.h"
#include "raster/fsGR32_Polygons.h"
#include "raster/fsGR32_Transforms.h"
#include "raster/fsSampler.h"
#include "raster/fsTransform.h"

#include <benchmark/benchmark.h>

#ifdef HAVE_CAIRO
#include <cairo.h>
#endif
#ifdef HAVE_QT
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace {

using Contour = std::vector<std::pair<double, double>>;
struct TShape {
  std::vector<Contour> Contours;
  bool Winding = false;
};

constexpr TColor32 FillColour = 0x80205FC0; // alpha 0.5

// ---------------------------------------------------------------------------
// Shapes, centred on (c, c)

Contour Ellipse(double c, double rx, double ry, bool reverse = false) {
  const int n = std::max(16, static_cast<int>(std::max(rx, ry)));
  Contour pts;
  for (int i = 0; i < n; ++i) {
    const double a = (reverse ? -1 : 1) * 2 * std::numbers::pi * i / n;
    pts.push_back({c + rx * std::cos(a), c + ry * std::sin(a)});
  }
  return pts;
}

TShape Star10(double c, double r) {
  Contour pts;
  for (int i = 0; i < 20; ++i) {
    const double a = -std::numbers::pi / 2 + i * std::numbers::pi / 10;
    const double rr = i % 2 ? r * 0.5 : r;
    pts.push_back({c + rr * std::cos(a), c + rr * std::sin(a)});
  }
  return {{pts}, false};
}

TShape Pentagram(double c, double r, bool winding) {
  Contour pts;
  for (int i = 0; i < 5; ++i) {
    const double a = -std::numbers::pi / 2 + i * 4 * std::numbers::pi / 5;
    pts.push_back({c + r * std::cos(a), c + r * std::sin(a)});
  }
  return {{pts}, winding};
}

TShape EllipseShape(double c, double r) {
  return {{Ellipse(c, r, r * 0.7)}, false};
}

// Like a "b": a bowl with its counter, and a stem with a serif.
TShape Glyph(double c, double r) {
  TShape s;
  s.Winding = true;
  s.Contours.push_back(Ellipse(c + r * 0.15, r * 0.55, r * 0.6));
  s.Contours.push_back(Ellipse(c + r * 0.15, r * 0.3, r * 0.38, true));
  const double l = c - r * 0.55, t = c - r, w = r * 0.28;
  s.Contours.push_back({{l, t}, {l + w, t}, {l + w, c + r * 0.6}, {l, c + r * 0.6}});
  s.Contours.push_back(
      {{l - r * 0.2, t}, {l + w, t}, {l + w, t + r * 0.1}, {l - r * 0.2, t + r * 0.1}});
  return s;
}

// ---------------------------------------------------------------------------
// Pictures

struct TPage {
  int W = 0, H = 0;
  std::vector<uint32_t> Px; // $AARRGGBB, opaque
};

void WhitePage(TBitmap32 &b, int w, int h) {
  b.SetSize(w, h);
  b.FillAll(clWhite32);
}

TPage PageOf(const TBitmap32 &b) {
  TPage p{b.Width(), b.Height(), {}};
  p.Px.assign(b.Bits(), b.Bits() + b.PixelCount());
  return p;
}

// A picture with smooth gradients and some detail, opaque.
void Picture(TBitmap32 &b, int w, int h) {
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    TColor32 *row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const int r = (x * 255) / w;
      const int g = (y * 255) / h;
      const int bl = static_cast<int>(127.5 + 127.5 * std::sin(x * 0.02) * std::cos(y * 0.017));
      row[x] = Color32(r, g, bl);
    }
  }
}

std::map<std::string, TPage> Reference; // our pictures by workload
bool Mismatch = false;

void Compare(const std::string &workload, const std::string &peer, const TPage &theirs) {
  const TPage &ours = Reference[workload];
  if (ours.W != theirs.W || ours.H != theirs.H) {
    std::printf("warning: %s: %s picture has another size\n", workload.c_str(), peer.c_str());
    Mismatch = true;
    return;
  }
  double sum[3] = {0, 0, 0};
  size_t far = 0;
  for (size_t i = 0; i < ours.Px.size(); ++i) {
    int worst = 0;
    for (int l = 0; l < 3; ++l) {
      const int d = int((ours.Px[i] >> (8 * l)) & 255) - int((theirs.Px[i] >> (8 * l)) & 255);
      sum[l] += d;
      worst = std::max(worst, std::abs(d));
    }
    far += worst > 2;
  }
  const double n = static_cast<double>(ours.Px.size());
  const double meanDiff =
      std::max({std::abs(sum[0]) / n, std::abs(sum[1]) / n, std::abs(sum[2]) / n});
  // Antialiasing and filters differ at edges by design; the means may not.
  if (meanDiff > 2) {
    std::printf("warning: %s: %s differs from ours by %.2f per channel on average "
                "(%zu pixels beyond 2)\n",
                workload.c_str(), peer.c_str(), meanDiff, far);
    Mismatch = true;
  }
}

// ---------------------------------------------------------------------------
// Ours

std::unique_ptr<TPolygon32> OurPolygon(const TShape &s) {
  auto p = std::make_unique<TPolygon32>();
  p->SetSmoothed(true);
  p->SetFillRule(s.Winding ? pfWinding : pfAlternate);
  bool first = true;
  for (const Contour &c : s.Contours) {
    if (!first)
      p->StartContour();
    first = false;
    for (auto [x, y] : c)
      p->AppendPoint({Fixed(x), Fixed(y)});
  }
  return p;
}

#ifdef HAVE_CAIRO
struct TCairoPage {
  cairo_surface_t *S;
  cairo_t *C;
  TCairoPage(int w, int h) {
    S = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    C = cairo_create(S);
    cairo_set_source_rgb(C, 1, 1, 1);
    cairo_paint(C);
  }
  ~TCairoPage() {
    cairo_destroy(C);
    cairo_surface_destroy(S);
  }
  TPage Page() {
    cairo_surface_flush(S);
    TPage p{cairo_image_surface_get_width(S), cairo_image_surface_get_height(S), {}};
    const int stride = cairo_image_surface_get_stride(S);
    const unsigned char *d = cairo_image_surface_get_data(S);
    for (int y = 0; y < p.H; ++y)
      for (int x = 0; x < p.W; ++x)
        p.Px.push_back(reinterpret_cast<const uint32_t *>(d + y * stride)[x]);
    return p;
  }
};

cairo_surface_t *CairoPicture(const TBitmap32 &b) {
  cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, b.Width(), b.Height());
  const int stride = cairo_image_surface_get_stride(s);
  unsigned char *d = cairo_image_surface_get_data(s);
  for (int y = 0; y < b.Height(); ++y)
    std::memcpy(d + y * stride, b.ScanLine(y), static_cast<size_t>(b.Width()) * 4);
  cairo_surface_mark_dirty(s);
  return s;
}

void CairoFill(cairo_t *c, const TShape &s) {
  for (const Contour &ct : s.Contours) {
    cairo_move_to(c, ct[0].first, ct[0].second);
    for (size_t i = 1; i < ct.size(); ++i)
      cairo_line_to(c, ct[i].first, ct[i].second);
    cairo_close_path(c);
  }
  cairo_set_fill_rule(c, s.Winding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
  cairo_set_source_rgba(c, ((FillColour >> 16) & 255) / 255.0, ((FillColour >> 8) & 255) / 255.0,
                        (FillColour & 255) / 255.0, (FillColour >> 24) / 255.0);
  cairo_fill(c);
}
#endif

#ifdef HAVE_QT
QImage QtPage(int w, int h) {
  QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::white);
  return img;
}

TPage PageOf(const QImage &img) {
  TPage p{img.width(), img.height(), {}};
  for (int y = 0; y < img.height(); ++y) {
    const uint32_t *row = reinterpret_cast<const uint32_t *>(img.constScanLine(y));
    p.Px.insert(p.Px.end(), row, row + img.width());
  }
  return p;
}

QImage QtPicture(const TBitmap32 &b) {
  QImage img(b.Width(), b.Height(), QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < b.Height(); ++y)
    std::memcpy(img.scanLine(y), b.ScanLine(y), static_cast<size_t>(b.Width()) * 4);
  return img;
}

QPainterPath QtPath(const TShape &s) {
  QPainterPath path;
  path.setFillRule(s.Winding ? Qt::WindingFill : Qt::OddEvenFill);
  for (const Contour &ct : s.Contours) {
    path.moveTo(ct[0].first, ct[0].second);
    for (size_t i = 1; i < ct.size(); ++i)
      path.lineTo(ct[i].first, ct[i].second);
    path.closeSubpath();
  }
  return path;
}

QColor QtFillColour() {
  return QColor((FillColour >> 16) & 255, (FillColour >> 8) & 255, FillColour & 255,
                FillColour >> 24);
}
#endif

// ---------------------------------------------------------------------------
// (a) fills

struct TFillCase {
  std::string Name;
  TShape (*Make)(double c, double r);
};

const std::vector<TFillCase> &FillCases() {
  static const std::vector<TFillCase> cases = {
      {"star10", Star10},
      {"star5_evenodd", [](double c, double r) { return Pentagram(c, r, false); }},
      {"star5_nonzero", [](double c, double r) { return Pentagram(c, r, true); }},
      {"ellipse", EllipseShape},
      {"glyph", Glyph},
  };
  return cases;
}

const int Radii[] = {16, 64, 250};

void RegisterFills() {
  for (const TFillCase &fc : FillCases())
    for (int r : Radii) {
      const std::string work = "fill_" + fc.Name + "_r" + std::to_string(r);
      const int size = 2 * r + 20;
      const TShape shape = fc.Make(size / 2.0, r);
      {
        TBitmap32 page;
        WhitePage(page, size, size);
        OurPolygon(shape)->FillContours(page, FillColour);
        Reference[work] = PageOf(page);
      }
      benchmark::RegisterBenchmark((work + "/ours").c_str(), [shape, size](benchmark::State &st) {
        TBitmap32 page;
        WhitePage(page, size, size);
        auto poly = OurPolygon(shape);
        for (auto _ : st) {
          poly->FillContours(page, FillColour);
          benchmark::DoNotOptimize(page.Bits());
        }
      });
#ifdef HAVE_CAIRO
      {
        TCairoPage cp(size, size);
        CairoFill(cp.C, shape);
        Compare(work, "cairo", cp.Page());
      }
      benchmark::RegisterBenchmark((work + "/cairo").c_str(), [shape, size](benchmark::State &st) {
        TCairoPage cp(size, size);
        for (auto _ : st) {
          CairoFill(cp.C, shape);
          cairo_surface_flush(cp.S);
        }
      });
#endif
#ifdef HAVE_QT
      {
        QImage img = QtPage(size, size);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(QtPath(shape), QtFillColour());
        p.end();
        Compare(work, "qt", PageOf(img));
      }
      benchmark::RegisterBenchmark((work + "/qt").c_str(), [shape, size](benchmark::State &st) {
        QImage img = QtPage(size, size);
        const QPainterPath path = QtPath(shape);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        for (auto _ : st)
          p.fillPath(path, QtFillColour());
      });
#endif
    }
}

// ---------------------------------------------------------------------------
// (b) stretching, (c) the map sampler

TBitmap32 &BigPicture() {
  static TBitmap32 b;
  if (b.IsBlank())
    Picture(b, 4000, 3000);
  return b;
}

TBitmap32 &SmallPicture() {
  static TBitmap32 b;
  if (b.IsBlank())
    Picture(b, 1000, 750);
  return b;
}

struct TStretchCase {
  std::string Name;
  TBitmap32 &(*Source)();
  int W, H;
  int Kind; // 0 stretch with Filter, 1 area averaging
  TStretchFilter Filter;
#ifdef HAVE_CAIRO
  cairo_filter_t CairoFilter;
#endif
};

void OurStretch(const TStretchCase &sc, TBitmap32 &page) {
  TBitmap32 &src = sc.Source();
  if (sc.Kind == 1)
    DrawOntoAveraged(page, Rect(0, 0, sc.W, sc.H), src, src.BoundsRect(), sfLinear, dmOpaque);
  else
    TransferStretched(page, Rect(0, 0, sc.W, sc.H), page.BoundsRect(), src, src.BoundsRect(),
                      sc.Filter, dmOpaque, nullptr);
}

void RegisterStretches() {
  std::vector<TStretchCase> cases = {
#ifdef HAVE_CAIRO
      {"stretch_half_linear", BigPicture, 2000, 1500, 0, sfLinear, CAIRO_FILTER_GOOD},
      {"stretch_quarter_average", BigPicture, 1000, 750, 1, sfLinear, CAIRO_FILTER_GOOD},
      {"stretch_half_lanczos", BigPicture, 2000, 1500, 0, sfLanczos, CAIRO_FILTER_BEST},
      {"stretch_enlarge4_linear", SmallPicture, 4000, 3000, 0, sfLinear, CAIRO_FILTER_BILINEAR},
#else
      {"stretch_half_linear", BigPicture, 2000, 1500, 0, sfLinear},
      {"stretch_quarter_average", BigPicture, 1000, 750, 1, sfLinear},
      {"stretch_half_lanczos", BigPicture, 2000, 1500, 0, sfLanczos},
      {"stretch_enlarge4_linear", SmallPicture, 4000, 3000, 0, sfLinear},
#endif
  };
  for (const TStretchCase &sc : cases) {
    {
      TBitmap32 page;
      WhitePage(page, sc.W, sc.H);
      OurStretch(sc, page);
      Reference[sc.Name] = PageOf(page);
    }
    benchmark::RegisterBenchmark((sc.Name + "/ours").c_str(), [sc](benchmark::State &st) {
      TBitmap32 page;
      WhitePage(page, sc.W, sc.H);
      for (auto _ : st)
        OurStretch(sc, page);
    })->Unit(benchmark::kMillisecond);
#ifdef HAVE_CAIRO
    auto cairoDraw = [sc](TCairoPage &cp, cairo_surface_t *src) {
      cairo_save(cp.C);
      cairo_scale(cp.C, double(sc.W) / sc.Source().Width(), double(sc.H) / sc.Source().Height());
      cairo_set_source_surface(cp.C, src, 0, 0);
      cairo_pattern_set_filter(cairo_get_source(cp.C), sc.CairoFilter);
      cairo_pattern_set_extend(cairo_get_source(cp.C), CAIRO_EXTEND_PAD);
      cairo_set_operator(cp.C, CAIRO_OPERATOR_SOURCE);
      cairo_paint(cp.C);
      cairo_restore(cp.C);
      cairo_surface_flush(cp.S);
    };
    {
      TCairoPage cp(sc.W, sc.H);
      cairo_surface_t *src = CairoPicture(sc.Source());
      cairoDraw(cp, src);
      cairo_surface_destroy(src);
      Compare(sc.Name, "cairo", cp.Page());
    }
    benchmark::RegisterBenchmark((sc.Name + "/cairo").c_str(), [sc,
                                                                cairoDraw](benchmark::State &st) {
      TCairoPage cp(sc.W, sc.H);
      cairo_surface_t *src = CairoPicture(sc.Source());
      for (auto _ : st)
        cairoDraw(cp, src);
      cairo_surface_destroy(src);
    })->Unit(benchmark::kMillisecond);
#endif
#ifdef HAVE_QT
    {
      const QImage src = QtPicture(sc.Source());
      const QImage out = src.scaled(sc.W, sc.H, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
      Compare(sc.Name, "qt", PageOf(out));
    }
    benchmark::RegisterBenchmark((sc.Name + "/qt").c_str(), [sc](benchmark::State &st) {
      const QImage src = QtPicture(sc.Source());
      for (auto _ : st) {
        QImage out = src.scaled(sc.W, sc.H, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        benchmark::DoNotOptimize(out.constBits());
      }
    })->Unit(benchmark::kMillisecond);
#endif
  }
}

constexpr int RotPage = 1400;
constexpr double RotAngle = 30;

void OurRotate(TfsMapSampler &s) {
  s.Draw(FloatRect(0, 0, 1000, 1000));
}

void RegisterSampler() {
  static TBitmap32 src;
  Picture(src, 1000, 1000);
  auto setup = [](TfsAffineTransform &t) {
    t.Rotate(500, 500, RotAngle);
    t.Translate(200, 200);
  };
  const std::string work = "sampler_rotate30";
  {
    TBitmap32 page;
    WhitePage(page, RotPage, RotPage);
    TfsAffineTransform t;
    setup(t);
    TfsMapSampler s;
    s.SetSource(&src);
    s.SetDestination(&page);
    s.SetTransform(&t);
    OurRotate(s);
    Reference[work] = PageOf(page);
  }
  benchmark::RegisterBenchmark((work + "/ours").c_str(), [setup](benchmark::State &st) {
    TBitmap32 page;
    WhitePage(page, RotPage, RotPage);
    TfsAffineTransform t;
    setup(t);
    TfsMapSampler s;
    s.SetSource(&src);
    s.SetDestination(&page);
    s.SetTransform(&t);
    for (auto _ : st)
      OurRotate(s);
  })->Unit(benchmark::kMillisecond);
#ifdef HAVE_CAIRO
  auto cairoDraw = [](TCairoPage &cp, cairo_surface_t *s) {
    cairo_save(cp.C);
    cairo_translate(cp.C, 700, 700);
    cairo_rotate(cp.C, RotAngle * std::numbers::pi / 180);
    cairo_translate(cp.C, -500, -500);
    cairo_set_source_surface(cp.C, s, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cp.C), CAIRO_FILTER_GOOD);
    cairo_paint(cp.C);
    cairo_restore(cp.C);
    cairo_surface_flush(cp.S);
  };
  {
    TCairoPage cp(RotPage, RotPage);
    cairo_surface_t *s = CairoPicture(src);
    cairoDraw(cp, s);
    cairo_surface_destroy(s);
    Compare(work, "cairo", cp.Page());
  }
  benchmark::RegisterBenchmark((work + "/cairo").c_str(), [cairoDraw](benchmark::State &st) {
    TCairoPage cp(RotPage, RotPage);
    cairo_surface_t *s = CairoPicture(src);
    for (auto _ : st)
      cairoDraw(cp, s);
    cairo_surface_destroy(s);
  })->Unit(benchmark::kMillisecond);
#endif
#ifdef HAVE_QT
  auto qtDraw = [](QImage &page, const QImage &img) {
    QPainter p(&page);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(700, 700);
    p.rotate(RotAngle);
    p.translate(-500, -500);
    p.drawImage(0, 0, img);
  };
  {
    QImage page = QtPage(RotPage, RotPage);
    qtDraw(page, QtPicture(src));
    Compare(work, "qt", PageOf(page));
  }
  benchmark::RegisterBenchmark((work + "/qt").c_str(), [qtDraw](benchmark::State &st) {
    QImage page = QtPage(RotPage, RotPage);
    const QImage img = QtPicture(src);
    for (auto _ : st)
      qtDraw(page, img);
  })->Unit(benchmark::kMillisecond);
#endif
}

// Keeps the console output and remembers each benchmark's median (or its
// only run).
class TMedianReporter : public benchmark::ConsoleReporter {
public:
  std::map<std::string, double> Median;
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &r : runs) {
      const std::string name = r.run_name.str();
      if (r.run_type == Run::RT_Aggregate) {
        if (r.aggregate_name == "median")
          Median[name] = r.GetAdjustedRealTime();
      } else if (!Median.count(name) || !Aggregated.count(name)) {
        Median[name] = r.GetAdjustedRealTime();
      }
      if (r.run_type == Run::RT_Aggregate)
        Aggregated[name] = true;
    }
  }

private:
  std::map<std::string, bool> Aggregated;
};

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  RegisterFills();
  RegisterStretches();
  RegisterSampler();
  TMedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  // The console reporter leaves a colour reset at the start of the next
  // line; the ratio lines must begin the line.
  std::printf("\n");
  if (Mismatch)
    std::printf("warning: some peer pictures differ from ours (see above)\n");
  // One line per workload against its peer: cairo where there is one, the
  // better of cairo and Qt for stretching, and Qt as well for the sampler.
  std::map<std::string, std::map<std::string, double>> byWork;
  for (const auto &[name, t] : reporter.Median) {
    const auto slash = name.rfind('/');
    if (slash != std::string::npos)
      byWork[name.substr(0, slash)][name.substr(slash + 1)] = t;
  }
  for (const auto &[work, times] : byWork) {
    if (!times.count("ours"))
      continue;
    const double ours = times.at("ours");
    const bool stretch = work.rfind("stretch_", 0) == 0;
    double peer = 0;
    if (stretch) {
      for (const char *p : {"cairo", "qt"})
        if (times.count(p) && (peer == 0 || times.at(p) < peer))
          peer = times.at(p);
    } else if (times.count("cairo")) {
      peer = times.at("cairo");
    } else if (times.count("qt")) {
      peer = times.at("qt");
    }
    if (peer > 0)
      std::printf("ratio %s %.3f\n", work.c_str(), ours / peer);
    if (work.rfind("sampler_", 0) == 0 && times.count("qt"))
      std::printf("ratio %s_qt %.3f\n", work.c_str(), ours / times.at("qt"));
  }
  return 0;
}
