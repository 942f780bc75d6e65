// What colsieve asks of the operating system beyond POSIX, in one place: the
// CPUs the process may use, huge pages for large buffers, and growing an
// anonymous mapping. Linux has calls of its own for each; every other
// system, and a build with COLSIEVE_PORTABLE on, gets portable fallbacks.
// The fallbacks change speed and the default thread count, never an output
// byte.
#ifndef COLSIEVE_BASE_PLATFORM_H
#define COLSIEVE_BASE_PLATFORM_H

#include <cstddef>

// Marks a function built twice, for AVX2 and for any x86-64, the loader
// choosing by the processor; on other processors, and under
// ThreadSanitizer (whose instrumented resolver would run before the
// sanitizer is ready), it is built once.
#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define COLSIEVE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define COLSIEVE_CLONES
#endif

// The CPUs this process may run on, at least 1. Linux: the affinity mask,
// lowered to the CPU quota (cgroup v2 cpu.max) of the process's control
// group and of every group above it. Elsewhere: the CPUs the C++ runtime
// reports (std::thread::hardware_concurrency), or 1 when it cannot tell.
unsigned usable_cpus();

// A new private, zero-filled anonymous mapping of n bytes, read and write,
// with no swap reserved for it where the system allows; nullptr when there
// is no memory for it. Unmap it with munmap.
char* map_anonymous(std::size_t n);

// Grows or shrinks the mapping of map_anonymous at p, of old_size bytes, to
// new_size bytes, keeping its first min(old_size, new_size) bytes; it may
// move. Returns its new start, or nullptr (the old mapping left as it was)
// when there is no memory. Linux moves the pages (mremap); elsewhere the
// bytes are copied into a new mapping.
char* remap_anonymous(char* p, std::size_t old_size, std::size_t new_size);

// Asks for transparent huge pages for the mapped range [p, p + n), where
// the system has them; refused or not there, the range keeps normal pages.
void advise_huge_pages(char* p, std::size_t n);

#endif  // COLSIEVE_BASE_PLATFORM_H
