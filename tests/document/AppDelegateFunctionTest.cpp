// The controller with a batch function: previews, edits held back while they
// show, and an apply run on a worker as one undo step.

#include "document/ControllerTestSupport.h"
#include "document/MetadataFunctionController.h"
#include "document/MetadataFunctionDelegate.h"
#include "document/MetadataFunctionInterface.h"

namespace quorvel::test {
namespace {

// Sets "ALBUM" to "By Function" on every record it is given.
class AlbumFunction : public MetadataFunctionInterface {
 public:
  std::string functionName() const override { return "Album Function"; }
  bool applyToAll() const override { return false; }
  bool canBeUndone() const override { return true; }
  std::vector<std::string> affectedKeysGivenAudioMetadata(const AudioMetadata&,
                                                          std::size_t) override {
    return {"ALBUM"};
  }
  bool applyToAudioMetadatas(const std::vector<AudioMetadataPtr>& records, bool preview,
                             Error*) override {
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (preview) {
        records[i]->setPreviewObjectValue(Object("By Function"), "ALBUM");
      } else {
        records[i]->setMetadataObjectValue(Object("By Function"), "ALBUM");
        if (delegate_) {
          delegate_->metadataFunction(*this, *records[i], i, records.size());
        }
      }
    }
    return true;
  }
  void setDelegate(MetadataFunctionDelegate* delegate) override { delegate_ = delegate; }

 private:
  MetadataFunctionDelegate* delegate_ = nullptr;
};

using AppDelegateFunction = ControllerTest;

TEST_F(AppDelegateFunction, PreviewHoldsEditsBackAndApplyIsOneUndoStep) {
  drop({copy("plain.mp3", "a.mp3"), copy("plain.mp3", "b.mp3"), copy("plain.mp3", "c.mp3")});
  controller->setSelectionIndexes({0, 2});
  auto& functions = controller->functionController();
  functions.setCurrentMetadataFunction(std::make_shared<AlbumFunction>());
  functions.setPreviewMode(true);
  controller->updatePreview();
  EXPECT_EQ(functions.selectionValues().values.at("ALBUM")->stringValue(), "By Function");

  functions.setPreviewMode(false);
  controller->applyCurrentMetadataFunction();
  EXPECT_TRUE(controller->recordsAreBusy());
  waitUntilIdle();
  EXPECT_FALSE(controller->recordsAreBusy());
  EXPECT_EQ(text(record(0), "ALBUM"), "By Function");
  EXPECT_EQ(text(record(1), "ALBUM"), "<none>");
  EXPECT_EQ(text(record(2), "ALBUM"), "By Function");
  EXPECT_EQ(undo().numberOfUndoActions(), 1u);
  EXPECT_EQ(undo().undoActionName(), "Album Function");
  controller->undo();
  EXPECT_FALSE(record(0).metadataValueForKey("ALBUM"));
  EXPECT_FALSE(record(2).metadataValueForKey("ALBUM"));
}

}  // namespace
}  // namespace quorvel::test
