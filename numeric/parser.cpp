#include "numeric/parser.h"
