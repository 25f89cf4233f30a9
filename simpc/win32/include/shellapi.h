/*
 * Shell calls of the simulated PC (shell32), under their Windows names,
 * signatures and results.
 */
#ifndef SIMPC_SHELLAPI_H
#define SIMPC_SHELLAPI_H

#include "windows.h"

/* ShellExecuteA answers a value above 32 on success, else one of these. */
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8

#ifdef __cplusplus
extern "C" {
#endif

HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                               LPCSTR lpDirectory, INT nShowCmd);

#ifdef __cplusplus
}
#endif

#endif /* SIMPC_SHELLAPI_H */
