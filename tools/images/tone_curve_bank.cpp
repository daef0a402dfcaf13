#include "tools/images/tone_curve_bank.h"

#include "tools/images/checksums.h"

namespace images {

namespace {
uint32_t HexTextValue(const Bytes& b, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 2; ++i) {
    const char c = static_cast<char>(b.at(at + i));
    int d = 0;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else if (c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    }
    v = v * 16 + static_cast<uint32_t>(d);
  }
  return v;
}
}  // namespace

ToneCurve DefaultToneCurve() {
  ToneCurve curve{};
  for (uint32_t i = 0; i < kToneCurveEntries; ++i) curve[i] = static_cast<uint16_t>((i % 256) * 64);
  return curve;
}

Bytes BuildToneCurveBank(const std::array<ToneCurve, 8>& curves, const std::array<uint16_t, 8>& states,
                         Version firmware) {
  Bytes bank(kToneBankBytes, 0xFF);
  for (size_t n = 0; n < 8; ++n) {
    for (size_t i = 0; i < kToneCurveEntries; ++i) PutU16LE(bank, n * 1536 + 2 * i, curves[n][i]);
  }
  PutText(bank, 12288, kToneBankMark, 16);
  PutText(bank, 12304, HexByte(firmware.major), 2);
  PutText(bank, 12306, HexByte(firmware.minor), 2);
  for (size_t n = 0; n < 8; ++n) PutU16LE(bank, 12308 + 2 * n, states[n]);
  PutU16LE(bank, 12798, OnesComplementSum16(bank.data(), 12288));
  return bank;
}

Bytes BuildDefaultToneCurveBank(Version firmware) {
  std::array<ToneCurve, 8> curves;
  curves.fill(DefaultToneCurve());
  return BuildToneCurveBank(curves, {}, firmware);
}

int CheckToneCurveBank(const Bytes& bank) {
  if (bank.size() < kToneBankBytes) return -1;
  if (GetText(bank, 12288, 16) != kToneBankMark) return -1;
  if (OnesComplementSum16(bank.data(), 12288) != GetU16LE(bank, 12798)) return -2;
  if (HexTextValue(bank, 12304) == 0 && HexTextValue(bank, 12306) < 5) return -4;
  return 0;
}

}  // namespace images
