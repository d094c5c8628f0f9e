#include "net/dotted_quad.h"

#include <gtest/gtest.h>
