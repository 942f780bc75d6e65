#include "core/big_buffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>
#include <utility>

namespace {

constexpr std::size_t kPage = 4096;
constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Buffers from this size on are worth huge pages.
constexpr std::size_t kHugeFrom = std::size_t{1} << 20;

std::size_t round_up(std::size_t n, std::size_t to) {
  return (n + to - 1) / to * to;
}

void advise_huge(char* p, std::size_t n) {
  // Refused where transparent huge pages are off: normal pages then.
  madvise(p, n, MADV_HUGEPAGE);
}

}  // namespace

big_buffer::big_buffer(std::size_t capacity) {
  if (capacity == 0) return;
  if (capacity < kHugeFrom) {
    // Small: normal pages, so that a small alignment does not pay for
    // clearing a whole huge page.
    const std::size_t size = round_up(capacity, kPage);
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    data_ = static_cast<char*>(p);
    capacity_ = capacity;
    mapped_ = size;
    return;
  }
  // One huge page more than needed, so that the buffer can start on a huge
  // page boundary; the unused ends are given back.
  const std::size_t size = round_up(capacity, kHugePage);
  const std::size_t span = size + kHugePage;
  void* p = mmap(nullptr, span, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  char* base = static_cast<char*>(p);
  char* start = reinterpret_cast<char*>(
      round_up(reinterpret_cast<std::uintptr_t>(base), kHugePage));
  if (start > base) munmap(base, static_cast<std::size_t>(start - base));
  const std::size_t tail = static_cast<std::size_t>(base + span - start) - size;
  if (tail > 0) munmap(start + size, tail);
  data_ = start;
  capacity_ = capacity;
  mapped_ = size;
  advise_huge(data_, mapped_);
}

big_buffer::~big_buffer() {
  if (data_ != nullptr) munmap(data_, mapped_);
}

big_buffer::big_buffer(big_buffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      capacity_(std::exchange(other.capacity_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

big_buffer& big_buffer::operator=(big_buffer&& other) noexcept {
  if (this != &other) {
    if (data_ != nullptr) munmap(data_, mapped_);
    data_ = std::exchange(other.data_, nullptr);
    capacity_ = std::exchange(other.capacity_, 0);
    mapped_ = std::exchange(other.mapped_, 0);
  }
  return *this;
}

void big_buffer::reserve(std::size_t n) {
  if (n <= capacity_) return;
  std::size_t want = capacity_ < kHugePage ? kHugePage : capacity_;
  while (want < n) want *= 2;
  if (data_ == nullptr) {
    *this = big_buffer(want);
    return;
  }
  const std::size_t size = round_up(want, want < kHugeFrom ? kPage : kHugePage);
  // The kernel moves the pages, not their bytes.
  void* p = mremap(data_, mapped_, size, MREMAP_MAYMOVE);
  if (p == MAP_FAILED) throw std::bad_alloc();
  data_ = static_cast<char*>(p);
  capacity_ = want;
  mapped_ = size;
  if (want >= kHugeFrom) advise_huge(data_, mapped_);
}
