#include "platform/ZRUndoManager.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include "platform/RunLoop.h"
#include "support/Error.h"
#include "support/Localization.h"
#include "support/StringFormat.h"

namespace quorvel {

namespace {

enum State : int { kCollecting = 0, kUndoing = 1, kRedoing = 2 };

// The order value at which the desktop's loop closes automatic groups, after
// most other end-of-event work.
constexpr std::int64_t kEndOfEventCloseOrder = 350000;

[[noreturn]] void inconsistency(const std::string& message) {
  throw InternalInconsistencyException(message);
}

std::string pointerText(const void* pointer) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%p", pointer);
  return buffer;
}

// "<Class: 0x…>", the default description of an object.
std::string objectText(const char* className, const void* pointer) {
  return std::string("<") + className + ": " + pointerText(pointer) + ">";
}

// The class name a person would write: demangled, without our namespace.
std::string className(const std::type_info* type) {
  if (!type) {
    return "object";
  }
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(type->name(), nullptr, nullptr, &status), std::free);
  std::string name = status == 0 && demangled ? demangled.get() : type->name();
  const std::string prefix = "quorvel::";
  if (name.rfind(prefix, 0) == 0) {
    name.erase(0, prefix.size());
  }
  return name;
}

// A list printed the way the desktop prints an array: "(\n    a,\n    b\n)".
template <typename Range>
std::string listText(const Range& items) {
  std::string text = "(\n";
  bool first = true;
  for (const auto& item : items) {
    if (!first) {
      text += ",\n";
    }
    first = false;
    text += "    " + item->description();
  }
  if (!first) {
    text += "\n";
  }
  return text + ")";
}

std::string exceptionText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown exception";
  }
}

}  // namespace

void throwProxyWithoutTarget() {
  inconsistency("invalid forwardInvocation (proxy) without preparing");
}

// ---------------------------------------------------------------------------
// Tasks

void ZRUndoTask::perform() { inconsistency("-perform must be overridden"); }

ZRConcreteUndoTask::ZRConcreteUndoTask(const std::shared_ptr<void>& target, bool retainTarget,
                                       std::string selector, Invocation invocation,
                                       const std::type_info* targetType)
    : target_(target),
      retainedTarget_(retainTarget ? target : nullptr),
      targetIdentity_(target.get()),
      targetType_(targetType),
      selector_(std::move(selector)),
      invocation_(std::move(invocation)) {}

void ZRConcreteUndoTask::perform() {
  if (!invocation_) {
    return;
  }
  // Holding the target for the length of the call keeps it from going away
  // in the middle of it, even if the call makes the manager forget it. The
  // invocation itself stays until the task is freed, for the same reason.
  std::shared_ptr<void> target = retainedTarget_ ? retainedTarget_ : target_.lock();
  if (target) {
    invocation_(target.get());
  }
}

std::string ZRConcreteUndoTask::description() const {
  return stringWithFormat("%@ target = <%@ %p>, selector: %@",
                          {objectText("ZRConcreteUndoTask", this), className(targetType_),
                           pointerText(targetIdentity_), selector_});
}

bool ZRConcreteUndoTask::hasTarget(const void* target) const { return targetIdentity_ == target; }

bool ZRConcreteUndoTask::hasSameTarget(const ZRConcreteUndoTask& other) const {
  return targetIdentity_ == other.targetIdentity_ && !target_.owner_before(other.target_) &&
         !other.target_.owner_before(target_);
}

bool ZRConcreteUndoTask::targetIsAlive() const {
  return invocation_ && (retainedTarget_ || !target_.expired());
}

void ZRConcreteUndoTask::forgetTarget() {
  target_.reset();
  retainedTarget_.reset();
}

// ---------------------------------------------------------------------------
// Groups

void ZRUndoGroup::addTask(std::unique_ptr<ZRUndoTask> task) {
  if (!task) {
    return;
  }
  task->setParentGroup(this);
  tasks_.push_back(std::move(task));
}

ZRUndoTask* ZRUndoGroup::taskAtIndex(std::size_t index) const {
  return index < tasks_.size() ? tasks_[index].get() : nullptr;
}

ZRConcreteUndoTask* ZRUndoGroup::lastTaskIfConcrete() const {
  return tasks_.empty() ? nullptr : dynamic_cast<ZRConcreteUndoTask*>(tasks_.back().get());
}

std::vector<ZRUndoTask*> ZRUndoGroup::tasksWithTarget(const void* target,
                                                      const std::string& selector) const {
  std::vector<ZRUndoTask*> found;
  for (const auto& task : tasks_) {
    if (!target && selector.empty()) {
      found.push_back(task.get());
      continue;
    }
    auto* concrete = dynamic_cast<ZRConcreteUndoTask*>(task.get());
    if (concrete && (!target || concrete->hasTarget(target)) &&
        (selector.empty() || concrete->selector() == selector)) {
      found.push_back(concrete);
    }
  }
  return found;
}

bool ZRUndoGroup::hasTask() const {
  return std::any_of(tasks_.begin(), tasks_.end(), [](const auto& task) {
    if (auto* group = dynamic_cast<const ZRUndoGroup*>(task.get())) {
      return group->hasTask();
    }
    return true;
  });
}

void ZRUndoGroup::removeTasksWithTarget(const void* target, ZRUndoManager* manager) {
  std::vector<std::unique_ptr<ZRUndoTask>> kept;
  kept.reserve(tasks_.size());
  for (auto& task : tasks_) {
    if (auto* group = dynamic_cast<ZRUndoGroup*>(task.get())) {
      group->removeTasksWithTarget(target, manager);
      kept.push_back(std::move(task));
      continue;
    }
    auto* concrete = static_cast<ZRConcreteUndoTask*>(task.get());
    if (!concrete->hasTarget(target)) {
      kept.push_back(std::move(task));
      continue;
    }
    // A group being performed may still reach this task through its own
    // list; a forgotten target makes that harmless.
    concrete->forgetTarget();
    if (manager) {
      manager->retireTask(std::move(task));
    }
  }
  tasks_ = std::move(kept);
}

void ZRUndoGroup::perform() {
  // Work on a snapshot: a call may remove tasks from this group, and the
  // manager keeps removed tasks alive until the undo or redo has finished.
  std::vector<ZRUndoTask*> snapshot;
  snapshot.reserve(tasks_.size());
  for (const auto& task : tasks_) {
    snapshot.push_back(task.get());
  }
  for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
    (*it)->perform();
  }
}

std::string ZRUndoGroup::description() const {
  return stringWithFormat("%@ '%@' %lu tasks: %@",
                          {objectText("ZRUndoGroup", this), actionName_,
                           std::to_string(tasks_.size()), listText(tasks_)});
}

std::unique_ptr<ZRUndoTask> ZRUndoGroup::takeTaskAtIndex(std::size_t index) {
  if (index >= tasks_.size()) {
    return nullptr;
  }
  auto task = std::move(tasks_[index]);
  tasks_.erase(tasks_.begin() + static_cast<std::ptrdiff_t>(index));
  task->setParentGroup(nullptr);
  return task;
}

// ---------------------------------------------------------------------------
// Manager

using GroupStack = std::vector<std::unique_ptr<ZRUndoGroup>>;

struct ZRUndoManager::Impl {
  // Serialises registrations only: see registerUndo.
  std::mutex registrationMutex;
  GroupStack undoStack;
  GroupStack redoStack;
  ZRUndoGroup* openGroup = nullptr;
  std::int64_t groupLevel = 0;
  std::uint64_t levelsOfUndo = 0;
  std::int64_t enableLevel = 0;
  std::uint64_t changeCount = 0;
  int state = kCollecting;
  int coalKind = 0;
  bool groupsByEvent = true;
  bool coalescing = false;
  bool autoDeleteEmptyGroups = true;
  bool retainsTargets = false;
  bool isRemovingTargets = false;
  bool isInCheckpoint = false;

  // The pending end-of-event close of an automatic group.
  std::optional<RunLoop::Token> endOfEventClose;
  // Lets a close that fires after the manager is gone see that it is gone.
  std::shared_ptr<int> lifetime = std::make_shared<int>(0);

  // Removed tasks and groups wait here while an undo or redo performs, since
  // the group being performed may still be walking them.
  std::vector<std::unique_ptr<ZRUndoTask>> retired;
  int performing = 0;
  bool flushing = false;

  std::map<std::uint64_t, Observer> observers;
  std::uint64_t nextObserverToken = 1;

  void post(const char* name, bool discardable = false) {
    std::vector<Observer> current;
    current.reserve(observers.size());
    for (const auto& [token, observer] : observers) {
      current.push_back(observer);
    }
    for (const auto& observer : current) {
      observer(name, discardable);
    }
  }

  void cancelEndOfEventClose() {
    if (endOfEventClose) {
      RunLoop::main().cancelEndOfEvent(*endOfEventClose);
      endOfEventClose.reset();
    }
  }

  void retire(std::unique_ptr<ZRUndoTask> task) {
    if (task) {
      retired.push_back(std::move(task));
    }
  }

  // Frees retired tasks once nothing can be walking them. Freeing may release
  // retained targets whose destructors call back into the manager; those
  // calls retire more, which this loop frees too.
  void flushRetired() {
    if (performing > 0 || flushing) {
      return;
    }
    flushing = true;
    while (!retired.empty()) {
      auto batch = std::move(retired);
      retired.clear();
      batch.clear();
    }
    flushing = false;
  }

  // Removes groups from the bottom of `stack` until at most `limit` remain.
  void trim(GroupStack& stack, std::uint64_t limit) {
    if (limit == 0 || stack.size() <= limit) {
      return;
    }
    const auto excess = static_cast<std::ptrdiff_t>(stack.size() - limit);
    for (auto it = stack.begin(); it != stack.begin() + excess; ++it) {
      retire(std::move(*it));
    }
    stack.erase(stack.begin(), stack.begin() + excess);
  }

  // Takes `group` off `stack` (wherever it is) into the retired list.
  bool removeFromStack(GroupStack& stack, const ZRUndoGroup* group) {
    for (auto it = stack.end(); it != stack.begin();) {
      --it;
      if (it->get() == group) {
        retire(std::move(*it));
        stack.erase(it);
        return true;
      }
    }
    return false;
  }

  // The open group and every group that holds it.
  std::set<const ZRUndoGroup*> openGroups() const {
    std::set<const ZRUndoGroup*> groups;
    for (const ZRUndoGroup* group = openGroup; group; group = group->parentGroup()) {
      groups.insert(group);
    }
    return groups;
  }
};

namespace {

// Sets a flag for the length of a scope, exceptions included.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace

ZRUndoManager::ZRUndoManager() : impl_(std::make_unique<Impl>()) {}

ZRUndoManager::~ZRUndoManager() {
  impl_->cancelEndOfEventClose();
  impl_->lifetime.reset();
}

void ZRUndoManager::retireTask(std::unique_ptr<ZRUndoTask> task) { impl_->retire(std::move(task)); }

void ZRUndoManager::registerUndo(const std::shared_ptr<void>& target, const std::string& selector,
                                 ZRConcreteUndoTask::Invocation invocation,
                                 const std::type_info* targetType) {
  if (!isUndoRegistrationEnabled()) {
    return;
  }
  std::lock_guard registering(impl_->registrationMutex);
  if (selector.empty()) {
    inconsistency("invalid (NULL) selector passed to registerUndoWithTarget:selector:object:");
  }
  if (!invocation) {
    inconsistency("-forwardInvocation: was passed an invalid nil invocation");
  }
  auto task = std::make_unique<ZRConcreteUndoTask>(target, impl_->retainsTargets, selector,
                                                   std::move(invocation), targetType);
  Impl& d = *impl_;

  if (d.coalescing && d.state == kCollecting && d.openGroup) {
    if (d.coalKind == 1) {
      for (const auto& existing : d.openGroup->tasks()) {
        auto* concrete = dynamic_cast<const ZRConcreteUndoTask*>(existing.get());
        if (concrete && concrete->selector() == selector && concrete->hasSameTarget(*task)) {
          return;
        }
      }
    } else if (auto* last = d.openGroup->lastTaskIfConcrete();
               last && last->selector() == selector && last->hasSameTarget(*task)) {
      return;
    }
  }

  if (d.groupsByEvent && d.groupLevel == 0) {
    beginUndoGrouping();
    if (d.groupLevel != 1) {
      inconsistency("internal inconsistency - group level should be 1 here");
    }
    d.cancelEndOfEventClose();
    std::weak_ptr<int> alive = d.lifetime;
    d.endOfEventClose = RunLoop::main().performAtEndOfEvent(kEndOfEventCloseOrder, [this, alive] {
      if (alive.lock()) {
        impl_->endOfEventClose.reset();
        endUndoGrouping();
      }
    });
  }
  if (!d.openGroup) {
    inconsistency("invalid attempt to add undo task with no open group");
  }
  ++d.changeCount;
  d.openGroup->addTask(std::move(task));
  if (d.state == kCollecting) {
    for (auto& group : d.redoStack) {
      d.retire(std::move(group));
    }
    d.redoStack.clear();
    d.flushRetired();
  }
}

void ZRUndoManager::beginUndoGrouping() {
  Impl& d = *impl_;
  if (!isUndoRegistrationEnabled()) {
    return;
  }
  auto group = std::make_unique<ZRUndoGroup>();
  ZRUndoGroup* created = group.get();
  if (d.groupLevel > 0) {
    if (!d.openGroup) {
      inconsistency("internal inconsistency - group level was > 0 but no open group was found");
    }
    d.openGroup->addTask(std::move(group));
  } else if (d.state == kUndoing) {
    d.redoStack.push_back(std::move(group));
  } else {
    d.undoStack.push_back(std::move(group));
  }
  d.openGroup = created;
  if (d.state != kUndoing && d.groupLevel >= 1) {
    checkpoint();
  }
  ++d.groupLevel;
  d.post(NSUndoManagerDidOpenUndoGroupNotification);
}

void ZRUndoManager::endUndoGrouping() {
  Impl& d = *impl_;
  if (d.groupLevel == 0) {
    return;
  }
  checkpoint();
  --d.groupLevel;
  if (d.groupLevel < 0) {
    inconsistency("group level is negative - internal inconsistency");
  }
  if (!d.openGroup) {
    inconsistency("bad group state - attempt to close a nested group with no group open");
  }
  ZRUndoGroup* closing = d.openGroup;
  const bool hadTask = closing->hasTask();
  bool discarded = false;

  if (d.groupLevel > 0) {
    if (!closing->parentGroup()) {
      inconsistency("nested group could not be restored - bad parent group ref");
    }
    d.openGroup = closing->parentGroup();
  } else {
    try {
      if (d.autoDeleteEmptyGroups && !hadTask) {
        d.removeFromStack(d.state == kUndoing ? d.redoStack : d.undoStack, closing);
        discarded = true;
      } else if (d.state == kCollecting) {
        d.post(NSUndoManagerWillCloseUndoGroupNotification);
      }
    } catch (const std::exception& e) {
      std::fprintf(
          stderr, "%s\n",
          stringWithFormat("an exception occurred while closing an undo group - ignored: %@",
                           {e.what()})
              .c_str());
    }
    d.openGroup = nullptr;
    // Back at level 0 the automatic group, if any, is closed; a close still
    // pending would otherwise shut whatever group opens next in this event.
    d.cancelEndOfEventClose();
    if (d.levelsOfUndo != 0 && !d.isRemovingTargets) {
      d.trim(d.undoStack, d.levelsOfUndo);
    }
    d.flushRetired();
  }

  if (!discarded && d.state == kCollecting) {
    const bool discardable = !d.undoStack.empty() && d.undoStack.back()->actionIsDiscardable();
    d.post(NSUndoManagerDidCloseUndoGroupNotification, discardable);
  }
}

std::int64_t ZRUndoManager::groupingLevel() const { return impl_->groupLevel; }

bool ZRUndoManager::groupsByEvent() const { return impl_->groupsByEvent; }

void ZRUndoManager::setGroupsByEvent(bool value) { impl_->groupsByEvent = value; }

void ZRUndoManager::setActionName(const std::string& name) {
  Impl& d = *impl_;
  GroupStack& stack = d.state == kUndoing ? d.redoStack : d.undoStack;
  if (!stack.empty()) {
    stack.back()->setActionName(name);
  }
}

void ZRUndoManager::setActionIsDiscardable(bool value) {
  Impl& d = *impl_;
  GroupStack& stack = d.state == kUndoing ? d.redoStack : d.undoStack;
  if (!stack.empty()) {
    stack.back()->setActionIsDiscardable(value);
  }
}

void ZRUndoManager::undo() {
  if (impl_->groupLevel >= 2) {
    inconsistency("can't undo with a nested group open");
  }
  endUndoGrouping();
  undoNestedGroup();
}

namespace {

struct ReplayNames {
  const char* alreadyBusy;
  const char* groupOpen;
  const char* willNotification;
  const char* didNotification;
  const char* failure;
};

constexpr ReplayNames kUndoNames{
    "can't undo - already undoing or redoing", "can't undo - a group is still open",
    NSUndoManagerWillUndoChangeNotification, NSUndoManagerDidUndoChangeNotification,
    "an exception occurred while performing Undo - undo manager will be cleaned up: %@"};
constexpr ReplayNames kRedoNames{
    "can't redo - already undoing or redoing", "can't redo - a group is still open",
    NSUndoManagerWillRedoChangeNotification, NSUndoManagerDidRedoChangeNotification,
    "an exception occurred while performing Redo - undo manager will be cleaned up: %@"};

}  // namespace

// Undo and redo are one algorithm over swapped stacks: perform the top group
// of `source` while a new group on the other stack collects the inverse.
void ZRUndoManager::replay(bool undoing) {
  Impl& d = *impl_;
  ZRUndoManager& manager = *this;
  const ReplayNames& names = undoing ? kUndoNames : kRedoNames;
  if (d.state != kCollecting) {
    inconsistency(names.alreadyBusy);
  }
  if (d.groupLevel != 0) {
    inconsistency(names.groupOpen);
  }
  manager.checkpoint();
  GroupStack& source = undoing ? d.undoStack : d.redoStack;
  GroupStack& target = undoing ? d.redoStack : d.undoStack;
  if (source.empty() || !source.back()->hasTask()) {
    return;
  }
  d.post(names.willNotification);
  ZRUndoGroup* replayed = source.back().get();
  const std::string actionName = replayed->actionName();
  d.state = undoing ? kUndoing : kRedoing;
  ++d.performing;

  std::exception_ptr failure;
  try {
    manager.beginUndoGrouping();
    replayed->perform();
  } catch (...) {
    failure = std::current_exception();
    std::fprintf(stderr, "%s\n", stringWithFormat(names.failure, {exceptionText(failure)}).c_str());
  }
  try {
    if (manager.isUndoRegistrationEnabled() && !target.empty()) {
      target.back()->setActionName(actionName);
    }
    d.removeFromStack(source, replayed);
    manager.endUndoGrouping();
  } catch (...) {
    if (!failure) {
      failure = std::current_exception();
    }
  }
  d.state = kCollecting;
  --d.performing;
  d.flushRetired();
  d.post(names.didNotification);
  if (failure) {
    std::rethrow_exception(failure);
  }
}

void ZRUndoManager::undoNestedGroup() { replay(true); }

void ZRUndoManager::redo() { replay(false); }

bool ZRUndoManager::canUndo() const { return !impl_->undoStack.empty(); }

bool ZRUndoManager::canRedo() const { return !impl_->redoStack.empty(); }

bool ZRUndoManager::isUndoing() const { return impl_->state == kUndoing; }

bool ZRUndoManager::isRedoing() const { return impl_->state == kRedoing; }

void ZRUndoManager::disableUndoRegistration() { --impl_->enableLevel; }

void ZRUndoManager::enableUndoRegistration() {
  if (impl_->enableLevel >= 0) {
    inconsistency("inconsistent state - undo enabled when not previously disabled");
  }
  ++impl_->enableLevel;
}

bool ZRUndoManager::isUndoRegistrationEnabled() const { return impl_->enableLevel >= 0; }

std::uint64_t ZRUndoManager::levelsOfUndo() const { return impl_->levelsOfUndo; }

void ZRUndoManager::setLevelsOfUndo(std::uint64_t levels) {
  Impl& d = *impl_;
  d.levelsOfUndo = levels;
  if (levels == 0 || d.isRemovingTargets) {
    return;
  }
  {
    FlagScope removing(d.isRemovingTargets);
    d.trim(d.undoStack, levels);
    d.trim(d.redoStack, levels);
  }
  d.flushRetired();
}

void ZRUndoManager::removeAllActions() {
  Impl& d = *impl_;
  if (d.isRemovingTargets) {
    return;
  }
  {
    FlagScope removing(d.isRemovingTargets);
    for (GroupStack* stack : {&d.undoStack, &d.redoStack}) {
      for (auto& group : *stack) {
        d.retire(std::move(group));
      }
      stack->clear();
    }
  }
  reset();
  d.flushRetired();
}

void ZRUndoManager::removeAllActionsWithTarget(const void* target) {
  Impl& d = *impl_;
  if (d.isRemovingTargets) {
    return;
  }
  {
    FlagScope removing(d.isRemovingTargets);
    const auto keep = d.openGroups();
    for (GroupStack* stack : {&d.undoStack, &d.redoStack}) {
      GroupStack kept;
      kept.reserve(stack->size());
      for (auto& group : *stack) {
        group->removeTasksWithTarget(target, this);
        if (group->hasTask() || keep.count(group.get()) != 0) {
          kept.push_back(std::move(group));
        } else {
          d.retire(std::move(group));
        }
      }
      *stack = std::move(kept);
    }
  }
  d.flushRetired();
}

std::string ZRUndoManager::undoActionName() const {
  return impl_->undoStack.empty() ? std::string() : impl_->undoStack.back()->actionName();
}

std::string ZRUndoManager::redoActionName() const {
  return impl_->redoStack.empty() ? std::string() : impl_->redoStack.back()->actionName();
}

std::string ZRUndoManager::undoMenuItemTitle() const {
  return undoMenuTitleForUndoActionName(undoActionName());
}

std::string ZRUndoManager::redoMenuItemTitle() const {
  return redoMenuTitleForUndoActionName(redoActionName());
}

namespace {

std::string menuTitle(bool possible, const std::string& name, const char* verb,
                      const char* nothing) {
  if (!possible) {
    return localizedString(nothing, "Undo");
  }
  const std::string title = localizedString(verb, "Undo");
  if (name.empty()) {
    return title;
  }
  return stringWithFormat("%@ %@", {title, name});
}

}  // namespace

std::string ZRUndoManager::undoMenuTitleForUndoActionName(const std::string& name) const {
  return menuTitle(canUndo(), name, "Undo", "Nothing To Undo");
}

std::string ZRUndoManager::redoMenuTitleForUndoActionName(const std::string& name) const {
  return menuTitle(canRedo(), name, "Redo", "Nothing To Redo");
}

void ZRUndoManager::setAutomaticallyDiscardsEmptyGroups(bool value) {
  impl_->autoDeleteEmptyGroups = value;
}

void ZRUndoManager::enableUndoTaskCoalescing() { impl_->coalescing = true; }

void ZRUndoManager::disableUndoTaskCoalescing() { impl_->coalescing = false; }

void ZRUndoManager::setCoalescingKind(int kind) { impl_->coalKind = kind; }

void ZRUndoManager::setRetainsTargets(bool value) { impl_->retainsTargets = value; }

std::uint64_t ZRUndoManager::changeCount() const { return impl_->changeCount; }

void ZRUndoManager::resetChangeCount() { impl_->changeCount = 0; }

const ZRUndoGroup* ZRUndoManager::peekUndo() const {
  return impl_->undoStack.empty() ? nullptr : impl_->undoStack.back().get();
}

const ZRUndoGroup* ZRUndoManager::peekRedo() const {
  return impl_->redoStack.empty() ? nullptr : impl_->redoStack.back().get();
}

std::size_t ZRUndoManager::numberOfUndoActions() const { return impl_->undoStack.size(); }

std::size_t ZRUndoManager::numberOfRedoActions() const { return impl_->redoStack.size(); }

void ZRUndoManager::explodeTopUndoAction() {
  Impl& d = *impl_;
  if (d.undoStack.empty() || d.openGroups().count(d.undoStack.back().get()) != 0) {
    return;
  }
  std::unique_ptr<ZRUndoGroup> old = std::move(d.undoStack.back());
  d.undoStack.pop_back();
  std::size_t position = 0;
  while (auto task = old->takeTaskAtIndex(0)) {
    ++position;
    auto* concrete = dynamic_cast<ZRConcreteUndoTask*>(task.get());
    auto group = std::make_unique<ZRUndoGroup>();
    group->setActionName(stringWithFormat(
        "%@ (%lu: %@)", {old->actionName(), std::to_string(position),
                         concrete ? concrete->selector() : std::string("<subgroup>")}));
    group->setActionIsDiscardable(old->actionIsDiscardable());
    group->addTask(std::move(task));
    d.undoStack.push_back(std::move(group));
  }
  d.retire(std::move(old));
  d.flushRetired();
}

void ZRUndoManager::checkpoint() {
  Impl& d = *impl_;
  if (d.isInCheckpoint) {
    return;
  }
  FlagScope inCheckpoint(d.isInCheckpoint);
  d.post(NSUndoManagerCheckpointNotification);
}

void ZRUndoManager::reset() {
  Impl& d = *impl_;
  d.cancelEndOfEventClose();
  d.groupLevel = 0;
  d.coalKind = 0;
  d.openGroup = nullptr;
  d.groupsByEvent = true;
  d.enableLevel = 0;
  d.state = kCollecting;
}

std::string ZRUndoManager::description() const {
  const Impl& d = *impl_;
  return stringWithFormat("%@ g-level = %ld, state = %d, u-stack: %@, r-stack: %@",
                          {objectText("ZRUndoManager", this), std::to_string(d.groupLevel),
                           std::to_string(d.state), listText(d.undoStack), listText(d.redoStack)});
}

std::uint64_t ZRUndoManager::addObserver(Observer observer) {
  const auto token = impl_->nextObserverToken++;
  impl_->observers.emplace(token, std::move(observer));
  return token;
}

void ZRUndoManager::removeObserver(std::uint64_t token) { impl_->observers.erase(token); }

}  // namespace quorvel
