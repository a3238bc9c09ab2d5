#pragma once

#include <string>
#include <vector>

namespace quorvel::ui {

class MainWindow;

// The offscreen smoke test: drives the window the way a person would (select,
// edit a cell, edit a field, undo, search, sort, open the hex view) and
// checks that every path reaches the controller and comes back on screen.
// Nothing is saved, so the files it was given stay as they were.
class SmokeTest {
 public:
  explicit SmokeTest(MainWindow& window) : window_(window) {}

  // Runs every step; returns the failed checks (empty when all passed).
  std::vector<std::string> run();

 private:
  void check(bool condition, const std::string& what);
  // Lets queued edits and refreshes run.
  void settle();

  MainWindow& window_;
  std::vector<std::string> failures_;
};

}  // namespace quorvel::ui
