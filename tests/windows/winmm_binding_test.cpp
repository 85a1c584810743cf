// The plug-in's MIDI counts come through the real loader: its imports of midiInGetNumDevs and
// midiOutGetNumDevs are bound to the winmm.dll of the host process, which here is the test double.
#include <windows.h>

#include <vector>

#include "tests/windows/plugin_test.h"

using WinmmBinding = FreshPluginTest;

TEST_F(WinmmBinding, BaselineIsReadOnceFromTheProcessWinmmWhenSettlingEnds) {
  LONG in_reads = winmm_double_midi_in_calls();
  LONG out_reads = winmm_double_midi_out_calls();
  winmm_double_set_midi_counts(3, 2);
  host_call_ticks(INIT_DELAY_TICKS - 1);
  EXPECT_EQ(winmm_double_midi_in_calls(), in_reads);
  EXPECT_EQ(winmm_double_midi_out_calls(), out_reads);

  host_call_tick();
  EXPECT_EQ(winmm_double_midi_in_calls(), in_reads + 1);
  EXPECT_EQ(winmm_double_midi_out_calls(), out_reads + 1);

  // The baseline holds the double's counts: a device pulled later is a change against them.
  winmm_double_set_midi_counts(3, 1);
  std::vector<unsigned char> header = interface_header(KSCATEGORY_AUDIO);
  SendMessageW(plugin_window(), WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
               reinterpret_cast<LPARAM>(header.data()));
  expect_reset_on_tick(notice_to_reset_ticks);
}
