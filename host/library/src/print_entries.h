// The unexported entries of the print path: each finds the calling
// thread's session as the exports do and answers RESULT_NO_SESSION without
// one. EntryGetStatusOfPrinters writes that code for every number of its
// list.
#pragma once

#include <cstdint>

#include "print_job.h"

namespace hostlib {

int EntrySetImageFormat(uint16_t type, uint16_t components, uint16_t bits, uint16_t width, uint16_t height,
                        uint16_t xOffset, uint16_t yOffset, uint16_t *err);
int EntrySetupPrintJob(uint16_t *jobId, uint8_t unitInfo1[2], uint8_t unitInfo2[2], uint8_t *extra, uint16_t copies,
                       uint8_t flags1, uint8_t flags2, uint16_t cutOffset1, uint16_t cutOffset2,
                       const uint8_t *cutList, uint16_t *err);
int EntryGetJobStatus(uint16_t *jobId, uint16_t *value, uint8_t *flags1, uint8_t *flags2, uint16_t *a, uint16_t *b,
                      uint8_t data[kJobStatusDataBytes], uint16_t *err);
int EntryStartPrint(uint16_t jobId, uint8_t second, uint16_t *err);
int EntrySendPrintData(const uint8_t *data, uint32_t *length, uint16_t *err);
int EntrySendImageStrips(const uint8_t *data, uint32_t *length, uint16_t *err);
int EntrySendPaddingRows(uint32_t bytes, uint32_t count);
int EntryEndPrintData(uint16_t *err);
int EntryClearPrintFlag(uint16_t *err);
int EntryResetJobFields(uint16_t *err);
int EntryCancelPrintJob(uint16_t jobId, uint8_t mode, uint16_t *err);
int EntryGetPrinterIdStatus(uint16_t jobId, uint16_t result[kPrinterIdValues], uint16_t *err);
int EntryGetStatusOfPrinters(const uint8_t *numbers, uint16_t *codes);
int EntryUploadLaminatePattern(uint16_t step, const uint8_t *data, uint16_t *err);
int EntryWriteToneCurve(uint16_t type, uint16_t curve, const uint8_t *data, uint16_t *err);
int EntryReadToneCurve(uint16_t type, uint16_t curve, uint16_t *values, uint16_t *err);

}  // namespace hostlib
