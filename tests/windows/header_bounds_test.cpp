// Any process may send WM_DEVICECHANGE with any second parameter. These tests put the header
// right before an inaccessible page, or pass that page itself, and record every read of it: the
// plug-in must read no further than the header's own size says, and nothing at all for events
// that carry no header.
#include <windows.h>
// dbt.h relies on the types of windows.h.
#include <dbt.h>

#include <cstring>

#include "tests/windows/device_messages.h"
#include "tests/windows/guarded_page.h"
#include "tests/windows/plugin_test.h"

namespace {

class HeaderBounds : public LoadedPluginTest {
 protected:
  void SetUp() override {
    LoadedPluginTest::SetUp();
    ASSERT_TRUE(guarded_page_create());
  }

  void TearDown() override {
    LoadedPluginTest::TearDown();
    guarded_page_release();
  }

  // Sent from the window's own thread, so the procedure receives this very address rather than
  // a copy the system made.
  void send(WPARAM event, const void* second) {
    HWND window = plugin_window();
    ASSERT_NE(window, nullptr);
    SendMessageW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(second));
  }

  // The counts changed before each notice here, so one that was accepted leads to the reset.
  bool notice_led_to_reset() {
    host_call_ticks(NOTICE_TO_RESET_TICKS);
    return !host_commands().empty();
  }

  void expect_no_fault() {
    EXPECT_EQ(guarded_page_faults(), 0)
        << "read the inaccessible page at " << guarded_page_first_fault() << ", "
        << static_cast<const unsigned char*>(guarded_page_first_fault()) -
               static_cast<const unsigned char*>(guarded_page_inaccessible())
        << " bytes past the end";
  }
};

}  // namespace

// The check the other tests rely on: a read of the page is seen, and the program survives it.
TEST_F(HeaderBounds, ReadOfTheInaccessiblePageIsRecorded) {
  volatile const unsigned char* beyond =
      static_cast<const unsigned char*>(guarded_page_inaccessible()) + 3;
  unsigned char value = *beyond;
  EXPECT_EQ(value, 0);
  EXPECT_EQ(guarded_page_faults(), 1);
  EXPECT_EQ(guarded_page_first_fault(), const_cast<const unsigned char*>(beyond));
}

TEST_F(HeaderBounds, ShortHeaderBeforeAnInaccessiblePageIsDroppedWithoutFault) {
  settle(1, 1);
  winmm_double_set_counts(2, 1);
  DEV_BROADCAST_HDR short_header = {};
  short_header.dbch_size = sizeof short_header;
  short_header.dbch_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  ASSERT_EQ(sizeof short_header, 12u);
  unsigned char* placed = guarded_page_tail(sizeof short_header);
  std::memcpy(placed, &short_header, sizeof short_header);

  send(DBT_DEVICEARRIVAL, placed);
  expect_no_fault();
  EXPECT_FALSE(notice_led_to_reset());
}

// The shortest header that holds the class: everything the plug-in needs is there, so it is
// accepted although nothing follows it.
TEST_F(HeaderBounds, InterfaceHeaderWithoutNameBeforeAnInaccessiblePageIsAccepted) {
  settle(1, 1);
  winmm_double_set_counts(2, 1);
  std::vector<unsigned char> full = interface_header(KSCATEGORY_AUDIO);
  constexpr DWORD without_name = 28;
  DWORD size = without_name;
  std::memcpy(full.data(), &size, sizeof size);
  unsigned char* placed = guarded_page_tail(without_name);
  std::memcpy(placed, full.data(), without_name);

  send(DBT_DEVICEREMOVECOMPLETE, placed);
  expect_no_fault();
  expect_reset_on_tick(NOTICE_TO_RESET_TICKS);
}

TEST_F(HeaderBounds, OtherEventTypesNeverReadTheSecondParameter) {
  settle(1, 1);
  winmm_double_set_counts(2, 1);
  const WPARAM events[] = {DBT_DEVNODES_CHANGED,  DBT_QUERYCHANGECONFIG,   DBT_CONFIGCHANGED,
                           DBT_DEVICEQUERYREMOVE, DBT_DEVICEREMOVEPENDING, DBT_DEVICETYPESPECIFIC,
                           DBT_CUSTOMEVENT,       DBT_USERDEFINED};
  for (WPARAM event : events) {
    send(event, guarded_page_inaccessible());
  }
  expect_no_fault();
  EXPECT_FALSE(notice_led_to_reset());
}

// During the settling that follows the load, even an arrival is dropped before its header is
// looked at.
TEST_F(HeaderBounds, ArrivalDuringSettlingNeverReadsTheSecondParameter) {
  send(DBT_DEVICEARRIVAL, guarded_page_inaccessible());
  send(DBT_DEVICEREMOVECOMPLETE, guarded_page_inaccessible());
  expect_no_fault();
}
