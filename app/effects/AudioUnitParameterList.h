// AudioUnitParameterList: the generic editor of a hosted LV2 plug-in: one row per writable
// parameter (a menu for an enumeration that names its values, a check box for a toggle, else a
// slider over the parameter's range), at most 12 rows until "Show all N parameters" is pressed,
// and with 13 or more a filter on name or symbol. The parameters are read from the plug-in
// each time the list is shown, which also empties the filter and collapses a long list again;
// a row writes only the user's changes, always finite, to the main instance and its clones. GUI
// thread (the plug-in's control thread).
#pragma once

#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

#include "au/AUParameterInfo.h"
#include "au/AudioUnitEffect.h"

class LinkButton;
class QLabel;
class QLineEdit;
class QVBoxLayout;

class AudioUnitParameterList final : public QWidget {
  Q_OBJECT
public:
  // Rows shown before "Show all".
  static constexpr size_t collapsedRows = 12;

  explicit AudioUnitParameterList(std::shared_ptr<quar::AudioUnitEffect> effect, QWidget* parent = nullptr);

  // The addresses of the rows shown: the writable parameters in order, those whose name or
  // symbol contains the filter text (ignoring case) when there is one, and only the first 12
  // of 13 or more without a filter unless showing all.
  static std::vector<uint64_t> visible(const std::vector<quar::AUParameterInfo>& parameters, const QString& filter,
                                       bool showAll);
  // "Show fewer", or "Show all 13 parameters".
  static QString showAllTitle(bool showAll, size_t writableCount);

protected:
  void showEvent(QShowEvent* event) override;

private:
  // Reads the plug-in's parameters and makes their rows.
  void load();
  void updateRows();

  std::shared_ptr<quar::AudioUnitEffect> effect_;
  std::vector<quar::AUParameterInfo> parameters_;
  bool showAll_ = false;
  QLineEdit* filter_;
  QVBoxLayout* rows_;
  std::vector<QWidget*> rowWidgets_;  // one per writable parameter, in order
  LinkButton* showAllButton_;
  QLabel* empty_;
};
