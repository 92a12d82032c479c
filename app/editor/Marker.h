// Marker: a named position in the document, in frames. Its id stays when it moves or is
// renamed. Plain value.
#pragma once

#include <cstdint>
#include <functional>

#include <QString>

#include "base/Uuid.h"

struct Marker {
  quar::Uuid id;  // stays when the marker moves or is renamed
  int64_t frame = 0;
  QString name;

  bool operator==(const Marker&) const = default;
};

template <>
struct std::hash<Marker> {
  size_t operator()(const Marker& marker) const noexcept;
};
