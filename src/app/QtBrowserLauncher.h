#pragma once

#include "designer/BrowserLauncher.h"

// The desktop's URL handler (xdg-open and its kin) opens the address.
class TQtBrowserLauncher : public TBrowserLauncher {
public:
  bool OpenUrl(const std::string &address) override;
};
