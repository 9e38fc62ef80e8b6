// Class objects and object creation: a class object (IClassFactory) makes
// instances of one class; CoRegisterClassObject makes it known to the
// process under its class identifier, and CoCreateInstance finds it there.
// OleRun puts a created object into its running state. On Windows the
// system's own functions; elsewhere a process-local class table with the
// same codes, which is all an embedded agent needs.
#pragma once

#if defined(_WIN32)
#include "platform/windows/com_base_win.h"
#else
#include "platform/posix/class_objects_posix.h"
#endif
