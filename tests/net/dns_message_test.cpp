#include "net/dns_message.h"

#include <gtest/gtest.h>
