#include <gtest/gtest.h>

#include <QTest>

#include <optional>
#include <vector>

#include "AppTestSupport.h"
#include "platform/DebouncedTask.h"

using namespace std::chrono_literals;

TEST_F(AppTest, DebouncedTaskStartsOnlyTheLastRequestOfABurst) {
  DebouncedTask task(20ms);
  std::vector<int> started;
  std::optional<DebouncedTask::Ticket> ticket;
  for (int i = 0; i < 5; ++i)
    task.schedule([&, i](const DebouncedTask::Ticket& t) {
      started.push_back(i);
      ticket = t;
    });
  EXPECT_TRUE(task.isWaiting());
  EXPECT_EQ(task.delay(), 20ms);
  task.fireNow();
  EXPECT_EQ(started, std::vector<int>{4});
  EXPECT_FALSE(task.isWaiting());
  EXPECT_TRUE(ticket->isCurrent());
  task.fireNow();  // nothing waits any more
  EXPECT_EQ(started, std::vector<int>{4});

  task.schedule([](const DebouncedTask::Ticket&) {});
  EXPECT_FALSE(ticket->isCurrent());  // superseded while its work runs
}

TEST_F(AppTest, DebouncedTaskCancelSupersedesWaitingAndStartedRequests) {
  DebouncedTask task(20ms);
  std::optional<DebouncedTask::Ticket> ticket;
  task.schedule([&](const DebouncedTask::Ticket& t) { ticket = t; });
  task.fireNow();
  ASSERT_TRUE(ticket.has_value());
  task.cancel();
  EXPECT_FALSE(ticket->isCurrent());

  bool cancelledStarted = false;
  task.schedule([&](const DebouncedTask::Ticket&) { cancelledStarted = true; });
  task.cancel();
  EXPECT_FALSE(task.isWaiting());
  task.fireNow();
  EXPECT_FALSE(cancelledStarted);
}

TEST_F(AppTest, DestroyingADebouncedTaskSupersedesItsLastRequest) {
  std::optional<DebouncedTask::Ticket> ticket;
  {
    DebouncedTask task(1ms);
    task.schedule([&](const DebouncedTask::Ticket& t) { ticket = t; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticket.has_value(); }, 5000));  // the timer starts it
    EXPECT_TRUE(ticket->isCurrent());
  }
  EXPECT_FALSE(ticket->isCurrent());  // work still running for a destroyed owner stops early
}
