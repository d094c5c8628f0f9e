// Common set-up for the network tests: Winsock, fresh shared settings (direct connections, the
// system resolver, nothing reported yet) and no system proxy.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/shared_settings.h"
#include "net/winsock.h"
#include "support/error_of.h"
#include "support/loopback_servers.h"

class NetTest : public testing::Test {
 protected:
  void SetUp() override {
    EnsureWinsock();
    ClearSystemProxy();
    CreateSharedSettings();
  }
  void TearDown() override {
    DeleteSharedSettings();
    ClearSystemProxy();
  }
};


// A loopback port with nothing listening on it.
uint16_t ClosedPort();
