#pragma once
// Resource ids of the files that the sample package carries (RCDATA).
#define ID_TUTE 101
#define ID_EX1 102
#define ID_EX2 103
#define ID_EX3 104
#define ID_LOGTITLE 105
#define ID_MAKELIBS 106
#define ID_README 107
