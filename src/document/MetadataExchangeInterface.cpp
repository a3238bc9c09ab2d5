#include "document/MetadataExchangeInterface.h"

#include <mutex>

namespace quorvel {

void MetadataExchangeDelegate::exportProgressDidUpdateWithPercentComplete(double, std::size_t,
                                                                          std::size_t) {}

void MetadataExchangeDelegate::importProgressDidUpdateWithPercentComplete(double, std::size_t,
                                                                          std::size_t) {}

namespace {

std::mutex& installedMutex() {
  static std::mutex mutex;
  return mutex;
}

std::shared_ptr<MetadataExchangeInterface>& installed() {
  static std::shared_ptr<MetadataExchangeInterface> exchange;
  return exchange;
}

}  // namespace

std::shared_ptr<MetadataExchangeInterface> MetadataExchangeInterface::current() {
  std::lock_guard lock(installedMutex());
  return installed();
}

std::shared_ptr<MetadataExchangeInterface> MetadataExchangeInterface::install(
    std::shared_ptr<MetadataExchangeInterface> exchange) {
  std::lock_guard lock(installedMutex());
  std::swap(installed(), exchange);
  return exchange;
}

}  // namespace quorvel
