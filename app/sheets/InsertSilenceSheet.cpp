#include "sheets/InsertSilenceSheet.h"

#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>

#include <cmath>

#include "base/Numbers.h"
#include "editor/EditorModel.h"
#include "platform/ObservedRefresh.h"

namespace {

// A length in seconds with up to three decimals in the user's locale ("1", "0.5", "0.001"),
// stepped by half a second and held to the sheet's range.
class SecondsField final : public QDoubleSpinBox {
public:
  explicit SecondsField(QWidget* parent) : QDoubleSpinBox(parent) {
    setObjectName(QStringLiteral("secondsField"));
    setAccessibleName(QStringLiteral("Seconds"));
    setDecimals(3);
    setRange(InsertSilenceSheet::minSeconds, InsertSilenceSheet::maxSeconds);
    setSingleStep(0.5);
    setValue(1.0);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setFixedWidth(100);
  }

  QString textFromValue(double value) const override {
    QString text = locale().toString(value, 'f', 3);
    const QString point = locale().decimalPoint();
    if (text.contains(point)) {
      while (text.endsWith(QLatin1Char('0'))) text.chop(1);
      if (text.endsWith(point)) text.chop(point.size());
    }
    return text;
  }
};

} // namespace

InsertSilenceSheet::InsertSilenceSheet(EditorModel& model, QWidget* window)
    : SheetContainer(QStringLiteral("Insert Silence"), QStringLiteral("Insert"), window), model_(model),
      seconds_(new SecondsField(this)) {
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(QStringLiteral("Duration"), this));
  row->addWidget(seconds_);
  row->addWidget(new QLabel(QStringLiteral("Seconds"), this));
  row->addStretch(1);
  addContent(row);
  QLabel* note = addNote(QString());
  note->setObjectName(QStringLiteral("placeNote"));
  auto* place = new ObservedRefresh(
      [this, note] {
        note->setText(QStringLiteral("Inserted at the ") +
                      (model_.selection() ? QStringLiteral("start of the selection") : QStringLiteral("cursor")) +
                      QLatin1Char('.'));
      },
      note);
  place->watch(&model_);
  place->run();
}

double InsertSilenceSheet::seconds() const { return seconds_->value(); }

int64_t InsertSilenceSheet::frames(double seconds, double sampleRate) {
  const double frames = std::trunc(seconds * sampleRate);
  return frames >= 0 && quar::fitsInt64(frames) ? static_cast<int64_t>(frames) : 0;
}

void InsertSilenceSheet::apply() { model_.insertSilence(frames(seconds(), model_.content().sampleRate())); }
