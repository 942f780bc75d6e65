#include "base/platform.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <thread>

// COLSIEVE_PORTABLE (the CMake option) takes the fallbacks even on Linux, so
// that they are built and tested where the tests run.
#if defined(__linux__) && !defined(COLSIEVE_PORTABLE)
#define COLSIEVE_LINUX 1
#include <sched.h>

#include <fstream>
#include <string>
#endif

namespace {

#ifdef COLSIEVE_LINUX
// CPUs allowed by the quota in one control group's cpu.max ("max 100000"
// or "150000 100000"), or 0 where there is none.
unsigned quota_cpus(const std::string& dir) {
  std::ifstream in(dir + "/cpu.max");
  std::string quota;
  double period = 0;
  if (!(in >> quota >> period) || quota == "max" || period <= 0) return 0;
  const double cpus = std::stod(quota) / period;
  return cpus <= 1 ? 1 : static_cast<unsigned>(cpus + 0.999999);
}
#endif

unsigned runtime_cpus() {
  return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace

#ifdef COLSIEVE_LINUX

unsigned usable_cpus() {
  unsigned cpus = 1;
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0)
    cpus = std::max(1, CPU_COUNT(&set));
  else
    cpus = runtime_cpus();

  // The quota of our control group and of every group above it (cgroup v2).
  std::ifstream groups("/proc/self/cgroup");
  std::string line;
  while (std::getline(groups, line)) {
    if (line.compare(0, 3, "0::") != 0) continue;
    std::string path = line.substr(3);
    for (;;) {
      try {
        const unsigned q = quota_cpus("/sys/fs/cgroup" + path);
        if (q > 0) cpus = std::min(cpus, q);
      } catch (const std::exception&) {  // a malformed file: no quota
      }
      if (path.empty() || path == "/") break;
      path = path.substr(0, path.rfind('/'));
    }
  }
  return cpus;
}

char* remap_anonymous(char* p, std::size_t old_size, std::size_t new_size) {
  // The kernel moves the pages, not their bytes.
  void* q = mremap(p, old_size, new_size, MREMAP_MAYMOVE);
  return q == MAP_FAILED ? nullptr : static_cast<char*>(q);
}

void advise_huge_pages(char* p, std::size_t n) {
  // Refused where transparent huge pages are off: normal pages then.
  madvise(p, n, MADV_HUGEPAGE);
}

#else  // the portable fallbacks

unsigned usable_cpus() { return runtime_cpus(); }

char* remap_anonymous(char* p, std::size_t old_size, std::size_t new_size) {
  char* q = map_anonymous(new_size);
  if (q == nullptr) return nullptr;
  std::memcpy(q, p, std::min(old_size, new_size));
  munmap(p, old_size);
  return q;
}

void advise_huge_pages(char*, std::size_t) {}

#endif

char* map_anonymous(std::size_t n) {
  int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#if defined(MAP_NORESERVE) && !defined(COLSIEVE_PORTABLE)
  // No swap set aside: a generous capacity costs only the pages touched.
  flags |= MAP_NORESERVE;
#endif
  void* p = mmap(nullptr, n, PROT_READ | PROT_WRITE, flags, -1, 0);
  return p == MAP_FAILED ? nullptr : static_cast<char*>(p);
}
