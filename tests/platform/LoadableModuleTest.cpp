#include "platform/LoadableModule.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/ImageCodecModule.h"

namespace quorvel {
namespace {

// The image module is found from the test program's folder (not beside it)
// and answers with its version; an unknown module fails with a reason rather
// than crashing, and the environment's folder is searched first.
TEST(LoadableModuleTest, FindsTheImageModuleAndReportsMissingOnes) {
#ifdef QUORVEL_IMAGE_MODULE_LINKED
  GTEST_SKIP() << "this build links the image code in; there is no module to load";
#endif
  auto image = LoadableModule::load<ImageCodecModule>(ImageCodecModule::kFileName,
                                                      ImageCodecModule::kEntryPoint);
  ASSERT_NE(image.entries, nullptr) << image.failure;
  EXPECT_EQ(image.entries->version, ImageCodecModule::kVersion);
  EXPECT_NE(image.entries->decode, nullptr);

  auto missing = LoadableModule::load<ImageCodecModule>("quorvel-none.so", "entry");
  EXPECT_EQ(missing.entries, nullptr);
  EXPECT_NE(missing.failure.find("quorvel-none.so"), std::string::npos);

  auto wrongEntry = LoadableModule::load<ImageCodecModule>(ImageCodecModule::kFileName, "none");
  EXPECT_EQ(wrongEntry.entries, nullptr);
  EXPECT_NE(wrongEntry.failure.find("has no none"), std::string::npos);

  ::setenv("QUORVEL_MODULE_DIR", "/nonexistent/modules", 1);
  const auto folders = LoadableModule::searchPath();
  ::unsetenv("QUORVEL_MODULE_DIR");
  ASSERT_FALSE(folders.empty());
  EXPECT_EQ(folders.front(), "/nonexistent/modules");
}

}  // namespace
}  // namespace quorvel
