#include <gtest/gtest.h>

#include "numeric/roots.h"
