// The document in its archive: the index of document settings, one XML
// entry per page read when first needed and written only when it changed,
// page thumbnails and the embedded fonts.
#include "engine/fsDocument.h"

#include "base/fsConvert.h"
#include "persist/fsBmpFormat.h"
#include "persist/fsImageFormats.h"
#include "persist/fsPlainXml.h"
#include "persist/fsResource.h"
#include "persist/fsResourceThread.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>

namespace {

constexpr float FileDpm = 150.0f / 25.4f;
// Thumbnail sizes a file may ask for; others read as the default, so that a
// damaged index cannot make every page render a giant picture.
constexpr int32_t MaxThumbnailSide = 1024;

std::string NumberedName(const char *format, int number) {
  char name[32];
  std::snprintf(name, sizeof name, format, number);
  return name;
}

std::string PageEntry(int number) {
  return NumberedName("Page%.4d.xml", number);
}

std::string ThumbEntry(int number) {
  return NumberedName("Thumb%.4d.bmp", number);
}

// The number in characters 5 to 8 of a "Page" entry name (0 when they are
// no number), or -1 for another name.
int PageNumberOfEntry(const std::string &name) {
  if (name.compare(0, 4, "Page") != 0)
    return -1;
  const std::string digits = name.substr(4, 4);
  if (digits.empty())
    return 0;
  int value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9')
      return 0;
    value = value * 10 + (c - '0');
  }
  return value;
}

// Work and the global resource lock held for a scope.
class TWorkScope {
public:
  explicit TWorkScope(TfsDocument &document) : FDocument(document) {
    FDocument.CheckNotWorking();
    FDocument.BeginWork(crHourGlass);
    LockResources();
  }
  ~TWorkScope() {
    UnlockResources();
    FDocument.EndWork();
  }
  TWorkScope(const TWorkScope &) = delete;
  TWorkScope &operator=(const TWorkScope &) = delete;

private:
  TfsDocument &FDocument;
};

class TLoadingScope {
public:
  explicit TLoadingScope(TfsDocument &document) : FDocument(document) { FDocument.BeginLoading(); }
  ~TLoadingScope() { FDocument.EndLoading(); }
  TLoadingScope(const TLoadingScope &) = delete;
  TLoadingScope &operator=(const TLoadingScope &) = delete;

private:
  TfsDocument &FDocument;
};

float ReadDpm(const TXmlNode &node, const char *key) {
  const float value = node.LoadFloat(key, FileDpm);
  return std::isfinite(value) && value > 0 ? value : FileDpm;
}

int32_t ReadThumbnailSide(const TXmlNode &node, const char *key, int32_t def) {
  const int32_t value = node.LoadInteger(key, def);
  return value >= 1 && value <= MaxThumbnailSide ? value : def;
}

template <class E> E ReadOrdinal(const TXmlNode &node, const char *key, int last) {
  const int32_t value = node.LoadInteger(key, 0);
  return static_cast<E>(value >= 0 && value <= last ? value : 0);
}

} // namespace

// ---------------------------------------------------------------------------
// Loading

void TfsDocument::LoadFromFile(const std::string &fileName) {
  TWorkScope work(*this);
  std::error_code error;
  if (!std::filesystem::is_regular_file(fileName, error))
    throw EfsError("Cannot find file \"" + fileName + "\"");
  New();
  if (FArchiveDirect)
    FArchive->OpenDirect(fileName);
  else
    FArchive->LoadFromFile(fileName);
  LoadFromArchive();
}

void TfsDocument::LoadFromStream(TStream &stream) {
  TWorkScope work(*this);
  New();
  FArchive->LoadFromStream(stream);
  LoadFromArchive();
}

void TfsDocument::LoadFromArchive() {
  TResourcesLock lock;
  TLoadingScope loading(*this);

  TMemoryStream indexData;
  FArchive->ReadStream("Index.xml", indexData);
  if (indexData.Size() == 0)
    throw EfsError("No index found in archive");
  indexData.SetPosition(0);
  TPlainXml index;
  index.LoadFromStream(indexData);
  if (TXmlNode *root = index.Root())
    LoadIndex(*root);

  int count = 0;
  for (int i = 0; i < FArchive->StreamCount(); ++i)
    count = std::max(count, PageNumberOfEntry(FArchive->StreamName(i)));
  // Never more pages than a document holds; entries beyond are not pages.
  count = std::min(count, MaxPageCount);

  if (FFontEmbedding && FArchive->StreamExists("Fonts.dat")) {
    try {
      TMemoryStream fonts;
      FArchive->ReadStream("Fonts.dat", fonts);
      fonts.SetPosition(0);
      FFontManager->LoadFonts(fonts);
    } catch (const std::exception &) {
      // Missing fonts fall back to the installed ones.
    }
  }

  for (int c = 0; c < count; ++c) {
    Progress(ptLoad, c + 1, count, static_cast<double>(c) / count);
    auto page = std::make_unique<TfsPage>();
    page->SetContentLoaded(false);
    if (FStoreThumbnails && FArchive->StreamExists(ThumbEntry(c + 1))) {
      try {
        TMemoryStream data;
        FArchive->ReadStream(ThumbEntry(c + 1), data);
        if (data.Size() > 0) {
          data.SetPosition(0);
          TBitmap32 thumbnail;
          ReadBmpFromStream(data, thumbnail);
          if (!thumbnail.IsBlank())
            page->SetThumbnail(&thumbnail);
        }
      } catch (const EfsError &) {
        // A damaged thumbnail is drawn again when it is needed.
      }
    }
    AddPage(std::move(page));
  }
  SetCurrentPageIndex(0);
  SetModified(false);
  Progress(ptLoad, count, count, 1);
  Repaint();
}

void TfsDocument::LoadIndex(const TXmlNode &node) {
  FHandleColor = static_cast<TColor>(static_cast<uint32_t>(node.LoadInt64("HandleColor", 0)));
  FHandleEdgeColor =
      static_cast<TColor>(static_cast<uint32_t>(node.LoadInt64("HandleEdgeColor", 0)));
  FHotzoneScrolling = ReadOrdinal<TfsHZScrollingType>(node, "HotzoneScrolling", hzsWhenMouseDown);
  FQuality = ReadOrdinal<TStretchFilter>(node, "StretchFilter", sfMitchell);
  FReadOnly = node.LoadBool("ReadOnly", false);
  FRenderDpm = ReadDpm(node, "RenderDpm");
  FViewScale = ReadDpm(node, "ScreenDpm");
  FStoreThumbnails = node.LoadBool("StoreThumbnails", true);
  FShowMargins = node.LoadBool("ShowMargins", false);
  FSnapToGrid = node.LoadBool("SnapToGrid", false);
  FStepAngle = node.LoadFloat("StepAngle", 0.0f);
  FViewStyle = ReadOrdinal<TfsViewStyleType>(node, "ViewStyle", vsNormal);
  FDefaults.PageWidth = node.LoadFloat("DefaultPageWidth", 210.0f);
  FDefaults.PageHeight = node.LoadFloat("DefaultPageHeight", 297.0f);
  FDefaults.MarginLeft = node.LoadFloat("DefaultMarginLeft", 10.0f);
  FDefaults.MarginTop = node.LoadFloat("DefaultMarginTop", 10.0f);
  FDefaults.MarginRight = node.LoadFloat("DefaultMarginRight", 10.0f);
  FDefaults.MarginBottom = node.LoadFloat("DefaultMarginBottom", 10.0f);
  FDefaults.GridSize = node.LoadFloat("DefaultGridSize", 5.0f);
  FDefaults.GridColor = node.LoadColor("DefaultGridColor", 0xFFFFC0);
  FDefaults.PageColor = node.LoadColor("DefaultPageColor", 0xFFFFFF);
  if (TXmlNode *image = node.FindChild("DefaultBgrImage")) {
    if (IsCompressedBitmap(*image)) {
      TBitmap32 picture;
      ReadCompressedBitmap(*image, picture);
      FDefaultBackground->SetBitmap(picture.IsBlank() ? nullptr : &picture);
    } else {
      FDefaultBackground->ReadFromXml(*image);
    }
  }
  FDefaults.BackgroundTiled = node.LoadBool("DefaultBgrTiled", false);
  FThumbnailWidth = ReadThumbnailSide(node, "ThumbnailWidth", 80);
  FThumbnailHeight = ReadThumbnailSide(node, "ThumbnailHeight", 60);
  FFontEmbedding = node.LoadBool("FontEmbedding", false);
  if (OnLoadAdditionalInfo)
    OnLoadAdditionalInfo(*this, const_cast<TXmlNode &>(node));
  Repaint();
}

void TfsDocument::ReadPage(int index) {
  TfsPage *page = GetPage(index);
  if (!page)
    return;
  TResourcesLock lock;
  TLoadingScope loading(*this);
  struct TRestoreCursor {
    TfsDocument &Document;
    ~TRestoreCursor() {
      // Inside a working bracket its own cursor stays.
      if (Document.Host() && !Document.IsWorking())
        Document.Host()->SetCursor(crDefault);
    }
  } restore{*this};
  // First, so that reading the page does not ask for it again.
  page->SetContentLoaded(true);
  ShowBusy();
  if (OnReadPage) {
    OnReadPage(*this, *page);
    return;
  }
  TMemoryStream data;
  FArchive->ReadStream(PageEntry(index + 1), data);
  if (data.Size() == 0)
    return;
  data.SetPosition(0);
  TPlainXml xml;
  xml.Utf8Text = false; // the reader turns it on for UTF-8 files
  xml.LoadFromStream(data);
  xml.Utf8Text = true;
  if (TXmlNode *root = xml.Root()) {
    page->LoadFromXml(root);
    page->Refresh();
  }
}

// ---------------------------------------------------------------------------
// Saving

void TfsDocument::SaveToFile(const std::string &fileName) {
  TWorkScope work(*this);
  SaveToArchive();
  FArchive->SaveToFile(fileName);
}

void TfsDocument::SaveToStream(TStream &stream) {
  TWorkScope work(*this);
  SaveToArchive();
  FArchive->SaveToStream(stream);
}

void TfsDocument::SaveToArchive() {
  TResourcesLock lock;
  if (!FArchive)
    throw EfsError("Archive does not exist");
  {
    TPlainXml index("Document");
    index.Layout = xlReadable;
    SaveIndex(*index.Root());
    TMemoryStream data;
    index.SaveToStream(data);
    data.SetPosition(0);
    FArchive->WriteStream("Index.xml", data);
  }
  if (FFontEmbedding) {
    TMemoryStream fonts;
    FFontManager->SaveFonts(fonts);
    fonts.SetPosition(0);
    FArchive->WriteStream("Fonts.dat", fonts);
  }
  const int count = PageCount();
  for (int i = 0; i < count; ++i) {
    TfsPage &page = *GetPage(i);
    // A page never read is neither modified nor missing from the archive.
    if (page.Modified() || FFullRewrite || !FArchive->StreamExists(PageEntry(i + 1)))
      SavePage(i);
    TrimResources();
  }
  Progress(ptSave, count, count, 1);
  FModified = true; // so that clearing reaches every page and shape
  SetModified(false);
  if (!FUndoPastSave)
    ClearUndo();
}

void TfsDocument::SavePage(int index) {
  TfsPage &page = *GetPage(index);
  const int count = PageCount();
  const int number = index + 1;
  TPlainXml xml("Page");
  TXmlNode &root = *xml.Root();
  root.AddAttr("Index", number);
  page.SaveToXml(root);
  Progress(ptSave, number, count, (index + 0.2) / count);
  TMemoryStream data;
  xml.SaveToStream(data);
  Progress(ptSave, number, count, (index + 0.6) / count);
  data.SetPosition(0);
  FArchive->WriteStream(PageEntry(number), data);
  Progress(ptSave, number, count, (index + 0.7) / count);
  if (!FStoreThumbnails)
    return;
  if (const TBitmap32 *thumbnail = page.GetThumbnail()) {
    TMemoryStream bmp;
    WriteBmpToStream(*thumbnail, bmp);
    bmp.SetPosition(0);
    FArchive->WriteStream(ThumbEntry(number), bmp);
  } else {
    FArchive->DeleteStream(ThumbEntry(number));
  }
}

void TfsDocument::SaveIndex(TXmlNode &node) {
  if (FHandleColor != 0)
    node.StoreHex("HandleColor", static_cast<int32_t>(FHandleColor), 8);
  if (FHandleEdgeColor != 0)
    node.StoreHex("HandleEdgeColor", static_cast<int32_t>(FHandleEdgeColor), 8);
  node.StoreInteger("HotzoneScrolling", FHotzoneScrolling, 0);
  node.StoreInteger("StretchFilter", FQuality, 0);
  node.StoreBool("ReadOnly", FReadOnly, false);
  node.StoreFloat("RenderDpm", FRenderDpm, FileDpm);
  node.StoreFloat("ScreenDpm", FViewScale, FileDpm);
  node.StoreBool("StoreThumbnails", FStoreThumbnails, true);
  node.StoreBool("ShowMargins", FShowMargins, false);
  node.StoreBool("SnapToGrid", FSnapToGrid, false);
  node.StoreFloat("StepAngle", FStepAngle, 0.0f);
  node.StoreInteger("ViewStyle", FViewStyle, 0);
  node.StoreFloat("DefaultPageWidth", FDefaults.PageWidth, 210.0f);
  node.StoreFloat("DefaultPageHeight", FDefaults.PageHeight, 297.0f);
  node.StoreFloat("DefaultMarginLeft", FDefaults.MarginLeft, 10.0f);
  node.StoreFloat("DefaultMarginTop", FDefaults.MarginTop, 10.0f);
  node.StoreFloat("DefaultMarginRight", FDefaults.MarginRight, 10.0f);
  node.StoreFloat("DefaultMarginBottom", FDefaults.MarginBottom, 10.0f);
  node.StoreFloat("DefaultGridSize", FDefaults.GridSize, 5.0f);
  node.StoreColor("DefaultGridColor", FDefaults.GridColor, 0xFFFFC0);
  node.StoreColor("DefaultPageColor", FDefaults.PageColor, 0xFFFFFF);
  if (FDefaultBackground->Level() != rlEmpty)
    FDefaultBackground->WriteToXml(*node.NewChild("DefaultBgrImage"));
  node.StoreBool("DefaultBgrTiled", FDefaults.BackgroundTiled, false);
  node.StoreInteger("ThumbnailWidth", FThumbnailWidth, 80);
  node.StoreInteger("ThumbnailHeight", FThumbnailHeight, 60);
  node.StoreBool("FontEmbedding", FFontEmbedding, false);
  if (OnSaveAdditionalInfo)
    OnSaveAdditionalInfo(*this, node);
}

void TfsDocument::Progress(TfsProgressType type, int64_t count, int64_t total, double fraction) {
  if (OnProgress)
    OnProgress(*this, type, count, total, static_cast<int>(std::lrint(fraction * 100)));
}

// ---------------------------------------------------------------------------
// Linked files

void TfsDocument::LocateFile(TfsShape &shape, std::string &fileName) {
  if (OnLocateFilename) {
    OnLocateFilename(shape, fileName);
    return;
  }
  if (!FHost)
    return;
  const std::string bare = std::filesystem::path(fileName).filename().string();
  if (!FHost->Confirm("The original file " + bare +
                      " could not be located on disk. Do you want to try and find it yourself?"))
    return;
  std::string chosen = fileName;
  if (FHost->ChoosePictureFile("Locate " + bare, OpenFilter(), chosen))
    fileName = chosen;
}

bool TfsDocument::ChoosePictureFile(const std::string &title, const std::string &filter,
                                    std::string &fileName) {
  return FHost && FHost->ChoosePictureFile(title, filter, fileName);
}

bool TfsDocument::DrawQualityIndicator(TfsShape &shape, TBitmap32 &bitmap, const TRect &square,
                                       int32_t percent) {
  return OnDrawQualityIndicator && OnDrawQualityIndicator(*this, shape, bitmap, square, percent);
}
