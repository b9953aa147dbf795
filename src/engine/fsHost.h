#pragma once

#include "base/fsGeometry.h"

#include <cstdint>
#include <string>
#include <vector>

// Cursor identifiers, as the platform numbers its standard cursors.
enum TfsCursor : int16_t {
  crDefault = 0,
  crNone = -1,
  crArrow = -2,
  crCross = -3,
  crIBeam = -4,
  crSizeNESW = -6,
  crSizeNS = -7,
  crSizeNWSE = -8,
  crSizeWE = -9,
  crUpArrow = -10,
  crHourGlass = -11,
  crDrag = -12,
  crNoDrop = -13,
  crHSplit = -14,
  crVSplit = -15,
  crMultiDrag = -16,
  crSQLWait = -17,
  crNo = -18,
  crAppStart = -19,
  crHelp = -20,
  crHandPoint = -21,
  crSizeAll = -22,
  // The program's own cursors.
  crRotation = -30,
  crSizeCopy = -31,
  crFsCross = -32,
  crFsCrossLine = -33,
  crFsCrossArrow = -34,
  crFsCrossRectangle = -35,
  crFsCrossEllipse = -36,
  crFsCrossText = -37,
  crFsCrossImage = -38,
};

// Timers a document asks its window for.
enum TfsTimer : uint8_t { tmAnimation = 0, tmHint = 1, tmHotZone = 2 };

// What only a window can do for a document: repaint, cursors, timers,
// messages, the clipboard. The window that shows a document implements it
// and hands it over when the document is made; a document without a window
// (the browser's preview renderer, the command-line tool, tests) has none,
// and then these requests are simply not made.
class TfsDocumentHost {
public:
  virtual ~TfsDocumentHost() = default;

  // A rectangle of the view, in screen pixels, must be painted again.
  virtual void Repaint(const TRect &screenRect) = 0;
  virtual void RepaintAll() = 0;
  virtual void SetCursor(int16_t cursor) = 0;
  // The host calls the document's TimerTick(timer) every interval ms.
  virtual void StartTimer(TfsTimer timer, int32_t intervalMs) = 0;
  virtual void StopTimer(TfsTimer timer) = 0;
  virtual void ShowMessage(const std::string &text) = 0;
  // Yes (true) or No.
  virtual bool Confirm(const std::string &text) = 0;
  // Shows a context menu at a screen point and waits; the index of the
  // item chosen, or -1 when the menu was closed without a choice.
  virtual int PopupMenu(const TPoint &screenPoint, const std::vector<std::string> &items) = 0;
  virtual std::string ClipboardText() = 0;
  virtual void SetClipboardText(const std::string &text) = 0;
  // The view's content moved by (dx, dy) pixels; a window that cannot move
  // its pixels paints everything again.
  virtual void ScrollView(int32_t dx, int32_t dy) {
    (void)dx, (void)dy;
    RepaintAll();
  }
  // The document's scroll-bar values changed (the window reads them from
  // the document).
  virtual void ScrollBarsChanged() {}
  // Lets the window handle pending events inside long loops.
  virtual void ProcessMessages() {}
  // A moved selection left the window: the platform's drag and drop of
  // the control starts.
  virtual void BeginDragDrop() {}
  // A hint window with the text at a client point; hidden again by
  // HideHint.
  virtual void ShowHint(const std::string &text, const TPoint &clientPoint) {
    (void)text, (void)clientPoint;
  }
  virtual void HideHint() {}
  // The window's client size in pixels, for the hot zones along its edges.
  virtual TSize ClientSize() const { return {0, 0}; }
  // The document's undo state changed: whether Undo and Redo have anything
  // to do and whether the document is unmodified, so that the window keeps
  // its actions current without polling.
  virtual void UndoStateChanged(bool canUndo, bool canRedo, bool clean) {
    (void)canUndo, (void)canRedo, (void)clean;
  }
  // An open-picture dialog with its title, the file filter and the name as
  // its initial file; true with the chosen file in fileName when the user
  // confirmed.
  virtual bool ChoosePictureFile(const std::string &title, const std::string &filter,
                                 std::string &fileName) {
    (void)title, (void)filter, (void)fileName;
    return false;
  }
};
