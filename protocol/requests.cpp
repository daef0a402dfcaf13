#include "protocol/requests.h"

#include <algorithm>
#include <cstring>

namespace protocol {
namespace {

template <typename T>
int32_t Begin(const uint8_t* in, size_t length, T* r, PayloadReader* reader) {
  if (r == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  *r = T{};
  *reader = PayloadReader(in, length);
  return WIRE_OK;
}

}  // namespace

// --- CMD_PRINT --------------------------------------------------------------

int32_t EncodeRequest(const PrintRequest& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, PrintRequest::kSize);
  if (n < 0) return n;
  out[0] = r.jobNumber;
  out[1] = r.hostArgument;
  PutU16(out + 3, r.imageWidth);
  PutU16(out + 5, r.imageHeight);
  PutU16(out + 7, r.mediaMaxWidth);
  PutU16(out + 9, r.mediaMaxHeight);
  PutU16(out + 11, r.xOffset);
  PutU16(out + 13, r.yOffset);
  out[15] = r.printOptionA;
  out[16] = r.imageType;
  out[17] = r.printOptionB;
  return n;
}

int32_t DecodeRequest(const uint8_t* in, size_t length, PrintRequest* r) {
  PayloadReader p(nullptr, 0);
  if (const int32_t rc = Begin(in, length, r, &p); rc != WIRE_OK) return rc;
  r->jobNumber = p.U8(0);
  r->hostArgument = p.U8(1);
  r->imageWidth = p.U16(3);
  r->imageHeight = p.U16(5);
  r->mediaMaxWidth = p.U16(7);
  r->mediaMaxHeight = p.U16(9);
  r->xOffset = p.U16(11);
  r->yOffset = p.U16(13);
  r->printOptionA = p.U8(15);
  r->imageType = p.U8(16);
  r->printOptionB = p.U8(17);
  return WIRE_OK;
}

// --- Two-byte and one-byte requests -----------------------------------------

int32_t EncodeRequest(const CancelPrintJobRequest& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, CancelPrintJobRequest::kSize);
  if (n < 0) return n;
  out[0] = r.jobNumber;
  out[1] = r.mode;
  return n;
}

int32_t DecodeRequest(const uint8_t* in, size_t length, CancelPrintJobRequest* r) {
  PayloadReader p(nullptr, 0);
  if (const int32_t rc = Begin(in, length, r, &p); rc != WIRE_OK) return rc;
  r->jobNumber = p.U8(0);
  r->mode = p.U8(1);
  return WIRE_OK;
}

int32_t EncodeRequest(const ResetRequest& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, ResetRequest::kSize);
  if (n < 0) return n;
  out[0] = r.kind;
  out[1] = r.argument;
  return n;
}

int32_t DecodeRequest(const uint8_t* in, size_t length, ResetRequest* r) {
  PayloadReader p(nullptr, 0);
  if (const int32_t rc = Begin(in, length, r, &p); rc != WIRE_OK) return rc;
  r->kind = p.U8(0);
  r->argument = p.U8(1);
  return WIRE_OK;
}

int32_t EncodeRequest(const ReadToneCurveRequest& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, ReadToneCurveRequest::kSize);
  if (n < 0) return n;
  out[0] = r.type;
  out[1] = r.curve;
  return n;
}

int32_t DecodeRequest(const uint8_t* in, size_t length, ReadToneCurveRequest* r) {
  PayloadReader p(nullptr, 0);
  if (const int32_t rc = Begin(in, length, r, &p); rc != WIRE_OK) return rc;
  r->type = p.U8(0);
  r->curve = p.U8(1);
  return WIRE_OK;
}

int32_t EncodeRequest(const OperationButtonRequest& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, OperationButtonRequest::kSize);
  if (n < 0) return n;
  out[0] = r.enable;
  return n;
}

int32_t DecodeRequest(const uint8_t* in, size_t length, OperationButtonRequest* r) {
  PayloadReader p(nullptr, 0);
  if (const int32_t rc = Begin(in, length, r, &p); rc != WIRE_OK) return rc;
  r->enable = p.U8(0);
  return WIRE_OK;
}

int32_t EncodeRequest(const GetParameterRequest& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, GetParameterRequest::kSize);
  if (n < 0) return n;
  out[0] = r.parameterId;
  return n;
}

int32_t DecodeRequest(const uint8_t* in, size_t length, GetParameterRequest* r) {
  PayloadReader p(nullptr, 0);
  if (const int32_t rc = Begin(in, length, r, &p); rc != WIRE_OK) return rc;
  r->parameterId = p.U8(0);
  return WIRE_OK;
}

int32_t EncodeRequest(const SetParameterRequest& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, SetParameterRequest::kSize);
  if (n < 0) return n;
  out[0] = r.parameterId;
  PutU32(out + 1, static_cast<uint32_t>(r.value));
  return n;
}

int32_t DecodeRequest(const uint8_t* in, size_t length, SetParameterRequest* r) {
  PayloadReader p(nullptr, 0);
  if (const int32_t rc = Begin(in, length, r, &p); rc != WIRE_OK) return rc;
  r->parameterId = p.U8(0);
  r->value = static_cast<int32_t>(p.U32(1));
  return WIRE_OK;
}

// --- CMD_SET_LAMINATE_STRING ------------------------------------------------

int32_t EncodeRequest(const SetLaminateStringRequest& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, SetLaminateStringRequest::kSize);
  if (n < 0) return n;
  out[0] = r.itemNumber;
  PutU16(out + 1, r.x);
  PutU16(out + 3, r.y);
  out[5] = r.style1;
  out[6] = r.style2;
  out[7] = std::min(r.textLength, LAMINATE_TEXT_MAX);
  std::memcpy(out + 8, r.text, LAMINATE_TEXT_MAX);
  return n;
}

int32_t DecodeRequest(const uint8_t* in, size_t length, SetLaminateStringRequest* r) {
  PayloadReader p(nullptr, 0);
  if (const int32_t rc = Begin(in, length, r, &p); rc != WIRE_OK) return rc;
  r->itemNumber = p.U8(0);
  r->x = p.U16(1);
  r->y = p.U16(3);
  r->style1 = p.U8(5);
  r->style2 = p.U8(6);
  r->textLength = std::min(p.U8(7), LAMINATE_TEXT_MAX);
  p.Copy(8, r->text, LAMINATE_TEXT_MAX);
  return WIRE_OK;
}

// --- CMD_SET_CUT_LIST -------------------------------------------------------

int32_t EncodeRequest(const SetCutListRequest& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, SetCutListRequest::kSize);
  if (n < 0) return n;
  for (size_t i = 0; i < 4; ++i) PutU16(out + 2 * i, r.cutPositions[i]);
  return n;
}

int32_t DecodeRequest(const uint8_t* in, size_t length, SetCutListRequest* r) {
  PayloadReader p(nullptr, 0);
  if (const int32_t rc = Begin(in, length, r, &p); rc != WIRE_OK) return rc;
  for (size_t i = 0; i < 4; ++i) r->cutPositions[i] = p.U16(2 * i);
  return WIRE_OK;
}

// --- CMD_SETUP_PRINT_JOB ----------------------------------------------------

int32_t EncodeRequest(const SetupPrintJobRequest& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, SetupPrintJobRequest::kSize);
  if (n < 0) return n;
  PutU16(out + 0, r.copies);
  out[2] = r.unitRequest;
  out[3] = r.finishOptions;
  PutU16(out + 4, r.cutOffset1);
  PutU16(out + 6, r.cutOffset2);
  out[8] = r.cutCount;
  for (size_t i = 0; i < CUT_POSITIONS_MAX; ++i) PutU16(out + 9 + 2 * i, r.cutPositions[i]);
  out[29] = r.firstUnitSelection;
  out[30] = r.printMode;
  return n;
}

int32_t DecodeRequest(const uint8_t* in, size_t length, SetupPrintJobRequest* r) {
  PayloadReader p(nullptr, 0);
  if (const int32_t rc = Begin(in, length, r, &p); rc != WIRE_OK) return rc;
  r->copies = p.U16(0);
  r->unitRequest = p.U8(2);
  r->finishOptions = p.U8(3);
  r->cutOffset1 = p.U16(4);
  r->cutOffset2 = p.U16(6);
  r->cutCount = p.U8(8);
  for (size_t i = 0; i < CUT_POSITIONS_MAX; ++i) r->cutPositions[i] = p.U16(9 + 2 * i);
  r->firstUnitSelection = p.U8(29);
  r->printMode = p.U8(30);
  return WIRE_OK;
}

// --- One-byte job and component requests ------------------------------------

namespace {

// A request of one byte, held in `field`.
template <typename T>
int32_t EncodeOneByte(const T& r, uint8_t T::*field, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, T::kSize);
  if (n < 0) return n;
  out[0] = r.*field;
  return n;
}

template <typename T>
int32_t DecodeOneByte(const uint8_t* in, size_t length, T* r, uint8_t T::*field) {
  PayloadReader p(nullptr, 0);
  if (const int32_t rc = Begin(in, length, r, &p); rc != WIRE_OK) return rc;
  r->*field = p.U8(0);
  return WIRE_OK;
}

}  // namespace

int32_t EncodeRequest(const GetJobStatusRequest& r, uint8_t* out, size_t capacity) {
  return EncodeOneByte(r, &GetJobStatusRequest::jobId, out, capacity);
}

int32_t DecodeRequest(const uint8_t* in, size_t length, GetJobStatusRequest* r) {
  return DecodeOneByte(in, length, r, &GetJobStatusRequest::jobId);
}

int32_t EncodeRequest(const JobImageControlRequest& r, uint8_t* out, size_t capacity) {
  return EncodeOneByte(r, &JobImageControlRequest::control, out, capacity);
}

int32_t DecodeRequest(const uint8_t* in, size_t length, JobImageControlRequest* r) {
  return DecodeOneByte(in, length, r, &JobImageControlRequest::control);
}

int32_t EncodeRequest(const GetFirmwareInfoRequest& r, uint8_t* out, size_t capacity) {
  return EncodeOneByte(r, &GetFirmwareInfoRequest::component, out, capacity);
}

int32_t DecodeRequest(const uint8_t* in, size_t length, GetFirmwareInfoRequest* r) {
  return DecodeOneByte(in, length, r, &GetFirmwareInfoRequest::component);
}

int32_t EncodeRequest(const GetPrinterIdStatusRequest& r, uint8_t* out, size_t capacity) {
  return EncodeOneByte(r, &GetPrinterIdStatusRequest::jobId, out, capacity);
}

int32_t DecodeRequest(const uint8_t* in, size_t length, GetPrinterIdStatusRequest* r) {
  return DecodeOneByte(in, length, r, &GetPrinterIdStatusRequest::jobId);
}

// --- CMD_SELF_DIAGNOSIS -----------------------------------------------------

int32_t EncodeRequest(const SelfDiagnosisRequest& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, SelfDiagnosisRequest::kSize);
  if (n < 0) return n;
  out[0] = r.subCommand;
  out[1] = r.deviceId;
  out[2] = r.action;
  return n;
}

int32_t DecodeRequest(const uint8_t* in, size_t length, SelfDiagnosisRequest* r) {
  PayloadReader p(nullptr, 0);
  if (const int32_t rc = Begin(in, length, r, &p); rc != WIRE_OK) return rc;
  r->subCommand = p.U8(0);
  r->deviceId = p.U8(1);
  r->action = p.U8(2);
  return WIRE_OK;
}

// --- CMD_UPDATE -------------------------------------------------------------

int32_t EncodeRequest(const UpdateRequest& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, UpdateRequest::kSize);
  if (n < 0) return n;
  out[0] = r.kind;
  out[1] = r.argument;
  out[2] = r.noReset;
  out[3] = r.reserved[0];
  out[4] = r.reserved[1];
  out[5] = r.reserved[2];
  PutU32(out + 6, r.dataSize);
  return n;
}

int32_t DecodeRequest(const uint8_t* in, size_t length, UpdateRequest* r) {
  PayloadReader p(nullptr, 0);
  if (const int32_t rc = Begin(in, length, r, &p); rc != WIRE_OK) return rc;
  r->kind = p.U8(0);
  r->argument = p.U8(1);
  r->noReset = p.U8(2);
  r->reserved[0] = p.U8(3);
  r->reserved[1] = p.U8(4);
  r->reserved[2] = p.U8(5);
  r->dataSize = p.U32(6);
  return WIRE_OK;
}

// --- EEPROM maintenance -----------------------------------------------------

int32_t EncodeRequest(const MaintenancePermissionRequest& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, MaintenancePermissionRequest::kSize);
  if (n < 0) return n;
  out[0] = r.bytes[0];
  out[1] = r.bytes[1];
  return n;
}

int32_t DecodeRequest(const uint8_t* in, size_t length, MaintenancePermissionRequest* r) {
  PayloadReader p(nullptr, 0);
  if (const int32_t rc = Begin(in, length, r, &p); rc != WIRE_OK) return rc;
  r->bytes[0] = p.U8(0);
  r->bytes[1] = p.U8(1);
  return WIRE_OK;
}

int32_t EncodeRequest(const GetEepromMaintenanceRequest& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, GetEepromMaintenanceRequest::kSize);
  if (n < 0) return n;
  out[0] = r.bytes[0];
  out[1] = r.bytes[1];
  return n;
}

int32_t DecodeRequest(const uint8_t* in, size_t length, GetEepromMaintenanceRequest* r) {
  PayloadReader p(nullptr, 0);
  if (const int32_t rc = Begin(in, length, r, &p); rc != WIRE_OK) return rc;
  r->bytes[0] = p.U8(0);
  r->bytes[1] = p.U8(1);
  return WIRE_OK;
}

int32_t EncodeRequest(const SetEepromMaintenanceRequest& r, uint8_t* out, size_t capacity) {
  if (r.dataLength > EEPROM_MAINTENANCE_DATA_MAX) return WIRE_ERR_BAD_VALUE;
  const int32_t n = PrepareOutput(out, capacity, 2u + r.dataLength);
  if (n < 0) return n;
  out[0] = r.bytes[0];
  out[1] = r.bytes[1];
  std::memcpy(out + 2, r.data, r.dataLength);
  return n;
}

int32_t DecodeRequest(const uint8_t* in, size_t length, SetEepromMaintenanceRequest* r) {
  PayloadReader p(nullptr, 0);
  if (const int32_t rc = Begin(in, length, r, &p); rc != WIRE_OK) return rc;
  r->bytes[0] = p.U8(0);
  r->bytes[1] = p.U8(1);
  const size_t available = p.Length() > 2 ? p.Length() - 2 : 0;
  r->dataLength = static_cast<uint8_t>(std::min<size_t>(available, EEPROM_MAINTENANCE_DATA_MAX));
  p.Copy(2, r->data, r->dataLength);
  return WIRE_OK;
}

// --- CMD_SET_SERIAL_NO, CMD_READ_HEAD_EEPROM --------------------------------

int32_t EncodeRequest(const SetSerialNoRequest& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, SetSerialNoRequest::kSize);
  if (n < 0) return n;
  std::memcpy(out, r.serial, SetSerialNoRequest::kSize);
  return n;
}

int32_t DecodeRequest(const uint8_t* in, size_t length, SetSerialNoRequest* r) {
  PayloadReader p(nullptr, 0);
  if (const int32_t rc = Begin(in, length, r, &p); rc != WIRE_OK) return rc;
  p.Copy(0, r->serial, SetSerialNoRequest::kSize);
  return WIRE_OK;
}

int32_t EncodeRequest(const ReadHeadEepromRequest& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, ReadHeadEepromRequest::kSize);
  if (n < 0) return n;
  out[0] = r.unit;
  out[1] = r.address;
  return n;
}

int32_t DecodeRequest(const uint8_t* in, size_t length, ReadHeadEepromRequest* r) {
  PayloadReader p(nullptr, 0);
  if (const int32_t rc = Begin(in, length, r, &p); rc != WIRE_OK) return rc;
  r->unit = p.U8(0);
  r->address = p.U8(1);
  return WIRE_OK;
}

// --- CMD_UNIVERSAL ----------------------------------------------------------

int32_t EncodeRequest(const UniversalRequest& r, uint8_t* out, size_t capacity) {
  return EncodeCounted(r.data, r.count, UNIVERSAL_REQUEST_DATA_MAX, out, capacity);
}

int32_t DecodeRequest(const uint8_t* in, size_t length, UniversalRequest* r) {
  PayloadReader p(nullptr, 0);
  if (const int32_t rc = Begin(in, length, r, &p); rc != WIRE_OK) return rc;
  const uint8_t count = p.U8(0);
  if (count > UNIVERSAL_REQUEST_DATA_MAX) return WIRE_ERR_BAD_VALUE;
  r->count = count;
  p.Copy(1, r->data, count);
  return WIRE_OK;
}

int32_t EncodeEmptyRequestPacket(uint16_t code, uint8_t* out, size_t capacity) {
  return EncodeCommandPacket(code, nullptr, 0, out, capacity);
}

}  // namespace protocol
