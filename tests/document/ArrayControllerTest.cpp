#include "document/ArrayController.h"

#include <gtest/gtest.h>

#include "model/AudioMetadata.h"

namespace quorvel {
namespace {

using Strings = std::vector<std::string>;

AudioMetadataPtr make(const std::string& title, const Object& track = Object()) {
  auto record = std::make_shared<AudioMetadata>();
  record->setMetadataObjectValue(Object(title), "TRACKTITLE");
  record->setMetadataObjectValue(track, "TRACKNUMBER");
  record->setSourceLocation("/music/" + title + ".mp3");
  return record;
}

std::vector<std::string> titles(const std::vector<AudioMetadataPtr>& records) {
  std::vector<std::string> result;
  for (const auto& record : records) {
    result.push_back(record->metadataObjectValueForKey("TRACKTITLE").stringValue().value_or(""));
  }
  return result;
}

TEST(ArrayController, SortsByKeysNumbersBeforeTextAndKeepsTheSelectionOnItsRecords) {
  ArrayController controller;
  auto ten = make("beta", Object("10"));
  auto nine = make("Alpha", Object("9"));
  auto none = make("gamma");
  auto two = make("alpha", Object(2));
  for (const auto& record : {ten, nine, none, two}) {
    controller.addObject(record);
  }
  controller.setSelectedObjects({ten, none});
  EXPECT_EQ(controller.selectionIndexes(), (std::vector<std::size_t>{0, 2}));

  // Track numbers held as text still sort as numbers; no value sorts first.
  controller.setSortDescriptors({{"TRACKNUMBER", true}});
  EXPECT_EQ(titles(controller.arrangedObjects()), (Strings{"gamma", "alpha", "Alpha", "beta"}));
  EXPECT_EQ(controller.selectedObjects(), (std::vector<AudioMetadataPtr>{none, ten}));
  EXPECT_EQ(controller.selectionIndex(), 0u);

  // Case-insensitive text; equal titles keep their order; a second key breaks ties.
  controller.setSortDescriptors({{"TRACKTITLE", true}});
  EXPECT_EQ(titles(controller.arrangedObjects()), (Strings{"Alpha", "alpha", "beta", "gamma"}));
  controller.setSortDescriptors({{"TRACKTITLE", false}, {"TRACKNUMBER", true}});
  EXPECT_EQ(titles(controller.arrangedObjects()), (Strings{"gamma", "beta", "alpha", "Alpha"}));
  controller.setSortDescriptors({{"_FILENAME", true}});
  EXPECT_EQ(titles(controller.arrangedObjects()), (Strings{"Alpha", "alpha", "beta", "gamma"}));
  // The content keeps the order records were added in.
  EXPECT_EQ(titles(controller.content()), (Strings{"beta", "Alpha", "gamma", "alpha"}));
}

TEST(ArrayController, FilterInsertRemoveAndReplace) {
  ArrayController controller;
  auto cafe = make("Caf\xC3\xA9");
  auto tea = make("Tea");
  auto coffee = make("Coffee");
  controller.addObject(cafe);
  controller.addObject(tea);
  controller.addObject(coffee);
  controller.setFilterPredicate(ArrayController::FilterPredicate({"TRACKTITLE"}, "CAFE"));
  EXPECT_EQ(titles(controller.arrangedObjects()), (Strings{"Caf\xC3\xA9"}));
  controller.addObject(make("cafe au lait"));  // passes the filter: shown at once
  controller.addObject(make("Water"));         // does not: content only
  EXPECT_EQ(controller.arrangedObjects().size(), 2u);
  EXPECT_EQ(controller.content().size(), 5u);
  controller.setFilterPredicate(std::nullopt);
  EXPECT_EQ(controller.arrangedObjects().size(), 5u);

  controller.selectAll();
  controller.removeObjects({tea, coffee});
  EXPECT_EQ(controller.selectionCount(), 3u);
  EXPECT_EQ(controller.indexOfArrangedObject(tea.get()), ArrayController::NotFound);

  auto fresh = make("Fresh");
  controller.setSelectionIndexes({0});
  EXPECT_TRUE(controller.replaceObject(cafe, fresh));
  EXPECT_EQ(controller.selectedObjects(), (std::vector<AudioMetadataPtr>{fresh}));
  EXPECT_FALSE(controller.replaceObject(cafe, fresh));

  controller.insertObject(tea, 1);
  EXPECT_EQ(controller.indexOfArrangedObject(tea.get()), 1u);
  EXPECT_EQ(controller.content()[1], tea);
  controller.insertObject(coffee, 99);
  EXPECT_EQ(controller.arrangedObjects().back(), coffee);
  EXPECT_EQ(controller.selectionIndexes(), (std::vector<std::size_t>{0}));

  EXPECT_FALSE(controller.setSelectionIndex(42));
  EXPECT_TRUE(controller.setSelectionIndexes({1, 1, 77}));
  EXPECT_EQ(controller.selectionIndexes(), (std::vector<std::size_t>{1}));
  EXPECT_FALSE(controller.setSelectionIndexes({1}));
}

}  // namespace
}  // namespace quorvel
