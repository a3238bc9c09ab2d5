#include "platform/UIHost.h"

#include <atomic>
#include <mutex>

namespace quorvel {

namespace {

class NonInteractiveHost final : public UIHost {
 public:
  int runAlert(const std::string&, const std::string&, const std::vector<std::string>&) override {
    return 1000;
  }
  std::optional<std::string> chooseFolder(const std::string&, const std::string&,
                                          const std::string&) override {
    return std::nullopt;
  }
};

std::mutex hostMutex;
std::shared_ptr<UIHost>& installedHost() {
  static std::shared_ptr<UIHost> host = std::make_shared<NonInteractiveHost>();
  return host;
}

}  // namespace

std::shared_ptr<UIHost> UIHost::current() {
  std::lock_guard lock(hostMutex);
  return installedHost();
}

std::shared_ptr<UIHost> UIHost::install(std::shared_ptr<UIHost> host) {
  std::lock_guard lock(hostMutex);
  auto previous = installedHost();
  installedHost() = host ? std::move(host) : std::make_shared<NonInteractiveHost>();
  return previous;
}

}  // namespace quorvel
