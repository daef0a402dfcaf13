// A power cut during a DSP or a TABLE update, across boots of one printer:
// each boot checks what the boot before left, repairs it with a whole
// update, and starts another update that the power cut ends at a chosen
// flash operation (an erase or a halfword programmed). The next boot's
// check must fail unless the area holds a whole image, and a new update
// must always repair it.
//
// The operations are sampled: in each phase (erases, programs) the first
// two, the last two (the last program is the image's check word) and four
// spread between them. Every other cut leaves the flash in one of the
// states these bracket. The images are sparse (mostly erased bytes, which
// the flash driver skips) so that each update is a few thousand operations;
// the TABLE image ends in zeros, the bytes an erased flash cannot be told
// from by the image's sum.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "firmware/devices/flash_area_writer.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "firmware/printengine/dsp_link.h"
#include "firmware/printengine/table_store.h"
#include "sim/board.h"
#include "sim/memory/nor_flash.h"
#include "tests/support/forked_boots.h"
#include "tests/support/machine_test.h"
#include "tools/images/checksums.h"
#include "tools/images/dsp_image.h"
#include "tools/images/flash_map.h"
#include "tools/images/table_image.h"

namespace {

using testsupport::Ms;

struct Writer {
  const char* name;
  images::FlashArea area;
  images::Bytes repair;  // written whole at every boot
  images::Bytes cut;     // the update the power cut ends
  int32_t (*update)(uint32_t ulBytes);
  int32_t (*check)();
};

sim::NorFlash& Flash() { return *sim::Board::Current().FindDevice<sim::NorFlash>(); }

// The DSP image with only the first 1 KB of each program kept; the rest
// erased.
images::Bytes SparseDspImage(uint8_t ucMinor) {
  images::DspImageParams params;
  params.version = images::Version{0x02, ucMinor};
  images::Bytes image = images::BuildDspImage(params);
  for (uint32_t i = 0; i < images::kDspInfoOffset; ++i) {
    if (i % images::kDspSdramOffset >= 0x400) image[i] = 0xFF;
  }
  images::PutU16LE(image, images::kDspChecksumOffset, images::OnesComplementSum16(image.data(), images::kDspInfoOffset));
  return image;
}

// Two banks of values, one table of bytes, and a last table of zeros.
images::Bytes SmallTableImage(uint8_t ucSeed) {
  images::TableImageParams params;
  params.tableCount = 20;
  params.values.assign(2, std::vector<uint32_t>(256, 0));
  for (uint32_t i = 0; i < 256; ++i) params.values[1][i] = ucSeed * 0x01010101u + i;
  params.tables[3] = {images::Bytes(40, ucSeed)};
  params.tables[19] = {images::Bytes(64, 0)};
  return images::BuildTableImage(params);
}

// Erases of the area, then one program per halfword that is not erased.
uint64_t OperationsOf(const Writer& w) {
  uint64_t ops = w.area.bytes / images::kSectorBytes;
  for (size_t i = 0; i < w.cut.size(); i += 2) {
    const uint8_t high = i + 1 < w.cut.size() ? w.cut[i + 1] : 0xFF;
    if (w.cut[i] != 0xFF || high != 0xFF) ++ops;
  }
  return ops;
}

std::vector<uint64_t> CutPoints(const Writer& w) {
  const uint64_t erases = w.area.bytes / images::kSectorBytes;
  const uint64_t total = OperationsOf(w);
  std::set<uint64_t> points;
  for (const auto& [first, last] : {std::pair{uint64_t{0}, erases - 1}, std::pair{erases, total - 1}}) {
    for (const uint64_t p : {first, first + 1, last - 1, last}) points.insert(p);
    for (uint64_t k = 1; k <= 4; ++k) points.insert(first + (last - first) * k / 5);
  }
  return {points.begin(), points.end()};
}

bool AreaHolds(const Writer& w, const images::Bytes& image) {
  return std::memcmp(Flash().Array() + w.area.offset, image.data(), image.size()) == 0;
}

int32_t Update(const Writer& w, const images::Bytes& image) {
  std::memcpy(PhysToHost(DOWNLOAD_BUFFER, static_cast<uint32_t>(image.size())), image.data(), image.size());
  return w.update(static_cast<uint32_t>(image.size()));
}

// What a boot's application saw.
struct BootSeen {
  int32_t lCheckAfterCut = 99;
  bool bWholeImage = false;
  int32_t lRepair = 99;
  int32_t lRepaired = 99;
  uint64_t ulRepairOperations = 0;
};
BootSeen g_seen;

void RunPowerCuts(const Writer& w) {
  const std::vector<uint64_t> points = CutPoints(w);
  const uint64_t repairOps = OperationsOf(Writer{w.name, w.area, w.repair, w.repair, w.update, w.check});
  testsupport::ForkedBoots boots;
  const int count = static_cast<int>(points.size()) + 1;
  const std::vector<int> codes = boots.Run(count, [&](int index, sim::MachineOptions options) {
    const bool bCutBoot = index < count - 1;
    options.appEntry = [&w, &points, index, bCutBoot] {
      if (index > 0) {
        g_seen.lCheckAfterCut = w.check();
        g_seen.bWholeImage = AreaHolds(w, w.repair) || AreaHolds(w, w.cut);
      }
      const uint64_t ulOps = Flash().OperationCount();
      g_seen.lRepair = Update(w, w.repair);
      g_seen.ulRepairOperations = Flash().OperationCount() - ulOps;
      g_seen.lRepaired = w.check();
      if (bCutBoot) {
        const sim::CutDamage damage = index % 2 == 0 ? sim::CutDamage::Partial : sim::CutDamage::None;
        Flash().SetPowerCutAfter(points[static_cast<size_t>(index)], damage);
        Update(w, w.cut);
        syslog(LOG_NOTICE, "[test] not cut");
      }
      syslog(LOG_NOTICE, "[test] boot done");
    };
    sim::Machine m(options);
    const sim::RunResult result = m.RunUntil([&] { return m.Logged("[test] boot done"); }, Ms(120000));
    bool bOk = g_seen.lRepair == 0 && g_seen.lRepaired == 0 && g_seen.ulRepairOperations == repairOps;
    if (index > 0) bOk = bOk && (g_seen.lCheckAfterCut == 0) == g_seen.bWholeImage;
    if (bCutBoot) {
      bOk = bOk && result == sim::RunResult::Reset && m.Console().find("[board] power cut") != std::string::npos &&
            !m.Logged("[test] not cut");
    } else {
      bOk = bOk && result == sim::RunResult::ConditionMet;
    }
    if (!bOk) {
      std::fprintf(stderr,
                   "%s boot %d (cut at operation %llu before): check %d with a whole image %d, repair %d, "
                   "check after it %d, repair operations %llu of %llu, run %s\n",
                   w.name, index, index > 0 ? static_cast<unsigned long long>(points[static_cast<size_t>(index - 1)]) : 0ull,
                   g_seen.lCheckAfterCut, g_seen.bWholeImage, g_seen.lRepair, g_seen.lRepaired,
                   static_cast<unsigned long long>(g_seen.ulRepairOperations),
                   static_cast<unsigned long long>(repairOps), sim::ToString(result));
    }
    return bOk ? 0 : 1;
  });
  EXPECT_EQ(codes, std::vector<int>(static_cast<size_t>(count), 0));
}

TEST(ImageUpdatePowerCut, EveryCutOfADspUpdateIsFoundAtTheNextBootAndRepaired) {
  RunPowerCuts(Writer{"DSP", images::kAreaDsp, SparseDspImage(0x10), SparseDspImage(0x11),
                      [](uint32_t) { return UpdateDspImage(0); }, [] { return CheckDspImage(DSP_IMAGE_FLASH); }});
}

TEST(ImageUpdatePowerCut, EveryCutOfATableUpdateIsFoundAtTheNextBootAndRepaired) {
  RunPowerCuts(Writer{"TABLE", images::kAreaTable, SmallTableImage(0x21), SmallTableImage(0x42), UpdateTableImage,
                      InitTableData});
}

}  // namespace
