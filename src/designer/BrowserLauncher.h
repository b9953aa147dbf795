#pragma once

#include <string>

// Opens an address in the user's web browser. The program uses the
// desktop's URL handler; tests record the address.
class TBrowserLauncher {
public:
  virtual ~TBrowserLauncher() = default;
  // False when no browser could be started.
  virtual bool OpenUrl(const std::string &address) = 0;
};

// The product's web site; the pages' paths are appended to it.
inline constexpr const char *ProductSiteAddress = "www.tallisyn.example/";

// The address of a page of the site: "http://" in front unless it begins
// with "http://" or "https://" (any case), "?ref=TL2" behind with the
// reference.
std::string ProductPageAddress(const std::string &site, const std::string &path, bool addReference);
