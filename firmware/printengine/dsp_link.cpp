// The link's start-up handshake: the DSP echoes a hello, then accepts (or
// refuses) the start. Each wait is a busy poll of the status word on the
// millisecond time base.
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
