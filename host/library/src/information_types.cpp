// The information-type tables.
#include "information_types.h"

#include "bom7300upgrade.h"

namespace hostlib {

namespace {

using S = InfoSource;

constexpr InformationType kReadableTypes[] = {
    {PINFTAG_MEDIA, 13, S::MediaInfo, 0},
    {PINFTAG_MODEL, kModelInfoSize, S::Model, 0},
    {PINFTAG_ENGID, KT_FIRMWARE_INFO_SIZE, S::EngineInfo, 0},
    {PINFTAG_STATUS, 62, S::StatusBytes, 0},
    {PINFTAG_COUNTER, 16, S::Counters, 0},
    {PINFTAG_ERROR, 2, S::StatusError, 0},
    {PINFTAG_UNITSTATUS, 28, S::UnitStatus, 0},
    {PINFTAG_SERIAL, 8, S::DeviceSerial, 0},
    {PINFTAG_ERRLOG, 61, S::ErrorLog, 0},
    {PINFTAG_STATUS_EXT, 10, S::StatusBytes, 81},
    {PINFTAG_SERIALNO, 8, S::PrinterSerial, 0},
};

using W = ParameterWidth;

// Types 200-217 in order.
constexpr ParameterType kParameterTypes[] = {
    {PINFTAG_PARAM_11, 0x11, W::U16}, {PINFTAG_PARAM_41, 0x41, W::U16}, {PINFTAG_PARAM_42, 0x42, W::U16},
    {PINFTAG_PARAM_43, 0x43, W::U16}, {PINFTAG_PARAM_81, 0x81, W::I8},  {PINFTAG_PARAM_82, 0x82, W::I8},
    {PINFTAG_PARAM_83, 0x83, W::I8},  {PINFTAG_PARAM_91, 0x91, W::U16}, {PINFTAG_PARAM_92, 0x92, W::U16},
    {PINFTAG_PARAM_93, 0x93, W::U16}, {PINFTAG_PARAM_F1, 0xF1, W::U32}, {PINFTAG_PARAM_F2, 0xF2, W::U32},
    {PINFTAG_PARAM_F3, 0xF3, W::U32}, {PINFTAG_PARAM_F4, 0xF4, W::U32}, {PINFTAG_PARAM_84, 0x84, W::U32},
    {PINFTAG_PARAM_12, 0x12, W::U16}, {PINFTAG_PARAM_13, 0x13, W::U16}, {PINFTAG_PARAM_14, 0x14, W::U16},
};

constexpr InformationType kParameterRead = {0, 4, S::Parameter, 0};

}  // namespace

static_assert(sizeof kModelText - 1 == 47, "the model text fills bytes 4-50");
static_assert(KT_FIRMWARE_INFO_SIZE == kLargestInformation, "the firmware information is the largest type");

const InformationType *FindReadableType(uint16_t type) {
  for (const InformationType &row : kReadableTypes) {
    if (row.type == type) return &row;
  }
  return FindParameterType(type) != nullptr ? &kParameterRead : nullptr;
}

const ParameterType *FindParameterType(uint16_t type) {
  for (const ParameterType &row : kParameterTypes) {
    if (row.type == type) return &row;
  }
  return nullptr;
}

}  // namespace hostlib
