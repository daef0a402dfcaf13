// Test support of the print line (test code only): the sample TABLE and
// DSP program in flash, the DSP linked, unit L selected, and the slot of an
// internal job's first print-order row.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "firmware/devices/unit_switch.h"
#include "firmware/platform/dsp_boot.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/printengine/dsp_link.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/table_store.h"
#include "sim/board.h"
#include "sim/memory/nor_flash.h"
#include "tools/images/dsp_image.h"
#include "tools/images/flash_map.h"
#include "tools/images/table_image.h"

namespace printlinetest {

using TableChange = std::function<void(images::TableImageParams&)>;

// The TABLE (the sample's, changed), the DSP linked, unit L selected.
inline void PrepareBoard(const TableChange& change = nullptr) {
  sim::NorFlash& flash = *sim::Board::Current().FindDevice<sim::NorFlash>();
  images::TableImageParams params = images::SampleTableParams();
  if (change) change(params);
  const images::Bytes table = images::BuildTableImage(params);
  flash.LoadImage(images::kAreaTable.offset, table.data(), static_cast<uint32_t>(table.size()));
  ASSERT_EQ(InitTableData(), 0);
  const images::Bytes dsp = images::BuildDspImage();
  flash.LoadImage(images::kAreaDsp.offset, dsp.data(), static_cast<uint32_t>(dsp.size()));
  ASSERT_EQ(LoadDspInternalImage(DSP_IMAGE_FLASH), 0);
  ASSERT_EQ(DspBootHandshake(1), 0);
  g_FpgaMain.ReadHeadInfo();
  SelectUnit(0);
}

// The slot of the first print-order row of an internal job of the size.
inline ImageSlot* CurrentSlot(PrintSizeRecord* pSize = &g_PrintSize8x10) {
  if (jobtest::MakeInternalJob(1, 1, pSize) == nullptr) return nullptr;
  PrintJobRecord* pJob = nullptr;
  g_PrintJobQueue.GetJob(PRINT_JOB_LIST_ACTIVE, &pJob);
  if (pJob == nullptr) return nullptr;
  pJob->ucExpectedMask = 1;
  g_PrintJobQueue.BuildPrintOrder(pJob, 1, 1, 2);
  ImageSlot* pSlot = nullptr;
  g_PrintJobQueue.GetOrderedSlot(pJob, &pSlot, 3);
  return pSlot;
}

// The slot of the first print-order row of an internal job of the size
// that prints side B's colour picture on unit L: attached, with its print
// parameters.
inline ImageSlot* AttachedSlot(PrintSizeRecord* pSize) {
  PrintJobRecord* pJob = jobtest::MakeInternalJob(1, 1, pSize);
  if (pJob == nullptr) return nullptr;
  g_PrintJobQueue.BuildPrintOrder(pJob, SIDE_B, UNIT_L, UNIT_L);
  ImageSlot* pSlot = nullptr;
  g_PrintJobQueue.GetOrderedSlot(pJob, &pSlot, 3);
  return pSlot != nullptr && pSlot->pParams != nullptr ? pSlot : nullptr;
}

}  // namespace printlinetest
