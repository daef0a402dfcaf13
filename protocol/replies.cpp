#include "protocol/replies.h"

#include <cstring>

namespace protocol {
namespace {

template <typename T>
int32_t Begin(const uint8_t* in, size_t length, T* r) {
  if (r == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  *r = T{};
  if (in == nullptr && length != 0) return WIRE_ERR_BAD_ARGUMENT;
  return CheckExactLength(length, T::kSize);
}

}  // namespace

int32_t EncodeReply(const PrintReply& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, PrintReply::kSize);
  if (n < 0) return n;
  out[0] = r.slotIndex;
  return n;
}

int32_t DecodeReply(const uint8_t* in, size_t length, PrintReply* r) {
  if (const int32_t rc = Begin(in, length, r); rc != WIRE_OK) return rc;
  r->slotIndex = in[0];
  return WIRE_OK;
}

int32_t EncodeReply(const ReadToneCurveReply& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, ReadToneCurveReply::kSize);
  if (n < 0) return n;
  PutU16(out, r.size);
  return n;
}

int32_t DecodeReply(const uint8_t* in, size_t length, ReadToneCurveReply* r) {
  if (const int32_t rc = Begin(in, length, r); rc != WIRE_OK) return rc;
  r->size = GetU16(in);
  return WIRE_OK;
}

// --- CMD_GET_ERROR_LOG ------------------------------------------------------

int32_t EncodeReply(const ErrorLogReply& r, uint8_t* out, size_t capacity) {
  if (r.count > ERROR_LOG_ENTRIES_MAX) return WIRE_ERR_BAD_VALUE;
  const int32_t n = PrepareOutput(out, capacity, ErrorLogReply::kSize);
  if (n < 0) return n;
  out[0] = r.count;
  for (size_t i = 0; i < ERROR_LOG_ENTRIES_MAX; ++i) {
    uint8_t* e = out + 1 + 6 * i;
    e[0] = r.entries[i].codeMajor;
    e[1] = r.entries[i].codeMinor;
    PutU32(e + 2, r.entries[i].totalCount);
  }
  return n;
}

int32_t DecodeReply(const uint8_t* in, size_t length, ErrorLogReply* r) {
  if (const int32_t rc = Begin(in, length, r); rc != WIRE_OK) return rc;
  for (size_t i = 0; i < ERROR_LOG_ENTRIES_MAX; ++i) {
    const uint8_t* e = in + 1 + 6 * i;
    r->entries[i].codeMajor = e[0];
    r->entries[i].codeMinor = e[1];
    r->entries[i].totalCount = GetU32(e + 2);
  }
  if (in[0] > ERROR_LOG_ENTRIES_MAX) {
    r->count = ERROR_LOG_ENTRIES_MAX;
    return WIRE_ERR_BAD_VALUE;
  }
  r->count = in[0];
  return WIRE_OK;
}

// --- CMD_GET_PARAMETER, CMD_GET_SERIAL_NO -----------------------------------

int32_t EncodeReply(const GetParameterReply& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, GetParameterReply::kSize);
  if (n < 0) return n;
  PutU32(out, static_cast<uint32_t>(r.value));
  return n;
}

int32_t DecodeReply(const uint8_t* in, size_t length, GetParameterReply* r) {
  if (const int32_t rc = Begin(in, length, r); rc != WIRE_OK) return rc;
  r->value = static_cast<int32_t>(GetU32(in));
  return WIRE_OK;
}

int32_t EncodeReply(const SerialNoReply& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, SerialNoReply::kSize);
  if (n < 0) return n;
  const bool erased = static_cast<uint8_t>(r.serial[0]) == 0xFFu;
  std::memcpy(out, erased ? SERIAL_NO_ERASED_TEXT : r.serial, SerialNoReply::kSize);
  return n;
}

int32_t DecodeReply(const uint8_t* in, size_t length, SerialNoReply* r) {
  if (const int32_t rc = Begin(in, length, r); rc != WIRE_OK) return rc;
  std::memcpy(r->serial, in, SerialNoReply::kSize);
  return WIRE_OK;
}

// --- Job and counter replies ------------------------------------------------

int32_t EncodeReply(const PrinterIdStatusReply& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, PrinterIdStatusReply::kSize);
  if (n < 0) return n;
  out[0] = r.jobId;
  PutU16(out + 1, r.copiesLeft);
  PutU16(out + 3, r.copiesPrinted);
  PutU16(out + 5, r.copies);
  PutU16(out + 7, r.jobPhase);
  return n;
}

int32_t DecodeReply(const uint8_t* in, size_t length, PrinterIdStatusReply* r) {
  if (const int32_t rc = Begin(in, length, r); rc != WIRE_OK) return rc;
  r->jobId = in[0];
  r->copiesLeft = GetU16(in + 1);
  r->copiesPrinted = GetU16(in + 3);
  r->copies = GetU16(in + 5);
  r->jobPhase = GetU16(in + 7);
  return WIRE_OK;
}

int32_t EncodeReply(const CountersReply& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, CountersReply::kSize);
  if (n < 0) return n;
  PutU32(out + 0, r.cut);
  PutU32(out + 4, r.carousel);
  PutU32(out + 8, r.headLengthL);
  PutU32(out + 12, r.headLengthR);
  PutU32(out + 16, r.headPrintsL);
  PutU32(out + 20, r.headPrintsR);
  return n;
}

int32_t DecodeReply(const uint8_t* in, size_t length, CountersReply* r) {
  if (const int32_t rc = Begin(in, length, r); rc != WIRE_OK) return rc;
  r->cut = GetU32(in + 0);
  r->carousel = GetU32(in + 4);
  r->headLengthL = GetU32(in + 8);
  r->headLengthR = GetU32(in + 12);
  r->headPrintsL = GetU32(in + 16);
  r->headPrintsR = GetU32(in + 20);
  return WIRE_OK;
}

int32_t EncodeReply(const ExitTrayStatusReply& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, ExitTrayStatusReply::kSize);
  if (n < 0) return n;
  out[0] = r.trayState;
  return n;
}

int32_t DecodeReply(const uint8_t* in, size_t length, ExitTrayStatusReply* r) {
  if (const int32_t rc = Begin(in, length, r); rc != WIRE_OK) return rc;
  r->trayState = in[0];
  return WIRE_OK;
}

int32_t EncodeReply(const BufferStatusReply& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, BufferStatusReply::kSize);
  if (n < 0) return n;
  for (size_t i = 0; i < BUFFER_STATUS_ENTRIES; ++i) {
    out[4 * i + 0] = r.entries[i].inUse;
    out[4 * i + 1] = r.entries[i].firstTag;
    out[4 * i + 2] = r.entries[i].secondTag;
  }
  return n;
}

int32_t DecodeReply(const uint8_t* in, size_t length, BufferStatusReply* r) {
  if (const int32_t rc = Begin(in, length, r); rc != WIRE_OK) return rc;
  for (size_t i = 0; i < BUFFER_STATUS_ENTRIES; ++i) {
    r->entries[i].inUse = in[4 * i + 0];
    r->entries[i].firstTag = in[4 * i + 1];
    r->entries[i].secondTag = in[4 * i + 2];
  }
  return WIRE_OK;
}

int32_t EncodeReply(const SetupPrintJobReply& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, SetupPrintJobReply::kSize);
  if (n < 0) return n;
  out[0] = r.jobId;
  out[1] = r.assignment[0];
  out[2] = r.assignment[1];
  out[3] = r.assignment[2];
  return n;
}

int32_t DecodeReply(const uint8_t* in, size_t length, SetupPrintJobReply* r) {
  if (const int32_t rc = Begin(in, length, r); rc != WIRE_OK) return rc;
  r->jobId = in[0];
  r->assignment[0] = in[1];
  r->assignment[1] = in[2];
  r->assignment[2] = in[3];
  return WIRE_OK;
}

int32_t EncodeReply(const JobStatusReply& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, JobStatusReply::kSize);
  if (n < 0) return n;
  out[0] = r.jobId;
  PutU16(out + 1, r.copies);
  out[3] = r.receiveState;
  out[8] = r.cutCount;
  for (size_t i = 0; i < CUT_POSITIONS_MAX; ++i) PutU16(out + 9 + 2 * i, r.cutPositions[i]);
  out[29] = r.firstUnitSelection;
  out[30] = r.printMode;
  return n;
}

int32_t DecodeReply(const uint8_t* in, size_t length, JobStatusReply* r) {
  if (const int32_t rc = Begin(in, length, r); rc != WIRE_OK) return rc;
  r->jobId = in[0];
  r->copies = GetU16(in + 1);
  r->receiveState = in[3];
  r->cutCount = in[8];
  for (size_t i = 0; i < CUT_POSITIONS_MAX; ++i) r->cutPositions[i] = GetU16(in + 9 + 2 * i);
  r->firstUnitSelection = in[29];
  r->printMode = in[30];
  return WIRE_OK;
}

// --- Diagnosis, firmware information, head EEPROM ---------------------------

int32_t EncodeReply(const SelfDiagnosisReply& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, SelfDiagnosisReply::kSize);
  if (n < 0) return n;
  out[0] = r.subCommand;
  out[1] = r.deviceId;
  out[2] = r.action;
  out[3] = r.value;
  return n;
}

int32_t DecodeReply(const uint8_t* in, size_t length, SelfDiagnosisReply* r) {
  if (const int32_t rc = Begin(in, length, r); rc != WIRE_OK) return rc;
  r->subCommand = in[0];
  r->deviceId = in[1];
  r->action = in[2];
  r->value = in[3];
  return WIRE_OK;
}

int32_t EncodeReply(const DiagnosisResultReply& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, DiagnosisResultReply::kSize);
  if (n < 0) return n;
  std::memcpy(out, r.results, DIAGNOSIS_RESULT_SIZE);
  return n;
}

int32_t DecodeReply(const uint8_t* in, size_t length, DiagnosisResultReply* r) {
  if (const int32_t rc = Begin(in, length, r); rc != WIRE_OK) return rc;
  std::memcpy(r->results, in, DIAGNOSIS_RESULT_SIZE);
  return WIRE_OK;
}

int32_t EncodeReply(const FirmwareInfoRecord& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, FirmwareInfoRecord::kSize);
  if (n < 0) return n;
  std::memcpy(out + 0, r.programName, sizeof r.programName);
  std::memcpy(out + 8, r.programType, sizeof r.programType);
  std::memcpy(out + 24, r.createDate, sizeof r.createDate);
  out[34] = r.versionMajor;
  out[35] = r.versionMinor;
  PutU16(out + 36, r.imageChecksum);
  return n;
}

int32_t DecodeReply(const uint8_t* in, size_t length, FirmwareInfoRecord* r) {
  if (const int32_t rc = Begin(in, length, r); rc != WIRE_OK) return rc;
  std::memcpy(r->programName, in + 0, sizeof r->programName);
  std::memcpy(r->programType, in + 8, sizeof r->programType);
  std::memcpy(r->createDate, in + 24, sizeof r->createDate);
  r->versionMajor = in[34];
  r->versionMinor = in[35];
  r->imageChecksum = GetU16(in + 36);
  return WIRE_OK;
}

int32_t EncodeReply(const ReadHeadEepromReply& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, ReadHeadEepromReply::kSize);
  if (n < 0) return n;
  out[0] = r.value;
  return n;
}

int32_t DecodeReply(const uint8_t* in, size_t length, ReadHeadEepromReply* r) {
  if (const int32_t rc = Begin(in, length, r); rc != WIRE_OK) return rc;
  r->value = in[0];
  return WIRE_OK;
}

// --- CMD_UNIVERSAL ----------------------------------------------------------

int32_t EncodeReply(const UniversalReply& r, uint8_t* out, size_t capacity) {
  return EncodeCounted(r.data, r.length, UNIVERSAL_REPLY_DATA_MAX, out, capacity);
}

int32_t DecodeReply(const uint8_t* in, size_t length, UniversalReply* r) {
  if (r == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  *r = UniversalReply{};
  if (in == nullptr || length < 1) return WIRE_ERR_SHORT_BUFFER;
  if (in[0] > UNIVERSAL_REPLY_DATA_MAX) return WIRE_ERR_BAD_VALUE;
  if (const int32_t rc = CheckExactLength(length, 1u + in[0]); rc != WIRE_OK) return rc;
  r->length = in[0];
  std::memcpy(r->data, in + 1, r->length);
  return WIRE_OK;
}

}  // namespace protocol
