// The column map (-l).
#include "output/column_map.h"

#include <algorithm>
#include <cstdio>

void write_column_map(output_buffer& fp, const std::vector<double>& score,
                      const selection& kept, const selection* selected) {
  if (selected == nullptr)
    fp.write("column\tscore\tkept\n", 18);
  else
    fp.write("column\tscore\tkept\tselected\n", 27);
  char line[400];  // room for any double in "%f" (at most 317 characters)
  for (std::size_t j = 0; j < score.size(); ++j) {
    const int n = selected == nullptr
                      ? std::snprintf(line, sizeof line, "%zu\t%f\t%d\n", j + 1,
                                      score[j], kept.is_selected[j])
                      : std::snprintf(line, sizeof line, "%zu\t%f\t%d\t%d\n",
                                      j + 1, score[j], kept.is_selected[j],
                                      selected->is_selected[j]);
    fp.write(line, std::min(sizeof line - 1, static_cast<std::size_t>(n)));
  }
}
