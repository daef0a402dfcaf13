#include "tools/images/command_line.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>

#include "tools/images/dsp_image.h"
#include "tools/images/flash_image.h"
#include "tools/images/fpga_bitstream.h"
#include "tools/images/lamination_slot.h"
#include "tools/images/main_image.h"
#include "tools/images/table_image.h"

namespace images {

namespace {

constexpr char kUsage[] =
    "usage: bom-images <command> <output> [options]\n"
    "commands:\n"
    "  main FILE      the MAIN firmware image (with the FPGA configuration and AMS pattern)\n"
    "  boot FILE      a boot image (the MAIN format without them)\n"
    "  dsp FILE       the DSP program image\n"
    "  table FILE     the TABLE image\n"
    "  fpga FILE      the FPGA configuration as it lies in flash (count, then bitstream)\n"
    "  package DIR    MAIN.BIN, DSP.BIN, TABLE.BIN and the updater's update.ini\n"
    "  flash FILE     an 8 MB flash image, e.g. a state directory's flash.bin\n"
    "  lamination FILE  the sample lamination pattern as the host downloads it\n"
    "                 (one byte per pixel, 8929536 bytes)\n"
    "options:\n"
    "  --version MM.mm     version in hexadecimal digits (default 02.10)\n"
    "  --date TEXT         creation date, 10 characters (default 2024/01/15)\n"
    "  --fpga-bytes N      size of the sample FPGA bitstream (default 4096)\n"
    "  --wait-ms N         package: the updater's wait after each file\n"
    "  --main FILE, --boot FILE, --dsp FILE, --table FILE\n"
    "                      flash: use these images instead of the samples\n"
    "  --cis-serial TEXT   flash: serial number of the CIS calibration (default 8 blanks)\n"
    "  --no-lamination     flash: leave both lamination slots erased\n";

struct Options {
  Version version;
  std::string date = "2024/01/15";
  uint32_t fpgaBytes = kFpgaDefaultBytes;
  std::optional<uint32_t> waitMs;
  std::optional<std::string> mainFile, bootFile, dspFile, tableFile;
  std::string cisSerial = "        ";
  bool bLamination = true;
};

Bytes ReadBinary(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Written through a temporary and a rename, so a reader never sees half a
// file.
void WriteBinary(const std::string& path, const Bytes& bytes) {
  const std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + tmp);
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) throw std::runtime_error("cannot write " + path);
}

void WriteText(const std::string& path, const std::string& text) { WriteBinary(path, Bytes(text.begin(), text.end())); }

uint32_t ParseCount(const std::string& text) {
  size_t used = 0;
  const unsigned long value = std::stoul(text, &used, 0);
  if (used != text.size() || value > 0xFFFFFFFFul) throw std::invalid_argument("not a number: " + text);
  return static_cast<uint32_t>(value);
}

MainImageParams MainParams(const Options& o) {
  MainImageParams params;
  params.version = o.version;
  params.createDate = o.date;
  params.fpgaBitstream = BuildFpgaBitstream(o.fpgaBytes);
  return params;
}

DspImageParams DspParams(const Options& o) {
  DspImageParams params;
  params.version = o.version;
  params.createDate = o.date;
  return params;
}

TableImageParams TableParams(const Options& o) {
  TableImageParams params = SampleTableParams();
  params.versionMajor = o.version.major;
  params.versionMinor = o.version.minor;
  params.createDate = o.date;
  return params;
}

void WritePackage(const std::string& dir, const Options& o, std::ostream& out) {
  if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) throw std::runtime_error("cannot create " + dir);
  WriteBinary(dir + "/MAIN.BIN", BuildMainImage(MainParams(o)));
  WriteBinary(dir + "/DSP.BIN", BuildDspImage(DspParams(o)));
  WriteBinary(dir + "/TABLE.BIN", BuildTableImage(TableParams(o)));
  const auto wait = [&o](uint32_t byDefault) { return std::to_string(o.waitMs.value_or(byDefault)); };
  WriteText(dir + "/update.ini",
            "[MAIN]\nFILEPATH=MAIN.BIN\n[DSP]\nFILEPATH=DSP.BIN\n[TABLE]\nFILEPATH=TABLE.BIN\n[TIME]\nMAIN_WAIT_TIME=" +
                wait(80000) + "\nDSP_WAIT_TIME=" + wait(40000) + "\nTABLE_WAIT_TIME=" + wait(40000) +
                "\nDISP_WAIT_TIME=" + wait(1000) + "\n");
  out << "package in " << dir << ": MAIN.BIN DSP.BIN TABLE.BIN update.ini\n";
}

Bytes BuildFlash(const Options& o) {
  FlashContents contents = SampleFlashContents(o.version, o.cisSerial);
  MainImageParams main = MainParams(o);
  contents.main = o.mainFile ? ReadBinary(*o.mainFile) : BuildMainImage(main);
  MainImageParams boot = BootImageParams();
  boot.version = o.version;
  boot.createDate = o.date;
  contents.boot = o.bootFile ? ReadBinary(*o.bootFile) : BuildMainImage(boot);
  contents.dsp = o.dspFile ? ReadBinary(*o.dspFile) : BuildDspImage(DspParams(o));
  contents.table = o.tableFile ? ReadBinary(*o.tableFile) : BuildTableImage(TableParams(o));
  if (!o.bLamination) {
    contents.lamiStored.reset();
    contents.lamiActive.reset();
  }
  return ComposeFlash(contents);
}

}  // namespace

int RunImagesCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() < 2) {
    err << kUsage;
    return 2;
  }
  const std::string& command = args[0];
  const std::string& target = args[1];
  Options o;
  try {
    for (size_t i = 2; i < args.size(); ++i) {
      const std::string& a = args[i];
      auto value = [&]() -> const std::string& {
        if (i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value");
        return args[++i];
      };
      if (a == "--version") {
        if (!ParseVersion(value(), &o.version)) throw std::invalid_argument("--version takes MM.mm in hexadecimal digits");
      } else if (a == "--date") {
        o.date = value();
      } else if (a == "--fpga-bytes") {
        o.fpgaBytes = ParseCount(value());
      } else if (a == "--wait-ms") {
        o.waitMs = ParseCount(value());
      } else if (a == "--main") {
        o.mainFile = value();
      } else if (a == "--boot") {
        o.bootFile = value();
      } else if (a == "--dsp") {
        o.dspFile = value();
      } else if (a == "--table") {
        o.tableFile = value();
      } else if (a == "--cis-serial") {
        o.cisSerial = value();
      } else if (a == "--no-lamination") {
        o.bLamination = false;
      } else {
        throw std::invalid_argument("unknown option " + a);
      }
    }
  } catch (const std::exception& e) {
    err << "bom-images: " << e.what() << "\n" << kUsage;
    return 2;
  }

  try {
    if (command == "main") {
      WriteBinary(target, BuildMainImage(MainParams(o)));
    } else if (command == "boot") {
      MainImageParams params = BootImageParams();
      params.version = o.version;
      params.createDate = o.date;
      WriteBinary(target, BuildMainImage(params));
    } else if (command == "dsp") {
      WriteBinary(target, BuildDspImage(DspParams(o)));
    } else if (command == "table") {
      WriteBinary(target, BuildTableImage(TableParams(o)));
    } else if (command == "fpga") {
      WriteBinary(target, BuildFpgaRegion(BuildFpgaBitstream(o.fpgaBytes)));
    } else if (command == "package") {
      WritePackage(target, o, out);
      return 0;
    } else if (command == "flash") {
      WriteBinary(target, BuildFlash(o));
    } else if (command == "lamination") {
      WriteBinary(target, BuildSampleLaminationDownload());
    } else {
      err << "bom-images: unknown command " << command << "\n" << kUsage;
      return 2;
    }
  } catch (const std::exception& e) {
    err << "bom-images: " << e.what() << "\n";
    return 1;
  }
  out << command << " image written to " << target << "\n";
  return 0;
}

}  // namespace images
