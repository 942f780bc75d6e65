#!/usr/bin/env bash
# The supermatrix of a batch (--concat) and its company, as a user meets
# them: the join in fasta, phylip-relaxed and nexus against a join of the
# trimmed outputs made here; gaps or '?' for missing taxa; failed inputs
# and those --min-taxa leaves out not joined, and the count line; taxon
# names by field and by regular expression, and their errors; partitions
# (RAxML lines, NEXUS, codon positions, mixed alphabets); the taxa table and
# the summary's columns; folders as inputs; --cds templates; the column
# limit; the same bytes for every thread count; outputs checked against
# each other and the inputs before any work; a single -i.
#
# usage: concat_test.sh COLSIEVE REPO
set -u
bin=$1
repo=$2
py=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail=0
no() { echo "$*"; fail=1; }

# Joins the trimmed FASTA files named after "--", by record name, in the
# order given: the supermatrix as FASTA (one line a record), every taxon in
# the order it first occurs, gaps (or $1) where it is missing.
join_fasta() {
  "$py" - "$@" << 'EOF'
import sys
fill, files = sys.argv[1], sys.argv[3:]
genes, order = [], []
for f in files:
    recs, name = {}, None
    for line in open(f):
        line = line.rstrip("\n")
        if line.startswith(">"):
            name = line[1:]; recs[name] = ""
            if name not in order: order.append(name)
        else:
            recs[name] += line
    genes.append((recs, len(next(iter(recs.values())))))
for t in order:
    print(">" + t)
    print("".join(r.get(t, fill * w) for r, w in genes))
EOF
}
# A FASTA file with one line a record.
one_line() { awk '/^>/ { if (s != "") print s; s = ""; print; next } { s = s $0 } END { if (s != "") print s }' "$1"; }

genes=("$repo"/examples/genes/*.fa)

# The join of the example genes, in three formats; the trimmed outputs are a
# single batch's, so the join made here is of what colsieve wrote.
"$bin" -f fasta --max-columns 0 --out-dir t --concat super.fa \
  --summary sum.tsv --taxa-table taxa.tsv --partitions parts.txt \
  "${genes[@]}" > out 2> err || no "join: status $?"
[ -s out ] && no "join: something went to standard output"
join_fasta - -- t/28S.fa t/COI.fa t/EF1a.fa t/LWRh.fa > want.fa
one_line super.fa > got.fa
cmp -s want.fa got.fa || { no "fasta: not the join of the trimmed genes"; diff want.fa got.fa | head -4; }
tail -n 1 err | grep -qx 'colsieve: 4 of 4 alignments trimmed; 4 joined into super.fa (32 taxa, 2778 columns).' ||
  no "join: count line: $(tail -n 1 err)"
for f in phylip-relaxed nexus clustal pir; do
  "$bin" -f "$f" --max-columns 0 --out-dir "t.$f" --concat "super.$f" "${genes[@]}" 2> /dev/null ||
    no "$f: status $?"
  # Read back: the same residues, by taxon, as the fasta supermatrix.
  "$bin" -i "super.$f" -t -1 -f fasta --max-columns 0 2> /dev/null | one_line /dev/stdin > "back.$f"
  cmp -s got.fa "back.$f" || no "$f: the supermatrix differs from the fasta one"
done
grep -q 'DIMENSIONS NTAX=32 NCHAR=2778;' super.nexus || no "nexus: header"
head -n 1 super.phylip-relaxed | grep -qx '32 2778' || no "phylip-relaxed: header"

# Partitions: each gene where its columns are, in input order.
printf '%s\n' 'DNA, 28S = 1-1046' 'DNA, COI = 1047-2124' 'DNA, EF1a = 2125-2491' \
  'DNA, LWRh = 2492-2778' | cmp -s - parts.txt || { no "partitions"; cat parts.txt; }
# The summary's places agree with the partitions; the taxa table with the
# supermatrix.
"$py" - << 'EOF' || fail=1
import csv
rows = list(csv.DictReader(open("sum.tsv"), delimiter="\t"))
got = [(r["concat_start"], r["concat_end"]) for r in rows]
want = [l.split(" = ")[1].strip().split("-") for l in open("parts.txt")]
assert got == [tuple(w) for w in want], (got, want)
seqs, name = {}, None
for line in open("got.fa"):
    line = line.strip()
    if line.startswith(">"): name = line[1:]
    else: seqs[name] = line
genes = [(int(a), int(b)) for a, b in want]
for r in csv.DictReader(open("taxa.tsv"), delimiter="\t"):
    s = seqs[r["taxon"]]
    present = [(a, b) for a, b in genes if set(s[a - 1:b]) != {"-"}]
    assert int(r["genes"]) == len(present), r
    assert int(r["columns"]) == sum(b - a + 1 for a, b in present), r
    missing = 100.0 * (s.count("-") + s.count("N")) / len(s)
    assert abs(float(r["missing_percent"]) - missing) < 1e-6, (r, missing)
assert len(seqs) == 32
EOF
# The same bytes for every thread count.
"$bin" -j 3 -f fasta --max-columns 0 --out-dir t3 --concat super3.fa \
  --summary sum3.tsv --taxa-table taxa3.tsv --partitions parts3.txt \
  "${genes[@]}" 2> err3
for f in super sum taxa parts; do
  e=fa; case $f in sum | taxa) e=tsv ;; parts) e=txt ;; esac
  cmp -s "$f.$e" "${f}3.$e" || no "$f.$e differs with 3 threads"
done
sed 's/super3/super/' err3 | cmp -s err - || no "standard error differs with 3 threads"

# '?' for missing taxa; a failed input and one --min-taxa leaves out are not
# joined; JSON gives null for the places of genes that were not.
printf '>a\nACGT\n>b\nACG\n' > bad.fa
"$bin" -f fasta --max-columns 0 --missing-char '?' --min-taxa 23 --out-dir q \
  --concat q.fa --summary q.json "${genes[@]}" bad.fa > /dev/null 2> q.err
[ $? = 1 ] || no "a failed input: status not 1"
grep -qx 'bad.fa: Error: sequence lengths differ!' q.err || no "no error for bad.fa"
grep -q "LWRh.fa: Warning: not joined: 22 taxa, fewer than --min-taxa 23" q.err || no "no --min-taxa warning"
tail -n 1 q.err | grep -qx 'colsieve: 4 of 5 alignments trimmed, 1 failed (see above); 3 joined into q.fa (32 taxa, 2491 columns).' ||
  no "--min-taxa: count line: $(tail -n 1 q.err)"
[ -s q/LWRh.fa ] || no "--min-taxa: the gene left out of the join is not written"
join_fasta '?' -- q/28S.fa q/COI.fa q/EF1a.fa > want.q
one_line q.fa | cmp -s want.q - || no "--missing-char ?: not the join"
grep -q '?' q.fa || no "--missing-char ?: no '?' in the supermatrix"
"$py" - << 'EOF' || fail=1
import json
rows = json.load(open("q.json"))["rows"]
places = [(r["concat_start"], r["concat_end"]) for r in rows]
assert places == [(1, 1046), (1047, 2124), (2125, 2491), (None, None), (None, None)], places
EOF

# Taxon names by field and by regular expression, written as the format
# writes names; errors for a taxon twice and for a name without one.
printf '>Homo_sapiens|g1 a\nACGTACGTAC\n>Pan|g1\nACGTACGTAA\n>Mus|g1\nACGAACGTAC\n' > a.fa
printf '>Pan|g2\nACGTTCGTAC\n>Homo_sapiens|g2\nACGTACGTAC\n>Rattus|g2\nTCGTACGTAC\n' > b.fa
"$bin" -f phylip-relaxed --out-dir f --concat f.phy --taxon-field '|:1' a.fa b.fa 2> /dev/null ||
  no "--taxon-field: status $?"
printf '%s\n' '4 20' 'Homo_sapiens ACGTACGTACACGTACGTAC' 'Pan          ACGTACGTAAACGTTCGTAC' \
  'Mus          ACGAACGTAC----------' 'Rattus       ----------TCGTACGTAC' | cmp -s - f.phy ||
  { no "--taxon-field: supermatrix"; cat f.phy; }
# Without them, names that carry a gene id join nothing: a warning says so.
"$bin" --out-dir u --concat u.fa a.fa b.fa 2>&1 |
  grep -q 'Warning: no taxon is in more than one of the 2 alignments joined' ||
  no "names with gene ids: no warning"
"$bin" -f phylip-relaxed --out-dir r --concat r.phy --taxon-regex '^([A-Za-z]+)' a.fa b.fa 2> /dev/null
printf '%s\n' '4 20' 'Homo   ACGTACGTACACGTACGTAC' 'Pan    ACGTACGTAAACGTTCGTAC' \
  'Mus    ACGAACGTAC----------' 'Rattus ----------TCGTACGTAC' | cmp -s - r.phy ||
  { no "--taxon-regex: supermatrix"; cat r.phy; }
printf '>Pan|x\nACGTACGTAC\n>Pan|y\nACGTACGTAA\n' > twice.fa
"$bin" --out-dir d --concat d.fa --taxon-field '|:1' a.fa twice.fa 2> d.err
[ $? = 1 ] || no "a taxon twice: status not 1"
grep -qxF 'twice.fa: Error: gene twice has the taxon "Pan" twice: record 1 (Pan|x) and record 2 (Pan|y); a supermatrix takes one record a taxon from each alignment' d.err ||
  { no "a taxon twice: message"; cat d.err; }
[ -e d/twice.fa ] && no "a taxon twice: the gene was written"
printf '>Pan|x\nACGTACGTAC\n>Gorilla\nACGTACGTAA\n' > nofield.fa
"$bin" --out-dir n --concat n.fa --taxon-field '|:2' nofield.fa 2> n.err
grep -qxF 'nofield.fa: Error: record 2 (Gorilla) has no taxon name: --taxon-field |:2 finds no such field in it' n.err ||
  { no "no field: message"; cat n.err; }
grep -q 'no alignment to join into n.fa' n.err || no "nothing joined: no message"
"$bin" --out-dir n --concat n.fa --taxon-regex 'x(' a.fa 2>&1 | grep -q 'is not a regular expression' ||
  no "a bad regular expression is taken"
"$bin" --out-dir n --concat n.fa --taxon-regex 'Pan' a.fa 2>&1 | grep -q 'has no group' ||
  no "a regular expression without a group is taken"
"$bin" --out-dir n --concat n.fa --taxon-field '|:1' --taxon-regex '(P)' a.fa 2>&1 |
  grep -q 'give one' || no "--taxon-field with --taxon-regex is taken"

# Mixed alphabets: each partition its type, and a warning. NEXUS partitions
# and codon positions.
printf '>Homo_sapiens|p\nMKVLAAGIVW\n>Pan|p\nMKVLSAGIVW\n' > p.fa
"$bin" --out-dir m --concat m.fa --partitions m.txt --taxon-field '|:1' a.fa p.fa 2> m.err
printf '%s\n' 'DNA, a = 1-10' 'LG, p = 11-20' | cmp -s - m.txt || { no "mixed: partitions"; cat m.txt; }
grep -q 'Warning: the supermatrix joins nucleotide and protein alignments' m.err || no "mixed: no warning"
# A nucleotide gene whose kept columns are ambiguity codes only is still
# DNA, as its own NEXUS output says.
"$py" -c "
a = 'ACGT' * 250
print('>x|g\n' + a + 'RYKMS' * 10)
print('>y|g\n' + a[::-1] + 'RYKMS' * 10)
print('>z|g\n' + '-' * 1000 + 'RYKMS' * 10)" > amb.fa
"$bin" --out-dir amb --concat amb_s.fa --partitions amb.txt --taxon-field '|:1' amb.fa 2> /dev/null
echo 'DNA, amb = 1-50' | cmp -s - amb.txt || { no "ambiguity codes: partition"; cat amb.txt; }
for g in a b; do awk '/^>/ { print; next } { print substr($0, 1, 9) }' $g.fa > ${g}9.fa; done
"$bin" --codon --out-dir c --concat c.fa --partitions c.nex --partitions-format nexus \
  --partition-by codon --partition-name 'gene_{stem}' --taxon-field '|:1' a9.fa b9.fa 2> /dev/null
for want in '  charset gene_a9_pos1 = 1-9\3;' '  charset gene_a9_pos3 = 3-9\3;' \
            '  charset gene_b9_pos2 = 11-18\3;' '  set partition = colsieve;'; do
  [ "$(grep -cxF "$want" c.nex)" -ge 1 ] || { no "codon partitions: no line $want"; cat c.nex; break; }
done
grep -q '^  partition colsieve = 6:' c.nex || no "codon partitions: the mrbayes partition"
"$bin" --out-dir c --concat c.fa --partitions c.nex --partition-by codon a.fa 2>&1 |
  grep -q -- '--partition-by codon needs --codon or --cds' || no "--partition-by codon without --codon"
"$bin" --out-dir c --partitions c.txt a.fa 2>&1 | grep -q -- '--partitions goes with --concat' ||
  no "--partitions without --concat"
"$bin" --out-dir c --concat c.fa --partitions p.txt a.fa a/../a.fa 2>&1 |
  grep -qF 'a.fa and a/../a.fa would both' || no "two genes of one name"

# A folder: its alignments in name order; hidden files and files of no
# format colsieve reads listed and left out, with their count.
mkdir -p dir/sub
cp b.fa dir/2.fa; cp a.fa dir/1.fa; gzip -c p.fa > dir/3.fa.gz
echo notes > dir/README; touch dir/.hidden
"$bin" --out-dir fo --concat fo.fa --taxon-field '|:1' dir 2> fo.err || no "folder: status $?"
grep -qxF 'Warning: dir/ holds 3 alignments; 3 entries were left out (hidden, folders, or of no format colsieve reads): .hidden, README, sub' fo.err ||
  { no "folder: no list of what was left out"; cat fo.err; }
[ "$(grep -c ': fraction of positions' fo.err)" = 3 ] || no "folder: not three runs"
grep -o '^dir/[^:]*' fo.err | paste -sd' ' | grep -qx 'dir/1.fa dir/2.fa dir/3.fa.gz' || no "folder: not in name order"

# --cds in batch mode: a template, each output as a single run's; the coding
# sequences are inputs no output may be.
cds=$repo/tests/cli/cds_default
mkdir -p cdsin cds
cp "$cds/prot.fa" cdsin/x.fa; cp "$cds/prot.fa" cdsin/y.fa
cp "$cds/cds.fa" cds/x.fna; cp "$cds/cds.fa" cds/y.fna
"$bin" --out-dir co --cds 'cds/{stem}.fna' --concat co.fa --partitions co.txt \
  --partition-by codon cdsin/x.fa cdsin/y.fa 2> co.err || { no "--cds template: status $?"; cat co.err; }
"$bin" -i cdsin/x.fa --cds cds/x.fna > single.fa 2> /dev/null
cmp -s single.fa co/x.fa || no "--cds template: not a single run's output"
[ "$(grep -c '^DNA, [xy]_pos[123] = ' co.txt)" = 6 ] || { no "--cds: codon partitions"; cat co.txt; }
"$bin" --out-dir cds --out-name '{stem}.fna' --cds 'cds/{stem}.fna' cdsin/x.fa 2> cds.err
grep -qxF 'Error: cdsin/x.fa would write cds/x.fna, which is the coding sequences of cdsin/x.fa' cds.err ||
  { no "an output that is a coding sequence file"; cat cds.err; }
cmp -s cds/x.fna "$cds/cds.fa" || no "a coding sequence file was written"
"$bin" --out-dir co --cds 'cds/{stem}.fna' cdsin/x.fa cdsin/z.fa 2>&1 | grep -q 'cdsin/z.fa: Error' ||
  no "a missing input with --cds: no error of its own"

# Outputs against each other and the inputs, before any work.
for args in "--concat s.tsv --summary s.tsv" "--concat a.fa" "--concat o/a.fa" \
            "--concat x.fa --taxa-table x.fa" "--concat x.fa --partitions o/b.fa"; do
  rm -rf o
  # shellcheck disable=SC2086
  "$bin" --out-dir o $args a.fa b.fa > /dev/null 2> o.err && no "$args: taken"
  grep -q 'would write' o.err || { no "$args: $(cat o.err)"; }
  [ -e o/a.fa ] && no "$args: work was done"
done
"$bin" --out-dir o --concat nodir/x.fa a.fa 2>&1 | grep -q 'cannot write supermatrix nodir/x.fa' ||
  no "an unwritable supermatrix is not refused"

# The column limit: the supermatrix follows --max-columns as an alignment
# does; the genes and the summary are still written.
"$bin" --max-columns 2000 --out-dir w --concat w.fa --summary w.tsv "${genes[@]}" 2> w.err
[ $? = 1 ] || no "over the column limit: status not 1"
grep -A1 -xF 'ERROR: sequence too long.' w.err | tail -n 1 |
  grep -qxF 'The supermatrix (--concat w.fa) would have 2778 columns, more than 2000, the limit; --max-columns N sets another, --max-columns 0 lifts it.' ||
  { no "over the column limit: message"; cat w.err; }
[ -e w.fa ] && no "over the column limit: the supermatrix was written"
[ -s w/COI.fa ] && [ "$(wc -l < w.tsv)" = 5 ] || no "over the column limit: genes or summary not written"
tail -n 1 w.err | grep -qx 'colsieve: 4 of 4 alignments trimmed.' || no "over the column limit: count line"

# A single -i: the supermatrix of one alignment, its records by taxon.
"$bin" -i a.fa -f fasta --concat one.fa --partitions one.txt --taxon-field '|:1' > one.out 2> one.err ||
  no "single -i: status $?"
printf '%s\n' '>Homo_sapiens' ACGTACGTAC '>Pan' ACGTACGTAA '>Mus' ACGAACGTAC | cmp -s - one.fa ||
  { no "single -i: supermatrix"; cat one.fa; }
echo 'DNA, a = 1-10' | cmp -s - one.txt || no "single -i: partitions"
"$bin" -i a.fa > plain.out 2> plain.err
cmp -s one.out plain.out && cmp -s one.err plain.err || no "single -i: --concat changed the run's own output"
exit $fail
