#pragma once

#include <stdexcept>

namespace tidewire::formats {

// A file that breaks its format; what() says where, in the operator's words.
class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace tidewire::formats
