// The print path's entries find the caller's session; without one they
// answer RESULT_NO_SESSION.
#include "library_test_support.h"
#include "print_entries.h"

namespace hostlib_test {
namespace {

using namespace hostlib;

TEST_F(LibraryTest, PrintEntriesWithoutASessionAnswerNoSession) {
  uint8_t bytes[64] = {};
  uint16_t words[768] = {};
  uint32_t length = 4;
  struct Case {
    const char *what;
    std::function<int(uint16_t *)> call;
  };
  const Case cases[] = {
      {"SetImageFormat", [](uint16_t *err) { return EntrySetImageFormat(3, 3, 8, 10, 10, 0, 0, err); }},
      {"SetupPrintJob",
       [&](uint16_t *err) {
         return EntrySetupPrintJob(words, bytes, bytes + 2, bytes + 4, 1, 0, 0, 0, 0, nullptr, err);
       }},
      {"GetJobStatus",
       [&](uint16_t *err) {
         return EntryGetJobStatus(words, words + 1, bytes, bytes + 1, words + 2, words + 3, bytes + 8, err);
       }},
      {"StartPrint", [](uint16_t *err) { return EntryStartPrint(1, 0, err); }},
      {"SendPrintData", [&](uint16_t *err) { return EntrySendPrintData(bytes, &length, err); }},
      {"SendImageStrips", [&](uint16_t *err) { return EntrySendImageStrips(bytes, &length, err); }},
      {"EndPrintData", [](uint16_t *err) { return EntryEndPrintData(err); }},
      {"ClearPrintFlag", [](uint16_t *err) { return EntryClearPrintFlag(err); }},
      {"ResetJobFields", [](uint16_t *err) { return EntryResetJobFields(err); }},
      {"CancelPrintJob", [](uint16_t *err) { return EntryCancelPrintJob(0, 0, err); }},
      {"GetPrinterIdStatus", [&](uint16_t *err) { return EntryGetPrinterIdStatus(0, words, err); }},
      {"UploadLaminatePattern", [&](uint16_t *err) { return EntryUploadLaminatePattern(2, bytes, err); }},
      {"WriteToneCurve", [&](uint16_t *err) { return EntryWriteToneCurve(0, 1, bytes, err); }},
      {"ReadToneCurve", [&](uint16_t *err) { return EntryReadToneCurve(1, 1, words, err); }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    uint16_t err = 0xFFFF;
    EXPECT_EQ(c.call(&err), 0);
    EXPECT_EQ(err, RESULT_NO_SESSION);
  }
  EXPECT_EQ(EntrySendPaddingRows(10, 1), 0);
  const uint8_t numbers[] = {0, 3, 7, 255, 1};
  uint16_t codes[5] = {0, 0, 0, 0xEEEE, 0xEEEE};
  EXPECT_EQ(EntryGetStatusOfPrinters(numbers, codes), 0);
  EXPECT_EQ(std::vector<uint16_t>(codes, codes + 5),
            (std::vector<uint16_t>{RESULT_NO_SESSION, RESULT_NO_SESSION, RESULT_NO_SESSION, 0xEEEE, 0xEEEE}));
}

// With a session the entry reaches it: the refusal is the operation's.
TEST_F(LibraryTest, PrintEntriesReachTheCallersSession) {
  usbctrl_double::AddPrinter("R0000001");
  Open();
  uint16_t err = 0xFFFF;
  EXPECT_EQ(EntrySetImageFormat(3, 3, 8, 4097, 10, 0, 0, &err), 0);
  EXPECT_EQ(err, RESULT_BAD_PARAMETER);
  EXPECT_EQ(EntryResetJobFields(&err), 1);
  EXPECT_EQ(FirstSession().Image().width, 1200);
  const uint8_t numbers[] = {0, 255};
  uint16_t codes[1] = {0xEEEE};
  EXPECT_EQ(EntryGetStatusOfPrinters(numbers, codes), 1);
  EXPECT_EQ(codes[0], RESULT_OK);
}

}  // namespace
}  // namespace hostlib_test
