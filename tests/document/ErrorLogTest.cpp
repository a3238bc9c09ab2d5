#include "document/ErrorLogWindowController.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/UrlOpener.h"
#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

using Log = ErrorLogWindowController;

// Undoes percent-escapes, to read back what a mail client would see.
std::string unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

class ErrorLogTest : public ::testing::Test {
 protected:
  void SetUp() override { log.clear(); }
  void TearDown() override {
    log.setClock(nullptr);
    for (auto token : observers) {
      log.removeObserver(token);
    }
    log.clear();
  }
  void fixClock(std::int64_t secondsSinceEpoch) {
    log.setClock(
        [secondsSinceEpoch] { return Log::TimePoint(std::chrono::seconds(secondsSinceEpoch)); });
  }

  Log& log = Log::sharedController();
  std::vector<std::uint64_t> observers;
};

TEST_F(ErrorLogTest, LinesCarryTheDateTabMessageInOrder) {
  fixClock(1796495400);  // 2026-12-05 18:30:00 UTC
  log.logMessage("Could Not Add File At Path: /music/a.mp3");
  Log::log("second");
  ASSERT_EQ(log.count(), 2u);
  EXPECT_EQ(log.errorLog()[1].log, "second");
  EXPECT_EQ(log.errorLogAsString(),
            "2026-12-05 18:30:00 +0000\tCould Not Add File At Path: /music/a.mp3\n"
            "2026-12-05 18:30:00 +0000\tsecond\n");
  EXPECT_EQ(Log::formatDate(Log::TimePoint(std::chrono::milliseconds(999))),
            "1970-01-01 00:00:00 +0000");
}

TEST_F(ErrorLogTest, TwoThreadsLoggingAtOnceLoseNothing) {
  std::vector<std::size_t> insertedAt;
  observers.push_back(log.addObserver([&](Log::Change change, std::size_t first, std::size_t n) {
    EXPECT_EQ(change, Log::Change::Inserted);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(log.count(), first + 1);  // the observer may read the log
    insertedAt.push_back(first);
  }));
  constexpr int kEach = 500;
  auto writer = [&](const std::string& name) {
    for (int i = 0; i < kEach; ++i) {
      log.logMessage(name + " message number " + std::to_string(i));
    }
  };
  std::thread a(writer, "A"), b(writer, "B");
  a.join();
  b.join();

  const auto entries = log.errorLog();
  ASSERT_EQ(entries.size(), 2u * kEach);
  int nextA = 0, nextB = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(insertedAt[i], i);
    const std::string& line = entries[i].log;
    int& next = line[0] == 'A' ? nextA : nextB;
    EXPECT_EQ(line.substr(1), " message number " + std::to_string(next));
    ++next;
  }
  EXPECT_EQ(nextA, kEach);
  EXPECT_EQ(nextB, kEach);
}

TEST_F(ErrorLogTest, ClearTellsObserversOfTheRemovedRange) {
  std::vector<std::string> changes;
  observers.push_back(log.addObserver([&](Log::Change change, std::size_t first, std::size_t n) {
    changes.push_back((change == Log::Change::Inserted ? "+" : "-") + std::to_string(first) + "," +
                      std::to_string(n));
  }));
  log.logMessage("one");
  log.logMessage("two");
  log.clear();
  log.clear();  // already empty: nothing to tell
  EXPECT_EQ(changes, (std::vector<std::string>{"+0,1", "+1,1", "-0,2"}));
  EXPECT_EQ(log.errorLogAsString(), "");
}

TEST_F(ErrorLogTest, SaveReplacesTheFileAndReportsFailures) {
  test::TemporaryDirectory dir;
  const auto path = (dir / "errors.log").string();
  test::writeFile(path, "old contents that are longer than the new ones");
  ASSERT_TRUE(log.save(path));
  EXPECT_EQ(test::readFile(path), "");  // an empty log writes an empty file

  fixClock(0);
  log.logMessage("Caf\xC3\xA9 failed");
  ASSERT_TRUE(log.save(path));
  EXPECT_EQ(test::readFile(path), "1970-01-01 00:00:00 +0000\tCaf\xC3\xA9 failed\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);  // no temporary file left behind

  Error error;
  EXPECT_FALSE(log.save((dir / "missing/errors.log").string(), &error));
  EXPECT_EQ(error.domain, kQuorvelErrorDomain);
  EXPECT_EQ(error.code, 512);
  EXPECT_NE(error.localizedDescription.find("\"errors.log\""), std::string::npos);
}

TEST_F(ErrorLogTest, MailReportEscapesEveryPart) {
  fixClock(0);
  log.logMessage("a&b=c?d #50% + \"q\" caf\xC3\xA9");
  const std::string url = log.emailReportURL();
  const std::string head = std::string("mailto:support@quorvel.org?subject=Quorvel%20") +
                           QUORVEL_VERSION + "%20-%20Error%20Report&body=";
  ASSERT_EQ(url.substr(0, head.size()), head);
  const std::string body = url.substr(head.size());
  EXPECT_EQ(body.find_first_of("&=?# +\"\t\n"), std::string::npos);
  EXPECT_NE(body.find("caf%C3%A9"), std::string::npos);
  EXPECT_EQ(unescape(body), log.errorLogAsString());

  std::vector<std::string> opened;
  auto previous = UrlOpener::setHandler([&](const std::string& u, Error*) {
    opened.push_back(u);
    return true;
  });
  EXPECT_TRUE(log.emailReportToDeveloper());
  UrlOpener::setHandler(previous);
  EXPECT_EQ(opened, std::vector<std::string>{url});
}

}  // namespace
}  // namespace quorvel
