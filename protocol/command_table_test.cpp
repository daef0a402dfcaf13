#include "protocol/command_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "protocol/identity.h"
#include "protocol/media.h"
#include "protocol/replies.h"
#include "protocol/requests.h"
#include "protocol/status_record.h"

namespace protocol {
namespace {

TEST(ProtocolCommandTable, ListsTheThirtySixCodesAndNothingElse) {
  std::set<uint16_t> codes;
  for (const CommandInfo& row : kCommandTable) codes.insert(row.code);
  EXPECT_EQ(codes.size(), 36u);
  for (uint16_t code : {0x0000, 0xFFFF, 0x000C, 0x400E, 0x8003, 0xC007, 0xC0FE}) {
    EXPECT_EQ(FindCommand(code), nullptr) << std::hex << code;
    EXPECT_FALSE(IsServedCommand(code)) << std::hex << code;
  }
}

TEST(ProtocolCommandTable, NamedButUnservedCodesAreUnknownToThePrinter) {
  for (uint16_t code : {CMD_WAKEUP_STANDBY, CMD_USB_FIRMWARE_DOWNLOAD}) {
    const CommandInfo* row = FindCommand(code);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->answer, CommandAnswer::Unknown);
    EXPECT_FALSE(IsServedCommand(code));
    EXPECT_NE(row->traceName, nullptr);
  }
  EXPECT_STREQ(CommandTraceName(CMD_WAKEUP_STANDBY), "Wake-up Stand-by Command");
  EXPECT_STREQ(CommandTraceName(CMD_GET_DIAGNOSIS_RESULT),
               "Batch Self-diagnosis Result acquisition Command");
  EXPECT_EQ(CommandTraceName(CMD_GET_COUNTERS), nullptr);
}

TEST(ProtocolCommandTable, OnlyMirrorAndConstantQueriesAreAnsweredAtOnce) {
  std::set<uint16_t> atOnce;
  for (const CommandInfo& row : kCommandTable) {
    if (row.answer == CommandAnswer::AtOnce) atOnce.insert(row.code);
    EXPECT_EQ(row.gated, row.answer == CommandAnswer::Forwarded ||
                             row.answer == CommandAnswer::AtOnceThenPosted)
        << std::hex << row.code;
  }
  EXPECT_EQ(atOnce, (std::set<uint16_t>{CMD_GET_STATUS, CMD_GET_MEDIA_INFO, CMD_GET_MODEL_NAME,
                                        CMD_GET_SERIAL_NO, CMD_GET_MEDIA_INFO_EX}));
}

TEST(ProtocolCommandTable, JobCommandsWaitThreeSecondsAndTheRestTen) {
  for (const CommandInfo& row : kCommandTable) {
    if (row.answer != CommandAnswer::Forwarded) continue;
    const bool shortWait = row.code == CMD_GET_ERROR_LOG || row.code == CMD_PRINT ||
                           row.code == CMD_SETUP_PRINT_JOB || row.code == CMD_GET_JOB_STATUS;
    EXPECT_EQ(row.waitMs, shortWait ? 3000 : 10000) << std::hex << row.code;
  }
}

TEST(ProtocolCommandTable, HostAndPrinterPayloadsDifferOnlyWhereSettled) {
  for (const CommandInfo& row : kCommandTable) {
    if (row.code == CMD_SETUP_PRINT_JOB) {
      EXPECT_EQ(row.printerReads, 31);
      EXPECT_EQ(row.hostSends, 60);
    } else if (row.code == CMD_GET_JOB_STATUS) {
      EXPECT_EQ(row.printerReads, 1);
      EXPECT_EQ(row.hostSends, 0);
    } else if (row.code == CMD_READ_HEAD_EEPROM) {
      EXPECT_EQ(row.printerReads, 2);
      EXPECT_EQ(row.hostSends, 1);
    } else {
      EXPECT_EQ(row.printerReads, row.hostSends) << std::hex << row.code;
    }
  }
}

TEST(ProtocolCommandTable, DataPhasesAndVariableRows) {
  EXPECT_EQ(FindCommand(CMD_PRINT)->dataPhase, DataPhase::PrintData);
  EXPECT_EQ(FindCommand(CMD_UPDATE)->dataPhase, DataPhase::UpdateData);
  EXPECT_EQ(FindCommand(CMD_READ_TONE_CURVE)->dataPhase, DataPhase::ToneCurvePieces);
  int withPhase = 0;
  for (const CommandInfo& row : kCommandTable) withPhase += row.dataPhase != DataPhase::None;
  EXPECT_EQ(withPhase, 3);

  EXPECT_TRUE(FindCommand(CMD_UNIVERSAL)->variablePayload);
  EXPECT_TRUE(FindCommand(CMD_UNIVERSAL)->variableReply);
  EXPECT_TRUE(FindCommand(CMD_SET_EEPROM_MAINTENANCE)->variablePayload);
  EXPECT_TRUE(FindCommand(CMD_SET_EEPROM_MAINTENANCE)->needsMaintPermission);
  EXPECT_EQ(FindCommand(CMD_RESET)->answer, CommandAnswer::AtOnceThenPosted);
  EXPECT_EQ(FindCommand(CMD_MAINTENANCE_PERMISSION)->answer, CommandAnswer::AtOnceThenPosted);
}

TEST(ProtocolCommandTable, RequestCodesAreUniqueAndMarkedAsRequests) {
  std::set<uint16_t> requests;
  for (const CommandInfo& row : kCommandTable) {
    if (row.appRequest == 0) continue;
    EXPECT_TRUE(requests.insert(row.appRequest).second) << std::hex << row.appRequest;
  }
  EXPECT_EQ(FindCommand(CMD_PRINT)->appRequest, 0x8001);
  EXPECT_EQ(FindCommand(CMD_UNIVERSAL)->appRequest, 0x80FF);
}

// The codec's layouts and the table must agree on every size.
template <typename Layout>
void ExpectRequestSize() {
  const CommandInfo* row = FindCommand(Layout::kCode);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->printerReads, Layout::kSize) << std::hex << Layout::kCode;
}
template <typename Layout>
void ExpectReplySize() {
  const CommandInfo* row = FindCommand(Layout::kCode);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->replyLength, Layout::kSize) << std::hex << Layout::kCode;
}

TEST(ProtocolCommandTable, AgreesWithEveryFixedLayout) {
  ExpectRequestSize<PrintRequest>();
  ExpectRequestSize<CancelPrintJobRequest>();
  ExpectRequestSize<ResetRequest>();
  ExpectRequestSize<ReadToneCurveRequest>();
  ExpectRequestSize<OperationButtonRequest>();
  ExpectRequestSize<GetParameterRequest>();
  ExpectRequestSize<SetParameterRequest>();
  ExpectRequestSize<SetLaminateStringRequest>();
  ExpectRequestSize<SetCutListRequest>();
  ExpectRequestSize<SetupPrintJobRequest>();
  ExpectRequestSize<GetJobStatusRequest>();
  ExpectRequestSize<JobImageControlRequest>();
  ExpectRequestSize<MaintenancePermissionRequest>();
  ExpectRequestSize<SelfDiagnosisRequest>();
  ExpectRequestSize<GetFirmwareInfoRequest>();
  ExpectRequestSize<UpdateRequest>();
  ExpectRequestSize<GetEepromMaintenanceRequest>();
  ExpectRequestSize<SetSerialNoRequest>();
  ExpectRequestSize<ReadHeadEepromRequest>();
  ExpectRequestSize<GetPrinterIdStatusRequest>();

  ExpectReplySize<PrintReply>();
  ExpectReplySize<ReadToneCurveReply>();
  ExpectReplySize<ErrorLogReply>();
  ExpectReplySize<GetParameterReply>();
  ExpectReplySize<SerialNoReply>();
  ExpectReplySize<PrinterIdStatusReply>();
  ExpectReplySize<CountersReply>();
  ExpectReplySize<ExitTrayStatusReply>();
  ExpectReplySize<BufferStatusReply>();
  ExpectReplySize<SetupPrintJobReply>();
  ExpectReplySize<JobStatusReply>();
  ExpectReplySize<SelfDiagnosisReply>();
  ExpectReplySize<DiagnosisResultReply>();
  ExpectReplySize<FirmwareInfoRecord>();
  ExpectReplySize<ReadHeadEepromReply>();
  ExpectReplySize<MediaInfoReply>();
  ExpectReplySize<MediaInfoExReply>();
  ExpectReplySize<ModelNameReply>();
  EXPECT_EQ(FindCommand(CMD_GET_STATUS)->replyLength, STATUS_REPLY_SIZE);
}

}  // namespace
}  // namespace protocol
