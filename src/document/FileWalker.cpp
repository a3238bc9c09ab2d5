#include "document/FileWalker.h"

#include <algorithm>
#include <filesystem>

namespace quorvel {

namespace fs = std::filesystem;

const std::vector<std::string>& FileWalker::acceptedExtensions() {
  static const std::vector<std::string> extensions = {
      "mp3",  "flac", "ape",  "wma",  "wmv", "asf", "ogg", "oga", "oggflac", "spx", "aif",  "aiff",
      "aifc", "wav",  "wave", "alac", "m4a", "m4b", "m4r", "m4v", "mp4",     "aac", "aacp", "mov",
      "sd2",  "3gp",  "3gs",  "3g2",  "caf", "snd", "au",  "amr", "sdir",    "tta", "dsf"};
  return extensions;
}

bool FileWalker::hasAcceptedExtension(std::string_view path) {
  auto slash = path.find_last_of('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  auto dot = name.find_last_of('.');
  if (dot == std::string_view::npos || dot == 0) {
    return false;
  }
  std::string extension(name.substr(dot + 1));
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const auto& list = acceptedExtensions();
  return std::find(list.begin(), list.end(), extension) != list.end();
}

namespace {

bool walk(const fs::path& folder, const FileWalker::Visitor& offer,
          const FileWalker::Visitor& afterItem) {
  std::error_code ec;
  std::vector<fs::directory_entry> entries;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().filename().string().starts_with(".")) {
      continue;
    }
    entries.push_back(*it);
  }
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
  for (const auto& entry : entries) {
    const std::string path = entry.path().string();
    if (FileWalker::hasAcceptedExtension(path) && !offer(path)) {
      return false;
    }
    if (afterItem && !afterItem(path)) {
      return false;
    }
    std::error_code typeError;
    if (entry.is_directory(typeError) && !entry.is_symlink(typeError)) {
      if (!walk(entry.path(), offer, afterItem)) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

bool FileWalker::walkFolder(const std::string& folder, const Visitor& offer,
                            const Visitor& afterItem) {
  return walk(fs::path(folder), offer, afterItem);
}

}  // namespace quorvel
