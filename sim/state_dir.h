// A virtual printer's state directory: what stays across boots and power
// cuts (flash, EEPROMs, the boot counter, the mechanism's state).
#pragma once

#include <cstdint>
#include <string>

namespace sim {

class StateDir {
 public:
  static constexpr uint32_t kFlashBytes = 8u * 1024u * 1024u;
  static constexpr uint32_t kMainEepromBytes = 512;
  static constexpr uint32_t kHeadEepromBytes = 512;

  explicit StateDir(std::string path);

  // Creates the directory and the flash and EEPROM files that are missing:
  // the EEPROMs erased, the flash erased but for the sample MAIN image.
  // Returns false with a message on stderr when it cannot.
  bool Prepare() const;
  // Counts this boot and returns its number (1 for the first).
  uint32_t CountBoot() const;
  // Writes "Engine Version" (1-5) into the main EEPROM file, which becomes
  // a factory image first when it is blank or foreign; false with a message
  // on stderr when it cannot.
  bool WriteEngineVersion(uint32_t version) const;

  const std::string& Path() const { return m_path; }
  std::string FlashPath() const { return m_path + "/flash.bin"; }
  std::string MainEepromPath() const { return m_path + "/" + kMainEepromFile; }
  // The main EEPROM's backup device and the head-unit EEPROMs (unit 0 = L).
  std::string BackupEepromPath() const { return m_path + "/" + kBackupEepromFile; }
  std::string HeadEepromPath(uint32_t unit) const {
    return m_path + "/" + (unit == 0 ? kHeadEepromFileL : kHeadEepromFileR);
  }
  static constexpr const char* kMainEepromFile = "eeprom-main.bin";
  static constexpr const char* kBackupEepromFile = "eeprom-backup.bin";
  static constexpr const char* kHeadEepromFileL = "eeprom-head-l.bin";
  static constexpr const char* kHeadEepromFileR = "eeprom-head-r.bin";
  std::string BootCountPath() const { return m_path + "/boot-count"; }
  // The mechanism as the board left it (sim/mechanism/mechanism_state.h).
  std::string MechanismPath() const { return m_path + "/mechanism.bin"; }

 private:
  std::string m_path;
};

// Writes a whole file through a temporary and a rename, so a crash leaves
// either the old or the new content.
bool WriteFileAtomically(const std::string& path, const std::string& content);

}  // namespace sim
