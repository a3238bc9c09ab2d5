#pragma once

// A scripted UI host and a fixture that drives the application controller
// end to end on copies of the generated audio fixtures.

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document/AppDelegate.h"
#include "document/ErrorLogWindowController.h"
#include "model/AudioFileReader.h"
#include "model/AudioMetadata.h"
#include "platform/RunLoop.h"
#include "platform/UIHost.h"
#include "platform/UserDefaults.h"
#include "platform/ZRUndoManager.h"
#include "testsupport/TestSupport.h"

namespace quorvel::test {

using Strings = std::vector<std::string>;

// Answers alerts from a queue and records everything it is shown. Called on
// the main thread only.
class ScriptedHost : public UIHost {
 public:
  struct Alert {
    std::string heading;
    std::string text;
    std::vector<std::string> buttons;
    bool hasIcon = false;
  };
  struct Sheet {
    std::string message;
    bool indeterminate = false;
    std::vector<std::string> texts;  // every message set while it was shown
    int returnCode = -1;             // -1 while shown
  };

  std::deque<int> answers;  // one per expected alert, in order
  std::vector<Alert> alerts;
  std::vector<Sheet> sheets;
  std::vector<std::string> events;  // "errorLog", "terminate:1", ... in order
  std::vector<std::string> openPanelPaths;
  PasteboardContents pasteboard;
  std::string placeholder;
  int errorLogShown = 0;
  // Called with every progress message (tests press Cancel from here).
  std::function<void(const std::string&)> onProgressText;
  // Called with the message of every sheet as it opens.
  std::function<void(const std::string&)> onSheetBegin;
  // The one-file open panel: the file chosen, none for Cancel.
  std::optional<std::string> openFilePath;
  // The save panel with an accessory: the path chosen (none for Cancel), and
  // the pop-up tag and check box the person sets, when they touch them.
  std::optional<std::string> saveFilePath;
  std::optional<int> savePanelTag;
  std::optional<bool> savePanelCheckbox;
  std::vector<std::string> savePanelTitles;
  std::vector<SavePanelAccessory> savePanelsShown;  // as each panel opened

  int runAlert(const std::string& heading, const std::string& text,
               const std::vector<std::string>& buttons) override {
    alerts.push_back({heading, text, buttons, false});
    events.push_back("alert:" + heading);
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected alert: " << heading;
      return 1000;
    }
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  int runAlertWithIcon(const std::string& heading, const std::string& text,
                       const std::vector<std::string>& buttons, const Data& icon) override {
    int answer = runAlert(heading, text, buttons);
    alerts.back().hasIcon = !icon.empty();
    return answer;
  }
  std::optional<std::string> chooseFolder(const std::string&, const std::string&,
                                          const std::string&) override {
    return std::nullopt;
  }
  std::vector<std::string> chooseFilesToOpen(const std::vector<std::string>&) override {
    return openPanelPaths;
  }
  std::optional<std::string> chooseFileToOpen(const std::string&,
                                              const std::vector<std::string>&) override {
    return openFilePath;
  }
  std::optional<std::string> chooseSaveFileWithAccessory(const std::string& title,
                                                         const std::string&,
                                                         SavePanelAccessory& accessory) override {
    savePanelTitles.push_back(title);
    savePanelsShown.push_back(accessory);
    if (savePanelTag && *savePanelTag != accessory.selectedTag) {
      accessory.selectedTag = *savePanelTag;
      if (accessory.popupChanged) {
        accessory.popupChanged(accessory);
      }
    }
    if (savePanelCheckbox && accessory.checkboxEnabled) {
      accessory.checkboxState = *savePanelCheckbox;
    }
    return saveFilePath;
  }
  void beginProgressSheet(const std::string& message, bool indeterminate, double) override {
    sheets.push_back({message, indeterminate, {}, -1});
    events.push_back("sheet:" + message);
    if (onSheetBegin) {
      onSheetBegin(message);
    }
  }
  void setProgressText(const std::string& message) override {
    if (!sheets.empty()) {
      sheets.back().texts.push_back(message);
    }
    if (onProgressText) {
      onProgressText(message);
    }
  }
  void endProgressSheet(int returnCode) override {
    if (!sheets.empty()) {
      sheets.back().returnCode = returnCode;
    }
    events.push_back("endSheet:" + std::to_string(returnCode));
  }
  void showErrorLog() override {
    ++errorLogShown;
    events.push_back("errorLog");
  }
  void setSearchPlaceholder(const std::string& text) override { placeholder = text; }
  PasteboardContents readPasteboard() override { return pasteboard; }
  void replyToApplicationShouldTerminate(bool shouldTerminate) override {
    events.push_back(std::string("terminate:") + (shouldTerminate ? "1" : "0"));
  }

  const Sheet* sheetNamed(const std::string& message) const {
    for (const auto& sheet : sheets) {
      if (sheet.message == message) {
        return &sheet;
      }
    }
    return nullptr;
  }
};

class ControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& defaults = UserDefaults::standard();
    defaults.setBool(true, "onlySaveChangedFiles");
    defaults.setBool(false, "preserveModificationDate");
    defaults.setBool(false, "clearAfterSaving");
    defaults.setBool(false, "saveAfterChange");
    defaults.setBool(false, "clearFilesWhenAdding");
    defaults.setInteger(1, "pasteImageDataFormat");
    host = std::make_shared<ScriptedHost>();
    controller = std::make_unique<AppDelegate>(host);
  }
  void TearDown() override {
    controller.reset();
    EXPECT_TRUE(host->answers.empty()) << "alerts expected but not shown";
  }

  // Runs the main loop until the controller has finished what it started.
  void waitUntilIdle() {
    ASSERT_TRUE(RunLoop::main().runUntil([this] { return !controller->isBusy(); },
                                         std::chrono::minutes(5)));
    RunLoop::main().processPendingEvents();
  }

  // Copies a fixture into the test's folder (as `name`, default its own).
  std::string copy(const std::string& fixtureName, const std::string& name = "") {
    auto destination = dir / (name.empty() ? fixtureName : name);
    std::filesystem::create_directories(destination.parent_path());
    std::filesystem::copy_file(fixture(fixtureName), destination,
                               std::filesystem::copy_options::overwrite_existing);
    return destination.string();
  }
  std::string writeText(const std::string& name, const std::string& text) {
    auto path = dir / name;
    std::filesystem::create_directories(path.parent_path());
    writeFile(path, text);
    return path.string();
  }

  // Drops `paths` on the window and waits for the run to end.
  void drop(const std::vector<std::string>& paths) {
    controller->filesWereDropped(paths);
    waitUntilIdle();
  }
  const std::vector<AudioMetadataPtr>& records() const { return controller->metadatas(); }
  AudioMetadata& record(std::size_t index) const { return *controller->metadatas().at(index); }
  void selectAll() { controller->setSelectionIndexes(allIndexes()); }
  std::vector<std::size_t> allIndexes() const {
    std::vector<std::size_t> indexes;
    for (std::size_t i = 0; i < controller->metadatasInDisplayOrder().size(); ++i) {
      indexes.push_back(i);
    }
    return indexes;
  }
  std::string text(const AudioMetadata& metadata, const std::string& key) const {
    return metadata.metadataObjectValueForKey(key).stringValue().value_or("<none>");
  }
  ZRUndoManager& undo() const { return *controller->undoManager(); }
  std::vector<std::string> logLines() const {
    std::vector<std::string> lines;
    for (const auto& entry : ErrorLogWindowController::sharedController().errorLog()) {
      lines.push_back(entry.log);
    }
    return lines;
  }

  TemporaryDirectory tmp;
  std::filesystem::path dir = tmp.path();
  std::shared_ptr<ScriptedHost> host;
  std::unique_ptr<AppDelegate> controller;
};

}  // namespace quorvel::test
