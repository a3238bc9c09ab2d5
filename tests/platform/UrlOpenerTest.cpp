#include "platform/UrlOpener.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

// Points PATH at `folder` for the length of a scope.
class PathOverride {
 public:
  explicit PathOverride(const std::string& folder) {
    if (const char* old = std::getenv("PATH")) {
      saved_ = old;
    }
    ::setenv("PATH", folder.c_str(), 1);
  }
  ~PathOverride() { ::setenv("PATH", saved_.c_str(), 1); }
  PathOverride(const PathOverride&) = delete;
  PathOverride& operator=(const PathOverride&) = delete;

 private:
  std::string saved_;
};

TEST(UrlOpenerTest, HandsTheUrlToXdgOpenAsOneArgument) {
  test::TemporaryDirectory dir;
  const auto received = dir / "received.txt";
  const auto script = dir / "xdg-open";
  test::writeFile(script, "#!/bin/sh\nprintf '%s' \"$1\" > \"" + received.string() +
                              ".tmp\" && mv \"" + received.string() + ".tmp\" \"" +
                              received.string() + "\"\n");
  ::chmod(script.c_str(), 0755);
  const std::string url = "mailto:a@b.org?subject=x%20y&body=$(touch evil);'\"";
  {
    PathOverride path(dir.path().string() + ":/usr/bin:/bin");
    Error error;
    ASSERT_TRUE(UrlOpener::openURL(url, &error)) << error.localizedDescription;
  }
  // xdg-open runs in the background; wait for it (a safety net, not a timing).
  for (int i = 0; i < 6000 && !std::filesystem::exists(received); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(test::readFile(received), url);
  EXPECT_FALSE(std::filesystem::exists("evil"));
}

TEST(UrlOpenerTest, ReportsAMissingOpenerAndHonoursAReplacement) {
  test::TemporaryDirectory empty;
  {
    PathOverride path(empty.path().string());
    Error error;
    EXPECT_FALSE(UrlOpener::openURL("https://example.org/", &error));
    EXPECT_NE(error.localizedDescription.find("xdg-open is not installed"), std::string::npos);
  }
  EXPECT_FALSE(UrlOpener::openURL(""));

  std::string seen;
  auto previous = UrlOpener::setHandler([&](const std::string& url, Error*) {
    seen = url;
    return true;
  });
  EXPECT_TRUE(UrlOpener::openURL("https://example.org/"));
  EXPECT_EQ(seen, "https://example.org/");
  UrlOpener::setHandler(previous);
}

}  // namespace
}  // namespace quorvel
