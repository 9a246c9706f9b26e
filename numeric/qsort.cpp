#include "numeric/qsort.h"
