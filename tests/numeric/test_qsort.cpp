#include <gtest/gtest.h>

#include "numeric/qsort.h"
