/*
 * pelkoran_lzh.h - the Pelkoran LZH engine as a Windows DLL (pelkoran-lzh.dll),
 * for programs in C or any language that calls C functions.
 *
 * All text is UTF-8: the command, the reply and the paths in progress calls.
 * The command language is the engine's: a "archive" "base\" -d1 [-lh5|-lh6|-lh7]
 * [-fast|-normal|-best] "item"... (see the README). Calls may come from any
 * thread; two calls on one archive at once take turns.
 */
#ifndef PELKORAN_LZH_H
#define PELKORAN_LZH_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef PELKORAN_LZH_BUILDING
#define PELKORAN_LZH_API __declspec(dllexport)
#else
#define PELKORAN_LZH_API __declspec(dllimport)
#endif

/* Results of the commands. */
#define PELKORAN_LZH_OK 0          /* the archive was written */
#define PELKORAN_LZH_BAD_COMMAND 1 /* the command text was refused; nothing touched */
#define PELKORAN_LZH_FAILED 2      /* an item, the archive or the disk failed; the old archive stands */
#define PELKORAN_LZH_CANCELLED 3   /* the progress callback answered FALSE; the old archive stands */

/*
 * Called now and then while a command runs, on the thread that called it:
 * `archive` is the archive being written, `current` the member being read (or
 * a note that another run holds the archive, with `waiting` TRUE), `done` and
 * `total` bytes of input. Returns TRUE to go on, FALSE to cancel.
 */
typedef BOOL(WINAPI* PelkoranLzhProgress)(void* context, const char* archive, const char* current,
                                          ULONGLONG done, ULONGLONG total, BOOL waiting);

/*
 * Carries out one command. `window` is the caller's window, or NULL; the DLL
 * shows no window of its own. `reply` receives a short report (what was
 * written, or why not), always NUL-terminated within `reply_size` bytes; it
 * may be NULL when `reply_size` is 0. Returns one of the results above.
 */
PELKORAN_LZH_API int WINAPI ArchiverCommand(HWND window, const char* command, char* reply, DWORD reply_size);

/* As ArchiverCommand, with a progress callback (NULL: none) and its context. */
PELKORAN_LZH_API int WINAPI ArchiverCommandWithProgress(const char* command, char* reply, DWORD reply_size,
                                                        PelkoranLzhProgress progress, void* context);

/* The engine's version in hundredths (100 is 1.00). */
PELKORAN_LZH_API WORD WINAPI ArchiverGetVersion(void);

#ifdef __cplusplus
}
#endif

#endif /* PELKORAN_LZH_H */
