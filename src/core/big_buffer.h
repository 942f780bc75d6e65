// Memory for data as large as the input: the residue table. Small buffers
// come from the heap; large ones are mapped anonymously
// and advised for transparent huge pages, so that half a gigabyte of residues
// costs a few hundred page faults instead of a hundred thousand; where the
// kernel refuses the advice, normal pages serve.
#ifndef COLSIEVE_CORE_BIG_BUFFER_H
#define COLSIEVE_CORE_BIG_BUFFER_H

#include <cstddef>

class big_buffer {
 public:
  big_buffer() = default;
  // Room for capacity bytes, none of them touched yet. Throws std::bad_alloc.
  explicit big_buffer(std::size_t capacity);
  ~big_buffer();
  big_buffer(big_buffer&& other) noexcept;
  big_buffer& operator=(big_buffer&& other) noexcept;
  big_buffer(const big_buffer&) = delete;
  big_buffer& operator=(const big_buffer&) = delete;

  char* data() { return data_; }
  const char* data() const { return data_; }
  std::size_t capacity() const { return capacity_; }

  // Makes room for at least n bytes, keeping the contents; the data may
  // move. Grows by doubling. Throws std::bad_alloc.
  void reserve(std::size_t n);

 private:
  void release();

  char* data_ = nullptr;
  std::size_t capacity_ = 0;  // bytes usable from data_
  std::size_t mapped_ = 0;    // bytes mapped at data_; 0: from the heap
};

#endif  // COLSIEVE_CORE_BIG_BUFFER_H
