// fixedText: a number with a fixed count of decimals, as C's printf "%.Nf" writes it in the C
// locale: correctly rounded, an exact tie to even ("98.25" with one decimal is "98.2", where
// QString::asprintf rounds it up), "." as the decimal point whatever the user's locale.
// Pure function.
#pragma once

#include <QString>

QString fixedText(double value, int decimals);
