#include "platform/LibavFunctions.h"

#include <dlfcn.h>

#include <string>

#include "platform/OSStatus.h"

namespace quorvel {

namespace {

struct Loaded {
  LibavFunctions functions;
  bool ok = false;
  std::string failure;
};

Loaded loadLibraries() {
  Loaded loaded;
  // libavformat brings libavcodec and libavutil with it, and a handle finds
  // the symbols of its dependencies too.
  const std::string name = "libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR);
  void* handle = ::dlopen(name.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (!handle) {
    const char* why = ::dlerror();
    loaded.failure = why ? why : name + " cannot be loaded";
    return loaded;
  }
  LibavFunctions& f = loaded.functions;
#define QUORVEL_LIBAV_RESOLVE(symbol)                                        \
  f.symbol = reinterpret_cast<decltype(f.symbol)>(::dlsym(handle, #symbol)); \
  if (!f.symbol) {                                                           \
    loaded.failure = name + " has no " #symbol;                              \
    return loaded;                                                           \
  }
  QUORVEL_LIBAV_FUNCTIONS(QUORVEL_LIBAV_RESOLVE)
#undef QUORVEL_LIBAV_RESOLVE
  // The library stays loaded for the life of the process.
  f.av_log_set_level(AV_LOG_QUIET);
  loaded.ok = true;
  return loaded;
}

}  // namespace

const LibavFunctions* LibavFunctions::load(Error* error) {
  static const Loaded loaded = loadLibraries();
  if (!loaded.ok) {
    setError(error, kOSStatusErrorDomain, osstatus::kUnsupportedFileTypeError,
             "The audio services are not available: " + loaded.failure + ".");
    return nullptr;
  }
  return &loaded.functions;
}

}  // namespace quorvel
