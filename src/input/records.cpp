#include "input/records.h"

#include <cstdio>
#include <cstring>

#include "error.h"
#include "text.h"

std::size_t record_set::find_or_add(std::string_view name) {
  const auto it = index_.find(std::string(name));
  if (it != index_.end()) return it->second;
  const std::size_t i = add(std::string(name));
  index_.emplace(name, i);
  return i;
}

std::size_t record_set::find(std::string_view name) const {
  const auto it = index_.find(std::string(name));
  return it == index_.end() ? npos : it->second;
}

std::size_t record_set::add(std::string name) {
  names_.push_back(std::move(name));
  rows_.emplace_back();
  return names_.size() - 1;
}

loaded_input record_set::take(std::string format) {
  loaded_input in;
  in.format = std::move(format);
  std::size_t total = 0;
  for (const std::string& r : rows_) total += r.size();
  in.aln.residues.reserve(total + 1);
  std::size_t used = 0;
  for (std::size_t i = 0; i < names_.size(); ++i) {
    mark_gaps(rows_[i].data(), rows_[i].size());
    in.lengths.push_back(rows_[i].size());
    used = in.aln.append(std::move(names_[i]), rows_[i], used);
    std::string().swap(rows_[i]);
  }
  names_.clear();
  rows_.clear();
  index_.clear();
  return in;
}

int append_full_row(std::string_view text, const char* gaps, std::string* row) {
  for (const char c : text) {
    if (c >= 'A' && c <= 'Z') {
      row->push_back(c);
    } else if (c >= 'a' && c <= 'z') {
      row->push_back(static_cast<char>(c - 'a' + 'A'));
    } else if (c != 0 && std::strchr(gaps, c) != nullptr) {
      row->push_back('-');
    } else if (c != ' ' && c != '\t' && c != '\r') {
      return static_cast<unsigned char>(c);
    }
  }
  return -1;
}

std::string bad_character(std::size_t line, std::string_view name, int byte) {
  char what[16];
  if (byte > 0x20 && byte < 0x7f)
    std::snprintf(what, sizeof what, "'%c'", byte);
  else
    std::snprintf(what, sizeof what, "byte 0x%02x", byte);
  return "line " + std::to_string(line) + ": sequence \"" + shown(name) +
         "\" holds " + what +
         ", which is neither a residue (a letter) nor a gap";
}

std::string input_label(const std::string& input_name) {
  return input_name == "-" ? "standard input" : input_name;
}

void record_too_long(std::size_t record, std::string_view name,
                     std::size_t limit) {
  throw fatal_error(
      "ERROR: sequence too long.\nRecord " + std::to_string(record) + " (" +
      shown(name) + ") has more than " + std::to_string(limit) +
      " columns, the limit; --max-columns N sets another, --max-columns 0 "
      "lifts it.");
}
