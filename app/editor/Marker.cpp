#include "editor/Marker.h"

#include <QHash>

size_t std::hash<Marker>::operator()(const Marker& marker) const noexcept {
  size_t h = std::hash<quar::Uuid>{}(marker.id);
  h = h * 31 + std::hash<int64_t>{}(marker.frame);
  return h * 31 + qHash(marker.name);
}
