#include <gtest/gtest.h>

#include "numeric/strparser.h"
