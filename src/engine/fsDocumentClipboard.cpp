// Taking steps back and again, and the clipboard: shapes travel as a
// "Selection" XML text of complete snapshots.
#include "engine/fsDocument.h"

#include "base/fsConvert.h"
#include "engine/fsDocumentScopes.h"
#include "persist/fsPlainXml.h"

#include <exception>

// ---------------------------------------------------------------------------
// Undo and redo

void TfsDocument::Undo() {
  CheckNotWorking();
  if (!UndoEnabled())
    return;
  SuspendUndo();
  FUndoing = true;
  auto finish = [this] {
    FUndoing = false;
    ResumeUndo();
    UndoStateChanged();
  };
  try {
    TUndoGroupScope group(*this);
    while (!FUndo.empty()) {
      std::unique_ptr<TfsCommand> command = std::move(FUndo.back());
      FUndo.pop_back();
      FUndoSize -= command->Size();
      ExecuteCommand(*command);
      if (!command->Continued)
        break;
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

void TfsDocument::Redo() {
  CheckNotWorking();
  if (!UndoEnabled())
    return;
  FRedoing = true;
  auto finish = [this] {
    FRedoing = false;
    UndoStateChanged();
  };
  try {
    TUndoGroupScope group(*this);
    while (!FRedo.empty()) {
      std::unique_ptr<TfsCommand> command = std::move(FRedo.back());
      FRedo.pop_back();
      ExecuteCommand(*command);
      if (!command->Continued)
        break;
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

bool TfsDocument::ExecuteCommand(const TfsCommand &command) {
  if (command.ShapeID == 0)
    return false;
  if (TfsPage *page = CurrentPage())
    for (int i = 0; i < page->ShapeCount(); ++i)
      if (page->GetShape(i)->ExecuteCommand(command))
        return true;
  for (auto &page : FPages)
    if (page->ExecuteCommand(command))
      return true;
  if (FHost)
    FHost->ShowMessage("Unable to execute Undo");
  return false;
}

// ---------------------------------------------------------------------------
// Clipboard

void TfsDocument::CopyToText(std::string &text) {
  text.clear();
  if (!HasSelection())
    return;
  TPlainXml xml("Selection");
  xml.Layout = xlReadable;
  TXmlNode &root = *xml.Root();
  for (int n = 0; TfsShape *shape = GetSelected(n); ++n) {
    TXmlNode &element = *root.NewChild("shape");
    element.NewChild("ClassName")->SetText(shape->ClassName());
    const std::string snapshot = shape->SaveToBlob();
    element.WriteBinary(snapshot.data(), static_cast<int64_t>(snapshot.size()));
  }
  text = xml.WriteToString();
  // Clipboard text starts with its declaration, which is what CanPaste
  // looks for: no byte order mark in front.
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
    text.erase(0, 3);
}

int TfsDocument::PasteFromText(const std::string &text) {
  TPlainXml xml;
  try {
    xml.ReadFromString(text);
  } catch (const EfsError &) {
    return 0;
  }
  TXmlNode *root = xml.Root();
  if (!root || root->Name() != "Selection" || root->ChildCount() == 0 || !CurrentPage())
    return 0;
  ClearSelection();
  int count = 0;
  for (int i = 0; i < root->ChildCount(); ++i) {
    const TXmlNode &element = *root->Child(i);
    if (element.ElementType() != xeElement || !SameText(element.Name(), "shape"))
      continue;
    std::unique_ptr<TfsShape> made = CreateShape(element.LoadString("ClassName", ""));
    TfsShape &shape = *made;
    if (AddShape(std::move(made)) < 0)
      break;
    try {
      std::string snapshot(static_cast<size_t>(element.BinaryLength()), '\0');
      element.ReadBinary(snapshot.data(), static_cast<int64_t>(snapshot.size()));
      shape.LoadFromBlob(snapshot);
    } catch (...) {
      // No half-made shape stays behind.
      RemoveShape(&shape);
      throw;
    }
    shape.Pasted();
    shape.Refresh();
    shape.SetSelected(true);
    ++count;
  }
  return count;
}

void TfsDocument::CopySelection() {
  CheckNotWorking();
  if (!HasSelection())
    return;
  TUndoGroupScope group(*this);
  std::string text;
  CopyToText(text);
  // A document without a window has no system clipboard: its copies stay
  // inside it.
  if (FUseClipboard && FHost)
    FHost->SetClipboardText(text);
  else
    FInternalClipboard = text;
  FCopySource = CurrentPage();
}

void TfsDocument::CutSelection() {
  CheckNotWorking();
  TUndoGroupScope group(*this);
  CopySelection();
  DeleteSelection();
  FCopySource = nullptr;
}

void TfsDocument::PasteSelection() {
  CheckNotWorking();
  TUndoGroupScope group(*this);
  const int count =
      PasteFromText(FUseClipboard && FHost ? FHost->ClipboardText() : FInternalClipboard);
  if (count <= 0)
    return;
  if (CurrentPage() && CurrentPage() == FCopySource) {
    for (int n = 0; TfsShape *shape = GetSelected(n); ++n) {
      TFloatPoint offset;
      shape->GetPasteOffset(offset);
      const TFloatRect box = shape->GetParentBounds(false);
      shape->MoveBoundsLeftTo(box.Left + offset.X);
      shape->MoveBoundsTopTo(box.Top + offset.Y);
    }
  }
  FCopySource = CurrentPage();
  // The next paste steps further from these copies.
  CopySelection();
}

bool TfsDocument::CanPaste() {
  if (!FUseClipboard || !FHost)
    return !FInternalClipboard.empty();
  return FHost->ClipboardText().compare(0, 5, "<?xml") == 0;
}

void TfsDocument::SetUseClipboard(bool value) {
  if (value == FUseClipboard)
    return;
  FUseClipboard = value;
  if (value)
    FInternalClipboard.clear();
}
