// Windows: the system's own COM declarations.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>
#include <objbase.h>
#include <oleauto.h>
#include <unknwn.h>
