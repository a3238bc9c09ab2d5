#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// Which paths the file list offers to the reader, and the walk of dropped or
// opened folders.
class FileWalker {
 public:
  // The extensions the list accepts (lower case, without the dot); the open
  // panel offers the same list.
  static const std::vector<std::string>& acceptedExtensions();
  // True when the lower-cased extension of `path` is accepted.
  static bool hasAcceptedExtension(std::string_view path);

  // What the walk reports for each item it meets. Return false to stop.
  using Visitor = std::function<bool(const std::string& path)>;

  // Walks `folder` recursively in a stable (sorted) order, skipping hidden
  // entries (names beginning with "."), and calls `offer` for each item whose
  // extension is accepted; a folder with an accepted extension is offered and
  // entered as well. `afterItem` runs after every item, accepted or not (the
  // loader reports progress and tests its cancel flag there). Symbolic links
  // to folders are not followed, so a link cycle cannot make the walk endless.
  // Returns false when a visitor stopped the walk. Any thread.
  static bool walkFolder(const std::string& folder, const Visitor& offer,
                         const Visitor& afterItem = nullptr);
};

}  // namespace quorvel
