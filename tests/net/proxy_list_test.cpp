#include "net/proxy_list.h"

#include <gtest/gtest.h>
