// Binding<T>: a two-way binding to a value kept elsewhere (a rack slot's settings, a field of
// them, a view's own state): a getter that reads the current value and a setter that stores a
// new one. The effect editors read and write their settings only through bindings, so every
// edit is one write to whatever the binding stands for. Also percent() (a fraction shown in per
// cent) and payload() (one case of a variant). Copies share the same getter and setter; a
// binding is used on the thread that owns what it reads and writes (the GUI thread).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <variant>

template <typename T>
class Binding {
public:
  using Getter = std::function<T()>;
  using Setter = std::function<void(const T&)>;

  Binding(Getter get, Setter set) : get_(std::move(get)), set_(std::move(set)) {}

  T get() const { return get_(); }
  void set(const T& value) const { set_(value); }

  // A binding to one field: reading gives the field of the current value, writing stores the
  // current value with that field replaced (one write of the whole value).
  template <typename F, typename Record = T>
  Binding<F> field(F Record::*member) const {
    const Binding self = *this;
    return Binding<F>([self, member] { return self.get().*member; },
                      [self, member](const F& value) {
                        Record whole = self.get();
                        whole.*member = value;
                        self.set(whole);
                      });
  }

private:
  Getter get_;
  Setter set_;
};

// A fraction (nominally [0, 1]) read as per cent: reading gives the value × 100, writing x stores
// x / 100. Nothing is clamped or rounded.
inline Binding<double> percent(const Binding<double>& fraction) {
  return Binding<double>([fraction] { return fraction.get() * 100; },
                         [fraction](const double& value) { fraction.set(value / 100); });
}

// Narrows a binding to a value of type V to one case S of it. `extract` gives the case's payload
// (none for any other case), `embed` wraps a payload back into V. None when the current value is
// not that case. Otherwise the returned binding reads the payload of the current value, or, once
// the value holds another case, the payload extracted now; writing embeds the payload and stores
// it as the whole value, so a stale binding writes its own case again.
template <typename S, typename V>
std::optional<Binding<S>> payload(const Binding<V>& binding, std::function<std::optional<S>(const V&)> extract,
                                  std::function<V(const S&)> embed) {
  std::optional<S> current = extract(binding.get());
  if (!current) return std::nullopt;
  auto fallback = std::make_shared<const S>(std::move(*current));
  return Binding<S>(
      [binding, extract, fallback] {
        std::optional<S> value = extract(binding.get());
        return value ? std::move(*value) : *fallback;
      },
      [binding, embed](const S& value) { binding.set(embed(value)); });
}

// payload() over the alternative S of a std::variant.
template <typename S, typename V>
std::optional<Binding<S>> payload(const Binding<V>& binding) {
  return payload<S, V>(
      binding,
      [](const V& value) -> std::optional<S> {
        if (const S* alternative = std::get_if<S>(&value)) return *alternative;
        return std::nullopt;
      },
      [](const S& value) { return V(value); });
}
