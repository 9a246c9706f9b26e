#include "numeric/strparser.h"
