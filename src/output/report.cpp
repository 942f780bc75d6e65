// The HTML report (-w): one self-contained page with the run's figures, the
// score profile along the alignment and a coloured view of the alignment.
#include "output/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/alphabet.h"

namespace {

constexpr double kPlotWidth = 1000;  // profile plotting area, in pixels
constexpr double kPlotHeight = 220;
constexpr double kLeft = 56, kTop = 16;   // margins around the plotting area
constexpr std::size_t kBlock = 100;       // alignment columns per block
constexpr std::size_t kTailBytes = 4096;  // what follows the alignment blocks

std::string format(const char* fmt, double x) {
  char buf[400];  // room for any double in "%f"
  std::snprintf(buf, sizeof buf, fmt, x);
  return buf;
}

std::string with_commas(std::size_t n) {
  const std::string digits = std::to_string(n);
  std::string s;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) s += ',';
    s += digits[i];
  }
  return s;
}

// Residue colour classes, Clustal style for proteins, one colour a base for
// nucleotides. Kept cells use the lower-case class, trimmed ones the
// upper-case class, which the style sheet dims.
char protein_class(char c) {
  switch (c) {
    case 'A':
    case 'I':
    case 'L':
    case 'M':
    case 'F':
    case 'W':
    case 'V':
    case 'C':
      return 'h';  // hydrophobic
    case 'K':
    case 'R':
      return 'p';  // positive
    case 'D':
    case 'E':
      return 'n';  // negative
    case 'N':
    case 'Q':
    case 'S':
    case 'T':
      return 'o';  // polar
    case 'G':
      return 'g';
    case 'P':
      return 'y';
    case 'H':
    case 'Y':
      return 'a';  // aromatic
    default:
      return 'x';
  }
}

char nucleotide_class(char c) {
  switch (c) {
    case 'A':
      return 'a';
    case 'C':
      return 'c';
    case 'G':
      return 'g';
    case 'T':
    case 'U':
      return 't';
    default:
      return 'x';
  }
}

const char* kStyle = R"(<style>
body{font-family:system-ui,-apple-system,"Segoe UI",Roboto,sans-serif;margin:24px;color:#1d2330;background:#fff}
h1{font-size:22px;margin:0 0 4px}h2{font-size:17px;margin:28px 0 8px}
.sub{color:#5a6170;margin:0 0 16px;word-break:break-all}
.facts{display:flex;flex-wrap:wrap;gap:10px;margin:0;padding:0}
.facts div{border:1px solid #d9dde5;border-radius:8px;padding:8px 14px;min-width:110px}
.facts dt{font-size:12px;color:#5a6170}.facts dd{margin:2px 0 0;font-size:20px;font-weight:600}
.note{color:#5a6170;font-size:13px;max-width:1080px}
.legend span{display:inline-block;margin-right:16px;font-size:13px}
.legend i{display:inline-block;width:12px;height:12px;border-radius:2px;margin-right:5px;vertical-align:-1px}
svg text{font-size:11px;fill:#5a6170}
.aln{font-family:ui-monospace,"DejaVu Sans Mono",Menlo,Consolas,monospace;font-size:12px;line-height:15px;margin:0 0 14px;white-space:pre}
.aln i{font-style:normal}.nm{color:#1d2330}.wt{color:#8a91a0}.ru{color:#8a91a0}.mk{color:#2b6cb0}
.h{background:#9bb7f0}.p{background:#f08d8d}.n{background:#e49be4}.o{background:#8ee08e}.g{background:#f5b971}.y{background:#e8e070}.a{background:#7fd6d6}
.H,.P,.N,.O,.G,.Y,.A,.C,.T,.X{color:#a3a9b5;background:#f3f4f6}
</style>
)";

// Nucleotide classes reuse protein colours: a green, c blue, g orange, t red.
const char* kNucleotideStyle =
    "<style>.aln .a{background:#8ee08e}.aln .c{background:#9bb7f0}"
    ".aln .g{background:#f5b971}.aln .t{background:#f08d8d}</style>\n";

// Collects part of the page in memory, so that its size is known before
// it is written.
struct text_sink {
  std::string text;
  void write(const char* p, std::size_t n) { text.append(p, n); }
  void write(const std::string& t) { text += t; }
  void put(char c) { text += c; }
};

// Escapes text for HTML; control characters become '?'.
template <class Sink>
void escape(Sink& fp, const std::string& text) {
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '&':
        fp.write("&amp;", 5);
        break;
      case '<':
        fp.write("&lt;", 4);
        break;
      case '>':
        fp.write("&gt;", 4);
        break;
      case '"':
        fp.write("&quot;", 6);
        break;
      default:
        fp.put(c < 0x20 || c == 0x7f ? '?' : ch);
    }
  }
}

// Writes its arguments one after the other (no temporary strings).
template <class Sink>
void piece(Sink& fp, const std::string& s) {
  fp.write(s);
}
template <class Sink>
void piece(Sink& fp, const char* s) {
  fp.write(s, std::strlen(s));
}
template <class Sink>
void piece(Sink& fp, char c) {
  fp.put(c);
}
template <class Sink, class... Parts>
void emit(Sink& fp, const Parts&... parts) {
  (piece(fp, parts), ...);
}

// A coordinate for the SVG. Every caller passes a finite value; should one
// slip through, it is drawn at 0 rather than written as "nan".
std::string coord(const char* fmt, double v) {
  return format(fmt, std::isfinite(v) ? v : 0.0);
}

// A name as the page shows it: at most kMaxName bytes, cut at a character
// boundary and ended with an ellipsis.
constexpr std::size_t kMaxName = 1000;
std::string page_name(const std::string& name) {
  if (name.size() <= kMaxName) return name;
  std::size_t cut = kMaxName - 3;  // room for the UTF-8 ellipsis
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
    --cut;
  return name.substr(0, cut) + "\u2026";
}

void fact(output_buffer& fp, const char* label, const std::string& value) {
  emit(fp, "<div><dt>", label, "</dt><dd>", value, "</dd></div>");
}

// Columns whose score is not a finite number (an extreme -c overflows):
// infinite ones are drawn at the edge of the chart, undefined ones left out.
std::size_t count_not_finite(const std::vector<double>& score) {
  std::size_t n = 0;
  for (double s : score) n += !std::isfinite(s);
  return n;
}

void write_profile(output_buffer& fp, const report_input& r) {
  const std::vector<double>& score = r.score;
  const std::size_t n = score.size();
  double lo = std::min(0.0, r.sel.target_wt),
         hi = std::max(1.0, r.sel.target_wt);
  for (double s : score) {
    if (!std::isfinite(s)) continue;
    lo = std::min(lo, s);
    hi = std::max(hi, s);
  }
  // Halved before subtracting, so that the widest range of doubles still
  // gives a finite span.
  const double span = hi / 2 - lo / 2;
  const auto y = [&](double v) {
    if (!std::isfinite(v)) v = v > 0 ? hi : lo;
    return kTop + (hi / 2 - v / 2) / span * kPlotHeight;
  };
  const double width = kLeft + kPlotWidth + 118;  // room for the target label
  const double strip = kTop + kPlotHeight + 8;    // the kept/trimmed track
  const double height = strip + 40;
  emit(fp, "<svg id=\"profile\" role=\"img\" viewBox=\"0 0 ",
       format("%.0f", width), " ", format("%.0f", height),
       "\" width=\"100%\" style=\"max-width:", format("%.0f", width),
       "px\"><title>Column scores and the final target</title>\n");

  // Axes and grid: five values from lo to hi.
  for (int k = 0; k <= 4; ++k) {
    const double v = lo / 4 * (4 - k) + hi / 4 * k;
    const std::string yy = coord("%.1f", y(v));
    emit(fp, "<line x1=\"", format("%.0f", kLeft), "\" x2=\"",
         format("%.0f", kLeft + kPlotWidth), "\" y1=\"", yy, "\" y2=\"", yy,
         "\" stroke=\"#eceef2\"/><text x=\"", format("%.0f", kLeft - 6),
         "\" y=\"", yy, "\" dy=\"4\" text-anchor=\"end\">",
         format(std::fabs(v) < 1e6 ? "%.2f" : "%.2g", v), "</text>\n");
  }

  // Bars: one a column while they fit, else bins of columns with the
  // lowest and highest score of each; the colour says how much was kept.
  const std::size_t bins =
      std::min<std::size_t>(n, static_cast<std::size_t>(kPlotWidth / 2));
  const double bar = kPlotWidth / static_cast<double>(bins);
  const double base = y(std::max(lo, std::min(0.0, hi)));
  for (std::size_t b = 0; b < bins; ++b) {
    const std::size_t from = b * n / bins, to = (b + 1) * n / bins;
    double mn = INFINITY, mx = -INFINITY, mean = 0;
    std::size_t kept = 0, defined = 0;
    for (std::size_t j = from; j < to; ++j) {
      kept += r.sel.is_selected[j] != 0;
      const double v = score[j];
      if (std::isnan(v)) continue;
      const double clipped = std::isfinite(v) ? v : v > 0 ? hi : lo;
      mn = std::min(mn, clipped);
      mx = std::max(mx, clipped);
      ++defined;
    }
    for (std::size_t j = from; j < to; ++j)  // a mean that cannot overflow
      if (!std::isnan(score[j]))
        mean += (std::isfinite(score[j]) ? score[j]
                 : score[j] > 0          ? hi
                                         : lo) /
                static_cast<double>(defined);
    const double share =
        static_cast<double>(kept) / static_cast<double>(to - from);
    const int red = static_cast<int>(std::lround(190 - share * (190 - 43)));
    const int green = static_cast<int>(std::lround(195 - share * (195 - 108)));
    const int blue = static_cast<int>(std::lround(204 - share * (204 - 176)));
    char colour[16];
    std::snprintf(colour, sizeof colour, "#%02x%02x%02x", red, green, blue);
    const double x = kLeft + static_cast<double>(b) * bar;
    const std::string w =
        format("%.2f", std::max(bar - (bar > 3 ? 1 : 0), 0.5));
    emit(fp, "<g><title>");
    if (to - from == 1)
      emit(fp, "column ", with_commas(from + 1), ": ",
           format("%f", score[from]));
    else
      emit(fp, "columns ", with_commas(from + 1), "-", with_commas(to), ": ",
           format("%f", mn), " to ", format("%f", mx), ", ", with_commas(kept),
           " kept");
    emit(fp, "</title>");
    if (defined > 0) {
      // A single column reaches from the baseline; a bin spans min to max.
      double top = y(mx), bottom = to - from == 1 ? base : y(mn);
      if (top > bottom) std::swap(top, bottom);
      bottom = std::max(bottom, top + 1.5);
      // A bin's range is drawn light, with its mean as a solid mark.
      emit(fp, "<rect x=\"", coord("%.2f", x), "\" y=\"", coord("%.2f", top),
           "\" width=\"", w, "\" height=\"", coord("%.2f", bottom - top),
           "\" fill=\"", colour,
           to - from == 1 ? "\"/>" : "\" fill-opacity=\".4\"/>");
      if (to - from > 1)
        emit(fp, "<rect x=\"", coord("%.2f", x), "\" y=\"",
             coord("%.2f", y(mean) - 1), "\" width=\"", w,
             "\" height=\"2\" fill=\"", colour, "\"/>");
    }
    emit(fp, "</g>\n");
    // Track under the plot: kept (blue) or trimmed (grey).
    emit(fp, "<rect x=\"", coord("%.2f", x), "\" y=\"", format("%.1f", strip),
         "\" width=\"", format("%.2f", bar), "\" height=\"10\" fill=\"", colour,
         "\"/>\n");
    // Below it, where the codon rule dropped selected columns (orange) or
    // ends-only kept unselected ones (green).
    if (r.selected != nullptr) {
      bool dropped = false, added = false;
      for (std::size_t j = from; j < to; ++j) {
        dropped =
            dropped || (r.selected->is_selected[j] && !r.sel.is_selected[j]);
        added = added || (!r.selected->is_selected[j] && r.sel.is_selected[j]);
      }
      if (dropped || added)
        emit(fp, "<rect class=\"", dropped ? "codon" : "ends", "\" x=\"",
             coord("%.2f", x), "\" y=\"", format("%.1f", strip + 11),
             "\" width=\"", format("%.2f", bar), "\" height=\"4\" fill=\"",
             dropped ? "#e8890c" : "#2f9e44", "\"/>\n");
    }
  }

  // The final target.
  const std::string ty = coord("%.1f", y(r.sel.target_wt));
  emit(fp, "<line x1=\"", format("%.0f", kLeft), "\" x2=\"",
       format("%.0f", kLeft + kPlotWidth), "\" y1=\"", ty, "\" y2=\"", ty,
       "\" stroke=\"#d9480f\" stroke-width=\"1.5\" stroke-dasharray=\"6 "
       "4\"/>"
       "<text x=\"",
       format("%.0f", kLeft + kPlotWidth + 6), "\" y=\"", ty,
       "\" dy=\"4\" style=\"fill:#d9480f\">target ",
       format("%f", r.sel.target_wt), "</text>\n");

  // Column numbers along the track.
  for (int k = 0; k <= 10; ++k) {
    const std::size_t col = std::max<std::size_t>(1, n * k / 10);
    const double x = kLeft + kPlotWidth *
                                 static_cast<double>(col - (k == 0 ? 1 : 0)) /
                                 static_cast<double>(n);
    emit(fp, "<text x=\"", coord("%.1f", x), "\" y=\"",
         format("%.1f", strip + 26), "\" text-anchor=\"middle\">",
         with_commas(col), "</text>\n");
  }
  emit(fp, "</svg>\n");
}

// The alignment, one block of kBlock columns at a time, each as its own
// text, so that the page can stop at its size bound.
class alignment_blocks {
 public:
  alignment_blocks(const report_input& r, std::size_t rows)
      : r_(r),
        rows_(rows),
        dna_(written_alphabet(r.aln, r.sel.is_selected) != alphabet::protein) {
    for (std::size_t i = 0; i < rows; ++i) {
      name_width_ = std::max(name_width_,
                             std::min<std::size_t>(24, r.aln.names[i].size()));
      weight_width_ = std::max(weight_width_, format("%.3f", r.wt[i]).size());
    }
  }
  const char* style() const { return dna_ ? kNucleotideStyle : ""; }

  // The block of columns [c0, c1). The first block carries each name whole
  // (up to kMaxName bytes) as a tooltip; later ones only the short form.
  std::string block(std::size_t c0, std::size_t c1) const;

 private:
  const report_input& r_;
  std::size_t rows_;
  bool dna_;
  std::size_t name_width_ = 4, weight_width_ = 6;
};

std::string alignment_blocks::block(std::size_t c0, std::size_t c1) const {
  text_sink fp;
  const std::size_t indent = name_width_ + weight_width_ + 2;
  emit(fp, "<div class=\"aln\">");
  // Ruler: the number of every tenth column ends above that column.
  std::string ruler(indent + (c1 - c0), ' ');
  for (std::size_t j = c0 + 10 - c0 % 10; j <= c1; j += 10) {
    const std::string num = std::to_string(j);
    const std::size_t end = indent + (j - c0);
    if (end >= num.size()) ruler.replace(end - num.size(), num.size(), num);
  }
  std::string marks(indent, ' ');
  for (std::size_t j = c0; j < c1; ++j) {
    const bool kept = r_.sel.is_selected[j] != 0;
    const bool selected =
        r_.selected == nullptr ? kept : r_.selected->is_selected[j] != 0;
    marks += kept && selected ? '*' : kept ? '+' : selected ? '!' : ' ';
  }
  emit(fp, "<span class=\"ru\">", ruler, "</span>\n<span class=\"mk\">", marks,
       "</span>\n");
  std::vector<char> buf(c1 - c0);
  for (std::size_t i = 0; i < rows_; ++i) {
    const std::string& name = r_.aln.names[i];
    const char* row = r_.aln.segment(i, c0, c1, buf.data());
    std::string shown = name.substr(0, name_width_);
    if (name.size() > name_width_) shown.back() = '~';
    if (c0 == 0) {
      emit(fp, "<span class=\"nm\" title=\"");
      escape(fp, page_name(name));
      emit(fp, "\">");
    } else {
      emit(fp, "<span class=\"nm\">");
    }
    escape(fp, shown);
    emit(fp, std::string(name_width_ - shown.size() + 1, ' '), "</span>");
    const std::string weight = format("%.3f", r_.wt[i]);
    emit(fp, "<span class=\"wt\">",
         std::string(weight_width_ - weight.size(), ' '), weight, "</span> ");
    // Runs of cells with the same colour and state share one element.
    char open = 0;
    for (std::size_t j = c0; j < c1; ++j) {
      const char c = row[j - c0];
      const bool kept = r_.sel.is_selected[j] != 0;
      char cls = c == UNALIGNED ? 'x'
                 : dna_         ? nucleotide_class(c)
                                : protein_class(c);
      if (!kept) cls = static_cast<char>(cls - 'a' + 'A');
      if (cls != open) {
        if (open != 0) emit(fp, "</i>");
        emit(fp, "<i class=", cls, ">");
        open = cls;
      }
      fp.put(c == UNALIGNED ? (kept ? '-' : '.')
             : kept         ? c
                            : static_cast<char>(c | 0x20));
    }
    if (open != 0) emit(fp, "</i>");
    fp.put('\n');
  }
  emit(fp, "</div>\n");
  return std::move(fp.text);
}

}  // namespace

void write_report(output_buffer& fp, const report_input& r) {
  const std::size_t nseq = r.aln.nseq();
  const std::size_t lseq = r.aln.lseq;
  const std::size_t rows = std::min(nseq, REPORT_MAX_ROWS);
  const std::size_t cols = std::min(lseq, REPORT_MAX_COLUMNS);

  emit(fp,
       "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
       "<meta name=\"viewport\" content=\"width=device-width, "
       "initial-scale=1\">\n"
       "<title>colsieve report: ");
  escape(fp, r.input_name);
  emit(fp, "</title>\n");
  emit(fp, kStyle);
  emit(fp,
       "</head>\n<body>\n<header>\n<h1>colsieve trimming report</h1>\n<p "
       "class=\"sub\">");
  escape(fp, r.input_name);
  emit(fp, "</p>\n<dl class=\"facts\" id=\"facts\">");
  fact(fp, "sequences", with_commas(nseq));
  fact(fp, "columns", with_commas(lseq));
  fact(fp, "kept", with_commas(static_cast<std::size_t>(r.sel.n_gt_target)));
  fact(fp, "kept fraction",
       format("%.1f", 100.0 * r.sel.n_gt_target / static_cast<double>(lseq)) +
           "%");
  if (r.selected != nullptr)
    fact(fp, "selected",
         with_commas(static_cast<std::size_t>(r.selected->n_gt_target)));
  fact(fp, "final target", format("%f", r.sel.target_wt));
  fact(fp, "scale constant", format("%g", r.cst));
  fact(fp, "passes", with_commas(static_cast<std::size_t>(r.sel.passes)));
  emit(fp, "</dl>\n</header>\n");

  emit(fp,
       "<h2>Score profile</h2>\n<p class=\"note\">Each column's score is the "
       "weighted fraction of sequences with a residue there, times the scale "
       "constant. Columns scoring above the final target (dashed line) are "
       "kept. ");
  if (r.sel.passes > 1)
    emit(fp, "The target started at ", format("%f", r.start_target),
         " and was lowered ",
         with_commas(static_cast<std::size_t>(r.sel.passes - 1)),
         " times by 0.05 until at least 40 columns, or all of them, "
         "passed. ");
  if (lseq > kPlotWidth / 2)
    emit(fp, "Each bar covers ",
         format("%.0f", std::ceil(lseq / (kPlotWidth / 2))),
         " columns or fewer: the light bar spans their lowest to highest "
         "score, the dark mark is their mean. ");
  emit(fp,
       "</p>\n<p class=\"legend\"><span><i "
       "style=\"background:#2b6cb0\"></i>kept</span>"
       "<span><i style=\"background:#bec3cc\"></i>trimmed</span><span><i "
       "style=\"background:#d9480f\"></i>final target</span>");
  if (r.selected != nullptr)
    emit(fp,
         "<span><i style=\"background:#e8890c\"></i>selected, but dropped "
         "with a codon not selected whole</span><span><i "
         "style=\"background:#2f9e44\"></i>not selected, but kept: not at "
         "an end</span>");
  emit(fp, "</p>\n");
  const std::size_t odd = count_not_finite(r.score);
  if (odd > 0)
    emit(fp, "<p class=\"note\" id=\"not-finite\">", with_commas(odd),
         odd == 1 ? " column score is" : " column scores are",
         " not a finite number (the scale constant is extreme): infinite "
         "scores are drawn at the edge of the chart, undefined ones are left "
         "out.</p>\n");
  write_profile(fp, r);

  // The alignment, as many blocks as the page's size bound leaves room for.
  const alignment_blocks blocks(r, rows);
  std::string shown;
  std::size_t shown_cols = 0;
  const std::size_t used = fp.written() + kTailBytes;
  const std::size_t room =
      used < REPORT_MAX_BYTES ? REPORT_MAX_BYTES - used : 0;
  for (std::size_t c0 = 0; c0 < cols; c0 += kBlock) {
    const std::size_t c1 = std::min(cols, c0 + kBlock);
    std::string b = blocks.block(c0, c1);
    if (shown.size() + b.size() > room) break;
    shown += b;
    shown_cols = c1;
  }
  emit(fp,
       "<h2>Alignment</h2>\n<p class=\"note\">Kept columns in upper case and "
       "colour, "
       "trimmed ones dimmed in lower case ('.' for their gaps); <b>*</b> "
       "marks kept "
       "columns");
  if (r.selected != nullptr)
    emit(fp,
         ", <b>!</b> selected ones dropped with their codon, <b>+</b> "
         "unselected ones kept as they are not at an end");
  emit(fp, ". Each sequence's name is followed by its weight.");
  if (rows < nseq || shown_cols < lseq)
    emit(fp, " <b id=\"window\">Showing sequences 1&ndash;", with_commas(rows),
         " of ", with_commas(nseq), " and columns 1&ndash;",
         with_commas(shown_cols), " of ", with_commas(lseq),
         "</b>; the profile above covers every column.");
  if (shown_cols < cols)
    emit(fp, " The page stops there to stay under ",
         with_commas(REPORT_MAX_BYTES / 1000000), " MB.");
  emit(fp, "</p>\n", blocks.style(), shown);
  emit(fp, "</body>\n</html>\n");
}
