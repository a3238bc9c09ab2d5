#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
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
  ZRUndoGroup* parentGroup() const { return parentGroup_; }
  void setParentGroup(ZRUndoGroup* group) { parentGroup_ = group; }
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
  ZRConcreteUndoTask(std::weak_ptr<void> target, std::shared_ptr<void> retainedTarget,
                     std::string selector, Invocation invocation);
  void perform() override;
  std::string description() const override;
  const std::string& selector() const { return selector_; }
  // True when the task's target is `target` (compared by object identity).
  bool hasTarget(const void* target) const;
  const void* targetIdentity() const { return targetIdentity_; }

 private:
  std::weak_ptr<void> target_;
  std::shared_ptr<void> retainedTarget_;  // set only when the manager retains targets
  const void* targetIdentity_ = nullptr;
  std::string selector_;
  Invocation invocation_;
};

// An ordered, owned list of tasks and subgroups with an action name.
class ZRUndoGroup final : public ZRUndoTask {
 public:
  void addTask(std::unique_ptr<ZRUndoTask> task);
  ZRUndoTask* taskAtIndex(std::size_t index) const;
  ZRConcreteUndoTask* lastTaskIfConcrete() const;
  const std::vector<std::unique_ptr<ZRUndoTask>>& tasks() const { return tasks_; }
  // Every task when both are empty/null, else the concrete tasks that match every given part.
  std::vector<ZRUndoTask*> tasksWithTarget(const void* target, const std::string& selector) const;
  // True when a concrete task exists at any depth.
  bool hasTask() const;
  // Removes, recursively, the concrete tasks aimed at `target`.
  void removeTasksWithTarget(const void* target, ZRUndoManager* manager);
  // Performs the tasks from the last to the first.
  void perform() override;
  std::string description() const override;

  const std::string& actionName() const { return actionName_; }
  void setActionName(std::string name) { actionName_ = std::move(name); }
  bool actionIsDiscardable() const { return actionIsDiscardable_; }
  void setActionIsDiscardable(bool value) { actionIsDiscardable_ = value; }
  std::unique_ptr<ZRUndoTask> takeTaskAtIndex(std::size_t index);

 private:
  std::string actionName_;
  std::vector<std::unique_ptr<ZRUndoTask>> tasks_;
  bool actionIsDiscardable_ = false;
};

// Notification names, as the desktop's standard undo manager posts them.
inline constexpr const char* NSUndoManagerCheckpointNotification = "NSUndoManagerCheckpointNotification";
inline constexpr const char* NSUndoManagerDidOpenUndoGroupNotification = "NSUndoManagerDidOpenUndoGroupNotification";
inline constexpr const char* NSUndoManagerWillCloseUndoGroupNotification = "NSUndoManagerWillCloseUndoGroupNotification";
inline constexpr const char* NSUndoManagerDidCloseUndoGroupNotification = "NSUndoManagerDidCloseUndoGroupNotification";
inline constexpr const char* NSUndoManagerWillUndoChangeNotification = "NSUndoManagerWillUndoChangeNotification";
inline constexpr const char* NSUndoManagerDidUndoChangeNotification = "NSUndoManagerDidUndoChangeNotification";
inline constexpr const char* NSUndoManagerWillRedoChangeNotification = "NSUndoManagerWillRedoChangeNotification";
inline constexpr const char* NSUndoManagerDidRedoChangeNotification = "NSUndoManagerDidRedoChangeNotification";
inline constexpr const char* NSUndoManagerGroupIsDiscardableKey = "NSUndoManagerGroupIsDiscardableKey";

// Grouped, named undo and redo of recorded calls. No lock: used from the main
// thread, or from one worker while the main thread accepts no edits. The
// end-of-event close of automatic groups runs on the main run loop.
class ZRUndoManager {
 public:
  ZRUndoManager();
  ~ZRUndoManager();
  ZRUndoManager(const ZRUndoManager&) = delete;
  ZRUndoManager& operator=(const ZRUndoManager&) = delete;

  // Records `call` as the inverse to perform on `target` at undo time. The
  // target is held weakly (strongly when setRetainsTargets(true)); `selector`
  // names the call for coalescing, tasksWithTarget and explodeTopUndoAction.
  template <typename T>
  void registerUndoWithTarget(const std::shared_ptr<T>& target, const std::string& selector,
                              std::function<void(T&)> call) {
    registerUndo(std::static_pointer_cast<void>(std::const_pointer_cast<std::remove_const_t<T>>(target)),
                 selector, [call = std::move(call)](void* t) { call(*static_cast<T*>(t)); });
  }
  void registerUndo(const std::shared_ptr<void>& target, const std::string& selector,
                    ZRConcreteUndoTask::Invocation invocation);

  void beginUndoGrouping();
  void endUndoGrouping();
  std::int64_t groupingLevel() const;
  bool groupsByEvent() const;
  void setGroupsByEvent(bool value);
  void setActionName(const std::string& name);
  void setActionIsDiscardable(bool value);

  void undo();
  void undoNestedGroup();
  void redo();
  bool canUndo() const;
  bool canRedo() const;
  bool isUndoing() const;
  bool isRedoing() const;

  void disableUndoRegistration();
  void enableUndoRegistration();
  bool isUndoRegistrationEnabled() const;

  std::uint64_t levelsOfUndo() const;
  void setLevelsOfUndo(std::uint64_t levels);
  void removeAllActions();
  void removeAllActionsWithTarget(const void* target);

  std::string undoActionName() const;
  std::string redoActionName() const;
  std::string undoMenuItemTitle() const;
  std::string redoMenuItemTitle() const;
  std::string undoMenuTitleForUndoActionName(const std::string& name) const;
  std::string redoMenuTitleForUndoActionName(const std::string& name) const;

  void setAutomaticallyDiscardsEmptyGroups(bool value);
  void enableUndoTaskCoalescing();
  void disableUndoTaskCoalescing();
  void setCoalescingKind(int kind);
  void setRetainsTargets(bool value);
  std::uint64_t changeCount() const;
  void resetChangeCount();
  const ZRUndoGroup* peekUndo() const;
  const ZRUndoGroup* peekRedo() const;
  std::size_t numberOfUndoActions() const;
  std::size_t numberOfRedoActions() const;
  void explodeTopUndoAction();
  void checkpoint();
  void reset();
  std::string description() const;

  // Observers of the notifications above; the user info holds
  // NSUndoManagerGroupIsDiscardableKey for the did-close notification.
  using Observer = std::function<void(const std::string& name, bool groupIsDiscardable)>;
  std::uint64_t addObserver(Observer observer);
  void removeObserver(std::uint64_t token);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quorvel
