// Connection points: how an object that fires events hands out subscriptions
// (IConnectionPointContainer finds the point of one event interface,
// IConnectionPoint advises and unadvises sinks with cookies). On Windows the
// system's declarations; elsewhere the subset the code base uses, with the
// same slot order, identifiers and codes.
#pragma once

#if defined(_WIN32)
#include "platform/windows/connection_point_win.h"
#else
#include "platform/posix/connection_point_posix.h"
#endif
