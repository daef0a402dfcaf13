// The DSP's background image jobs: while a sheet's colour planes print, the
// DSP derives the overcoat plane from the sheet's image (mode 6) or fills
// it from nothing (mode 7) into SDRAM from DSP_IMAGE_DESTINATION, in pieces
// between the passes. On a multi-up sheet up to three images, one after
// another from DSP_IMAGE_DESTINATION, are processed in turn.
//
// A request's life: prepared (its words written) -> running (kicked: mode,
// run bit, g_bDspBusy 1) -> ended (run bit 0, mode 0, g_bDspBusy 0), lines
// done kept, so the next kick continues from there. A request is complete
// once lines done reaches its total lines.
//
// Calling order of a colour sheet, before each plane starts on the head:
// Y SetupDspPlaneBuffers, M and C EndDspImageJob, overcoat WaitDspImageJob;
// after each of Y, M and C StartDspImageJob. While busy, every abort check
// steps the request (StepDspImageJob(0)).
//
// Request words in the DSP window, 16 bits each; a 32-bit address is
// written low word first:
//   0x800138E0 source width    0x800138E2 source height   (mode 6)
//   0x800138E4 print width     0x800138E6 total lines
//   0x800138E8, 0x800138EA the two margins                (mode 6)
//   0x800138EC/EE, F0/F2, F4/F6 source of planes Y, M, C  (mode 6)
//   0x800138F8/FA destination
//   0x800138FC, FE, 0x80013900 row-table flags of Y, M, C (mode 6)
//   0x80013902 first line of the next piece (written at each kick)
//   0x80013908 lines done (written by the DSP)
//
// Application task only (the sequences and the abort check in them).
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

struct ImageSlot;
struct PrintSizeRecord;

constexpr PhysAddr DSP_IMAGE_DESTINATION = 0xC5A00000u;
// Row tables of planes Y, M and C of an internal image: one uint16 source
// row per output line.
constexpr PhysAddr DSP_ROW_TABLE_Y = 0xC7F00000u;
constexpr PhysAddr DSP_ROW_TABLE_M = 0xC7F10000u;
constexpr PhysAddr DSP_ROW_TABLE_C = 0xC7F20000u;
constexpr uint32_t DSP_ROW_TABLE_LINES = 32768;

constexpr PhysAddr DSP_JOB_SOURCE_WIDTH = 0x800138E0u;
constexpr PhysAddr DSP_JOB_SOURCE_HEIGHT = 0x800138E2u;
constexpr PhysAddr DSP_JOB_PRINT_WIDTH = 0x800138E4u;
constexpr PhysAddr DSP_JOB_TOTAL_LINES = 0x800138E6u;
constexpr PhysAddr DSP_JOB_MARGIN_1 = 0x800138E8u;
constexpr PhysAddr DSP_JOB_MARGIN_2 = 0x800138EAu;
constexpr PhysAddr DSP_JOB_SOURCE_Y = 0x800138ECu;
constexpr PhysAddr DSP_JOB_SOURCE_M = 0x800138F0u;
constexpr PhysAddr DSP_JOB_SOURCE_C = 0x800138F4u;
constexpr PhysAddr DSP_JOB_DESTINATION = 0x800138F8u;
constexpr PhysAddr DSP_JOB_ROW_TABLE_FLAGS = 0x800138FCu;
constexpr PhysAddr DSP_JOB_FIRST_LINE = 0x80013902u;
constexpr PhysAddr DSP_JOB_LINES_DONE = 0x80013908u;

// A wait ends when lines done has not moved for this long (the echo limit
// of the image modes): the request is ended, error 278 raised, -1.
constexpr uint32_t DSP_JOB_STALL_MS = 3000;

constexpr uint32_t DSP_JOB_PLANES = 3;  // Y, M, C
constexpr uint32_t DSP_JOB_BUFFERS = 3;

// One image of a multi-up sheet.
struct DspBufferEntry {
  PhysAddr ulDestination;
  ImageSlot* pSlot;
  PrintSizeRecord* pPrintSize;
};

struct DspImageJob {
  uint32_t ulLinesDone;
  uint32_t ulSourceWidth;
  uint32_t ulSourceHeight;
  uint32_t ulPlaneSize;  // bytes from one source plane to the next
  uint32_t ulPrintWidth;
  uint32_t ulTotalLines;
  uint32_t ulMargin1;
  uint32_t ulMargin2;
  PhysAddr aulSource[DSP_JOB_PLANES];
  PhysAddr ulDestination;
  uint16_t ausRowTableFlag[DSP_JOB_PLANES];
  uint16_t usMode;  // DSP_MODE_IMAGE or DSP_MODE_IMAGE_COPY
  ImageSlot* pSlot;
  uint32_t ulEndTime;  // us, when a single request was found complete
  uint32_t ulBufferIndex;
  uint32_t ulBufferCount;  // 0 on a single sheet
  DspBufferEntry aEntries[DSP_JOB_BUFFERS];
};

extern DspImageJob g_DspImageJob;
// 1 from a successful kick until the request is ended.
extern uint32_t g_bDspBusy;

// A mode-6 request for the slot's image (the slot's print parameters):
// every request word written. Result of the last word write; -1 for a
// slot without print parameters.
int32_t RequestDspImageProcess(ImageSlot* pSlot, PhysAddr ulDestination);
// A mode-7 request from a print-size record: print width, total lines and
// destination only. Result of the last word write.
int32_t RequestDspImageCopy(const PrintSizeRecord* pRecord, PhysAddr ulDestination);
// Mode 6 for a slot holding an image buffer of its own, else mode 7 from
// the record.
int32_t RequestDspImage(ImageSlot* pSlot, const PrintSizeRecord* pRecord, PhysAddr ulDestination);
// The three row tables of an internal image, from the planes' patterns.
void BuildDspRowTables();

// When lines remain: first line, mode, run bit, busy. 0, or -1 when the DSP
// did not follow; nothing is sent when no line remains.
int32_t KickDspImageJob();
// While busy reads lines done; a complete request (or any with force) is
// ended. 1 complete, -1 the end failed, else 0.
int32_t PollDspImageJob(uint32_t ulForce);
// While busy: run bit 0, mode 0, a last read of lines done. Busy is 0
// afterwards in every case. 0 or -1.
int32_t EndDspImageJob();
// Polls until the request is complete (0, its end time noted) or fails or
// stalls (-1).
int32_t WaitDspImageRequest();

// Lays out the destination buffers of the sheet to print and prepares its
// first request. 0, or -1 when the job queue has no job or slot for it.
int32_t SetupDspPlaneBuffers();
// Kicks the request unless a multi-up sheet has finished all its images:
// the kick's result (0 when nothing was kicked).
int32_t StartDspImageJob();
// One step: 1 when every image is complete, 0 while work remains,
// negative on failure.
int32_t StepDspImageJob(uint32_t ulForce);
// Waits until every image is complete: 0 or negative.
int32_t WaitDspImageJob();

// The waits' bound: Stalled is true once the progress it is given has not
// changed for DSP_JOB_STALL_MS.
class CDspProgressWatch {
 public:
  constexpr CDspProgressWatch() = default;
  bool Stalled(uint32_t ulProgress);

 private:
  bool m_bStarted = false;
  uint32_t m_ulProgress = 0;
  uint32_t m_ulSinceMs = 0;
};
// A stalled wait's end: the request ended, error 278 raised; -1.
int32_t EndStalledDspImageJob();
