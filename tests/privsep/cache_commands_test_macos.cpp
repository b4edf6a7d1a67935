#include <gtest/gtest.h>

#include "privsep/system_platform.h"

namespace {

TEST(FlushNameCache, ThisPlatformsCommands) {
  const auto commands = hosts_privsep::platform::system_cache_commands();
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].program, "/usr/bin/dscacheutil");
  EXPECT_EQ(commands[0].arguments, std::vector<std::string>{"-flushcache"});
  EXPECT_EQ(commands[1].program, "/usr/bin/killall");
  EXPECT_EQ(commands[1].arguments, (std::vector<std::string>{"-HUP", "mDNSResponder"}));
}

}  // namespace
