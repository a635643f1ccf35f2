/*
 * xkrvlog: the trace-log component the dictation library writes to.
 *
 * Seven calls, each with the module name, the calling source file's name
 * (without directory and extension) and the source line first. The
 * component is off until XKRVLOG_FILE names a file ("-" for stderr) or a
 * capture sink is installed (xkrvlog_capture.h).
 */
#ifndef XKRVLOG_H
#define XKRVLOG_H

#include <stdint.h>

#define XKRVLOG_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

XKRVLOG_API void TraceStart(const char *module, const char *file, int32_t line, uint32_t value);
XKRVLOG_API void TraceText(const char *module, const char *file, int32_t line, const char *text);
XKRVLOG_API void TraceParam(const char *module, const char *file, int32_t line, const char *name,
                            const char *format, int64_t value);
XKRVLOG_API void TraceMessage(const char *module, const char *file, int32_t line, const char *tag,
                              const char *text);
XKRVLOG_API void TraceWarning(const char *module, const char *file, int32_t line, const char *text);
XKRVLOG_API void TraceValue(const char *module, const char *file, int32_t line, const char *name,
                            const char *format, int64_t value);
XKRVLOG_API void TraceError(const char *module, const char *file, int32_t line, uint32_t code,
                            const char *text);

#ifdef __cplusplus
}
#endif

#endif
