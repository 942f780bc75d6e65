"""Normalised Robinson-Foulds distance between unrooted trees.

A tree is reduced to its non-trivial bipartitions (splits): every internal
edge cuts the leaves in two, and the split is stored as the frozenset of the
side that does not hold the alphabetically first leaf, so the same cut of an
unrooted tree always gives the same set whatever the rooting of the Newick
string. RF counts the splits found in one tree and not the other; nRF
divides by the number of splits of both trees (2 (n - 3) for two binary
trees of n leaves), so 0 is the same topology and 1 shares no split.

Run as a script, it checks itself on trees worked out by hand and exits 1 on
a mismatch; with two Newick files it prints their nRF.
"""

import io
import sys

from Bio import Phylo


def read_newick(text):
    """Parses one Newick tree from a string."""
    return Phylo.read(io.StringIO(text), "newick")


def splits(tree):
    """Returns (leaf names, set of non-trivial splits) of a Bio.Phylo tree."""
    leaves = [t.name for t in tree.get_terminals()]
    if len(set(leaves)) != len(leaves):
        raise ValueError("tree has repeated leaf names")
    everyone = frozenset(leaves)
    anchor = min(leaves)
    result = set()
    # One pass from the leaves up: each clade's leaf set is the union of its
    # children's, so the work is linear in the tree's size.
    below = {}
    for clade in tree.find_clades(order="postorder"):
        if clade.is_terminal():
            below[id(clade)] = frozenset([clade.name])
            continue
        side = frozenset().union(*(below[id(c)] for c in clade.clades))
        below[id(clade)] = side
        if anchor in side:
            side = everyone - side
        # A split with one leaf on a side is in every tree; a side of zero is
        # the root, not an edge.
        if 2 <= len(side) <= len(everyone) - 2:
            result.add(side)
    return everyone, result


def rf(tree_a, tree_b):
    """Returns (RF distance, most it can be) of two trees on the same leaves."""
    leaves_a, splits_a = splits(tree_a)
    leaves_b, splits_b = splits(tree_b)
    if leaves_a != leaves_b:
        raise ValueError(
            "trees have different leaves: "
            + ", ".join(sorted(leaves_a ^ leaves_b)[:5]))
    return len(splits_a ^ splits_b), len(splits_a) + len(splits_b)


def nrf(tree_a, tree_b):
    """Normalised RF distance in [0, 1]; 0 when neither tree has a split."""
    distance, most = rf(tree_a, tree_b)
    return distance / most if most else 0.0


def restricted_splits(tree, keep):
    """Splits of the tree its leaves in keep induce (the others pruned)."""
    leaves, all_splits = splits(tree)
    keep = frozenset(keep)
    if not keep <= leaves:
        raise ValueError("leaves to keep are not all in the tree")
    anchor = min(keep)
    out = set()
    for side in all_splits:
        side = side & keep
        if anchor in side:
            side = keep - side
        if 2 <= len(side) <= len(keep) - 2:
            out.add(side)
    return out


def nrf_on_subset(true_tree, tree):
    """nRF of tree against true_tree pruned to tree's leaves."""
    leaves, tree_splits = splits(tree)
    true_splits = restricted_splits(true_tree, leaves)
    most = len(true_splits) + len(tree_splits)
    return len(true_splits ^ tree_splits) / most if most else 0.0


def self_test():
    """Checks rf and nrf on cases worked out by hand; returns failures."""
    cases = [
        # Same unrooted tree written with two rootings: distance 0.
        ("((A,B),(C,D),E);", "(A,B,((C,D),E));", 0, 4),
        # Six leaves. First: splits AB, ABC, EF. Second: AB, ABD, EF.
        # ABC and ABD differ: RF = 2 of 6.
        ("(((A,B),C),D,(E,F));", "(((A,B),D),C,(E,F));", 2, 6),
        # Rooted binary input: the root's two edges are one split (ABC).
        # AB, ABC, EF against AB, CD, EF: RF = 2 of 6.
        ("(((A,B),C),(D,(E,F)));", "((A,B),(C,D),(E,F));", 2, 6),
        # Five leaves: AB, ABC against AC, ABC (= DE): RF = 2 of 4.
        ("(((A,B),C),D,E);", "(((A,C),B),D,E);", 2, 4),
        # Nothing shared: AB, CD against AC, BD.
        ("((A,B),(C,D),E);", "((A,C),(B,D),E);", 4, 4),
        # A star has no split, so every split of the other tree counts.
        ("(A,B,C,D,E);", "((A,B),(C,D),E);", 2, 2),
        # Branch lengths and support values do not matter.
        ("((A:0.1,B:0.2)90:0.3,(C:1,D:1):0.5,E:2);", "((A,B),(C,D),E);", 0,
         4),
    ]
    failures = 0
    for one, two, want_rf, want_most in cases:
        got = rf(read_newick(one), read_newick(two))
        if got != (want_rf, want_most):
            print(f"nrf self-test: {one} vs {two}: got {got}, want "
                  f"{(want_rf, want_most)}", file=sys.stderr)
            failures += 1
    if nrf(read_newick(cases[1][0]), read_newick(cases[1][1])) != 2 / 6:
        print("nrf self-test: nrf is not RF / most", file=sys.stderr)
        failures += 1
    # Pruning F and G from the first tree leaves ((A,B),(C,D),E): the
    # second tree matches it on the five leaves it has.
    pruned = nrf_on_subset(read_newick("(((A,B),F),((C,D),G),E);"),
                           read_newick("((A,B),(C,D),E);"))
    wrong = nrf_on_subset(read_newick("(((A,B),F),((C,D),G),E);"),
                          read_newick("((A,C),(B,D),E);"))
    if pruned != 0.0 or wrong != 1.0:
        print(f"nrf self-test: pruned trees gave {pruned} and {wrong}, want "
              "0 and 1", file=sys.stderr)
        failures += 1
    try:
        rf(read_newick("((A,B),(C,D),E);"), read_newick("((A,B),(C,D),F);"))
        print("nrf self-test: different leaf sets were accepted",
              file=sys.stderr)
        failures += 1
    except ValueError:
        pass
    return failures


def main(argv):
    if len(argv) == 1 or argv[1:] == ["--self-test"]:
        failures = self_test()
        print("nrf self-test: " + ("ok" if failures == 0 else
                                   f"{failures} failed"))
        return 1 if failures else 0
    if len(argv) != 3:
        print("usage: nrf.py [--self-test] | TREE_FILE_A TREE_FILE_B",
              file=sys.stderr)
        return 2
    trees = [Phylo.read(path, "newick") for path in argv[1:]]
    print(f"{nrf(*trees):.6f}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
