"""colsieve: trims multiple sequence alignments to their well-aligned columns.

Sequences are weighted by the method of Henikoff & Henikoff (JMB 1994), a gap
counting as a class of its own; a column scores the weighted fraction of
sequences with a residue there. Columns above the target are kept; the
target is lowered in steps of 0.05 until at least 40 columns, or all, pass.
The same library as the colsieve command-line tool does the work, so the
numbers and the bytes written are the tool's.

    import colsieve
    aln = colsieve.read("examples/globins4.fa")
    t = colsieve.trim(aln, target=0.85)
    print(t.kept.sum(), "of", aln.ncol, "columns kept")
    t.write("globins4.trimmed.fa", format="fasta")

read() and trim() release the GIL and may run from several threads at
once. Errors raise colsieve.Error (a ValueError) with the tool's message;
warnings come as colsieve.ColsieveWarning.
"""

from ._colsieve import (
    Alignment,
    ColsieveWarning,
    Error,
    Trimming,
    __version__,
    read,
    trim,
)

__all__ = ["Alignment", "ColsieveWarning", "Error", "Trimming", "read", "trim",
           "__version__"]

for _cls in (Alignment, Trimming, Error):
    _cls.__module__ = "colsieve"


def _message(self) -> str:
    return str(self).split("\n", 1)[0]


def _details(self) -> list:
    return str(self).split("\n")[1:]


Error.__doc__ = """An error of colsieve's: str(error) is the tool's message, all of its lines.

message: its first line ("Error: ...").
details: the lines after it (hints, the record concerned), a list.
"""
Error.message = property(_message, doc="The message's first line.")
Error.details = property(_details, doc="The lines after the first, a list.")


def _title(record) -> str:
    # The header Biopython's FASTA writer would write for the record.
    rid = record.id or ""
    desc = record.description or ""
    if not desc or desc == "<unknown description>":
        return rid
    if not rid or desc.split(None, 1)[0] == rid:
        return desc
    return rid + " " + desc


def _from_biopython(msa) -> Alignment:
    """Builds an Alignment from a Bio.Align.MultipleSeqAlignment (or any
    iterable of SeqRecord): each record's name is the header Biopython's
    FASTA writer gives it (its id, then its description where that does not
    start with the id), its sequence str(record.seq)."""
    records = list(msa)
    return Alignment([_title(r) for r in records],
                     [str(r.seq) for r in records])


def _to_biopython(self):
    """The alignment as a Bio.Align.MultipleSeqAlignment: each record's id
    is the first word of its name, its description the whole name, its
    sequence the row (gaps as '-'). Needs Biopython."""
    from Bio.Align import MultipleSeqAlignment
    from Bio.Seq import Seq
    from Bio.SeqRecord import SeqRecord

    records = []
    for name, seq in zip(self.names, self.sequences):
        words = name.split(None, 1)
        rid = words[0] if words else ""
        records.append(SeqRecord(Seq(seq), id=rid, name=rid, description=name))
    return MultipleSeqAlignment(records)


Alignment.from_biopython = staticmethod(_from_biopython)
Alignment.to_biopython = _to_biopython
del _cls
