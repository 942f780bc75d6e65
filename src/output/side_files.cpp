// The run's output files: checked together, written, then put in place all
// at the end.
#include "output/side_files.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "base/error.h"

side_files::side_files(const output_paths& paths, const input_ids& inputs,
                       const std::vector<open_stream>& streams) {
  std::vector<const destination*> taken;
  const auto add = [&](const std::optional<std::string>& path,
                       const char* what) -> destination* {
    if (!path) return nullptr;
    files_.push_back(
        std::make_unique<destination>(*path, what, inputs, streams, taken));
    taken.push_back(files_.back().get());
    return files_.back().get();
  };
  map_ = add(paths.column_map, "column map");
  report_ = add(paths.report, "report");
  complement_ = add(paths.complement, "complement");
  summary_ = add(paths.summary, "summary");
  concat_ = add(paths.concat, "supermatrix");
  partitions_ = add(paths.partitions, "partitions");
  taxa_table_ = add(paths.taxa_table, "taxa table");
  if (paths.no_alignment) return;
  if (paths.alignment && *paths.alignment != "-") {
    alignment_ = add(paths.alignment, "output");
    return;
  }
  to_stdout_ = true;
  // Standard output appended to the input (colsieve -i aln.fa >> aln.fa)
  // would grow the file while it is read, or leave it garbled.
  const std::optional<file_id> out = regular_file_id(STDOUT_FILENO);
  if (out && std::find(inputs.begin(), inputs.end(), *out) != inputs.end())
    throw cannot_write("the alignment to standard output",
                       "it is the input file");
}

void side_files::write(const output_contents& contents, thread_pool& pool) {
  std::vector<std::pair<destination*, const content_writer*>> sides;
  if (map_ != nullptr) sides.emplace_back(map_, &contents.column_map);
  if (report_ != nullptr) sides.emplace_back(report_, &contents.report);
  if (complement_ != nullptr)
    sides.emplace_back(complement_, &contents.complement);
  if (summary_ != nullptr) sides.emplace_back(summary_, &contents.summary);
  if (concat_ != nullptr) sides.emplace_back(concat_, &contents.concat);
  if (partitions_ != nullptr)
    sides.emplace_back(partitions_, &contents.partitions);
  if (taxa_table_ != nullptr)
    sides.emplace_back(taxa_table_, &contents.taxa_table);
  // Files of their own are written side by side; a shared stream in order.
  bool apart = sides.size() > 1;
  for (const auto& side : sides)
    apart = apart && side.first->how() == destination::mode::staged;
  pool.run(sides.size(), apart ? contents.side_work : 0,
           [&](std::size_t k) { sides[k].first->write(*sides[k].second); });
  // Standard output cannot be taken back: it gets nothing from an input
  // that changed before now, and a change found later says what it holds.
  if (to_stdout_ && contents.verify) contents.verify();
  try {
    if (to_stdout_)
      contents.alignment(stdout, "output");
    else if (alignment_ != nullptr)
      alignment_->write(contents.alignment);

    // Nothing is replaced before every output has been written: the files
    // written in place go last, as they cannot be taken back.
    for (const auto& file : files_)
      if (file->how() != destination::mode::in_place) file->finish();
    if (contents.verify) contents.verify();
  } catch (const input_changed& e) {
    if (to_stdout_) throw fatal_error(e.after_output());
    throw;
  }
  for (const auto& file : files_)
    if (file->how() == destination::mode::in_place) file->finish();
  if (alignment_ != nullptr) alignment_->commit();
  for (const auto& file : files_)
    if (file.get() != alignment_) file->commit();
}
