/* BOM7300ColorMatch: the colour-matching library that BOM7300upgrade loads
 * by name at kt_open and binds by its twelve entry points. The library
 * converts image rows through a colour world built from a source and a
 * destination profile.
 *
 * Results: the functions that return int give 0 on success; the handle
 * functions give 0 (null) on failure.
 */
#ifndef BOM7300_COLORMATCH_H
#define BOM7300_COLORMATCH_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef HANDLE CMPROFILE;    /* an open colour profile */
typedef HANDLE CMCOLORWORLD; /* a conversion from one profile to another */

/* Bytes of a profile header; its colour space is the four-character code at
 * offset 16 ('RGB ' 0x52474220, 'CMYK' 0x434D594B). */
#define CM_PROFILE_HEADER_SIZE 128
#define CM_PROFILE_COLOR_SPACE_AT 16
/* Bytes of the table record given to SDKCMCreateColorWorld: five 256-entry
 * tables. */
#define CM_LUT_RECORD_SIZE 1280

/* A block of pixels: `rows` rows of `width` pixels of `components` bytes. */
typedef struct CMPixelMap {
  int32_t width;
  int32_t rows;
  int32_t components;
  int32_t rowBytes;
  uint8_t *pixels;
} CMPixelMap;

/* A block of planes, one plane per component (not used by BOM7300upgrade). */
typedef struct CMPlaneMap {
  int32_t width;
  int32_t rows;
  int32_t components;
  int32_t rowBytes;
  uint8_t *planes[4];
} CMPlaneMap;

typedef int(WINAPI *PFN_SDKCMCreatLUT)(CMCOLORWORLD world, uint8_t *table, DWORD size);
typedef int(WINAPI *PFN_SDKCMMatchPixelMap)(CMCOLORWORLD world, const CMPixelMap *source, CMPixelMap *destination);
typedef int(WINAPI *PFN_SDKCMMatchPlaneMap)(CMCOLORWORLD world, const CMPlaneMap *source, CMPlaneMap *destination);
typedef int(WINAPI *PFN_SDKCMConvertColorWorldToIPB)(CMCOLORWORLD world, uint8_t *block, DWORD *size);
typedef int(WINAPI *PFN_SDKCMOpenProfile)(const char *path, CMPROFILE *profile);
typedef int(WINAPI *PFN_SDKCMCloseProfile)(CMPROFILE profile);
typedef CMCOLORWORLD(WINAPI *PFN_SDKCMCreateColorWorld)(DWORD intent, CMPROFILE source, int32_t reserved,
                                                        CMPROFILE destination, const uint8_t *lutRecord);
typedef int(WINAPI *PFN_SDKCMDisposeColorWorld)(CMCOLORWORLD world);
typedef int(WINAPI *PFN_SDKCMGetNumsOfInPixComp)(CMCOLORWORLD world);
typedef int(WINAPI *PFN_SDKCMGetNumsOfOutPixComp)(CMCOLORWORLD world);
typedef int(WINAPI *PFN_SDKCMGetPartialProfileElement)(CMPROFILE profile, DWORD tag, DWORD offset, uint8_t *buffer,
                                                       DWORD *size);
typedef int(WINAPI *PFN_SDKCMGetProfileHeader)(CMPROFILE profile, uint8_t header[CM_PROFILE_HEADER_SIZE]);

#if !defined(_WIN32)
#define CM_API __attribute__((visibility("default")))
#else
#define CM_API
#endif

CM_API int WINAPI SDKCMCreatLUT(CMCOLORWORLD world, uint8_t *table, DWORD size);
CM_API int WINAPI SDKCMMatchPixelMap(CMCOLORWORLD world, const CMPixelMap *source, CMPixelMap *destination);
CM_API int WINAPI SDKCMMatchPlaneMap(CMCOLORWORLD world, const CMPlaneMap *source, CMPlaneMap *destination);
CM_API int WINAPI SDKCMConvertColorWorldToIPB(CMCOLORWORLD world, uint8_t *block, DWORD *size);
CM_API int WINAPI SDKCMOpenProfile(const char *path, CMPROFILE *profile);
CM_API int WINAPI SDKCMCloseProfile(CMPROFILE profile);
CM_API CMCOLORWORLD WINAPI SDKCMCreateColorWorld(DWORD intent, CMPROFILE source, int32_t reserved,
                                                 CMPROFILE destination, const uint8_t *lutRecord);
CM_API int WINAPI SDKCMDisposeColorWorld(CMCOLORWORLD world);
CM_API int WINAPI SDKCMGetNumsOfInPixComp(CMCOLORWORLD world);
CM_API int WINAPI SDKCMGetNumsOfOutPixComp(CMCOLORWORLD world);
CM_API int WINAPI SDKCMGetPartialProfileElement(CMPROFILE profile, DWORD tag, DWORD offset, uint8_t *buffer,
                                                DWORD *size);
CM_API int WINAPI SDKCMGetProfileHeader(CMPROFILE profile, uint8_t header[CM_PROFILE_HEADER_SIZE]);

#ifdef __cplusplus
}
#endif

#endif /* BOM7300_COLORMATCH_H */
