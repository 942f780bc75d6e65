#include "core/big_buffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "base/platform.h"

namespace {

constexpr std::size_t kPage = 4096;
constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Buffers from this size on are worth huge pages.
constexpr std::size_t kHugeFrom = std::size_t{1} << 20;

std::size_t round_up(std::size_t n, std::size_t to) {
  return (n + to - 1) / to * to;
}

}  // namespace

big_buffer::big_buffer(std::size_t capacity) {
  if (capacity == 0) return;
  if (capacity < kHugeFrom) {
    // Small: from the heap, so that a small alignment does not pay for
    // clearing a whole huge page, and a batch of them reuses its memory
    // instead of faulting fresh pages in for each.
    data_ = static_cast<char*>(std::malloc(capacity));
    if (data_ == nullptr) throw std::bad_alloc();
    capacity_ = capacity;
    return;
  }
  // One huge page more than needed, so that the buffer can start on a huge
  // page boundary; the unused ends are given back.
  const std::size_t size = round_up(capacity, kHugePage);
  const std::size_t span = size + kHugePage;
  char* base = map_anonymous(span);
  if (base == nullptr) throw std::bad_alloc();
  char* start = reinterpret_cast<char*>(
      round_up(reinterpret_cast<std::uintptr_t>(base), kHugePage));
  if (start > base) munmap(base, static_cast<std::size_t>(start - base));
  const std::size_t tail = static_cast<std::size_t>(base + span - start) - size;
  if (tail > 0) munmap(start + size, tail);
  data_ = start;
  capacity_ = capacity;
  mapped_ = size;
  advise_huge_pages(data_, mapped_);
}

void big_buffer::release() {
  if (data_ == nullptr) return;
  if (mapped_ == 0)
    std::free(data_);
  else
    munmap(data_, mapped_);
}

big_buffer::~big_buffer() { release(); }

big_buffer::big_buffer(big_buffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      capacity_(std::exchange(other.capacity_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

big_buffer& big_buffer::operator=(big_buffer&& other) noexcept {
  if (this != &other) {
    release();
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
  if (mapped_ == 0) {  // from the heap: to mapped pages, as it is large now
    big_buffer grown(want);
    std::memcpy(grown.data_, data_, capacity_);
    *this = std::move(grown);
    return;
  }
  const std::size_t size = round_up(want, want < kHugeFrom ? kPage : kHugePage);
  char* p = remap_anonymous(data_, mapped_, size);
  if (p == nullptr) throw std::bad_alloc();
  data_ = p;
  capacity_ = want;
  mapped_ = size;
  if (want >= kHugeFrom) advise_huge_pages(data_, mapped_);
}
