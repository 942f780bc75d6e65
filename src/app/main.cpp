#include "app/colsieve.h"

int main(int argc, char** argv) { return colsieve_main(argc, argv); }
