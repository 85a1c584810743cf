#include "monitor/console_log.h"

#include <string>

#include "monitor/monitor_state.h"
#include "tests/unit/test_host.h"

using ConsoleLogSwitch = MonitorTest;

// Lines reach the console only with the switch on and its function there; a missing command
// function does not silence them, and a missing console function is not called through.
TEST_F(ConsoleLogSwitch, WritesEachLineInOneCallOnlyWithTheSwitchOnAndTheConsoleThere) {
  struct Row {
    bool diagnostic;
    int missing_slot;
    bool written;
  };
  for (Row row : {Row{false, -1, false}, Row{true, SLOT_SHOW_CONSOLE_MSG, false},
                  Row{true, SLOT_MAIN_ON_COMMAND, true}}) {
    SCOPED_TRACE(row.missing_slot);
    module_with_host_functions(row.diagnostic);
    if (row.missing_slot >= 0) {
      monitor_state.host_functions[row.missing_slot] = nullptr;
    }
    EXPECT_EQ(log_enabled(), row.written);
    console_log("Kestrune: first\n");
    console_log("Kestrune: second %d\n", 2);
    const std::vector<std::string> lines = {"Kestrune: first\n", "Kestrune: second 2\n"};
    EXPECT_EQ(host_console(), row.written ? lines : std::vector<std::string>{});
  }
}

using ConsoleLogFormatting = MonitorTest;

TEST_F(ConsoleLogFormatting, OnlyAFormattedLineIsCutAndItIsCutAtExactly255Characters) {
  module_with_host_functions(true);
  // Not formatted at all, so not bounded by the formatting buffer either.
  std::string unformatted = "Kestrune: " + std::string(300, 'p') + "\n";
  console_log(unformatted.c_str());
  console_log("Kestrune: [DEVICE_CHANGE] Processing device %s\n", std::string(300, 'x').c_str());
  console_log("Kestrune: %s", std::string(255 - 10, 'y').c_str());
  const std::string prefix = "Kestrune: [DEVICE_CHANGE] Processing device ";
  // The cut line arrived terminated at 255: strlen stopped there, not somewhere past the buffer;
  // a line of exactly 255 keeps its last character.
  EXPECT_EQ(host_console(),
            (std::vector<std::string>{unformatted, prefix + std::string(255 - prefix.size(), 'x'),
                                      "Kestrune: " + std::string(255 - 10, 'y')}));
}

TEST_F(ConsoleLogFormatting, HexIsUpperCaseWithoutLeadingZerosAndDecimalKeepsItsSign) {
  module_with_host_functions(true);
  console_log("wParam=0x%X\n", 0x7u);
  console_log("wParam=0x%X\n", 0x8004u);
  console_log("wParam=0x%X\n", 0xDEADBEEFu);
  console_log("Last - IN: %d, OUT: %d\n", UNSET_COUNT, -2147483647 - 1);
  EXPECT_EQ(host_console(),
            (std::vector<std::string>{"wParam=0x7\n", "wParam=0x8004\n", "wParam=0xDEADBEEF\n",
                                      "Last - IN: -1, OUT: -2147483648\n"}));
}
