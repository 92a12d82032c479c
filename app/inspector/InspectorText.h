// InspectorText: the number texts of the inspector's panels: fixed decimals as printf writes
// them, loudness (LUFS) and levels (dB) with their floors, linear levels and DC offsets of the
// signal statistics, and whole numbers by truncation. Pure functions; no value, however large
// or non-finite, is converted to an integer type.
#pragma once

#include <QString>

namespace InspectorText {

// An en dash and the infinity sign: a level at or below its floor, or not finite.
inline const QString minusInfinity = QStringLiteral("–∞");
// An en dash alone: a value not measured yet.
inline const QString notMeasured = QStringLiteral("–");

// printf's "%.Nf" and "%+.Nf".
QString fixed(double value, int decimals);
QString signedFixed(double value, int decimals);
// LUFS: "%.1f" when finite and above −100, else "–∞".
QString loudness(double lufs);
// dBTP or dBFS: "%.1f" when finite and above −140, else "–∞".
QString level(double db);
// A linear peak or RMS value x as dBFS: 20·log10(x) held at −144 at least, then as level();
// "–∞" for x <= 0 or not a number.
QString linearLevel(double x);
// A linear mean as a percentage of full scale, "%.4f%%"; "–" when not finite.
QString dcOffset(double mean);
// The value truncated toward zero, without grouping ("-23" for −23.5, "0" for −0.4).
QString wholeNumber(double value);

} // namespace InspectorText
