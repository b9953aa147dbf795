#include "engine/fsLineEdit.h"

#include "base/fsUtf.h"
#include "engine/fsHost.h"

#include <algorithm>

namespace {

char16_t ConvertCase(char16_t c, uint8_t mode) {
  // ASCII and Latin-1 letters; others stay as typed.
  if (mode == TfsLineEdit::cmUpper) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
      return static_cast<char16_t>(c - 0x20);
  } else if (mode == TfsLineEdit::cmLower) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
      return static_cast<char16_t>(c + 0x20);
  }
  return c;
}

} // namespace

void TfsLineEdit::Normalise() {
  if (MaxLength > 0 && int64_t(FText.size()) > MaxLength)
    FText.resize(static_cast<size_t>(MaxLength));
  const int32_t length = static_cast<int32_t>(FText.size());
  CaretPos = std::clamp(CaretPos, 0, length);
  SelStart = std::clamp(SelStart, 0, length);
  SelLength = std::clamp(SelLength, 0, length - SelStart);
  if (OnChange)
    OnChange(*this);
}

void TfsLineEdit::SetText(const std::u16string &text) {
  if (text != FText) {
    FText = text;
    CaretPos = static_cast<int32_t>(FText.size());
    SelLength = 0;
  }
  Normalise();
}

void TfsLineEdit::Insert(std::u16string s) {
  for (char16_t &c : s)
    c = ConvertCase(c, CaseMode);
  if (SelLength > 0) {
    FText.replace(static_cast<size_t>(SelStart), static_cast<size_t>(SelLength), s);
    CaretPos = SelStart + static_cast<int32_t>(s.size());
    SelLength = 0;
  } else {
    const size_t at = static_cast<size_t>(std::clamp(CaretPos, 0, int32_t(FText.size())));
    FText.insert(at, s);
    CaretPos = static_cast<int32_t>(at + s.size());
  }
  Normalise();
}

void TfsLineEdit::DeleteSelection() {
  FText.erase(static_cast<size_t>(SelStart), static_cast<size_t>(SelLength));
  CaretPos = SelStart;
  SelLength = 0;
}

void TfsLineEdit::KeyDown(uint16_t key, TShiftState shift) {
  switch (key) {
  case vkBack:
  case vkDelete:
    if (SelLength > 0) {
      DeleteSelection();
    } else if (key == vkBack && CaretPos > 0) {
      FText.erase(static_cast<size_t>(CaretPos - 1), 1);
      --CaretPos;
    } else if (key == vkDelete && CaretPos < int32_t(FText.size())) {
      FText.erase(static_cast<size_t>(CaretPos), 1);
    }
    Normalise();
    return;
  case vkReturn:
    Insert(u"\r\n");
    return;
  case vkEnd:
  case vkHome:
  case vkLeft:
  case vkUp:
  case vkRight:
  case vkDown: {
    const int32_t old = CaretPos;
    int32_t pos;
    if (OnMoveCaret)
      pos = OnMoveCaret(*this, CaretPos, key);
    else if (key == vkEnd)
      pos = static_cast<int32_t>(FText.size());
    else if (key == vkHome)
      pos = 0;
    else if (key == vkLeft || key == vkUp)
      pos = CaretPos - 1;
    else
      pos = CaretPos + 1;
    CaretPos = std::clamp(pos, 0, int32_t(FText.size()));
    if (shift & ssShift) {
      // The end at the old caret stays; the other follows the caret.
      if (SelLength == 0)
        SelStart = old;
      const int32_t anchor = old == SelStart ? SelStart + SelLength : SelStart;
      SelStart = std::min(anchor, CaretPos);
      SelLength = std::abs(anchor - CaretPos);
    } else {
      SelLength = 0;
    }
    Normalise();
    return;
  }
  default:
    return;
  }
}

void TfsLineEdit::KeyPress(char16_t key) {
  switch (key) {
  case CtrlC:
    if (SelLength > 0)
      SetClipboard(Utf16ToUtf8(FText.substr(size_t(SelStart), size_t(SelLength))));
    return;
  case CtrlV:
    Insert(Utf8ToUtf16(Clipboard()));
    return;
  case CtrlX:
    if (SelLength > 0) {
      SetClipboard(Utf16ToUtf8(FText.substr(size_t(SelStart), size_t(SelLength))));
      CaretPos -= SelLength;
      DeleteSelection();
      Normalise();
    }
    return;
  default:
    if (key >= 32)
      Insert(std::u16string(1, key));
  }
}

void TfsLineEdit::SelectAll() {
  CaretPos = static_cast<int32_t>(FText.size());
  SelStart = 0;
  SelLength = CaretPos;
  Normalise();
}

std::string TfsLineEdit::Clipboard() const {
  return FHost ? FHost->ClipboardText() : FOwnClipboard;
}

void TfsLineEdit::SetClipboard(const std::string &text) {
  if (FHost)
    FHost->SetClipboardText(text);
  else
    FOwnClipboard = text;
}
