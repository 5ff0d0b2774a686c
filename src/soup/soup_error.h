#pragma once

#include <stdexcept>

namespace tidewire::soup {

// A failure told to the operator on standard error, in words that say what went wrong.
class SoupError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A message over the size any fetch takes: it is skipped. `in_step` tells whether the session
// is still in step with the server (the rest of the message was read past), so it can go on.
class MessageTooLarge : public SoupError {
 public:
  MessageTooLarge(const std::string& what, bool in_step) : SoupError(what), in_step_(in_step) {}
  [[nodiscard]] bool in_step() const { return in_step_; }

 private:
  bool in_step_;
};

}  // namespace tidewire::soup
