#pragma once

#include <stdexcept>

namespace tidewire::soup {

// A failure told to the operator on standard error, in words that say what went wrong.
class SoupError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace tidewire::soup
