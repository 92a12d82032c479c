// PlatformError: a failure reported by a plug-in unit or the component layer, carrying a
// user-facing description (a whole sentence) and a numeric status code. Plain value; safe on any thread.
#pragma once

#include <exception>
#include <string>

#include "au/platform/AudioTypes.h"

namespace quar {

class PlatformError : public std::exception {
public:
  PlatformError(AUStatus code, std::string description) : code_(code), description_(std::move(description)) {}

  AUStatus code() const { return code_; }
  const std::string& localizedDescription() const { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

private:
  AUStatus code_;
  std::string description_;
};

} // namespace quar
