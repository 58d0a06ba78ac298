#include "messaging/connection/zcm_connection.h"

#include <gtest/gtest.h>

TEST(ZCMConnectionTest, Placeholder) {}
