#include "tools/images/main_image.h"

#include <stdexcept>

#include "tools/images/ams_pattern.h"
#include "tools/images/checksums.h"
#include "tools/images/fpga_bitstream.h"

namespace images {

namespace {

void PutInfoBlock(Bytes& b, const FirmwareInfo& info) {
  PutU16LE(b, 0, info.headerLength);
  PutText(b, 2, info.programName, 8);
  PutText(b, 10, info.programType, 16);
  PutText(b, 26, HexByte(info.version.major), 2);
  PutText(b, 28, HexByte(info.version.minor), 2);
  PutU16LE(b, 30, 0);
  PutText(b, 32, info.createDate, 10);
  PutU16LE(b, 42, info.imageChecksum);
  PutU32LE(b, 44, 0);
  PutU16LE(b, 48, static_cast<uint16_t>(info.programLength));
  PutU16LE(b, 50, static_cast<uint16_t>(info.programLength >> 16));
  for (size_t i = 52; i < kInfoBlockBytes; ++i) b[i] = 0;
}

uint8_t HexValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
  return 0;
}

}  // namespace

MainImageParams BootImageParams() {
  MainImageParams params;
  params.programName = "KT3318BT";
  params.programType = "KT-3318 BOOT";
  params.codeBytes = 0x8000;
  params.bWithFlashData = false;
  return params;
}

Bytes BuildMainImage(const MainImageParams& params) {
  const uint32_t limit = params.bWithFlashData ? kMainMaxBytes : kBootMaxBytes;
  size_t end = kInfoBlockBytes + params.codeBytes;
  Bytes fpga;
  Bytes ams;
  if (params.bWithFlashData) {
    if (end > kMainFpgaOffset) throw std::invalid_argument("MAIN program code reaches into the FPGA configuration");
    fpga = BuildFpgaRegion(params.fpgaBitstream.empty() ? BuildFpgaBitstream() : params.fpgaBitstream);
    if (kMainFpgaOffset + fpga.size() > kMainAmsOffset) throw std::invalid_argument("FPGA bitstream reaches into the AMS pattern");
    const Bytes pattern = params.amsPattern.empty() ? BuildAmsPattern(SampleAmsBands()) : params.amsPattern;
    ams.resize(4);
    PutU32LE(ams, 0, static_cast<uint32_t>(pattern.size()));
    ams.insert(ams.end(), pattern.begin(), pattern.end());
    end = kMainAmsOffset + ams.size();
  }
  // Even, with room for the compensation word.
  end = (end + 1) & ~size_t{1};
  end += 2;
  if (end > limit) throw std::invalid_argument("image larger than its flash area");

  Bytes image(end, 0xFF);
  PutBytes(image, kInfoBlockBytes, PseudoRandomBytes(0x3318u + params.version.major * 256u + params.version.minor, params.codeBytes));
  if (params.bWithFlashData) {
    PutBytes(image, kMainFpgaOffset, fpga);
    PutBytes(image, kMainAmsOffset, ams);
  }
  FirmwareInfo info;
  info.programName = params.programName;
  info.programType = params.programType;
  info.version = params.version;
  info.createDate = params.createDate;
  info.programLength = static_cast<uint32_t>(end - kInfoBlockBytes);
  PutInfoBlock(image, info);
  const uint16_t word = ImageSumCompensation(image.data() + kInfoBlockBytes, end - kInfoBlockBytes);
  PutU16LE(image, end - 2, word);
  info.imageChecksum = word;
  PutU16LE(image, 42, word);
  return image;
}

FirmwareInfo ReadFirmwareInfo(const Bytes& image, size_t at) {
  FirmwareInfo info;
  info.headerLength = GetU16LE(image, at);
  info.programName = GetText(image, at + 2, 8);
  info.programType = GetText(image, at + 10, 16);
  info.version.major = static_cast<uint8_t>(HexValue(static_cast<char>(image.at(at + 26))) * 16 +
                                            HexValue(static_cast<char>(image.at(at + 27))));
  info.version.minor = static_cast<uint8_t>(HexValue(static_cast<char>(image.at(at + 28))) * 16 +
                                            HexValue(static_cast<char>(image.at(at + 29))));
  info.createDate = GetText(image, at + 32, 10);
  info.imageChecksum = GetU16LE(image, at + 42);
  info.programLength = GetU16LE(image, at + 48) | (static_cast<uint32_t>(GetU16LE(image, at + 50)) << 16);
  return info;
}

int CheckMainImage(const Bytes& image) {
  if (image.size() < kInfoBlockBytes) return -1;
  const FirmwareInfo info = ReadFirmwareInfo(image);
  if (info.programType.compare(0, 7, kModelText) != 0) return -2;
  if (info.programLength > kMainMaxBytes) return -1;
  if (static_cast<size_t>(info.headerLength) + info.programLength > image.size()) return -1;
  return ImageSumResidue(image.data() + info.headerLength, info.programLength) == 0 ? 0 : -1;
}

}  // namespace images
