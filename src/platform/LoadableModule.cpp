#include "platform/LoadableModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace quorvel {

namespace fs = std::filesystem;

std::vector<std::string> LoadableModule::searchPath() {
  std::vector<std::string> folders;
  if (const char* folder = std::getenv("QUORVEL_MODULE_DIR"); folder && *folder) {
    folders.emplace_back(folder);
  }
  std::error_code ec;
  const fs::path program = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    folders.push_back(program.parent_path().string());
  }
#ifdef QUORVEL_BUILD_MODULE_DIR
  folders.emplace_back(QUORVEL_BUILD_MODULE_DIR);
#endif
#ifdef QUORVEL_INSTALLED_MODULE_DIR
  folders.emplace_back(QUORVEL_INSTALLED_MODULE_DIR);
#endif
  return folders;
}

void* LoadableModule::loadSymbol(const std::string& fileName, const char* entryPoint,
                                 std::string& failure) {
  failure.clear();
  for (const std::string& folder : searchPath()) {
    const std::string path = (fs::path(folder) / fileName).string();
    if (::access(path.c_str(), R_OK) != 0) {
      continue;
    }
    // Local: the module's symbols and those of its libraries stay out of the
    // program's way. Now: a library missing on this machine fails here, not
    // in the middle of some later call.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* why = ::dlerror();
      failure = why ? why : path + " cannot be loaded";
      return nullptr;
    }
    if (void* symbol = ::dlsym(handle, entryPoint)) {
      return symbol;
    }
    failure = path + " has no " + entryPoint;
    return nullptr;
  }
  failure = fileName + " is missing";
  return nullptr;
}

}  // namespace quorvel
