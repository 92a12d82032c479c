// Helpers of the sheets' tests: a model over a tone with an undo manager (EditorModelFixture),
// showing a sheet as the active window, pressing keys where the focus is, reading a sheet's
// labels and saving its picture in the build folder.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "editor/EditorModelFixture.h"
#include "effects/EditorTestSupport.h"
#include "sheets/SheetContainer.h"

class SheetTest : public EditorModelFixture {
protected:
  // Opens the sheet as the active window; it deletes itself when closed.
  template <typename Sheet>
  QPointer<Sheet> present(Sheet* sheet) {
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->open();
    QApplication::setActiveWindow(sheet);
    EXPECT_TRUE(QTest::qWaitForWindowActive(sheet));
    return sheet;
  }

  // A key pressed where the keyboard focus is in the sheet.
  static void press(QWidget* sheet, Qt::Key key) {
    QWidget* focus = sheet->focusWidget();
    QTest::keyClick(focus ? focus : sheet, key);
  }

  static QString text(const QWidget* sheet, const char* name) {
    const auto* label = sheet->findChild<QLabel*>(QString::fromUtf8(name));
    return label ? label->text() : QStringLiteral("<no label %1>").arg(QString::fromUtf8(name));
  }

  // Waits until the sheet is gone (it deletes itself once closed).
  template <typename Sheet>
  static bool closed(const QPointer<Sheet>& sheet) {
    return QTest::qWaitFor([&] { return !sheet; });
  }
};
