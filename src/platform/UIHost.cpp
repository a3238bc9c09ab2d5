#include "platform/UIHost.h"

#include <mutex>

namespace quorvel {

int UIHost::runAlertWithIcon(const std::string& heading, const std::string& text,
                             const std::vector<std::string>& buttons, const Data&) {
  return runAlert(heading, text, buttons);
}

std::vector<std::string> UIHost::chooseFilesToOpen(const std::vector<std::string>&) { return {}; }

std::optional<std::string> UIHost::chooseSaveFile(const std::string&, const std::string&,
                                                  const std::vector<std::string>&) {
  return std::nullopt;
}

std::optional<std::string> UIHost::chooseFileToOpen(const std::string&,
                                                    const std::vector<std::string>&) {
  return std::nullopt;
}

std::optional<std::string> UIHost::chooseSaveFileWithAccessory(const std::string&,
                                                               const std::string&,
                                                               SavePanelAccessory&) {
  return std::nullopt;
}

void UIHost::beginProgressSheet(const std::string&, bool, double) {}
void UIHost::setProgressText(const std::string&) {}
void UIHost::setProgressValue(double) {}
void UIHost::setProgressIndeterminate(bool) {}
void UIHost::endProgressSheet(int) {}
void UIHost::reloadTable() {}
void UIHost::selectionDidChange() {}
void UIHost::refreshEditor() {}
void UIHost::endEditing() {}
void UIHost::setSearchPlaceholder(const std::string&) {}
void UIHost::showErrorLog() {}
void UIHost::closeAllAuxillaryWindows() {}
PasteboardContents UIHost::readPasteboard() { return {}; }
void UIHost::writePasteboard(const PasteboardContents&) {}
void UIHost::replyToApplicationShouldTerminate(bool) {}

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
