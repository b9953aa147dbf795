#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/fsInput.h"

class TfsDocumentHost;

// The editing model of one line of text while a shape is edited in place:
// caret, selection, case conversion and the clipboard.
class TfsLineEdit {
public:
  enum TCaseMode : uint8_t { cmNormal, cmUpper, cmLower };

  // Without a host the clipboard is one kept here.
  explicit TfsLineEdit(TfsDocumentHost *host = nullptr) : FHost(host) {}

  int32_t CaretPos = 0;
  uint8_t CaseMode = cmNormal;
  int32_t MaxLength = 0;
  int32_t SelLength = 0;
  int32_t SelStart = 0;
  const std::u16string &Text() const { return FText; }
  // Replaces a different text, the caret at its end; OnChange in any case.
  void SetText(const std::u16string &text);

  void Insert(std::u16string s);
  void KeyDown(uint16_t key, TShiftState shift);
  void KeyPress(char16_t key);
  void SelectAll();
  // Clamps everything to the text, then OnChange.
  void Normalise();

  // May move the caret differently (multi-line editors): the new position.
  std::function<int32_t(TfsLineEdit &Sender, int32_t Position, uint16_t Key)> OnMoveCaret;
  std::function<void(TfsLineEdit &Sender)> OnChange;

private:
  void DeleteSelection();
  std::string Clipboard() const;
  void SetClipboard(const std::string &text);

  TfsDocumentHost *FHost;
  std::u16string FText;
  std::string FOwnClipboard;
};
