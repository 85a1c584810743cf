// The session velmar-sim plays when it is given no scenario: what a newcomer should see first.
#pragma once

extern const char DEFAULT_SESSION_NAME[];
extern const char DEFAULT_SESSION[];
