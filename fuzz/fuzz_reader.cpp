// libFuzzer target: the record reader in every filter mode, with small and
// large read blocks, checked against a character-by-character model.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fasta_seq.h"
#include "test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (int flag : {0, 1, 2}) {
    std::vector<fasta_seq> expected;
    const bool valid = model_read(text, flag, &expected);
    for (std::size_t block :
         {std::size_t{1} + data[0] % 13, std::size_t{1} << 16}) {
      string_source src(text, {block});
      byte_stream in(&src);
      std::vector<fasta_seq> got;
      bool threw = false;
      try {
        std::unique_ptr<fasta_seq> rec;
        while (read_fasta_seq(&in, &rec, flag) == 1) got.push_back(*rec);
      } catch (const fatal_error&) {
        threw = true;
      }
      if (threw != !valid) std::abort();
      if (!valid) continue;
      if (got.size() != expected.size()) std::abort();
      for (std::size_t i = 0; i < got.size(); ++i)
        if (got[i].comment != expected[i].comment ||
            got[i].seq != expected[i].seq)
          std::abort();
    }
  }
  return 0;
}
