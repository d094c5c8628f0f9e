#include "net/http_reply.h"

#include <gtest/gtest.h>
