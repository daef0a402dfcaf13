/* Device-change events: the wParam of WM_DEVICECHANGE. Windows keeps them
 * out of windows.h, in this header of their own. */
#ifndef BOM_WIN32_DBT_H
#define BOM_WIN32_DBT_H

#define DBT_DEVNODES_CHANGED 0x0007u
#define DBT_DEVICEARRIVAL 0x8000u
#define DBT_DEVICEREMOVECOMPLETE 0x8004u

#endif /* BOM_WIN32_DBT_H */
