#include "support/FixedText.h"

#include <array>
#include <charconv>

QString fixedText(double value, int decimals) {
  std::array<char, 400> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, decimals);
  return result.ec == std::errc() ? QString::fromLatin1(text.data(), result.ptr - text.data()) : QString();
}
