#include "tools/images/table_image.h"

#include <stdexcept>

#include "tools/images/checksums.h"

namespace images {

Bytes BuildTableImage(const TableImageParams& params) {
  if (params.bankCount == 0) throw std::invalid_argument("a TABLE image needs a bank");
  if (params.tableCount > 256) throw std::invalid_argument("at most 256 table ids");
  for (const auto& [id, perBank] : params.tables) {
    if (id >= params.tableCount) throw std::invalid_argument("table id beyond the table count");
    if (perBank.empty() || (perBank.size() != 1 && perBank.size() != params.bankCount)) {
      throw std::invalid_argument("a table needs one entry, or one per bank");
    }
    for (const Bytes& t : perBank) {
      if (t.size() != perBank.front().size()) throw std::invalid_argument("a table has one length in every bank");
    }
  }
  // Bank layout: the value block, then each table at a 4-byte boundary.
  std::vector<uint32_t> offsets(256, 0);
  std::vector<uint32_t> lengths(256, 0);
  uint32_t bankSize = 1024;
  for (const auto& [id, perBank] : params.tables) {
    offsets[id] = bankSize;
    lengths[id] = static_cast<uint32_t>(perBank.front().size());
    bankSize += (lengths[id] + 3) & ~3u;
  }
  const uint32_t dataLength = kTableBankAreaOffset + params.bankCount * bankSize;
  if (kTableHeaderLength + static_cast<uint64_t>(dataLength) > kTableAreaBytes) {
    throw std::invalid_argument("TABLE image larger than its flash area");
  }

  Bytes image(kTableHeaderLength + dataLength, 0);
  const size_t data = kTableHeaderLength;
  for (uint32_t id = 0; id < 256; ++id) {
    PutU32LE(image, data + 4 * id, offsets[id]);
    PutU32LE(image, data + 1024 + 4 * id, lengths[id]);
  }
  for (uint32_t bank = 0; bank < params.bankCount; ++bank) {
    const size_t base = data + kTableBankAreaOffset + static_cast<size_t>(bank) * bankSize;
    if (bank < params.values.size()) {
      for (size_t i = 0; i < params.values[bank].size() && i < 256; ++i) PutU32LE(image, base + 4 * i, params.values[bank][i]);
    }
    for (const auto& [id, perBank] : params.tables) {
      PutBytes(image, base + offsets[id], perBank.size() == 1 ? perBank.front() : perBank[bank]);
    }
  }

  PutU16LE(image, 0, static_cast<uint16_t>(kTableHeaderLength));
  PutText(image, 2, params.programName, 8);
  PutText(image, 10, params.programType, 16);
  PutU8(image, 26, params.versionMajor);
  PutU8(image, 28, params.versionMinor);
  PutU8(image, 30, params.versionRevision);
  PutText(image, 32, params.createDate, 10);
  PutU16LE(image, 42, OnesComplementSum16(image.data() + data, dataLength));
  PutU16LE(image, 64, kTableFormatMark);
  PutU32LE(image, 128, bankSize);
  PutU32LE(image, 132, params.bankCount);
  PutU32LE(image, 140, dataLength);
  PutU32LE(image, 144, params.tableCount);
  PutU32LE(image, 148, kTableBankAreaOffset);
  return image;
}

TableImageParams SampleTableParams() {
  TableImageParams params;
  params.values.assign(params.bankCount, std::vector<uint32_t>(256, 0));
  for (auto& bank : params.values) {
    for (uint32_t i : {40u, 41u, 42u, 43u, 44u, 45u, 176u}) bank[i] = 1350;
  }
  auto zeros = [](size_t words) { return std::vector<Bytes>{Bytes(2 * words, 0)}; };
  for (uint32_t id = 0; id < 6; ++id) params.tables[id] = zeros(1024);
  for (uint32_t id = 6; id < 18; ++id) params.tables[id] = zeros(256);
  // The base gradation: six blocks of 256 levels back to back, each rising
  // 64 per level.
  Bytes gradation(2 * 256);
  for (size_t i = 0; i < 256; ++i) PutU16LE(gradation, 2 * i, static_cast<uint16_t>(i * 64));
  for (uint32_t id = 18; id < 24; ++id) params.tables[id] = {gradation};
  // The head-voltage humidity correction: ThvCorrectHumidTab (42-47) by
  // the humidity reading, (H - 64) / 4 signed, and ThvCorrectHumidCoefTab
  // (102-107) by the ambient reading, 500 + T: a few steps at the usual
  // readings.
  Bytes thvHumid(2 * 256), thvCoef(2 * 256);
  for (size_t i = 0; i < 256; ++i) {
    PutU16LE(thvHumid, 2 * i, static_cast<uint16_t>((static_cast<int32_t>(i) - 64) / 4));
    PutU16LE(thvCoef, 2 * i, static_cast<uint16_t>(500 + i));
  }
  for (uint32_t id = 42; id < 48; ++id) params.tables[id] = {thvHumid};
  // The gradation corrections: humidity, temperature and their weights.
  for (uint32_t id = 48; id < 60; ++id) params.tables[id] = zeros(256);
  for (uint32_t id = 66; id < 96; ++id) params.tables[id] = zeros(256);
  // The ribbon take-up duty by spool diameter, one table per table index
  // (96 + k), row i being the diameter's millimetres past the base (values
  // 64 take-up, 65 supply).
  for (uint32_t k = 0; k < 5; ++k) {
    Bytes duty(kSampleDutyRows);
    for (uint32_t i = 0; i < kSampleDutyRows; ++i) duty[i] = SampleTakeUpDuty(k, i);
    params.tables[96 + k] = {duty};
  }
  for (uint32_t id = 102; id < 108; ++id) params.tables[id] = {thvCoef};
  for (uint32_t id = 108; id < 114; ++id) params.tables[id] = zeros(256);
  // What the DSP downloads read, by table index k = 0-5: pulse lengths
  // (48 + k) and counts (56 + k), the overcoat base (68), the DSP words
  // 104-141 (both halves used); tables 24-41, 60-65 and 114-119 of 512
  // bytes and the track-correction factors 120-125 of 256.
  for (auto& bank : params.values) {
    for (uint32_t k = 0; k < 6; ++k) {
      bank[48 + k] = kSamplePulseLength + k;
      bank[56 + k] = kSamplePulseCount + k;
    }
    bank[68] = kSampleOvercoatBase;
    bank[64] = kSampleDutyBaseMm[0];
    bank[65] = kSampleDutyBaseMm[1];
    // The print line's line periods, its ramp pairs (top period = the line
    // period) and the head-drive parameters.
    for (uint32_t k = 0; k < 6; ++k) {
      bank[k] = kSampleLinePeriodUs;
      bank[8 + k] = kSampleRampStartUs[0];
      bank[16 + k] = kSampleRampStartUs[1];
      bank[24 + k] = kSampleRampMs[0];
      bank[32 + k] = kSampleRampMs[1];
      for (uint32_t base : {72u, 80u, 88u, 96u}) bank[base + k] = SampleDriveParam(base + k);
    }
    for (uint32_t i = 104; i < 142; ++i) bank[i] = SampleDspWord(i);
  }
  auto pattern = [](uint32_t id, size_t bytes) {
    Bytes b(bytes);
    for (size_t j = 0; j < bytes; ++j) b[j] = SampleDspTableByte(id, static_cast<uint32_t>(j));
    return std::vector<Bytes>{b};
  };
  for (uint32_t id = 24; id < 42; ++id) params.tables[id] = pattern(id, 512);
  for (uint32_t id = 60; id < 66; ++id) params.tables[id] = pattern(id, 512);
  for (uint32_t id = 114; id < 120; ++id) params.tables[id] = pattern(id, 512);
  for (uint32_t id = 120; id < 126; ++id) params.tables[id] = pattern(id, 256);
  // The track-correction line buffers k = 0-3: rows (values 168, 184, 188
  // + k) of bytes (value 172 + k) from table 126 + k.
  for (uint32_t k = 0; k < 4; ++k) {
    const uint32_t rows = kSampleTrackRows[k];
    const uint32_t bytesPerRow = kSampleTrackBytesPerRow[k];
    for (auto& bank : params.values) {
      bank[168 + k] = rows - 2;
      bank[184 + k] = 1;
      bank[188 + k] = 1;
      bank[172 + k] = bytesPerRow;
    }
    Bytes lines(rows * bytesPerRow);
    for (size_t i = 0; i < lines.size(); ++i) lines[i] = static_cast<uint8_t>(k * 64 + i + 1);
    params.tables[126 + k] = {lines};
  }
  return params;
}

int CheckTableImage(const Bytes& image) {
  if (image.size() < kTableHeaderLength) return -1;
  if (GetU16LE(image, 64) != kTableFormatMark) return -1;
  const uint32_t headerLength = GetU16LE(image, 0);
  const uint32_t dataLength = GetU32LE(image, 140);
  if (dataLength > kTableAreaBytes - headerLength) return -3;
  if (static_cast<uint64_t>(headerLength) + dataLength > image.size()) return -2;
  return OnesComplementSum16(image.data() + headerLength, dataLength) == GetU16LE(image, 42) ? 0 : -2;
}

uint32_t TableValueOffset(const Bytes& image, uint32_t bank, uint32_t index) {
  return GetU16LE(image, 0) + GetU32LE(image, 148) + GetU32LE(image, 128) * bank + 4 * index;
}

uint32_t TableOffset(const Bytes& image, uint32_t bank, uint32_t id) {
  const uint32_t directory = GetU16LE(image, 0);
  if (id >= 126 && id <= 129) bank = 0;
  return directory + GetU32LE(image, 148) + GetU32LE(image, 128) * bank + GetU32LE(image, directory + 4 * id);
}

}  // namespace images
