#include "platform/ZRUndoManager.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/RunLoop.h"
#include "support/Error.h"

namespace quorvel {
namespace {

using Strings = std::vector<std::string>;

// A record-like object: every change registers its inverse, the way the
// metadata record does.
class Field : public std::enable_shared_from_this<Field> {
 public:
  Field(ZRUndoManager& manager, std::string name, std::vector<std::string>& trace)
      : manager_(manager), name_(std::move(name)), trace_(trace) {}

  void setValue(int value) {
    const int old = value_;
    manager_.registerUndoWithTarget<Field>(shared_from_this(),
                                           "setValue:", [old](Field& f) { f.setValue(old); });
    value_ = value;
    trace_.push_back(name_ + "=" + std::to_string(value));
  }
  int value() const { return value_; }

 private:
  ZRUndoManager& manager_;
  std::string name_;
  std::vector<std::string>& trace_;
  int value_ = 0;
};

template <typename F>
std::string messageOf(F&& f) {
  try {
    f();
  } catch (const InternalInconsistencyException& e) {
    return e.what();
  }
  return "<no exception>";
}

class ZRUndoManagerTest : public ::testing::Test {
 protected:
  void SetUp() override { RunLoop::main().processPendingEvents(); }
  void TearDown() override { RunLoop::main().processPendingEvents(); }

  std::shared_ptr<Field> field(const std::string& name) {
    return std::make_shared<Field>(manager, name, trace);
  }
  void action(const std::string& name, const std::function<void()>& body) {
    manager.beginUndoGrouping();
    body();
    manager.endUndoGrouping();
    manager.setActionName(name);
  }

  ZRUndoManager manager;
  std::vector<std::string> trace;
};

TEST_F(ZRUndoManagerTest, UndoPerformsTasksLastFirstAndRedoRestoresUnderTheSameName) {
  auto a = field("a"), b = field("b"), c = field("c");
  EXPECT_EQ(manager.undoMenuItemTitle(), "Nothing To Undo");
  action("Set Title", [&] {
    a->setValue(1);
    b->setValue(2);
    c->setValue(3);
  });
  EXPECT_EQ(manager.numberOfUndoActions(), 1u);
  EXPECT_EQ(manager.peekUndo()->tasks().size(), 3u);
  EXPECT_EQ(manager.undoMenuItemTitle(), "Undo Set Title");
  EXPECT_EQ(manager.redoMenuItemTitle(), "Nothing To Redo");
  EXPECT_EQ(manager.changeCount(), 3u);

  trace.clear();
  manager.undo();
  EXPECT_EQ(trace, (Strings{"c=0", "b=0", "a=0"}));
  EXPECT_FALSE(manager.canUndo());
  EXPECT_EQ(manager.redoMenuItemTitle(), "Redo Set Title");

  trace.clear();
  manager.redo();
  EXPECT_EQ(trace, (Strings{"a=1", "b=2", "c=3"}));
  EXPECT_EQ(manager.undoActionName(), "Set Title");

  // A new change after an undo clears the redo stack.
  manager.undo();
  action("Other", [&] { a->setValue(9); });
  EXPECT_FALSE(manager.canRedo());
  manager.setActionName("");
  EXPECT_EQ(manager.undoMenuItemTitle(), "Undo");
}

TEST_F(ZRUndoManagerTest, NestedGroupsUndoAsOneAndGuardTheirLevels) {
  auto a = field("a"), b = field("b");
  manager.beginUndoGrouping();
  a->setValue(1);
  manager.beginUndoGrouping();
  b->setValue(2);
  EXPECT_EQ(manager.groupingLevel(), 2);
  EXPECT_EQ(messageOf([&] { manager.undo(); }), "can't undo with a nested group open");
  EXPECT_EQ(messageOf([&] { manager.undoNestedGroup(); }), "can't undo - a group is still open");
  EXPECT_EQ(messageOf([&] { manager.redo(); }), "can't redo - a group is still open");
  manager.endUndoGrouping();
  manager.endUndoGrouping();
  manager.endUndoGrouping();  // nothing at level 0
  EXPECT_EQ(manager.groupingLevel(), 0);
  ASSERT_EQ(manager.numberOfUndoActions(), 1u);
  EXPECT_EQ(manager.peekUndo()->tasks().size(), 2u);  // a task and a subgroup

  trace.clear();
  manager.undo();
  EXPECT_EQ(trace, (Strings{"b=0", "a=0"}));

  // undo() closes an open top-level group before undoing it.
  manager.beginUndoGrouping();
  a->setValue(5);
  manager.undo();
  EXPECT_EQ(a->value(), 0);
  EXPECT_EQ(manager.groupingLevel(), 0);
}

TEST_F(ZRUndoManagerTest, AutomaticGroupClosesAtTheEndOfTheEvent) {
  auto a = field("a"), b = field("b");
  RunLoop& loop = RunLoop::main();
  loop.perform(
      [&] {
        a->setValue(1);
        b->setValue(2);
        EXPECT_EQ(manager.groupingLevel(), 1);
      },
      false);
  loop.perform([&] { a->setValue(3); }, false);
  loop.processPendingEvents();
  EXPECT_EQ(manager.groupingLevel(), 0);
  ASSERT_EQ(manager.numberOfUndoActions(), 2u);
  EXPECT_EQ(manager.peekUndo()->tasks().size(), 1u);

  // Code running outside the loop: the group stays open until the loop turns.
  b->setValue(4);
  EXPECT_EQ(manager.groupingLevel(), 1);
  loop.processPendingEvents();
  EXPECT_EQ(manager.groupingLevel(), 0);
  EXPECT_EQ(manager.numberOfUndoActions(), 3u);

  // Closing the automatic group early cancels its pending close, which must
  // not shut a group opened later in the same event.
  a->setValue(5);
  manager.endUndoGrouping();
  manager.beginUndoGrouping();
  loop.processPendingEvents();
  EXPECT_EQ(manager.groupingLevel(), 1);
  manager.endUndoGrouping();

  // Without event grouping a call outside any group is refused.
  manager.setGroupsByEvent(false);
  EXPECT_EQ(messageOf([&] { a->setValue(6); }),
            "invalid attempt to add undo task with no open group");
}

TEST_F(ZRUndoManagerTest, EmptyGroupsAreDiscardedUnlessAskedToKeepThem) {
  std::vector<std::string> notes;
  manager.addObserver([&](const std::string& name, bool) { notes.push_back(name); });
  action("Nothing", [] {});
  EXPECT_FALSE(manager.canUndo());
  EXPECT_EQ(notes, (Strings{NSUndoManagerDidOpenUndoGroupNotification,
                            NSUndoManagerCheckpointNotification}));

  manager.setAutomaticallyDiscardsEmptyGroups(false);
  action("Kept", [] {});
  EXPECT_EQ(manager.numberOfUndoActions(), 1u);
  // An empty top group has nothing to undo: undo leaves the stacks alone.
  manager.undo();
  EXPECT_EQ(manager.numberOfUndoActions(), 1u);
  EXPECT_FALSE(manager.canRedo());
}

TEST_F(ZRUndoManagerTest, NotificationsOfAGroupAndItsUndo) {
  auto a = field("a");
  std::vector<std::string> notes;
  bool discardable = false;
  const auto token = manager.addObserver([&](const std::string& name, bool isDiscardable) {
    notes.push_back(name);
    if (name == NSUndoManagerDidCloseUndoGroupNotification) {
      discardable = isDiscardable;
    }
  });
  manager.beginUndoGrouping();
  a->setValue(1);
  manager.setActionIsDiscardable(true);
  manager.endUndoGrouping();
  EXPECT_TRUE(discardable);
  EXPECT_EQ(notes, (Strings{
                       NSUndoManagerDidOpenUndoGroupNotification,
                       NSUndoManagerCheckpointNotification,
                       NSUndoManagerWillCloseUndoGroupNotification,
                       NSUndoManagerDidCloseUndoGroupNotification,
                   }));
  notes.clear();
  manager.undo();
  EXPECT_EQ(notes, (Strings{
                       NSUndoManagerCheckpointNotification,
                       NSUndoManagerWillUndoChangeNotification,
                       NSUndoManagerDidOpenUndoGroupNotification,
                       NSUndoManagerCheckpointNotification,
                       NSUndoManagerDidUndoChangeNotification,
                   }));
  manager.removeObserver(token);
  notes.clear();
  manager.redo();
  EXPECT_TRUE(notes.empty());
}

TEST_F(ZRUndoManagerTest, CoalescingDropsRepeatedCallsByKind) {
  auto a = field("a"), b = field("b");
  action("Off", [&] {
    a->setValue(1);
    a->setValue(2);
  });
  EXPECT_EQ(manager.peekUndo()->tasks().size(), 2u);

  manager.enableUndoTaskCoalescing();
  action("Kind 0", [&] {
    a->setValue(3);
    a->setValue(4);  // same as the last: dropped
    b->setValue(5);
    a->setValue(6);  // the last is b's: kept
  });
  EXPECT_EQ(manager.peekUndo()->tasks().size(), 3u);

  manager.setCoalescingKind(1);
  action("Kind 1", [&] {
    a->setValue(7);
    b->setValue(8);
    a->setValue(9);  // a's call is in the group already: dropped
  });
  EXPECT_EQ(manager.peekUndo()->tasks().size(), 2u);
  manager.undo();
  EXPECT_EQ(a->value(), 6);  // the first recorded inverse of the group wins
  EXPECT_EQ(b->value(), 5);
}

TEST_F(ZRUndoManagerTest, LevelsOfUndoKeepTheNewestGroups) {
  auto a = field("a");
  manager.setLevelsOfUndo(2);
  for (int i = 1; i <= 3; ++i) {
    action("Step " + std::to_string(i), [&] { a->setValue(i); });
  }
  ASSERT_EQ(manager.numberOfUndoActions(), 2u);
  manager.undo();
  EXPECT_EQ(manager.undoActionName(), "Step 2");
  manager.undo();
  EXPECT_FALSE(manager.canUndo());
  EXPECT_EQ(a->value(), 1);

  // Lowering the limit trims both stacks from the bottom.
  manager.setLevelsOfUndo(1);
  EXPECT_EQ(manager.numberOfRedoActions(), 1u);
  EXPECT_EQ(manager.redoActionName(), "Step 2");
}

TEST_F(ZRUndoManagerTest, RemovingATargetKeepsTheOtherGroupsInOrder) {
  auto a = field("a"), b = field("b");
  action("A only", [&] { a->setValue(1); });
  action("Both", [&] {
    a->setValue(2);
    b->setValue(3);
  });
  action("B only", [&] { b->setValue(4); });
  manager.beginUndoGrouping();  // an open group survives even when emptied
  a->setValue(5);

  manager.removeAllActionsWithTarget(a.get());
  EXPECT_EQ(manager.groupingLevel(), 1);
  manager.endUndoGrouping();  // now empty: discarded
  ASSERT_EQ(manager.numberOfUndoActions(), 2u);
  EXPECT_EQ(manager.undoActionName(), "B only");
  trace.clear();
  manager.undo();
  manager.undo();
  EXPECT_EQ(trace, (Strings{"b=3", "b=0"}));
  EXPECT_FALSE(manager.canUndo());
  EXPECT_EQ(a->value(), 5);

  manager.removeAllActions();
  EXPECT_FALSE(manager.canRedo());
}

TEST_F(ZRUndoManagerTest, ExplodeSplitsTheTopGroupPerTask) {
  auto a = field("a"), b = field("b");
  manager.beginUndoGrouping();
  a->setValue(1);
  manager.beginUndoGrouping();
  b->setValue(2);
  manager.endUndoGrouping();
  manager.endUndoGrouping();
  manager.setActionName("Edit");
  manager.explodeTopUndoAction();
  ASSERT_EQ(manager.numberOfUndoActions(), 2u);
  EXPECT_EQ(manager.undoActionName(), "Edit (2: <subgroup>)");
  manager.undo();
  EXPECT_EQ(b->value(), 0);
  EXPECT_EQ(a->value(), 1);
  EXPECT_EQ(manager.undoActionName(), "Edit (1: setValue:)");
}

TEST_F(ZRUndoManagerTest, RegistrationSwitchAndInconsistencies) {
  auto a = field("a");
  EXPECT_EQ(messageOf([&] { manager.enableUndoRegistration(); }),
            "inconsistent state - undo enabled when not previously disabled");
  manager.disableUndoRegistration();
  manager.disableUndoRegistration();
  action("Ignored", [&] { a->setValue(1); });
  manager.enableUndoRegistration();
  EXPECT_FALSE(manager.isUndoRegistrationEnabled());
  manager.enableUndoRegistration();
  EXPECT_TRUE(manager.isUndoRegistrationEnabled());
  EXPECT_FALSE(manager.canUndo());

  std::shared_ptr<Field> target = a;
  EXPECT_EQ(messageOf([&] { manager.registerUndoWithTarget<Field>(target, "", [](Field&) {}); }),
            "invalid (NULL) selector passed to registerUndoWithTarget:selector:object:");

  // Undoing with registration disabled leaves no redo step behind.
  action("Change", [&] { a->setValue(2); });
  manager.disableUndoRegistration();
  manager.undo();
  manager.enableUndoRegistration();
  EXPECT_EQ(a->value(), 1);
  EXPECT_FALSE(manager.canUndo());
  EXPECT_FALSE(manager.canRedo());

  // Undo from inside an undo is refused.
  std::string nested;
  manager.beginUndoGrouping();
  manager.registerUndoWithTarget<Field>(
      target, "nested", [&](Field&) { nested = messageOf([&] { manager.undo(); }); });
  manager.endUndoGrouping();
  manager.undo();
  EXPECT_EQ(nested, "can't undo - already undoing or redoing");

  auto proxy = manager.prepareWithInvocationTarget(target);
  proxy.record("setValue:", [](Field& f) { f.setValue(42); });
  EXPECT_EQ(messageOf([&] { proxy.record("again", [](Field&) {}); }),
            "invalid forwardInvocation (proxy) without preparing");
}

TEST_F(ZRUndoManagerTest, FailingUndoCleansUpAndRethrows) {
  auto a = field("a");
  manager.beginUndoGrouping();
  a->setValue(1);
  manager.registerUndoWithTarget<Field>(a, "fail", [](Field&) { throw std::runtime_error("x"); });
  manager.endUndoGrouping();
  EXPECT_THROW(manager.undo(), std::runtime_error);
  EXPECT_FALSE(manager.isUndoing());
  EXPECT_EQ(manager.groupingLevel(), 0);
  EXPECT_FALSE(manager.canUndo());
  EXPECT_EQ(a->value(), 1);  // the failing call came first and stopped the rest
}

TEST_F(ZRUndoManagerTest, GoneTargetsDoNothingAndRetainedOnesStay) {
  auto a = field("a");
  std::weak_ptr<Field> watch = a;
  action("Weak", [&] { a->setValue(1); });
  a.reset();
  EXPECT_TRUE(watch.expired());
  manager.undo();  // the target is gone: nothing happens
  EXPECT_FALSE(manager.canUndo());

  manager.setRetainsTargets(true);
  auto b = field("b");
  watch = b;
  action("Strong", [&] { b->setValue(1); });
  b.reset();
  ASSERT_FALSE(watch.expired());
  manager.undo();
  EXPECT_EQ(watch.lock()->value(), 0);
  manager.removeAllActions();
  EXPECT_TRUE(watch.expired());
}

TEST_F(ZRUndoManagerTest, RemovingActionsWhileUndoingIsSafe) {
  auto a = field("a"), b = field("b");
  std::shared_ptr<Field> target = a;
  manager.beginUndoGrouping();
  b->setValue(1);
  a->setValue(2);
  // Performed first: removes every call aimed at a, itself included, from
  // the group being performed.
  manager.registerUndoWithTarget<Field>(target, "remove",
                                        [&](Field& f) { manager.removeAllActionsWithTarget(&f); });
  manager.endUndoGrouping();
  manager.undo();
  EXPECT_EQ(a->value(), 2);
  EXPECT_EQ(b->value(), 0);
  ASSERT_EQ(manager.numberOfRedoActions(), 1u);
  EXPECT_EQ(manager.peekRedo()->tasks().size(), 1u);

  // Emptying both stacks from inside an undo leaves a usable manager.
  manager.beginUndoGrouping();
  manager.registerUndoWithTarget<Field>(target, "clear",
                                        [&](Field&) { manager.removeAllActions(); });
  manager.endUndoGrouping();
  manager.undo();
  RunLoop::main().processPendingEvents();
  EXPECT_FALSE(manager.isUndoing());
  EXPECT_EQ(manager.groupingLevel(), 0);
  action("After", [&] { a->setValue(3); });
  manager.undo();
  EXPECT_EQ(a->value(), 2);
}

}  // namespace
}  // namespace quorvel
