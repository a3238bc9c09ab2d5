#include "exchange/MetadataExchange.h"

#include <gtest/gtest.h>

#include "exchange/ExchangeTestSupport.h"
#include "platform/ZRUndoManager.h"
#include "testsupport/TestSupport.h"

namespace quorvel {
namespace {

// The controller's road through the installed interface: export, read,
// pair, import, cancel.
TEST(MetadataExchangeTest, TheControllersInterfaceRunsTheWholeExchange) {
  auto previous = MetadataExchangeInterface::install(std::make_shared<MetadataExchange>());
  auto exchange = MetadataExchangeInterface::current();
  ASSERT_TRUE(exchange);
  test::TemporaryDirectory dir;
  const std::string path = (dir / "out.xml").string();
  std::vector<AudioMetadataPtr> records = {test::makeRecord({{"TRACKTITLE", {"One"}}}),
                                           test::makeRecord({{"TRACKTITLE", {"Two"}}})};

  struct Delegate : MetadataExchangeDelegate {
    int exports = 0;
    int imports = 0;
    bool cancel = false;
    void exportProgressDidUpdateWithPercentComplete(double, std::size_t, std::size_t) override {
      ++exports;
      if (cancel) MetadataExchangeInterface::current()->cancel();
    }
    void importProgressDidUpdateWithPercentComplete(double, std::size_t, std::size_t) override {
      ++imports;
      if (cancel) MetadataExchangeInterface::current()->cancel();
    }
  } delegate;

  delegate.cancel = true;
  EXPECT_FALSE(exchange->exportMetadatas(
      records, path, false, MetadataExchangeInterface::kExportTypeXML, &delegate, nullptr));
  EXPECT_FALSE(std::filesystem::exists(path));
  delegate.cancel = false;
  ASSERT_TRUE(exchange->exportMetadatas(
      records, path, true, MetadataExchangeInterface::kExportTypeXML, &delegate, nullptr));
  EXPECT_EQ(delegate.exports, 2);

  auto dictionaries = exchange->arrayOfMetadataDictionariesFromURL(path);
  ASSERT_TRUE(dictionaries);
  test::ScriptedHost host(1001);
  std::vector<AudioMetadataPtr> targets = {test::makeRecord({}), test::makeRecord({}),
                                           test::makeRecord({})};
  auto applyToAll = exchange->applyToAllForCounts(dictionaries->size(), targets.size(), host);
  ASSERT_EQ(applyToAll, std::optional<bool>(true));
  EXPECT_EQ(host.lastHeading, "Counts Do Not Match");

  auto manager = std::make_shared<ZRUndoManager>();
  for (const auto& record : targets) record->setUndoManager(manager);
  delegate.cancel = true;
  EXPECT_EQ(exchange->importMetadataFromDictionaries(*dictionaries, targets, true, manager.get(),
                                                     &delegate, nullptr),
            0U);
  delegate.cancel = false;
  EXPECT_EQ(exchange->importMetadataFromDictionaries(*dictionaries, targets, *applyToAll,
                                                     manager.get(), &delegate, nullptr),
            3U);
  EXPECT_EQ(test::texts(*targets[2], "TRACKTITLE"), std::vector<std::string>{"One"});
  EXPECT_EQ(manager->undoActionName(), "Import Metadata");
  MetadataExchangeInterface::install(previous);
}

}  // namespace
}  // namespace quorvel
