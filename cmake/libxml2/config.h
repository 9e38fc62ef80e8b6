/* libxml2's build configuration for the MinGW-w64 builds (x86_64 and i686),
 * written for what the MinGW-w64 headers and C runtime provide. Used with the
 * module set chosen in cmake/QoInfoLibxml2.cmake. */
#ifndef QOINFO_LIBXML2_CONFIG_H
#define QOINFO_LIBXML2_CONFIG_H

#define HAVE_CTYPE_H 1
#define HAVE_ERRNO_H 1
#define HAVE_FCNTL_H 1
#define HAVE_FLOAT_H 1
#define HAVE_INTTYPES_H 1
#define HAVE_LIMITS_H 1
#define HAVE_MALLOC_H 1
#define HAVE_MATH_H 1
#define HAVE_STDARG_H 1
#define HAVE_STDINT_H 1
#define HAVE_STDLIB_H 1
#define HAVE_STRING_H 1
#define HAVE_SYS_STAT_H 1
#define HAVE_SYS_TYPES_H 1
#define HAVE_TIME_H 1
#define HAVE_UNISTD_H 1

#define HAVE_FPRINTF 1
#define HAVE_PRINTF 1
#define HAVE_SNPRINTF 1
#define HAVE_SPRINTF 1
#define HAVE_SSCANF 1
#define HAVE_VFPRINTF 1
#define HAVE_VSNPRINTF 1
#define HAVE_VSPRINTF 1
#define HAVE_STAT 1
#define HAVE_TIME 1
#define HAVE_RAND 1
#define HAVE_SRAND 1
#define HAVE_VA_COPY 1

#define PACKAGE "libxml2"
#define VERSION LIBXML_DOTTED_VERSION

#include <io.h>
#include <direct.h>
#define mkdir(p, m) _mkdir(p)

#endif /* QOINFO_LIBXML2_CONFIG_H */
