#include "tools/images/flash_image.h"

#include <stdexcept>

#include "tools/images/cis_calibration.h"
#include "tools/images/dsp_image.h"
#include "tools/images/lamination_slot.h"
#include "tools/images/main_image.h"
#include "tools/images/table_image.h"
#include "tools/images/tone_curve_bank.h"

namespace images {

FlashContents SampleFlashContents(Version version, const std::string& cisSerial) {
  FlashContents c;
  MainImageParams boot = BootImageParams();
  boot.version = version;
  c.boot = BuildMainImage(boot);
  MainImageParams main;
  main.version = version;
  c.main = BuildMainImage(main);
  c.toneBank0 = BuildDefaultToneCurveBank(version);
  const Bytes lami = BuildSampleLaminationSlot(version);
  c.lamiStored = lami;
  c.lamiActive = lami;
  DspImageParams dsp;
  dsp.version = version;
  c.dsp = BuildDspImage(dsp);
  TableImageParams table = SampleTableParams();
  table.versionMajor = version.major;
  table.versionMinor = version.minor;
  c.table = BuildTableImage(table);
  c.cis = BuildSampleCisCalibration(cisSerial);
  return c;
}

Bytes ComposeFlash(const FlashContents& contents) {
  Bytes flash(kFlashBytes, 0xFF);
  auto place = [&flash](const std::optional<Bytes>& image, const FlashArea& area) {
    if (!image) return;
    if (image->size() > area.bytes) {
      throw std::invalid_argument(std::string(area.name) + " holds " + std::to_string(area.bytes) + " bytes, the image has " +
                                  std::to_string(image->size()));
    }
    PutBytes(flash, area.offset, *image);
  };
  place(contents.boot, kAreaBootImage);
  place(contents.main, kAreaMain);
  place(contents.toneBank0, kAreaToneBank0);
  place(contents.toneBank1, kAreaToneBank1);
  place(contents.lamiStored, kAreaLamiStored);
  place(contents.lamiActive, kAreaLamiActive);
  place(contents.dsp, kAreaDsp);
  place(contents.table, kAreaTable);
  place(contents.cis, kAreaCis);
  place(contents.errorHist0, kAreaErrorHist0);
  place(contents.errorHist1, kAreaErrorHist1);
  return flash;
}

}  // namespace images
