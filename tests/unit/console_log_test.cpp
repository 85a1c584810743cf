#include "monitor/console_log.h"

#include <string>

#include "monitor/monitor_state.h"
#include "tests/unit/test_host.h"

namespace {

void prepare_host(bool verbose) {
  reset_world(verbose);
  install_host_functions();
}

}  // namespace

using ConsoleLogSwitch = MonitorTest;

TEST_F(ConsoleLogSwitch, SwitchOffWritesNothingEvenWithTheConsoleAvailable) {
  prepare_host(false);
  EXPECT_FALSE(log_enabled());
  console_log("Kestrune: [INIT_START] plain\n");
  console_log("Kestrune: [INIT_COUNTDOWN] %d\n", 5);
  EXPECT_TRUE(host_console().empty());
}

TEST_F(ConsoleLogSwitch, SwitchOnWithoutConsoleFunctionWritesNothing) {
  prepare_host(true);
  monitor_state.host_functions[SLOT_SHOW_CONSOLE_MSG] = nullptr;
  EXPECT_FALSE(log_enabled());
  // Would call through a null pointer if the slot were not checked.
  console_log("Kestrune: [INIT_START] plain\n");
  console_log("Kestrune: [INIT_COUNTDOWN] %d\n", 5);
  EXPECT_TRUE(host_console().empty());
}

TEST_F(ConsoleLogSwitch, SwitchOnWithConsoleFunctionWritesEachLineInOneCall) {
  prepare_host(true);
  // Only the console slot matters: a missing command function does not silence the log.
  monitor_state.host_functions[SLOT_MAIN_ON_COMMAND] = nullptr;
  EXPECT_TRUE(log_enabled());
  console_log("Kestrune: first\n");
  console_log("Kestrune: second %d\n", 2);
  EXPECT_EQ(host_console(),
            (std::vector<std::string>{"Kestrune: first\n", "Kestrune: second 2\n"}));
}

using ConsoleLogFormatting = MonitorTest;

TEST_F(ConsoleLogFormatting, LineWithoutPlaceholdersIsPassedUnchangedEvenPastTheBuffer) {
  prepare_host(true);
  // Not formatted at all, so not bounded by the formatting buffer either.
  std::string line = "Kestrune: " + std::string(300, 'p') + "\n";
  console_log(line.c_str());
  ASSERT_EQ(host_console().size(), 1u);
  EXPECT_EQ(host_console()[0], line);
}

TEST_F(ConsoleLogFormatting, LongStringArgumentIsCutAtExactly255CharactersAndTerminated) {
  prepare_host(true);
  std::string argument(300, 'x');
  console_log("Kestrune: [DEVICE_CHANGE] Processing device %s\n", argument.c_str());
  ASSERT_EQ(host_console().size(), 1u);
  const std::string prefix = "Kestrune: [DEVICE_CHANGE] Processing device ";
  // The string arrived terminated at 255: strlen stopped there, not somewhere past the buffer.
  EXPECT_EQ(host_console()[0], prefix + std::string(255 - prefix.size(), 'x'));
}

TEST_F(ConsoleLogFormatting, LineOfExactly255CharactersKeepsItsLastCharacter) {
  prepare_host(true);
  std::string argument(255 - 10, 'y');
  console_log("Kestrune: %s", argument.c_str());
  ASSERT_EQ(host_console().size(), 1u);
  EXPECT_EQ(host_console()[0].size(), 255u);
  EXPECT_EQ(host_console()[0].back(), 'y');
}

TEST_F(ConsoleLogFormatting, HexIsUpperCaseWithoutLeadingZeros) {
  prepare_host(true);
  console_log("wParam=0x%X\n", 0x7u);
  console_log("wParam=0x%X\n", 0x8004u);
  console_log("wParam=0x%X\n", 0xDEADBEEFu);
  EXPECT_EQ(host_console(),
            (std::vector<std::string>{"wParam=0x7\n", "wParam=0x8004\n", "wParam=0xDEADBEEF\n"}));
}

TEST_F(ConsoleLogFormatting, DecimalShowsNegativeValuesWithTheirSign) {
  prepare_host(true);
  console_log("Last - IN: %d, OUT: %d\n", UNSET_COUNT, -2147483647 - 1);
  ASSERT_EQ(host_console().size(), 1u);
  EXPECT_EQ(host_console()[0], "Last - IN: -1, OUT: -2147483648\n");
}
