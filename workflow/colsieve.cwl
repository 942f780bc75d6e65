#!/usr/bin/env cwl-runner
# colsieve as a CWL tool: trims one alignment, with colsieve found on PATH.
#   cwltool workflow/colsieve.cwl --alignment aln.fa --remove --column_map map.tsv
# An input left unset adds nothing to the command line: given only the
# alignment, the tool runs `colsieve -i FILE -o NAME`, and `trimmed` holds
# what `colsieve -i FILE` writes to standard output, byte for byte. colsieve
# writes NAME only when the run succeeds, so a failed run leaves no
# `trimmed`, and no `summary`: its error is in `log`.
cwlVersion: v1.2
class: CommandLineTool
label: colsieve
doc: >-
  Trims a multiple sequence alignment (FASTA, PIR, A2M, Stockholm, Clustal,
  PHYLIP, NEXUS, MSF, MEGA, SELEX, PSI-BLAST; plain or gzip) to its
  well-aligned columns.

requirements:
  InlineJavascriptRequirement:
    expressionLib:
      - |-
        // The trimmed alignment's name: output_name, or the input's name
        // without .gz.
        function trimmedName(inputs) {
          if (inputs.output_name) return inputs.output_name;
          return inputs.alignment.basename.replace(/\.gz$/, "");
        }
  ResourceRequirement:
    coresMin: $(inputs.threads || 1)
    # MiB: the workflow's estimate, six times the alignment's size (peaks
    # measured at 2.0-3.7 times the file, NEXUS the most), a gzip file
    # counted ten times its size, and a floor.
    ramMin: |-
      ${
        var size = inputs.alignment.size;
        if (inputs.alignment.basename.endsWith(".gz")) size *= 10;
        return 200 + Math.ceil(6 * size / 1048576);
      }

baseCommand: colsieve

inputs:
  alignment:
    type: File
    doc: the alignment to trim (-i)
    inputBinding: {prefix: -i, position: 0}
  fold_case:
    type: boolean?
    doc: read lower case as residues (-u), as in MAFFT's output
    inputBinding: {prefix: -u, position: 1}
  target:
    type: double?
    doc: target weighted fraction of sequences aligning (-t; colsieve's default 0.85)
    inputBinding: {prefix: -t, position: 2}
  remove:
    type: boolean?
    doc: leave unselected columns out (-r)
    inputBinding: {prefix: -r, position: 3}
  out_format:
    type:
      - "null"
      - type: enum
        symbols: [default, phylip, fasta, phylip-relaxed, phylip-strict, nexus,
                  clustal, paml, pir]
    doc: the output format (-f)
    inputBinding: {prefix: -f, position: 4}
  column_map:
    type: string?
    doc: name of the column map to write (-l)
    inputBinding: {prefix: -l, position: 5}
  report:
    type: string?
    doc: name of the HTML report to write (-w)
    inputBinding: {prefix: -w, position: 6}
  threads:
    type: int?
    doc: threads to use (--threads; colsieve's default, one per CPU it may use)
    inputBinding: {prefix: --threads, position: 7}
  output_name:
    type: string?
    doc: name of the trimmed alignment (default, the input's name without .gz)

# -o, not standard output: the runner makes the file of standard output
# before the run, and keeps it, empty, when the run fails.
arguments:
  - {prefix: -o, valueFrom: $(trimmedName(inputs)), position: 8}
stderr: colsieve.log

outputs:
  trimmed:
    # Optional only so that a failed run's log is still collected.
    type: File?
    doc: the trimmed alignment (always there when the run succeeded)
    outputBinding: {glob: $(trimmedName(inputs))}
  map:
    type: File?
    doc: the column map, when column_map was given
    outputBinding: {glob: $(inputs.column_map)}
  html_report:
    type: File?
    doc: the report, when report was given
    outputBinding: {glob: $(inputs.report)}
  summary:
    type: string?
    doc: 'the summary line, "fraction of positions with total weight over target (T): F"; none when the run failed'
    outputBinding:
      glob: colsieve.log
      loadContents: true
      outputEval: |-
        ${
          if (runtime.exitCode !== 0) return null;
          return self[0].contents.replace(/\n$/, "").split("\n").pop();
        }
  log:
    type: stderr
    doc: everything colsieve wrote to standard error (warnings, the summary line)
