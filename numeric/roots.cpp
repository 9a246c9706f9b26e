#include "numeric/roots.h"
