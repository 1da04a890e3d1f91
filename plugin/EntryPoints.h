/* The nine entry points the host calls through plain C function pointers: C linkage, the C calling
   convention, exported under their undecorated names. Unicode hosts call the wide (W) forms of the
   three that take text where the plugin exports them, older hosts the 8-bit (A) forms. */
#pragma once

#include <windows.h>

#include "plugin/HostRecords.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Adds one to the init count; a raise from 0 is the start-up point. Always TRUE. */
BOOL __cdecl DVP_Init(void);
/* Subtracts one from the init count when it is above 0. */
void __cdecl DVP_Uninit(void);
/* Fills the plugin's identity into the record; each string only when its buffer is given, cut
   to the buffer's capacity. Always TRUE. */
BOOL __cdecl DVP_IdentifyA(PluginInfoRecord* info);
/* TRUE when the named file is RIFF WAVE audio; the record is filled only then. */
BOOL __cdecl DVP_IdentifyFileA(HWND window, LPSTR name, FileInfoRecord* info, HANDLE abortEvent);
/* The waveform picture of a file identified before, or null. */
HBITMAP __cdecl DVP_LoadBitmapA(HWND window, LPSTR name, FileInfoRecord* info, ImageSizeRecord* size, HANDLE abortEvent);
/* The wide forms: the same answers as the 8-bit forms, for names in UTF-16 (any name Windows opens
   by its wide calls, paths beyond 260 characters included) and with texts written in UTF-16,
   capacities counted in UTF-16 units. A refusal leaves the record and its buffers untouched. */
BOOL __cdecl DVP_IdentifyW(PluginInfoRecordW* info);
BOOL __cdecl DVP_IdentifyFileW(HWND window, LPWSTR name, FileInfoRecordW* info, HANDLE abortEvent);
HBITMAP __cdecl DVP_LoadBitmapW(HWND window, LPWSTR name, FileInfoRecordW* info, ImageSizeRecord* size,
                                HANDLE abortEvent);
/* Writes the module's file name as a wide, double-NUL-terminated list when a buffer is given.
   Always TRUE. */
BOOL __cdecl DVP_USBSafe(UsbSafeRecord* usb);

#ifdef __cplusplus
}
#endif

/* The init count, for tests within the module. */
#ifdef __cplusplus
int pluginInitCount();
#endif
