// Redraw on read. A view draws inside an ObservationScope; every tracked model getter records
// (model, property) into the innermost open scope of the GUI thread. After drawing, the view
// hands the recorded reads to its ObservationTracker, which calls the view's invalidate
// function once, on the first later `changed(property)` of a watched model that is in the set.
// GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <set>
#include <utility>

class ObservationScope {
public:
  using Read = std::pair<const QObject*, int>;
  using ReadSet = std::set<Read>;

  ObservationScope();
  ~ObservationScope();
  ObservationScope(const ObservationScope&) = delete;
  ObservationScope& operator=(const ObservationScope&) = delete;

  // Records a read into the innermost scope; nothing when no scope is open.
  static void record(const QObject* model, int property);
  template <typename Property>
  static void record(const QObject* model, Property property) {
    record(model, static_cast<int>(property));
  }

  const ReadSet& reads() const { return reads_; }
  ReadSet takeReads() { return std::move(reads_); }

private:
  ReadSet reads_;
  ObservationScope* outer_;
};

class ObservationTracker final : public QObject {
  Q_OBJECT
public:
  explicit ObservationTracker(std::function<void()> invalidate, QObject* parent = nullptr);

  // Listens to a model's `changed(Property)` signal.
  template <typename Model>
  void watch(Model* model) {
    connect(model, &Model::changed, this,
            [this, model](typename Model::Property property) { modelChanged(model, static_cast<int>(property)); });
  }

  // The reads of the last drawing; replaces the previous set.
  void setReads(ObservationScope::ReadSet reads) { reads_ = std::move(reads); }
  const ObservationScope::ReadSet& reads() const { return reads_; }

private:
  void modelChanged(const QObject* model, int property);

  std::function<void()> invalidate_;
  ObservationScope::ReadSet reads_;
};
