// The body of the host's periodic callback: deliver the notification window's messages, then
// advance at most one countdown.
#pragma once

void on_timer_tick();
