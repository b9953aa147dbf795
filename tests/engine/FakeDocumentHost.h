#pragma once

#include "engine/fsHost.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A window for a document under test: it remembers what it was asked and
// answers questions with what the test put in.
class TFakeDocumentHost : public TfsDocumentHost {
public:
  void Repaint(const TRect &screenRect) override { Repaints.push_back(screenRect); }
  void RepaintAll() override { ++RepaintAlls; }
  void SetCursor(int16_t cursor) override { Cursors.push_back(cursor); }
  void StartTimer(TfsTimer timer, int32_t intervalMs) override { Timers[timer] = intervalMs; }
  void StopTimer(TfsTimer timer) override { Timers.erase(timer); }
  void ShowMessage(const std::string &text) override { Messages.push_back(text); }
  bool Confirm(const std::string &text) override {
    Questions.push_back(text);
    return ConfirmAnswer;
  }
  int PopupMenu(const TPoint &, const std::vector<std::string> &items) override {
    Menus.push_back(items);
    return MenuChoice;
  }
  std::string ClipboardText() override { return Clipboard; }
  void SetClipboardText(const std::string &text) override { Clipboard = text; }
  void ProcessMessages() override { ++MessageLoops; }
  void BeginDragDrop() override { ++DragDrops; }
  void ShowHint(const std::string &text, const TPoint &) override { Hints.push_back(text); }
  TSize ClientSize() const override { return Client; }

  int16_t LastCursor() const { return Cursors.empty() ? int16_t(crDefault) : Cursors.back(); }

  std::vector<TRect> Repaints;
  int RepaintAlls = 0;
  std::vector<int16_t> Cursors;
  std::map<TfsTimer, int32_t> Timers;
  std::vector<std::string> Messages;
  std::vector<std::string> Questions;
  bool ConfirmAnswer = false;
  std::vector<std::vector<std::string>> Menus;
  int MenuChoice = -1;
  std::string Clipboard;
  int MessageLoops = 0;
  int DragDrops = 0;
  std::vector<std::string> Hints;
  TSize Client{800, 600};
};
