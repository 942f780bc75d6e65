// Helpers shared by the unit tests and the fuzz targets.
#ifndef COLSIEVE_TESTS_TEST_SUPPORT_H
#define COLSIEVE_TESTS_TEST_SUPPORT_H

#include <cstdio>
#include <string>
#include <vector>

#include "fasta_seq.h"

// Everything written so far to fp, a file opened with std::tmpfile(), which
// is then closed.
inline std::string written_text(std::FILE* fp) {
  std::fflush(fp);
  std::string text(static_cast<std::size_t>(std::ftell(fp)), '\0');
  std::rewind(fp);
  text.resize(std::fread(text.data(), 1, text.size(), fp));
  std::fclose(fp);
  return text;
}

// The record reader's rules, one character at a time, written as plainly as
// possible for comparison with the real reader. Returns false where the
// reader must refuse the input: no header, or a record over MAX_SEQLEN
// residues.
inline bool model_read(const std::string& text, int flag,
                       std::vector<fasta_seq>* out) {
  const auto kept = [flag](unsigned char c) {
    if (c >= 'A' && c <= 'Z') return true;
    if (flag == 0) return c == '-';
    if (flag == 2) return c == '-' || c == '.' || (c >= 'a' && c <= 'z');
    return c >= 'a' && c <= 'z';
  };
  if (!text.empty() && text[0] != '>') return false;
  std::size_t i = 0;
  while (i < text.size()) {
    fasta_seq rec;
    std::size_t nl = text.find('\n', ++i);
    if (nl == std::string::npos) nl = text.size();
    rec.comment = text.substr(i, nl - i);
    if (!rec.comment.empty() && rec.comment.back() == '\r')
      rec.comment.pop_back();
    for (i = nl; i < text.size() && text[i] != '>'; ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      if (!kept(c)) continue;
      if (rec.seq.size() == MAX_SEQLEN) return false;
      const bool upper = flag != 0 && flag != 2 && c >= 'a';
      rec.seq += static_cast<char>(upper ? c - 'a' + 'A' : c);
    }
    out->push_back(rec);
  }
  return true;
}

#endif  // COLSIEVE_TESTS_TEST_SUPPORT_H
