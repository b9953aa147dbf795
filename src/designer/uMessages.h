#pragma once

#include <string>

// The message boxes of the program, behind an interface so that the model
// can ask and tell without a window system. The application installs the
// message-box implementation; tests install a recorder.
class TMessageService {
public:
  virtual ~TMessageService() = default;
  virtual bool Confirm(const std::string &text) = 0; // Yes/No; true for Yes
  virtual void Inform(const std::string &text) = 0;
  virtual void Warn(const std::string &text) = 0;
};

// Not owned. Without a service, confirmations answer No and messages go to
// the standard error stream.
void SetMessageService(TMessageService *service);

bool Confirm(const std::string &text);
void Inform(const std::string &text);
void Warn(const std::string &text);
[[noreturn]] void RaiseError(const std::string &text);
