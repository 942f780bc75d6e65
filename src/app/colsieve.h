// colsieve: trims a multiple sequence alignment down to its well-aligned
// columns. The command-line face: the options, then the run of every input
// through loading, weighting (Henikoff & Henikoff position-based weights, a
// gap being a class of its own), column selection with a falling target,
// and writing.
#ifndef COLSIEVE_APP_COLSIEVE_H
#define COLSIEVE_APP_COLSIEVE_H

// The whole run: options, then every input. Returns the exit status.
int colsieve_main(int argc, char** argv);

#endif  // COLSIEVE_APP_COLSIEVE_H
