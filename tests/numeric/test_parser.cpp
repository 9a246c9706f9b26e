#include <gtest/gtest.h>

#include "numeric/parser.h"
