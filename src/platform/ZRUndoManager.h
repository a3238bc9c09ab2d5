#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

namespace quorvel {

class ZRUndoGroup;
class ZRUndoManager;

// Anything the undo manager can perform: one recorded call or a group of them.
class ZRUndoTask {
 public:
  virtual ~ZRUndoTask() = default;
  // Must be overridden; the base throws InternalInconsistencyException
  // "-perform must be overridden".
  virtual void perform();
  // The group that holds this task; null for a group on a stack.
  ZRUndoGroup* parentGroup() const { return parentGroup_; }
  void setParentGroup(ZRUndoGroup* group) { parentGroup_ = group; }
  // Debugging text; see the implementations.
  virtual std::string description() const = 0;

 private:
  ZRUndoGroup* parentGroup_ = nullptr;  // weak: the group owns its tasks
};

// One recorded call: a target (held weakly unless the manager retains
// targets), the selector name it stands for, and the call itself. Performing a
// task whose target is gone does nothing.
class ZRConcreteUndoTask final : public ZRUndoTask {
 public:
  using Invocation = std::function<void(void* target)>;
  // `targetType` only names the target's class in description(); may be null.
  ZRConcreteUndoTask(const std::shared_ptr<void>& target, bool retainTarget, std::string selector,
                     Invocation invocation, const std::type_info* targetType = nullptr);
  // Sends the recorded call to the target; nothing when the target is gone.
  // Exceptions of the call propagate.
  void perform() override;
  // "<ZRConcreteUndoTask: 0x…> target = <Class 0x…>, selector: name".
  std::string description() const override;
  const std::string& selector() const { return selector_; }
  // True when the task's target is `target` (compared by object identity).
  bool hasTarget(const void* target) const;
  // True when both tasks aim at the same live or dead object (identity and
  // ownership), so an object reborn at a freed address is not confused with it.
  bool hasSameTarget(const ZRConcreteUndoTask& other) const;
  const void* targetIdentity() const { return targetIdentity_; }
  // True while performing would reach the target.
  bool targetIsAlive() const;
  // Drops the target for good; the task then does nothing.
  void forgetTarget();

 private:
  std::weak_ptr<void> target_;
  std::shared_ptr<void> retainedTarget_;  // set only when the manager retains targets
  const void* targetIdentity_ = nullptr;
  const std::type_info* targetType_ = nullptr;
  std::string selector_;
  Invocation invocation_;
};

// An ordered, owned list of tasks and subgroups with an action name.
class ZRUndoGroup final : public ZRUndoTask {
 public:
  // Appends `task` and makes this group its parent. Null is ignored.
  void addTask(std::unique_ptr<ZRUndoTask> task);
  // The task at `index`, or null past the end.
  ZRUndoTask* taskAtIndex(std::size_t index) const;
  // The last task when it is a recorded call, else null.
  ZRConcreteUndoTask* lastTaskIfConcrete() const;
  const std::vector<std::unique_ptr<ZRUndoTask>>& tasks() const { return tasks_; }
  // Every task when target is null and selector empty, else the direct
  // concrete tasks that match every given part.
  std::vector<ZRUndoTask*> tasksWithTarget(const void* target, const std::string& selector) const;
  // True when a concrete task exists at any depth; empty subgroups don't count.
  bool hasTask() const;
  // Removes, recursively, the concrete tasks aimed at `target`. With a
  // manager, removed tasks are handed to it so that a group being performed
  // at the time never loses a task under its feet; without, they are freed.
  void removeTasksWithTarget(const void* target, ZRUndoManager* manager);
  // Performs the tasks from the last to the first. Exceptions propagate.
  void perform() override;
  // "<ZRUndoGroup: 0x…> 'name' N tasks: (…)".
  std::string description() const override;

  const std::string& actionName() const { return actionName_; }
  void setActionName(std::string name) { actionName_ = std::move(name); }
  bool actionIsDiscardable() const { return actionIsDiscardable_; }
  void setActionIsDiscardable(bool value) { actionIsDiscardable_ = value; }
  // Removes and returns the task at `index` (null past the end).
  std::unique_ptr<ZRUndoTask> takeTaskAtIndex(std::size_t index);

 private:
  std::string actionName_;
  std::vector<std::unique_ptr<ZRUndoTask>> tasks_;
  bool actionIsDiscardable_ = false;
};

// Notification names, as the desktop's standard undo manager posts them.
inline constexpr const char* NSUndoManagerCheckpointNotification =
    "NSUndoManagerCheckpointNotification";
inline constexpr const char* NSUndoManagerDidOpenUndoGroupNotification =
    "NSUndoManagerDidOpenUndoGroupNotification";
inline constexpr const char* NSUndoManagerWillCloseUndoGroupNotification =
    "NSUndoManagerWillCloseUndoGroupNotification";
inline constexpr const char* NSUndoManagerDidCloseUndoGroupNotification =
    "NSUndoManagerDidCloseUndoGroupNotification";
inline constexpr const char* NSUndoManagerWillUndoChangeNotification =
    "NSUndoManagerWillUndoChangeNotification";
inline constexpr const char* NSUndoManagerDidUndoChangeNotification =
    "NSUndoManagerDidUndoChangeNotification";
inline constexpr const char* NSUndoManagerWillRedoChangeNotification =
    "NSUndoManagerWillRedoChangeNotification";
inline constexpr const char* NSUndoManagerDidRedoChangeNotification =
    "NSUndoManagerDidRedoChangeNotification";
inline constexpr const char* NSUndoManagerGroupIsDiscardableKey =
    "NSUndoManagerGroupIsDiscardableKey";

template <typename T>
class ZRUndoManagerProxy;

// Grouped, named undo and redo of recorded calls. No lock: used from the main
// thread, or from one worker while the main thread accepts no edits. A call
// registered with no group open opens a group that closes at the end of the
// current event of RunLoop::main(), on the main thread. Broken invariants
// throw InternalInconsistencyException with the messages of this class.
//
// The run-loop modes of the desktop's loop have no counterpart here: our
// loop has one mode, so the end-of-event close always runs in it.
class ZRUndoManager {
 public:
  ZRUndoManager();
  ~ZRUndoManager();
  ZRUndoManager(const ZRUndoManager&) = delete;
  ZRUndoManager& operator=(const ZRUndoManager&) = delete;

  // Records `call` as the inverse to perform on `target` at undo time. The
  // target is held weakly (strongly when setRetainsTargets(true)); `selector`
  // names the call for coalescing, tasksWithTarget and explodeTopUndoAction.
  // Nothing is recorded while registration is disabled. Throws for an empty
  // selector or call, and when no group is open and none can be opened.
  // T is deduced from the target alone, so `call` may be a plain lambda.
  template <typename T>
  void registerUndoWithTarget(const std::shared_ptr<T>& target, const std::string& selector,
                              std::type_identity_t<std::function<void(T&)>> call) {
    using Plain = std::remove_const_t<T>;
    ZRConcreteUndoTask::Invocation invocation;
    if (call) {
      invocation = [call = std::move(call)](void* t) { call(*static_cast<T*>(t)); };
    }
    registerUndo(std::static_pointer_cast<void>(std::const_pointer_cast<Plain>(target)), selector,
                 std::move(invocation), &typeid(Plain));
  }
  // The untyped form: `invocation` receives the target's address as given.
  // Registrations alone may come from several threads at once while a group
  // is open and nothing else uses the manager (an import spread over
  // workers); they are serialised.
  void registerUndo(const std::shared_ptr<void>& target, const std::string& selector,
                    ZRConcreteUndoTask::Invocation invocation,
                    const std::type_info* targetType = nullptr);

  // The recording proxy: `prepareWithInvocationTarget(record).record("sel",
  // call)` registers like registerUndoWithTarget. The desktop's version
  // intercepts an arbitrary message; in C++ the call is given explicitly.
  template <typename T>
  ZRUndoManagerProxy<T> prepareWithInvocationTarget(const std::shared_ptr<T>& target);

  // Opens a group (nested in the open one, or on a stack at level 0). Does
  // nothing while registration is disabled.
  void beginUndoGrouping();
  // Closes the innermost group; nothing at level 0. An empty top-level group
  // is thrown away while empty groups are discarded.
  void endUndoGrouping();
  // Current nesting depth of open groups.
  std::int64_t groupingLevel() const;
  // Whether a call registered with no group open opens one that closes at the
  // end of the event. Default true.
  bool groupsByEvent() const;
  void setGroupsByEvent(bool value);
  // Names (or marks discardable) the top group of the undo stack, or of the
  // redo stack while undoing. Nothing when that stack is empty.
  void setActionName(const std::string& name);
  void setActionIsDiscardable(bool value);

  // Closes an open top-level group, then undoes the top group. Throws "can't
  // undo with a nested group open" at level 2 or more.
  void undo();
  // Undoes the top undo group, recording its inverse on the redo stack.
  // Throws when not collecting or a group is open; exceptions of the undone
  // calls are logged to stderr, the stacks cleaned up, then rethrown.
  void undoNestedGroup();
  // Redoes the top redo group; the mirror image of undoNestedGroup.
  void redo();
  bool canUndo() const;
  bool canRedo() const;
  bool isUndoing() const;
  bool isRedoing() const;

  // Registration is enabled while enables balance disables. enable throws
  // when it was not disabled.
  void disableUndoRegistration();
  void enableUndoRegistration();
  bool isUndoRegistrationEnabled() const;

  // Limit of groups kept on each stack, oldest dropped first; 0 is unlimited.
  std::uint64_t levelsOfUndo() const;
  void setLevelsOfUndo(std::uint64_t levels);
  // Empties both stacks and resets the manager.
  void removeAllActions();
  // Removes every call aimed at `target` (the object's address, as the
  // record's `this`: the same address its shared_ptr holds) and every group
  // left without a call, except the open group and the groups holding it.
  void removeAllActionsWithTarget(const void* target);

  // Action names of the top groups; empty when none.
  std::string undoActionName() const;
  std::string redoActionName() const;
  // "Undo Name", "Undo" or "Nothing To Undo" (and the Redo forms), localised.
  std::string undoMenuItemTitle() const;
  std::string redoMenuItemTitle() const;
  std::string undoMenuTitleForUndoActionName(const std::string& name) const;
  std::string redoMenuTitleForUndoActionName(const std::string& name) const;

  void setAutomaticallyDiscardsEmptyGroups(bool value);
  // Coalescing drops a call whose target and selector repeat: kind 0 compares
  // with the open group's last call, kind 1 with any call of the open group.
  void enableUndoTaskCoalescing();
  void disableUndoTaskCoalescing();
  void setCoalescingKind(int kind);
  // Whether calls registered from now on keep their targets alive.
  void setRetainsTargets(bool value);
  // Calls submitted since the last reset of the count.
  std::uint64_t changeCount() const;
  void resetChangeCount();
  // Top groups of the stacks; null when empty. Valid until the stacks change.
  const ZRUndoGroup* peekUndo() const;
  const ZRUndoGroup* peekRedo() const;
  std::size_t numberOfUndoActions() const;
  std::size_t numberOfRedoActions() const;
  // Replaces the top undo group by one group per task, named "Name (i:
  // selector)". Nothing while that group is still open.
  void explodeTopUndoAction();
  // Posts the checkpoint notification, never re-entrantly.
  void checkpoint();
  // Forgets any open group and pending close and restores the first settings
  // of grouping, registration and coalescing kind. The stacks stay.
  void reset();
  // "<ZRUndoManager: 0x…> g-level = N, state = S, u-stack: (…), r-stack: (…)".
  std::string description() const;

  // Observers of the notifications above, called on the thread that caused
  // them, in the order they were added; `groupIsDiscardable` carries
  // NSUndoManagerGroupIsDiscardableKey of the did-close notification.
  using Observer = std::function<void(const std::string& name, bool groupIsDiscardable)>;
  std::uint64_t addObserver(Observer observer);
  void removeObserver(std::uint64_t token);

 private:
  friend class ZRUndoGroup;
  // Keeps a removed task alive until no undo or redo is performing.
  void retireTask(std::unique_ptr<ZRUndoTask> task);
  // Undo (true) or redo (false) of the top group of the matching stack.
  void replay(bool undoing);

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The C++ face of the recording proxy: holds the prepared target until one
// call is recorded for it.
template <typename T>
class ZRUndoManagerProxy {
 public:
  ZRUndoManagerProxy(ZRUndoManager& manager, std::shared_ptr<T> target)
      : manager_(&manager), target_(std::move(target)) {}

  // Records `call` for the prepared target and forgets it. Throws "invalid
  // forwardInvocation (proxy) without preparing" when no target is prepared
  // (none was given, or one call was already recorded).
  void record(const std::string& selector, std::function<void(T&)> call);

 private:
  ZRUndoManager* manager_;
  std::shared_ptr<T> target_;
};

// Throws the manager's exception for a proxy used without a target.
[[noreturn]] void throwProxyWithoutTarget();

template <typename T>
void ZRUndoManagerProxy<T>::record(const std::string& selector, std::function<void(T&)> call) {
  if (!target_) {
    throwProxyWithoutTarget();
  }
  auto target = std::move(target_);
  target_.reset();
  manager_->registerUndoWithTarget(target, selector, std::move(call));
}

template <typename T>
ZRUndoManagerProxy<T> ZRUndoManager::prepareWithInvocationTarget(const std::shared_ptr<T>& target) {
  return ZRUndoManagerProxy<T>(*this, target);
}

}  // namespace quorvel
