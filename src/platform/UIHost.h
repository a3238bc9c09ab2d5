#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

// Everything the core asks of a person goes through this interface: the
// desktop application answers with dialogs, the CLI and the tests with
// scripted answers. Calls arrive on the main thread unless stated otherwise.
class UIHost {
 public:
  virtual ~UIHost() = default;

  // Shows an alert and returns the pressed button: 1000, 1001, 1002 in the
  // order of `buttons`.
  virtual int runAlert(const std::string& heading, const std::string& text,
                       const std::vector<std::string>& buttons) = 0;

  // Asks for one folder, starting in `startFolder`. None when cancelled.
  virtual std::optional<std::string> chooseFolder(const std::string& title,
                                                  const std::string& startFolder,
                                                  const std::string& buttonTitle) = 0;

  // The host in use. Never null: until one is installed, a host that answers
  // every alert with its first button and cancels every panel.
  static std::shared_ptr<UIHost> current();
  // Installs `host` (null restores the default); returns the previous one.
  static std::shared_ptr<UIHost> install(std::shared_ptr<UIHost> host);
};

}  // namespace quorvel
