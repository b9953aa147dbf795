#include "designer/BrowserLauncher.h"

#include "base/fsConvert.h"

std::string ProductPageAddress(const std::string &site, const std::string &path,
                               bool addReference) {
  std::string address = site + path;
  const std::string lower = LowerCase(address.substr(0, 8));
  if (lower.rfind("http://", 0) != 0 && lower.rfind("https://", 0) != 0)
    address = "http://" + address;
  if (addReference)
    address += "?ref=TL2";
  return address;
}
