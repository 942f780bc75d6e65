#include "input/records.h"

#include <cstdio>
#include <cstring>

std::size_t record_set::add(std::string name, name_form form) {
  // Forms are kept only once a record's is not plain.
  if (form != name_form::plain || !forms_.empty()) {
    forms_.resize(names_.size(), name_form::plain);
    forms_.push_back(form);
  }
  names_.push_back(std::move(name));
  rows_.emplace_back();
  return names_.size() - 1;
}

loaded_input record_set::take() {
  loaded_input in;
  std::size_t total = 0;
  for (const std::string& r : rows_) total += r.size();
  in.aln.residues.reserve(total + 1);
  std::size_t used = 0;
  for (std::size_t i = 0; i < names_.size(); ++i) {
    in.lengths.push_back(rows_[i].size());
    used = in.aln.append(std::move(names_[i]), rows_[i], used);
    std::string().swap(rows_[i]);  // the table holds it now
  }
  in.aln.forms = std::move(forms_);
  names_.clear();
  rows_.clear();
  return in;
}

filter_table full_row_table(const char* gaps, bool keep_x) {
  residue_rule rule;
  rule.lower = residue_rule::lower_case::fold;
  rule.kept = "";
  rule.gaps = gaps;
  rule.gap_mark = static_cast<char>(UNALIGNED);
  filter_table t = make_filter_table(rule);
  if (keep_x) t['X'] = t['x'] = 'X';
  return t;
}

int append_row(const filter_table& table, std::string_view text,
               std::string* row) {
  for (const char c : text) {
    const unsigned char v = table[static_cast<unsigned char>(c)];
    if (v != 0)
      row->push_back(static_cast<char>(v));
    else if (c != ' ' && c != '\t' && c != '\v' && c != '\f')
      return static_cast<unsigned char>(c);
  }
  return -1;
}

block_rows::block_rows(key k, const read_context& ctx, filter_table table)
    : key_(k), ctx_(ctx), table_(table) {}

std::string lengths_differ(std::size_t i, std::string_view name,
                           std::size_t length, std::string_view first,
                           std::size_t first_length) {
  return "Error: sequence lengths differ!\nRecord " + std::to_string(i + 1) +
         " (" + shown(name) + ") has " + std::to_string(length) +
         (length == 1 ? " column" : " columns") + "; record 1 (" +
         shown(first) + ") has " + std::to_string(first_length) + ".";
}

void resolve_match_marks(loaded_input* in) {
  if (in->lengths.empty()) return;
  const char* first = in->aln.residues.data() + in->aln.offsets[0];
  for (std::size_t k = 1; k < in->lengths.size(); ++k) {
    char* row = in->aln.residues.data() + in->aln.offsets[k];
    for (std::size_t j = 0; j < in->lengths[k]; ++j)
      if (row[j] == kMatchMark)
        row[j] = j < in->lengths[0] ? first[j] : static_cast<char>(UNALIGNED);
  }
}

void block_rows::add_rest_of_line(line_reader& lines) {
  constexpr std::size_t kChunk = 64 << 10;  // residue text taken at a time
  for (int stop = byte_stream::kFull; stop == byte_stream::kFull;) {
    piece_.clear();
    stop = lines.take(kLineEnd, &piece_, kChunk);
    add(piece_);
  }
}

void block_rows::fail(std::size_t line, const std::string& what) const {
  throw fatal_error("Error: " + ctx_.where + ", line " + std::to_string(line) +
                    ": " + what);
}

void block_rows::begin_row(std::string_view name, std::size_t line,
                           name_form form) {
  row_line_ = line;
  const std::size_t k = in_block_;
  if (first_block_) {
    if (key_ == key::name) {
      const auto [it, fresh] = index_.emplace(name, recs_.size());
      if (!fresh)
        fail(line, "sequence " + quoted(name) + " appears twice in one block");
      seen_.push_back(block_);
    }
    row_ = recs_.add(std::string(name), form);
  } else if (key_ == key::position) {
    if (k >= recs_.size())
      fail(line, "this block has more rows than the first block (" +
                     std::to_string(recs_.size()) + ")");
    if (name != recs_.name(k))
      fail(line, "row " + std::to_string(k + 1) + " of this block is " +
                     quoted(name) + ", but row " + std::to_string(k + 1) +
                     " of the first block is " + quoted(recs_.name(k)));
    row_ = k;
  } else {
    // By name, in any order: each record once a block. The first block's
    // order, the usual one, needs no lookup.
    std::size_t r = k;
    if (k >= recs_.size() || name != recs_.name(k)) {
      const auto it = index_.find(std::string(name));
      if (it == index_.end())
        fail(line, "sequence " + quoted(name) + " is not in the first block");
      r = it->second;
    }
    if (seen_[r] == block_)
      fail(line, "sequence " + quoted(name) + " appears twice in one block");
    seen_[r] = block_;
    row_ = r;
  }
  row_start_ = recs_.row(row_).size();
  ++in_block_;
}

void block_rows::add(std::string_view text) {
  std::string& row = recs_.row(row_);
  const int bad = append_row(table_, text, &row);
  if (bad >= 0)
    throw fatal_error("Error: " + ctx_.where + ", " +
                      bad_character(row_line_, recs_.name(row_), bad));
  if (row.size() > ctx_.limit)
    record_too_long(row_ + 1, recs_.name(row_), ctx_.limit);
}

void block_rows::end_row() {
  const std::size_t width = recs_.row(row_).size() - row_start_;
  if (in_block_ == 1) {
    width_ = width;
    block_first_ = row_;
  } else if (width != width_) {
    fail(row_line_, "sequence " + quoted(recs_.name(row_)) + " has " +
                        std::to_string(width) +
                        " columns in this block, but the block's first "
                        "sequence (" +
                        quoted(recs_.name(block_first_)) + ") has " +
                        std::to_string(width_) + " (a ragged block)");
  }
}

void block_rows::end_block(std::size_t line) {
  if (in_block_ == 0) return;
  if (!first_block_ && in_block_ < recs_.size()) {
    std::size_t missing = in_block_;  // by position: the rows after the last
    if (key_ == key::name)
      for (missing = 0; seen_[missing] == block_; ++missing) {
      }
    fail(line, "this block has " + std::to_string(in_block_) +
                   " rows, but the first block has " +
                   std::to_string(recs_.size()) + " (" +
                   quoted(recs_.name(missing)) + " is missing)");
  }
  first_block_ = false;
  in_block_ = 0;
  ++block_;
}

bool block_rows::in_first_block(std::string_view name) const {
  return index_.find(std::string(name)) != index_.end();
}

loaded_input block_rows::take(std::size_t last_line) {
  end_block(last_line);
  return recs_.take();
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
  throw fatal_error("ERROR: sequence too long.\nRecord " +
                    std::to_string(record) + " (" + shown(name) +
                    ") has more than " + std::to_string(limit) +
                    (limit >= MAX_WIDTH
                         ? " columns, the most colsieve takes."
                         : " columns, the limit; --max-columns N sets another, "
                           "--max-columns 0 lifts it."));
}
