// The updater's console texts, piece by piece, for tests that compare
// whole transcripts: the unit tests against the scripted library and the
// end-to-end runs against printer-sim processes.
#pragma once

#include <string>

namespace updater_transcript {

inline const std::string kBanner =
    "ORVIK M7300 Photo Printer Firmware Package Upgrade\n"
    "Brental Orvik Company. Keep the printers powered until the upgrade is completed.\n"
    "\n";

inline std::string FileList(const std::string &main, const std::string &dsp, const std::string &table) {
  return "Lists the files used to upgrade the firmware.\n"
         "MAIN:  " + main + " \n"
         "DSP:   " + dsp + " \n"
         "TABLE: " + table + " \n";
}

inline std::string Start(int printers) {
  const std::string n = std::to_string(printers);
  return "\nStart download.(Number of printers connected = " + n + ")\n\nDetected " + n +
         " printer(s)\nStart downloading...\n";
}

inline std::string PrinterHeading(int number, const std::string &serial) {
  return "\nNo" + std::to_string(number) + ".  Printer S/N = [" + serial + "] \n\n";
}

inline std::string CountdownLine(int seconds) {
  return "Waiting for the printer to finish rewriting firmware.  Remaining " + std::to_string(seconds) +
         " sec.  \r";
}

// The package's three files as the updater names them: label, path and
// the blanks behind "Finished.".
struct File {
  const char *label;
  const char *path;
  int blanks;
};
inline constexpr File kMain{"MAIN", "MAIN.BIN", 50};
inline constexpr File kDsp{"DSP", "DSP.BIN", 49};
inline constexpr File kTable{"TABLE", "TABLE.BIN", 51};

inline std::string Downloading(const File &file) {
  return std::string("Downloading ") + file.label + " file... [" + file.path + "]\n";
}

// A download that went, with `countdown` where the countdown's lines stand.
inline std::string Sent(const File &file, const std::string &countdown) {
  return Downloading(file) + "Finished." + std::string(file.blanks, ' ') + "\n" + countdown + "\n\n";
}

// One record as the read-back shows it; `version` as "MM.mm".
struct Record {
  std::string name;
  std::string type;
  std::string date;
  std::string version;
};

inline std::string RecordLines(const Record &r) {
  return "Program Name  = " + r.name + "\nProgram Type  = " + r.type + "\nCreate Date   = " + r.date +
         "\nVersion       = " + r.version + " \n";
}

// The end of a printer that took all three files: its MAIN, DSP and TABLE
// records read back.
inline std::string ReadBack(const Record &main, const Record &dsp, const Record &table) {
  return "Completed firmware upgrade.\n"
         "verifying the information on the upgraded firmware.\n\n"
         "----- MAIN -----\n" + RecordLines(main) + "\n----- DSP -----\n" + RecordLines(dsp) +
         "\n----- TABLE -----\n" + RecordLines(table);
}

inline std::string Failed(const File &file, const std::string &errorLine) { return Downloading(file) + errorLine; }

}  // namespace updater_transcript
