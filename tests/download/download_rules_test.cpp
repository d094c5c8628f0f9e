#include "download/download_rules.h"

#include <gtest/gtest.h>
