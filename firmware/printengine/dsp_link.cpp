// The link's start-up handshake (the DSP echoes a hello, then accepts or
// refuses the start), its mode switch, run bit and table transfer. Each
// wait is a busy poll of the status word on the millisecond time base.
#include "firmware/devices/checksum.h"
#include "firmware/platform/dsp_boot.h"
#include "firmware/platform/time_base.h"
#include "firmware/printengine/dsp_link.h"

namespace {

enum class Answer : uint8_t { None, Accepted, Refused };

Answer HelloAnswer(uint16_t usStatus) { return usStatus == DSP_LINK_HELLO ? Answer::Accepted : Answer::None; }

Answer StartAnswer(uint16_t usStatus) {
  if (usStatus == DSP_LINK_ACCEPTED) return Answer::Accepted;
  if (usStatus == DSP_LINK_REFUSED) return Answer::Refused;
  return Answer::None;
}

// Writes the code to the control word and polls the status word until it
// gives an answer or more than DSP_LINK_WAIT_MS have passed (None).
Answer Ask(uint16_t usCode, Answer (*pfnAnswer)(uint16_t)) {
  WriteDspControl(&usCode);
  const uint32_t ulStart = g_MsTimer.NowMs();
  for (;;) {
    uint16_t usStatus = 0;
    ReadDspStatus(&usStatus);
    const Answer answer = pfnAnswer(usStatus);
    if (answer != Answer::None) return answer;
    if (g_MsTimer.ElapsedMs16(ulStart, g_MsTimer.NowMs()) > DSP_LINK_WAIT_MS) return Answer::None;
  }
}

int32_t Handshake(uint32_t ulMode) {
  Answer hello = Answer::None;
  for (uint32_t i = 0; i < DSP_LINK_HELLO_TRIES && hello == Answer::None; ++i) hello = Ask(DSP_LINK_HELLO, HelloAnswer);
  if (hello != Answer::Accepted) return -1;
  const uint16_t usStart = ulMode == 1 ? DSP_LINK_START : DSP_LINK_START_OTHER;
  for (uint32_t i = 0; i < DSP_LINK_START_TRIES; ++i) {
    const Answer answer = Ask(usStart, StartAnswer);
    if (answer != Answer::None) return answer == Answer::Accepted ? 0 : -1;
  }
  return -1;
}

}  // namespace

int32_t DspBootHandshake(uint32_t ulMode) {
  const int32_t lResult = Handshake(ulMode);
  const uint16_t usIdle = 0;
  WriteDspControl(&usIdle);
  return lResult;
}

// ---- mode switch, run bit and table transfer ----

namespace {

uint32_t EchoLimitMs(uint16_t usMode) {
  return usMode == DSP_MODE_IDLE || usMode == DSP_MODE_TABLE ? DSP_QUICK_ECHO_MS : DSP_SLOW_ECHO_MS;
}

// Writes the control word, then polls the status word until the mask of it
// equals the wanted bits; a try ends after more than the mode's limit.
int32_t WriteAndAwait(uint16_t usMode, uint16_t usControl, uint16_t usMask, uint16_t usWanted) {
  const uint32_t ulLimitMs = EchoLimitMs(usMode);
  for (uint32_t i = 0; i < DSP_ECHO_TRIES; ++i) {
    WriteDspControl(&usControl);
    const uint32_t ulStart = g_MsTimer.NowMs();
    for (;;) {
      uint16_t usStatus = 0;
      ReadDspStatus(&usStatus);
      if ((usStatus & usMask) == usWanted) return 0;
      if (g_MsTimer.ElapsedMs16(ulStart, g_MsTimer.NowMs()) > ulLimitMs) break;
    }
  }
  return -1;
}

void WriteWord(PhysAddr ulAddr, uint16_t usValue) { WriteDspWord(ulAddr, &usValue); }

int32_t TransferStaged(uint16_t usTableId, uint32_t ulLength) {
  WriteWord(DSP_TABLE_ID, usTableId);
  WriteWord(DSP_ADDRESS_HIGH, static_cast<uint16_t>(DSP_TABLE_STAGING >> 16));
  WriteWord(DSP_ADDRESS_LOW, static_cast<uint16_t>(DSP_TABLE_STAGING));
  if (DspSendMode(DSP_MODE_TABLE) != 0) return -1;
  uint16_t usSum = 0;
  const uint32_t ulSummed = ulLength < DSP_TABLE_STAGING_BYTES ? ulLength : DSP_TABLE_STAGING_BYTES;
  OnesComplementSum16(DSP_TABLE_STAGING, ulSummed, &usSum, CHECKSUM_READ_DIRECT);
  WriteWord(DSP_TABLE_CHECKSUM, usSum);
  if (DspSetRunBit(DSP_MODE_TABLE, 1) != 0 || DspSetRunBit(DSP_MODE_TABLE, 0) != 0) return -1;
  uint16_t usAnswer = 0;
  ReadDspWord(DSP_TABLE_ANSWER, &usAnswer);
  return usAnswer == DSP_TABLE_CHECKSUM_ERROR ? -2 : 0;
}

}  // namespace

int32_t DspSendMode(uint16_t usMode) {
  const uint16_t usNibble = static_cast<uint16_t>(usMode & DSP_MODE_MASK);
  return WriteAndAwait(usNibble, usNibble, DSP_MODE_MASK, usNibble);
}

int32_t DspSetRunBit(uint16_t usMode, uint16_t usRun) {
  const uint16_t usNibble = static_cast<uint16_t>(usMode & DSP_MODE_MASK);
  const uint16_t usRunBit = usRun != 0 ? DSP_RUN_BIT : 0;
  return WriteAndAwait(usNibble, static_cast<uint16_t>(usNibble | usRunBit), DSP_RUN_BIT, usRunBit);
}

int32_t DspSendTable(uint16_t usTableId, uint32_t ulLength) {
  const int32_t lResult = TransferStaged(usTableId, ulLength);
  DspSendMode(DSP_MODE_IDLE);
  return lResult;
}
