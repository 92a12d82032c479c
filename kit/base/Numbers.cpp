#include "base/Numbers.h"

#include <charconv>
#include <cstdlib>

namespace quar {

std::string formatDouble(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  if (value == 0) return std::signbit(value) ? "-0.0" : "0.0";

  // Shortest round-trip digits in scientific form: [-]d[.ddd]e[+-]xx
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  std::string scientific(buffer, result.ptr);
  const bool negative = scientific[0] == '-';
  const auto ePos = scientific.find('e');
  std::string mantissa = scientific.substr(negative ? 1 : 0, ePos - (negative ? 1 : 0));
  const int exponent = std::atoi(scientific.c_str() + ePos + 1);
  std::string digits;
  for (char c : mantissa)
    if (c != '.') digits += c;

  std::string text = negative ? "-" : "";
  if (exponent < -4 || exponent >= 16) {
    text += digits.substr(0, 1);
    if (digits.size() > 1) text += "." + digits.substr(1);
    char exp[16];
    std::snprintf(exp, sizeof exp, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    return text + exp;
  }
  if (exponent < 0) return text + "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
  const auto integerDigits = static_cast<size_t>(exponent + 1);
  if (digits.size() <= integerDigits) return text + digits + std::string(integerDigits - digits.size(), '0') + ".0";
  return text + digits.substr(0, integerDigits) + "." + digits.substr(integerDigits);
}

} // namespace quar
