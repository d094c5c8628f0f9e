#include "net/http_request.h"

#include <gtest/gtest.h>
