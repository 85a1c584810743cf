#include "probe/verdict_text.h"

#include <cstdio>

namespace {

const char* look_name(LookKind look) {
  return look == LOOK_VERIFICATION ? "verification"
         : look == LOOK_SECOND     ? "second look"
                                   : "last look";
}

// What a look that saw no change leaves to come.
void no_change_text(const Verdict& look, char* out, size_t out_size) {
  if (look.look == LOOK_VERIFICATION) {
    (void)std::snprintf(out, out_size, "a second look follows");
  } else if (look.look == LOOK_SECOND) {
    (void)std::snprintf(out, out_size, "a last look follows");
  } else if (look.later_ms < 0) {
    (void)std::snprintf(out, out_size, "no reset");
  } else {
    (void)std::snprintf(out, out_size,
                        "no reset; the counts change at %lld ms, after this last look: only a "
                        "later notice brings a look that sees it",
                        look.later_ms);
  }
}

void look_text(const Verdict& look, char* out, size_t out_size) {
  char start[96];
  (void)std::snprintf(start, sizeof start, "#%d: its %s at %lld ms, %d ticks after it,",
                      look.notice, look_name(look.look), look.ms, look_delay_ticks(look.look));
  const char* restarting = look.restarts_reset ? ", restarting the pending one" : "";
  if (look.outcome == LOOK_UNKNOWN) {
    (void)std::snprintf(out, out_size, "%s falls after the end of the watch: unknown", start);
  } else if (look.outcome == LOOK_CHANGE) {
    (void)std::snprintf(out, out_size,
                        "%s reads in %u, out %u where there were in %u, out %u: it sees the "
                        "change%s; reset at %lld ms%s",
                        start, look.seen.inputs, look.seen.outputs, look.baseline.inputs,
                        look.baseline.outputs,
                        look.by_phase ? " (less than a tick old: seen only if the host's tick "
                                        "falls after it)"
                                      : "",
                        look.reset_ms, restarting);
  } else if (look.outcome != LOOK_NO_CHANGE) {
    (void)std::snprintf(out, out_size,
                        "%s reads in %u, out %u as before, but %s: reset at %lld ms%s", start,
                        look.seen.inputs, look.seen.outputs,
                        look.outcome == LOOK_PORT_REMOVED   ? "a MIDI port was removed"
                        : look.outcome == LOOK_PORT_ARRIVED ? "a MIDI port arrived"
                                                            : "the machine resumed from sleep",
                        look.reset_ms, restarting);
  } else {
    char rest[160];
    no_change_text(look, rest, sizeof rest);
    (void)std::snprintf(out, out_size, "%s reads in %u, out %u as before: %s", start,
                        look.seen.inputs, look.seen.outputs, rest);
  }
}

}  // namespace

void verdict_text(const Verdict& verdict, char* out, size_t out_size) {
  switch (verdict.kind) {
    case VERDICT_DROPPED:
      (void)std::snprintf(out, out_size,
                          "#%d at %lld ms: dropped, the verification of #%d is "
                          "pending%s",
                          verdict.notice, verdict.ms, verdict.other_notice,
                          verdict.port_removal ? " (the port removal is remembered)"
                          : verdict.resume     ? " (the resume is remembered)"
                                               : "");
      return;
    case VERDICT_LOOKS_ENDED:
      (void)std::snprintf(out, out_size,
                          "#%d at %lld ms: the looks after #%d end; its own verification follows",
                          verdict.notice, verdict.ms, verdict.other_notice);
      return;
    case VERDICT_LOOK:
      look_text(verdict, out, out_size);
      return;
    case VERDICT_RESET:
      if (verdict.ms == verdict.reset_ms) {
        (void)std::snprintf(out, out_size, "reset of the host at %lld ms, after the %s of #%d",
                            verdict.ms, look_name(verdict.look), verdict.notice);
      } else {
        (void)std::snprintf(out, out_size,
                            "reset of the host at %lld ms, after the %s of #%d, paused %lld ms "
                            "by a verification",
                            verdict.ms, look_name(verdict.look), verdict.notice,
                            verdict.ms - verdict.reset_ms);
      }
      return;
  }
}

void verdict_summary(const Verdict* verdicts, int count, int32_t tick_ms, char* out,
                     size_t out_size) {
  int resets = 0;
  const Verdict* first = nullptr;
  for (int i = 0; i < count; ++i) {
    if (verdicts[i].kind == VERDICT_RESET && resets++ == 0) {
      first = &verdicts[i];
    }
  }
  if (first == nullptr) {
    (void)std::snprintf(out, out_size, "at a tick of %d ms the plug-in would not reset the host",
                        tick_ms);
  } else if (resets == 1) {
    (void)std::snprintf(out, out_size,
                        "at a tick of %d ms the plug-in would reset the host once, at %lld ms, "
                        "after the %s of #%d",
                        tick_ms, first->ms, look_name(first->look), first->notice);
  } else {
    (void)std::snprintf(out, out_size,
                        "at a tick of %d ms the plug-in would reset the host %d times, first at "
                        "%lld ms",
                        tick_ms, resets, first->ms);
  }
}
