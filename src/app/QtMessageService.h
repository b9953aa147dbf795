#pragma once

#include "designer/uMessages.h"

// The program's message boxes, parented to the active window.
class TQtMessageService : public TMessageService {
public:
  bool Confirm(const std::string &text) override;
  void Inform(const std::string &text) override;
  void Warn(const std::string &text) override;
};
