#include <malloc.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"

int main(int argc, char** argv) {
  // Covers of a few hundred kilobytes are read, compared and dropped for
  // every file. Served from fresh mappings (the C library's default above
  // 128 KiB) each costs dozens of page faults, and on several threads every
  // unmapping stops the other cores; a short-lived tool is better off keeping
  // them in the heap. (Only matters in builds without jemalloc.)
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
  std::ios::sync_with_stdio(false);
  std::vector<std::string> args(argv + 1, argv + argc);
  int status = quorvel::cli::run(args, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
