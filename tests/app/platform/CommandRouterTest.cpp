#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include "AppTestSupport.h"
#include "platform/CommandRouter.h"

namespace {

// A link that takes the commands it is given, in a state the test sets, and notes what it did.
class FakeResponder final : public CommandResponder {
public:
  explicit FakeResponder(QStringList commands) : commands(std::move(commands)) {}

  bool respondsTo(const QString& identifier) const override { return commands.contains(identifier); }
  CommandState state(const CommandCall&) override { return shown; }
  void perform(const CommandCall& call) override { performed << call.identifier; }

  QStringList commands;
  CommandState shown;
  QStringList performed;
};

class CommandRouterTest : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    QMenu* edit = window.menuBar()->addMenu(QStringLiteral("Edit"));
    copy = add(*edit, QStringLiteral("Copy"), QStringLiteral("copy"));
    copy->setShortcut(QKeySequence(QStringLiteral("Ctrl+C")));
    zoom = add(*edit, QStringLiteral("Zoom"), QStringLiteral("zoom"));
    zoom->setShortcut(QKeySequence(QStringLiteral("Ctrl+K")));
    quit = add(*edit, QStringLiteral("Quit"), QStringLiteral("quit"));
    orphan = add(*edit->addMenu(QStringLiteral("More")), QStringLiteral("Orphan"), QStringLiteral("orphan"));
    field = new QLineEdit(&window);
    window.setCentralWidget(field);
    router = new CommandRouter(&window, {&first, &second});
  }
  void TearDown() override { CommandRouter::setApplicationResponder(nullptr); }

  static QAction* add(QMenu& menu, const QString& title, const QString& command) {
    QAction* item = MenuItem::make({command}, title, &menu);
    menu.addAction(item);
    return item;
  }

  QMainWindow window;
  FakeResponder first{{"zoom"}};
  FakeResponder second{{"zoom", "copy"}};
  FakeResponder application{{"quit", "copy"}};
  QAction* copy;
  QAction* zoom;
  QAction* quit;
  QAction* orphan;
  QLineEdit* field;
  CommandRouter* router;
};

} // namespace

TEST_F(CommandRouterTest, TheFirstLinkThatTakesACommandValidatesAndPerformsIt) {
  CommandRouter::setApplicationResponder(&application);
  EXPECT_EQ(router->responderFor(QStringLiteral("zoom")), &first);
  EXPECT_EQ(router->responderFor(QStringLiteral("copy")), &second);
  EXPECT_EQ(router->responderFor(QStringLiteral("quit")), &application);
  EXPECT_EQ(router->responderFor(QStringLiteral("orphan")), nullptr);
  EXPECT_EQ(router->item(QStringLiteral("orphan")), orphan);

  first.shown = {false};
  router->validateAll();
  EXPECT_FALSE(zoom->isEnabled());
  EXPECT_TRUE(quit->isEnabled());
  EXPECT_FALSE(orphan->isEnabled());
  zoom->trigger();
  EXPECT_TRUE(first.performed.isEmpty());

  // A title keeps its "&"; a check mark shows only when given.
  first.shown = {true, QStringLiteral("Zoom & Fit"), true};
  EXPECT_TRUE(router->validate(*zoom));
  EXPECT_EQ(zoom->text(), QStringLiteral("Zoom && Fit"));
  EXPECT_TRUE(zoom->isCheckable() && zoom->isChecked());
  first.shown = {true};
  router->validate(*zoom);
  EXPECT_FALSE(zoom->isCheckable());

  // Performing validates again: an item shown enabled whose command can no longer act does nothing.
  first.shown = {false};
  zoom->trigger();
  EXPECT_TRUE(first.performed.isEmpty());
  // A triggered item, however deep, is performed once.
  first.shown = {true};
  router->validate(*zoom);
  zoom->trigger();
  quit->trigger();
  EXPECT_EQ(first.performed, QStringList{"zoom"});
  EXPECT_EQ(application.performed, QStringList{"quit"});
  EXPECT_TRUE(second.performed.isEmpty());

  // Without the application's link its commands are off.
  CommandRouter::setApplicationResponder(nullptr);
  router->validateAll();
  EXPECT_FALSE(quit->isEnabled());
}

TEST_F(CommandRouterTest, AFocusedTextFieldTakesTheEditingCommandsFirst) {
  router->validateAll();
  EXPECT_TRUE(copy->isEnabled());
  field->setText(QStringLiteral("typed"));
  field->setFocus();
  EXPECT_EQ(window.focusWidget(), field);
  router->validateAll();
  EXPECT_FALSE(copy->isEnabled());  // nothing selected in the field
  field->selectAll();
  ASSERT_TRUE(router->validate(*copy));
  copy->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("typed"));
  EXPECT_TRUE(second.performed.isEmpty());
  EXPECT_EQ(router->responderFor(QStringLiteral("zoom")), &first);
}

// The window's keys find their items validated at that moment, not when a menu last opened.
TEST_F(CommandRouterTest, AKeyReachesItsCommandOnlyWhileItsItemIsEnabledAtThatMoment) {
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  window.setFocus();
  first.shown = {false};
  router->validateAll();
  ASSERT_FALSE(zoom->isEnabled());

  first.shown = {true};
  QTest::keyClick(&window, Qt::Key_K, Qt::ControlModifier);
  EXPECT_EQ(first.performed, QStringList{"zoom"});
  first.shown = {false};
  QTest::keyClick(&window, Qt::Key_K, Qt::ControlModifier);
  EXPECT_EQ(first.performed, QStringList{"zoom"});

  // In a text field, Ctrl+C is the field's own key.
  field->setText(QStringLiteral("kept"));
  field->setFocus();
  field->selectAll();
  QGuiApplication::clipboard()->clear();
  QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
  EXPECT_TRUE(second.performed.isEmpty());
}
