#include "platform/UserDefaults.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> filesIn(const fs::path& folder) {
  std::vector<fs::path> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path());
  return names;
}

TEST(UserDefaultsTest, VolatileOverUserOverRegisteredOverEmpty) {
  UserDefaults store("");
  EXPECT_FALSE(store.boolForKey("saveAfterChange"));
  EXPECT_EQ(store.integerForKey("WriteMP3ID3v2TagVersion"), 0);
  EXPECT_EQ(store.floatForKey("x"), 0.0);
  EXPECT_FALSE(store.stringForKey("x"));
  EXPECT_FALSE(store.dataForKey("x"));
  EXPECT_FALSE(store.objectForKey("x"));

  store.registerDefaults({{"WriteMP3ID3v2TagVersion", 3}, {"previewMode", true}});
  EXPECT_EQ(store.integerForKey("WriteMP3ID3v2TagVersion"), 3);
  store.setInteger(4, "WriteMP3ID3v2TagVersion");
  EXPECT_EQ(store.integerForKey("WriteMP3ID3v2TagVersion"), 4);
  store.setVolatileValue(2, "WriteMP3ID3v2TagVersion");
  EXPECT_EQ(store.integerForKey("WriteMP3ID3v2TagVersion"), 2);
  store.setInteger(0, "WriteMP3ID3v2TagVersion");  // the volatile value still wins
  EXPECT_EQ(store.integerForKey("WriteMP3ID3v2TagVersion"), 2);
  store.setVolatileValue(PlistValue(), "WriteMP3ID3v2TagVersion");
  EXPECT_EQ(store.integerForKey("WriteMP3ID3v2TagVersion"), 0);  // the user's 0, not the 3
  store.removeObjectForKey("WriteMP3ID3v2TagVersion");
  EXPECT_EQ(store.integerForKey("WriteMP3ID3v2TagVersion"), 3);

  // Setting none removes the user's value, so the first value shows again.
  store.setBool(false, "previewMode");
  EXPECT_FALSE(store.boolForKey("previewMode"));
  store.setObject(PlistValue(), "previewMode");
  EXPECT_TRUE(store.boolForKey("previewMode"));

  // Later registrations win per key and leave other keys alone.
  store.registerDefaults({{"WriteMP3ID3v2TagVersion", 4}});
  EXPECT_EQ(store.integerForKey("WriteMP3ID3v2TagVersion"), 4);
  EXPECT_TRUE(store.boolForKey("previewMode"));

  store.setVolatileValue("cli", "only");
  PlistDict all = store.dictionaryRepresentation();
  EXPECT_EQ(all.at("only"), PlistValue("cli"));
  EXPECT_EQ(all.at("previewMode"), PlistValue(true));
  EXPECT_EQ(store.path(), "");
}

TEST(UserDefaultsTest, WrongTypeReadsGiveEmptyAnswerOrNumericCoercion) {
  UserDefaults store("");
  store.registerDefaults({{"int", 7},
                          {"negativeReal", -2.9},
                          {"hugeReal", 1e300},
                          {"boolTrue", true},
                          {"yes", "YES"},
                          {"trueText", " true "},
                          {"numberText", "42"},
                          {"realText", "2.5"},
                          {"word", "banana"},
                          {"data", Data::fromString("abc")},
                          {"array", PlistArray{1}},
                          {"date", PlistDate()}});
  // key, bool, integer, float, string ("-" for none)
  struct Row {
    const char* key;
    bool b;
    std::int64_t i;
    double f;
    const char* s;
  };
  const Row rows[] = {
      {"int", true, 7, 7.0, "7"},
      {"negativeReal", true, -2, -2.9, "-2.9"},
      {"hugeReal", true, std::numeric_limits<std::int64_t>::max(), 1e300, "1e+300"},
      {"boolTrue", true, 1, 1.0, "-"},
      {"yes", true, 0, 0.0, "YES"},
      {"trueText", true, 0, 0.0, " true "},
      {"numberText", true, 42, 42.0, "42"},
      {"realText", false, 2, 2.5, "2.5"},
      {"word", false, 0, 0.0, "banana"},
      {"data", false, 0, 0.0, "-"},
      {"array", false, 0, 0.0, "-"},
      {"date", false, 0, 0.0, "-"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.key);
    EXPECT_EQ(store.boolForKey(row.key), row.b);
    EXPECT_EQ(store.integerForKey(row.key), row.i);
    EXPECT_EQ(store.floatForKey(row.key), row.f);
    EXPECT_EQ(store.stringForKey(row.key).value_or("-"), row.s);
  }
  EXPECT_EQ(store.dataForKey("data"), Data::fromString("abc"));
  EXPECT_FALSE(store.dataForKey("word"));
  EXPECT_EQ(store.objectForKey("array"), PlistValue(PlistArray{1}));
  // A user's value of the wrong type hides the registered one rather than
  // falling through to it.
  store.setObject("not a number", "int");
  EXPECT_EQ(store.integerForKey("int"), 0);
}

TEST(UserDefaultsTest, WritesPersistAcrossInstancesOnTheSameFile) {
  test::TemporaryDirectory dir;
  const fs::path path = dir / "nested" / "folder" / "settings.plist";  // folders made on demand
  {
    UserDefaults store(path.string());
    store.registerDefaults({{"registered", 1}});
    store.setBool(true, "saveAfterChange");
    store.setInteger(4, "WriteMP3ID3v2TagVersion");
    store.setObject(PlistDict{{"a", PlistArray{"x", Data::fromString("y")}}}, "nested");
    store.setVolatileValue(true, "volatileOnly");
    store.setBool(true, "removedLater");
    store.removeObjectForKey("removedLater");
  }
  auto onDisk = plist::readFile(path.string());
  ASSERT_TRUE(onDisk);
  const PlistDict& saved = *onDisk->get<PlistDict>();
  EXPECT_EQ(saved.size(), 3u);  // neither registered nor volatile values are saved
  EXPECT_FALSE(saved.count("registered"));
  EXPECT_FALSE(saved.count("volatileOnly"));

  UserDefaults again(path.string());
  EXPECT_TRUE(again.boolForKey("saveAfterChange"));
  EXPECT_EQ(again.integerForKey("WriteMP3ID3v2TagVersion"), 4);
  EXPECT_EQ(again.objectForKey("nested"),
            PlistValue(PlistDict{{"a", PlistArray{"x", Data::fromString("y")}}}));
  EXPECT_FALSE(again.boolForKey("removedLater"));
  EXPECT_EQ(again.path(), path.string());
}

TEST(UserDefaultsTest, DamagedFileIsSetAsideAndFirstValuesUsed) {
  const std::vector<std::pair<std::string, std::string>> damaged = {
      {"garbage", "this is not a property list\x01\x02"},
      {"truncated", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key>"},
      {"not a dictionary", std::string(plist::serialize(PlistArray{1, 2}).view())},
      {"empty", ""},
  };
  for (const auto& [name, contents] : damaged) {
    SCOPED_TRACE(name);
    test::TemporaryDirectory dir;
    const fs::path path = dir / "settings.plist";
    test::writeFile(path, contents);

    UserDefaults store(path.string());
    store.registerDefaults({{"onlySaveChangedFiles", true}});
    EXPECT_TRUE(store.boolForKey("onlySaveChangedFiles"));
    std::vector<fs::path> files = filesIn(dir.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0].filename().string().starts_with("settings.plist.corrupt-"));
    EXPECT_EQ(test::readFile(files[0]), contents);  // kept as it was for the user

    // The store works normally afterwards and writes a fresh file.
    store.setBool(false, "onlySaveChangedFiles");
    EXPECT_EQ(UserDefaults(path.string()).boolForKey("onlySaveChangedFiles"), false);
  }
}

TEST(UserDefaultsTest, UnreadableFileIsNeverOverwritten) {
  {
    // A folder where the file should be: not damaged data, so it is neither
    // moved aside nor replaced.
    test::TemporaryDirectory dir;
    const fs::path path = dir / "settings.plist";
    fs::create_directory(path);
    UserDefaults store(path.string());
    store.setBool(true, "saveAfterChange");
    EXPECT_TRUE(store.boolForKey("saveAfterChange"));
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(filesIn(dir.path()).size(), 1u);
  }
  if (::geteuid() == 0) {
    GTEST_SKIP() << "permissions do not stop root from reading";
  }
  test::TemporaryDirectory dir;
  const fs::path path = dir / "settings.plist";
  ASSERT_TRUE(plist::writeFile(PlistDict{{"precious", 1}}, path.string(), false));
  ::chmod(path.c_str(), 0);
  UserDefaults store(path.string());
  store.setInteger(2, "other");
  EXPECT_EQ(store.integerForKey("other"), 2);  // held for this run
  ::chmod(path.c_str(), 0600);
  EXPECT_EQ(*plist::readFile(path.string()), PlistValue(PlistDict{{"precious", 1}}));
  EXPECT_EQ(filesIn(dir.path()).size(), 1u);
}

// Workers read while the main thread writes; each reader must see a counter
// that never goes backwards and a registered value that never flickers.
// Meant for ThreadSanitizer as much as for the assertions.
TEST(UserDefaultsTest, ConcurrentReadsDuringWrites) {
  test::TemporaryDirectory dir;
  UserDefaults store((dir / "settings.plist").string());
  store.registerDefaults({{"stable", "first value"}, {"counter", 0}});
  constexpr int kWrites = 300;
  std::atomic<bool> done{false};
  std::atomic<int> failures{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      std::int64_t last = 0;
      while (!done.load(std::memory_order_acquire)) {
        std::int64_t now = store.integerForKey("counter");
        if (now < last || store.stringForKey("stable") != "first value") ++failures;
        last = now;
        auto list = store.objectForKey("list");
        if (list && list->get<PlistArray>()->size() > static_cast<std::size_t>(kWrites)) ++failures;
        if (store.dictionaryRepresentation().count("stable") != 1) ++failures;
      }
    });
  }
  PlistArray list;
  for (int i = 1; i <= kWrites; ++i) {
    store.setInteger(i, "counter");
    list.push_back(i);
    store.setObject(list, "list");
    if (i % 50 == 0) store.registerDefaults({{"other" + std::to_string(i), i}});
    if (i % 7 == 0) store.setVolatileValue(i, "volatile");
  }
  done.store(true, std::memory_order_release);
  for (auto& t : readers) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(UserDefaults((dir / "settings.plist").string()).integerForKey("counter"), kWrites);
}

TEST(UserDefaultsTest, LocatesTheUsersFileAndTheDefaultsFile) {
  // Restores the environment the test support set up.
  struct SavedEnv {
    std::string name;
    std::optional<std::string> value;
    explicit SavedEnv(std::string n) : name(std::move(n)) {
      if (const char* v = std::getenv(name.c_str())) value = v;
    }
    ~SavedEnv() {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  };
  SavedEnv settings("QUORVEL_SETTINGS"), xdg("XDG_CONFIG_HOME"), home("HOME"),
      defaults("QUORVEL_DEFAULTS");

  ::setenv("QUORVEL_SETTINGS", "/tmp/explicit.plist", 1);
  EXPECT_EQ(UserDefaults::standardPath(), "/tmp/explicit.plist");
  ::unsetenv("QUORVEL_SETTINGS");
  ::setenv("XDG_CONFIG_HOME", "/xdg", 1);
  EXPECT_EQ(UserDefaults::standardPath(), "/xdg/quorvel/settings.plist");
  ::unsetenv("XDG_CONFIG_HOME");
  ::setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(UserDefaults::standardPath(), "/home/someone/.config/quorvel/settings.plist");

  ::setenv("QUORVEL_DEFAULTS", "/elsewhere/D.plist", 1);
  EXPECT_EQ(UserDefaults::defaultsFilePath(), "/elsewhere/D.plist");
  ::unsetenv("QUORVEL_DEFAULTS");
  EXPECT_EQ(fs::path(UserDefaults::defaultsFilePath()),
            fs::path(QUORVEL_RESOURCES_DIR) / "QuorvelDefaults.plist");
}

TEST(UserDefaultsTest, ShippedDefaultsFileRegistersEverySetting) {
  const std::string path = std::string(QUORVEL_RESOURCES_DIR) + "/QuorvelDefaults.plist";
  Error error;
  auto parsed = plist::readFile(path, &error);
  ASSERT_TRUE(parsed) << error.localizedDescription;
  ASSERT_TRUE(parsed->is<PlistDict>());
  const PlistDict& dict = *parsed->get<PlistDict>();
  // Per-key mappings are patterns, never registered: the built-in tables stand.
  for (const auto& [key, value] : dict) {
    EXPECT_FALSE(key.ends_with("_") || key.starts_with("VorbisTag_") ||
                 key.starts_with("ID3v2Tag_"))
        << key;
  }

  UserDefaults store("");
  ASSERT_TRUE(store.registerDefaultsFromFile(path, &error)) << error.localizedDescription;
  EXPECT_TRUE(store.boolForKey("readMP3ID3v1Tag"));  // tags not read are lost at the next save
  EXPECT_GE(dict.size(), 75u);
  // The process-wide store reads the user's file and registers this one.
  EXPECT_EQ(UserDefaults::standard().path(), UserDefaults::standardPath());
  EXPECT_TRUE(UserDefaults::standard().stringForKey("readAlbumArtworkFileName"));
  // Every "on/off" setting is a real boolean, so no reader depends on coercion.
  for (const auto& [key, value] : dict) {
    bool looksBoolean = key.starts_with("read") || key.starts_with("write") ||
                        key.starts_with("use") || key.starts_with("create");
    if (looksBoolean && key != "readFLACAlbumArtworkFrom" && key != "readAlbumArtworkFileName" &&
        key != "writeFLACAlbumArtworkIn") {
      EXPECT_TRUE(value.is<bool>()) << key;
    }
  }

  // A defaults file that is not a dictionary is refused without registering anything.
  test::TemporaryDirectory dir;
  ASSERT_TRUE(plist::writeFile(PlistArray{1}, (dir / "d.plist").string(), false));
  UserDefaults other("");
  EXPECT_FALSE(other.registerDefaultsFromFile((dir / "d.plist").string(), &error));
  EXPECT_EQ(error.code, plist::kReadCorruptError);
  EXPECT_FALSE(other.registerDefaultsFromFile((dir / "none.plist").string(), &error));
  EXPECT_EQ(error.code, plist::kReadNoSuchFileError);
  EXPECT_TRUE(other.dictionaryRepresentation().empty());
}

}  // namespace
}  // namespace quorvel
