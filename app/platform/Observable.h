// Assignment of an observed model property: the value is stored, and the model's
// `changed(property)` signal is emitted only when it differs from the old value. Doubles
// compare NaN-aware (NaN equals NaN), also inside optionals and vectors. GUI thread only.
#pragma once

#include <cmath>
#include <optional>
#include <utility>
#include <vector>

template <typename T>
bool sameValue(const T& a, const T& b);

inline bool sameValue(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }
inline bool sameValue(float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); }

template <typename T>
bool sameValue(const std::optional<T>& a, const std::optional<T>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || sameValue(*a, *b);
}

template <typename T>
bool sameValue(const std::vector<T>& a, const std::vector<T>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!sameValue(a[i], b[i])) return false;
  return true;
}

template <typename T>
bool sameValue(const T& a, const T& b) {
  return a == b;
}

// Stores `value` in `field`; emits model->changed(property) and returns true when it changed.
template <typename Model, typename T, typename U>
bool assignObserved(Model* model, T& field, U&& value, typename Model::Property property) {
  const bool changed = !sameValue(field, static_cast<const T&>(value));
  field = std::forward<U>(value);
  if (changed) Q_EMIT model->changed(property);
  return changed;
}
