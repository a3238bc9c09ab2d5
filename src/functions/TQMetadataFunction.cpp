#include "functions/TQMetadataFunction.h"

#include "document/MetadataFunctionDelegate.h"

namespace quorvel {

TQMetadataFunction::TQMetadataFunction() = default;
TQMetadataFunction::~TQMetadataFunction() = default;

bool TQMetadataFunction::altersMetadata() const { return false; }

bool TQMetadataFunction::canBeUndone() const { return false; }

std::vector<std::string> TQMetadataFunction::affectedKeysGivenAudioMetadata(const AudioMetadata&,
                                                                            std::size_t) {
  return {};
}

bool TQMetadataFunction::applyToAudioMetadatas(const std::vector<AudioMetadataPtr>&, bool, Error*) {
  return false;
}

std::string TQMetadataFunction::functionName() const { return {}; }

void TQMetadataFunction::reportSuccess(AudioMetadata& record, std::size_t index,
                                       std::size_t count) {
  if (delegate_) {
    delegate_->metadataFunction(*this, record, index, count);
  }
}

void TQMetadataFunction::reportFailure(AudioMetadata& record, std::size_t index, std::size_t count,
                                       const Error& error) {
  if (delegate_) {
    delegate_->metadataFunction(*this, record, index, count, error);
  }
}

void TQMetadataFunction::setObjectValue(AudioMetadata& record, const Object& value,
                                        const std::string& key, bool preview) {
  if (preview) {
    record.setPreviewObjectValue(value, key);
  } else {
    record.setMetadataObjectValue(value, key);
  }
}

void TQMetadataFunction::setObjectValues(AudioMetadata& record, const ObjectList& values,
                                         const std::string& key, bool preview) {
  if (preview) {
    record.setPreviewObjectValues(values, key);
  } else {
    record.setMetadataObjectValues(values, key);
  }
}

}  // namespace quorvel
