#include "sim/state_dir.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "tools/eeprom/eeprom_image.h"
#include "tools/images/bytes.h"
#include "tools/images/directories.h"
#include "tools/images/dsp_image.h"
#include "tools/images/flash_map.h"
#include "tools/images/fpga_bitstream.h"
#include "tools/images/lamination_slot.h"
#include "tools/images/main_image.h"
#include "tools/images/table_image.h"

namespace sim {

namespace {

bool MakeDirs(const std::string& path) {
  std::string error;
  if (images::MakeDirectories(path, &error)) return true;
  std::fprintf(stderr, "state directory: %s\n", error.c_str());
  return false;
}

// A missing file is created with `fresh`; an existing one must have its size.
bool EnsureFile(const std::string& path, uint32_t bytes, std::string (*fresh)(uint32_t)) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    if (static_cast<uint64_t>(st.st_size) == bytes) return true;
    std::fprintf(stderr, "state directory: %s has %lld bytes, expected %u\n", path.c_str(),
                 static_cast<long long>(st.st_size), bytes);
    return false;
  }
  return WriteFileAtomically(path, fresh(bytes));
}

// An erased part reads all ones.
std::string Erased(uint32_t bytes) { return std::string(bytes, '\xFF'); }

// A new printer's flash: erased but for the sample MAIN image, which carries
// the FPGA bitstream (so that the FPGA is configured at the first start) and
// the firmware version that the EEPROM's layout version follows, the sample
// DSP program, which the start-up boots, the sample TABLE image, which the
// start-up checks and reads, and the sample lamination pattern in both
// slots, which the start-up checks and expands.
std::string FreshFlash(uint32_t bytes) {
  images::Bytes flash(bytes, 0xFF);
  images::PutBytes(flash, images::kAreaMain.offset, images::BuildMainImage());
  images::PutBytes(flash, images::kAreaDsp.offset, images::BuildDspImage());
  images::PutBytes(flash, images::kAreaTable.offset, images::BuildTableImage(images::SampleTableParams()));
  const images::Bytes lamination = images::BuildSampleLaminationSlot(images::Version{});
  images::PutBytes(flash, images::kAreaLamiStored.offset, lamination);
  images::PutBytes(flash, images::kAreaLamiActive.offset, lamination);
  return std::string(flash.begin(), flash.end());
}

}  // namespace

StateDir::StateDir(std::string path) : m_path(std::move(path)) {}

bool StateDir::Prepare() const {
  return MakeDirs(m_path) && EnsureFile(FlashPath(), kFlashBytes, FreshFlash) &&
         EnsureFile(MainEepromPath(), kMainEepromBytes, Erased) &&
         EnsureFile(BackupEepromPath(), kMainEepromBytes, Erased) &&
         EnsureFile(HeadEepromPath(0), kHeadEepromBytes, Erased) &&
         EnsureFile(HeadEepromPath(1), kHeadEepromBytes, Erased);
}

bool StateDir::WriteEngineVersion(uint32_t version) const {
  std::ifstream in(MainEepromPath(), std::ios::binary);
  std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error;
  if (!eepromimage::ProvisionEngineVersion(image, static_cast<int>(version), &error)) {
    std::fprintf(stderr, "state directory: %s\n", error.c_str());
    return false;
  }
  return WriteFileAtomically(MainEepromPath(), std::string(image.begin(), image.end()));
}

uint32_t StateDir::CountBoot() const {
  uint32_t count = 0;
  std::ifstream in(BootCountPath());
  if (in) in >> count;
  ++count;
  std::string text = std::to_string(count);
  text.push_back('\n');
  WriteFileAtomically(BootCountPath(), text);
  return count;
}

bool WriteFileAtomically(const std::string& path, const std::string& content) {
  const std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wbe");
  if (f == nullptr) {
    std::fprintf(stderr, "state directory: cannot write %s: %s\n", tmp.c_str(), std::strerror(errno));
    return false;
  }
  const bool bOk = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  if (std::fclose(f) != 0 || !bOk || std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::fprintf(stderr, "state directory: cannot write %s\n", path.c_str());
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

}  // namespace sim
