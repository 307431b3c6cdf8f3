// The error that the media device's Open and pause toggle throw; its text is shown to the user.
#pragma once

#include <stdexcept>

namespace melodrift {

class MediaError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace melodrift
