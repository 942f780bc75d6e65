// libFuzzer target: the record reader in every filter mode, checked against
// a character-by-character model. The first byte chooses how the input is
// handed out (see pieces_of: from one byte a read to whole); the rest is
// the text, read that way and whole.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "input/fasta_seq.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 2) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  for (int flag : {0, 1, 2}) {
    std::vector<fasta_seq> expected;
    const bool valid = model_read(text, flag, &expected);
    for (const std::vector<std::size_t>& pieces :
         {pieces_of(data[0]), std::vector<std::size_t>{}}) {
      string_source src(text, pieces);
      byte_stream in(&src);
      std::vector<fasta_seq> got;
      bool threw = false;
      try {
        std::unique_ptr<fasta_seq> rec;
        while (read_fasta_seq(&in, &rec, flag) == 1) got.push_back(*rec);
      } catch (const fatal_error&) {
        threw = true;
      }
      if (threw != !valid) fault(threw ? "refused" : "accepted");
      if (!valid) continue;
      if (got.size() != expected.size()) fault("record count");
      for (std::size_t i = 0; i < got.size(); ++i)
        if (got[i].comment != expected[i].comment ||
            got[i].seq != expected[i].seq)
          fault("record " + std::to_string(i + 1));
    }
  }
  return 0;
}
