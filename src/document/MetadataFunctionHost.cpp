#include "document/MetadataFunctionHost.h"

#include "platform/UIHost.h"

namespace quorvel {

MetadataFunctionHost::~MetadataFunctionHost() = default;

std::shared_ptr<UIHost> MetadataFunctionHost::uiHost() const { return UIHost::current(); }

void MetadataFunctionHost::beginFunctionProgress(const std::string& message) {
  uiHost()->beginProgressSheet(message, false, 0.0);
}

void MetadataFunctionHost::setFunctionProgress(double percent) {
  uiHost()->setProgressValue(percent);
}

void MetadataFunctionHost::endFunctionProgress() { uiHost()->endProgressSheet(1); }

}  // namespace quorvel
