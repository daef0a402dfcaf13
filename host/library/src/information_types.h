// The information types of kt_getPrinterInfo and kt_setPrinterInfo as
// data: what each read fetches and how large it is, and the parameter
// types with the parameter id and the width of the caller's value.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hostlib {

// Where the bytes of a read type come from.
enum class InfoSource : uint8_t {
  MediaInfo,     // CMD_GET_MEDIA_INFO, bytes 1 and 2 exchanged
  Model,         // the model's identity, no USB traffic
  EngineInfo,    // the status check, then CMD_GET_FIRMWARE_INFO for components 1-4
  StatusBytes,   // CMD_GET_STATUS data from `from`
  StatusError,   // CMD_GET_STATUS: error class and detail while in error
  UnitStatus,    // CMD_GET_STATUS, rearranged per unit
  Counters,      // CMD_GET_COUNTERS data
  ErrorLog,      // CMD_GET_ERROR_LOG data
  DeviceSerial,  // the selected device's serial, no USB traffic
  PrinterSerial, // CMD_GET_SERIAL_NO data
  Parameter,     // CMD_GET_PARAMETER data
};

struct InformationType {
  uint16_t type;
  uint16_t size;  // bytes handed to the caller
  InfoSource source;
  uint8_t from;   // StatusBytes: first status data byte
};

// The width and signedness of a parameter value the caller sets.
enum class ParameterWidth : uint8_t { U16, I8, U32 };

struct ParameterType {
  uint16_t type;
  uint8_t parameterId;
  ParameterWidth width;
};

// The row of a read type, or null for a type that cannot be read.
const InformationType *FindReadableType(uint16_t type);
// The row of a parameter type (200-217), or null.
const ParameterType *FindParameterType(uint16_t type);

// PINFTAG_MEDIA: the 13 bytes of CMD_GET_MEDIA_INFO with bytes 1 and 2
// exchanged; `in` and `out` may be the same buffer.
void ReorderMediaInfo(const uint8_t in[13], uint8_t out[13]);

// The largest read type (the firmware information).
inline constexpr size_t kLargestInformation = 153;
// PINFTAG_MODEL: the model text and its place.
inline constexpr char kModelText[] = "Brental Orvik Company ORVIK M7300 Photo Printer";
inline constexpr size_t kModelTextAt = 4;
inline constexpr size_t kModelInfoSize = 54;

}  // namespace hostlib
