>P1;seqA
sequence A, protein
ACDEFGH
IKLMN*
>P1;seqB
sequence B
ACD-FGHIK-MN
*
>P1;seqC
ACD-FGHIK-MN
