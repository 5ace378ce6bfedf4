#pragma once
// The worked example the parameter-file and printout tests share: a set, the
// 68-byte file that holds it, and the print template that shows it.

#include <string>

#include "params/parameter_set.h"

// Hysterese 2.0 %, Sollwertbezug 100.0 V, U> 10.0 %, U>> 15.0 %, U< -10.0 %,
// U<< -20.0 %, Invertieren off, Schaltverzögerung 1.5 s.
inline const ParameterSet kWorkedExampleSet{0, "2.0", "1.5", "-10.0", "-20.0", "10.0", "15.0", "100.0"};

inline const std::string kWorkedExampleFile = "\x02SPAR:HYS2.0;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-20.0;INV0;SVZ1.5;";

// The blanks after "$D" (16) and "$T" (10) matter.
inline const std::string kWorkedExampleMaske = "; Ausdruck der Parameter\n"
                                               "Parameter        $D                \n"
                                               "Uhrzeit          $T          \n"
                                               "\n"
                                               "Sollwertbezug    $6      V\n"
                                               "Hysterese        $0      %\n"
                                               "Invertieren      $7\n";
