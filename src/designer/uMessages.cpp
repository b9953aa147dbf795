#include "designer/uMessages.h"

#include "base/fsError.h"

#include <iostream>

namespace {
TMessageService *GService = nullptr;
}

void SetMessageService(TMessageService *service) {
  GService = service;
}

bool Confirm(const std::string &text) {
  if (GService)
    return GService->Confirm(text);
  std::cerr << text << '\n';
  return false;
}

void Inform(const std::string &text) {
  if (GService)
    GService->Inform(text);
  else
    std::cerr << text << '\n';
}

void Warn(const std::string &text) {
  if (GService)
    GService->Warn(text);
  else
    std::cerr << text << '\n';
}

void RaiseError(const std::string &text) {
  throw EfsError(text);
}
