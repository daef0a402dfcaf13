// PrinterSession: everything one session slot holds: the bindings of the
// outside libraries, the transport objects, the selected printer and its
// pipes, and the buffers of the print path.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "discovery.h"
#include "image_job.h"
#include "image_pipeline.h"
#include "laminate_strings.h"
#include "outside_libraries.h"
#include "print_job.h"
#include "transport.h"

namespace hostlib {

inline constexpr uint32_t kStagingCapacity = 4096;
inline constexpr size_t kRowBufferSize = 16392;
inline constexpr size_t kStripBufferSize = kStripBytesMax;  // one strip of the print path
inline constexpr uint16_t kDefaultPrintOptionA = 2;

class PrinterSession {
 public:
  PrinterSession();
  ~PrinterSession();  // DeleteParts
  PrinterSession(const PrinterSession &) = delete;
  PrinterSession &operator=(const PrinterSession &) = delete;

  // ---- Frame (printer_session.cpp) ----
  // Sets the defaults once; later calls do nothing.
  void InitDefaults();
  // Brings the session up, skipping every step already done: sub-objects,
  // the outside libraries, the buffers, the first enumeration of the
  // process and the first selection. *err is always written.
  int Open(uint16_t *err);
  // Releases the device mutexes, frees the buffers, closes every device and
  // unloads the outside libraries. The session can be destroyed then.
  void Close();

  // ---- Discovery and selection (discovery.cpp) ----
  // Probes device indexes 0 to the limit - 1: re-lists the devices already
  // open, opens the new ones, keeps those that carry this model's identity,
  // give their pipes and answer CMD_GET_SERIAL_NO. Returns the count and
  // writes the device numbers into `numbers` (128 bytes).
  uint16_t EnumeratePrinters(uint8_t *numbers);
  // Enumerates, then writes the serial of each printer found at 8 x i.
  int16_t ListSerialNumbers(char *serials);
  // 255 asks which printer is selected. Returns the number or 255.
  uint8_t SelectPrinter(uint8_t number, uint16_t *err);
  // Returns the session's selected serial (8 characters, not terminated).
  char *SelectPrinterBySerial(const char *serial, uint16_t *err);
  bool OpenPipes(int device);
  bool ReadSerialNumber(int device);
  void CopySelectedSerial(char out[kSerialLength]) const;
  // Closes the selected device's pipes (through the device table, once).
  void ClosePipes();
  void ReleaseDeviceMutexes();
  void CloseAllDevices();
  // Deselects the selected printer when the USB-access library says it is
  // gone.
  void CheckSelectedDevice();
  // 1 when the selected device carries this model's identity.
  int IsExpectedModel() const;

  // ---- Transport (transport.cpp) ----
  // Takes the selected printer's mutex (500 ms) into `lock`.
  int LockDevice(DeviceLock *lock, uint16_t *err);
  // Bulk data in pieces of at most 4096 bytes; *length counts what was
  // sent.
  int SendDataDirect(const uint8_t *data, uint32_t *length, uint16_t *err);

  // ---- Printer information (printer_status.cpp) ----
  // CMD_GET_STATUS under the device lock: 1 for a ready or printing
  // printer, else 0; the code is USB-folded.
  int GetStatus(uint16_t *err);
  // Reads one information type into the caller's buffer (see
  // kt_getPrinterInfo). No result code: 0 on any failure.
  int GetPrinterInfo(uint16_t type, void *data, uint32_t *size);
  // Sets one information type: a command to the printer, or the session's
  // print options, media size and laminate strings.
  int SetPrinterInfo(uint16_t type, const void *data, uint32_t *size, uint16_t *err);
  // Checks a requested media size (bytes 1-2 width, 3-4 height of at least
  // 10 bytes) against the loaded media and stores it for the next print.
  int CheckMediaSize(const void *data, const uint32_t *size, uint16_t *err);
  const LaminateStrings &Laminates() const { return laminateStrings_; }
  void ClearLaminateStrings() { laminateStrings_.Clear(); }
  uint16_t PrintOptionB() const { return printOptionB_; }
  uint16_t MediaWidth() const { return mediaWidth_; }
  uint16_t MediaHeight() const { return mediaHeight_; }
  bool MediaSet() const { return mediaSet_ == 1; }

  // ---- Actions (actions.cpp) ----
  // CMD_FLASH_LED and the printer reset, each after the status pre-check.
  int BlinkLed(uint16_t *err);
  int ResetPrinter(uint16_t *err);
  // Sub-command 1 (start) sends device and action as 0.
  int SetDiagnostic(uint8_t subCommand, uint8_t deviceId, uint8_t action, uint16_t *err);
  // The first *length (at most 47, *length lowered to it) result bytes.
  int GetDiagnostic(uint8_t *data, uint32_t *length, uint16_t *err);
  int ResetErrorHistory(uint16_t *err);
  // Unlocked: the three bytes unchanged, the 4-byte reply into data.
  int CommandDiagnostic(uint8_t subCommand, uint8_t deviceId, uint8_t action, uint8_t *data, uint16_t *err);

  // ---- Parameters (parameters.cpp) ----
  int SetParameter(uint8_t parameterId, uint32_t value, uint16_t *err);
  int GetParameter(uint8_t parameterId, uint8_t value[4], uint16_t *err);
  int ReadHeadEeprom(uint8_t argument, uint8_t value[1], uint16_t *err);

  // ---- Raw access (raw_commands.cpp), without the device lock ----
  // The caller's CMD_UNIVERSAL payload (1-250 bytes); the reply's data
  // (at most 250 bytes) and its count.
  int UniversalCommand(const uint8_t *data, int32_t length, uint8_t *reply, uint8_t *replyLength, uint16_t *err);
  // The caller's packet (1-512 bytes) as it is; the raw reply (at most 512
  // bytes), header included.
  int SendCommandRaw(const uint8_t *packet, int32_t length, uint8_t *reply, uint32_t *replyLength, uint16_t *err);
  // The model probe and its status reply.
  int SendUndefinedCommand(uint16_t *err);

  // ---- Updates (firmware_upload.cpp) ----
  // A MAIN (1), DSP (2) or TABLE (3) file to the selected printer.
  int UpdateFirmware(uint8_t type, const char *path, uint16_t *err);
  // Announces the file with CMD_UPDATE of `kind` and sends it as bulk data.
  // The caller holds the device lock.
  int SendFirmwareFile(const char *path, uint8_t kind, uint16_t *err);
  // Any file under the caller's update kind, under the device lock.
  int UpdateLaminate(uint8_t kind, const char *path, uint16_t *err);

  // ---- Image settings (image_settings.cpp) ----
  // All six lookup tables become the identity.
  void InitIdentityLut();
  // Null: the unity kernel, filter off. Else the mask of the non-zero
  // coefficients; the filter is on unless the kernel is the unity one.
  void SetFilter(const int32_t *coefficients);
  // Nine signed numbers from a text file (a null path gives the unity
  // kernel).
  int LoadFilterFile(const char *path, int32_t out[kFilterTaps], uint16_t *err);
  // 768 bytes from a file: 256 into each table.
  int LoadLutFile(const char *path, uint8_t *t0, uint8_t *t1, uint8_t *t2, uint16_t *err);
  // gamma / 100 is the exponent; the tables given receive the curve.
  static void SetGamma(uint16_t gamma, uint8_t *t0, uint8_t *t1, uint8_t *t2);
  // Tables 0-5 (each may be null: identity), then the colour world from
  // the two profiles (both null: no world).
  int SetColorProfiles(const char *source, const char *dest, uint16_t intent,
                       const uint8_t *const tables[kLutCount], uint16_t *err);

  // ---- Staged send (staged_send.cpp) ----
  // Restarts the row counter and the send counters for a new image, with
  // no carried bytes and an empty staging buffer.
  void BeginImageData();
  // Completes rows in the row buffer and writes them through the staging
  // buffer when it is full and when the image's bytes are all staged.
  // After a failed write the unsent bytes stay at the staging buffer's
  // front; the call fails with *length 0.
  int SendStagedData(const uint8_t *data, uint32_t *length, uint16_t *err);

  // ---- Print job (print_job.cpp, print_data.cpp, job_status.cpp,
  // print_uploads.cpp) ----
  // Checks the image's format and place on the media and stores them.
  int SetImageFormat(uint16_t type, uint16_t components, uint16_t bits, uint16_t width, uint16_t height,
                     uint16_t xOffset, uint16_t yOffset, uint16_t *err);
  // CMD_SETUP_PRINT_JOB with the given job settings. cutList: the count,
  // then ten u16 positions (null: no cuts).
  int SetupPrintJob(uint16_t *jobId, uint8_t unitInfo1[2], uint8_t unitInfo2[2], uint8_t *extra, uint16_t copies,
                    uint8_t flags1, uint8_t flags2, uint16_t cutOffset1, uint16_t cutOffset2, const uint8_t *cutList,
                    uint16_t *err);
  // CMD_GET_JOB_STATUS: the job printing next.
  int GetJobStatus(uint16_t *jobId, uint16_t *value, uint8_t *flags1, uint8_t *flags2, uint16_t *a, uint16_t *b,
                   uint8_t data[kJobStatusDataBytes], uint16_t *err);
  // The laminate strings, then CMD_PRINT. On success the device lock stays
  // held for the data phase until EndPrintData.
  int StartPrint(uint16_t jobId, uint8_t second, uint16_t *err);
  // Image bytes of the started job, never more than the printer armed for.
  int SendPrintData(const uint8_t *data, uint32_t *length, uint16_t *err);
  // Colour rows through the image pipeline, in strips.
  int SendImageStrips(const uint8_t *data, uint32_t *length, uint16_t *err);
  // `count` white rows of `bytes` bytes through the staged send.
  int SendPaddingRows(uint32_t bytes, uint32_t count);
  // Forgets the laminate strings and releases the data phase's device lock.
  int EndPrintData(uint16_t *err);
  // Copies 1, laminate strings forgotten; the lock stays as it is.
  int ClearPrintFlag(uint16_t *err);
  // The job and image settings' defaults.
  int ResetJobFields(uint16_t *err);
  // CMD_CANCEL_PRINT_JOB; job id 0 cancels on the selected printer.
  int CancelPrintJob(uint16_t jobId, uint8_t mode, uint16_t *err);
  // The printing state of a job: three counts and a result code.
  int GetPrinterIdStatus(uint16_t jobId, uint16_t result[kPrinterIdValues], uint16_t *err);
  // GetStatus of each printer of a list ended by 255; 1 when any is 0.
  int GetStatusOfPrinters(const uint8_t *numbers, uint16_t *codes);
  // Step 0: the pattern's bytes to the printer; step 2: the printer restores
  // its pattern.
  int UploadLaminatePattern(uint16_t step, const uint8_t *data, uint16_t *err);
  // Type 1 (stored) or 2 (RAM only): the curve's 1536 bytes; type 0: the
  // printer rebuilds the curve's default.
  int WriteToneCurve(uint16_t type, uint16_t curve, const uint8_t *data, uint16_t *err);
  // The curve's 768 values as the printer holds them.
  int ReadToneCurve(uint16_t type, uint16_t curve, uint16_t *values, uint16_t *err);
  const PrintJob &Job() const { return job_; }
  bool HoldsDataPhaseLock() const { return dataPhaseLock_.Held(); }

  // ---- Parts ----
  ImageJob &Image() { return image_; }
  ImagePipeline &Pipeline() { return *pipeline_; }
  UsbCtrlLibrary &Usb() { return usb_; }
  ColorMatchLibrary &ColorMatch() { return colorMatch_; }
  CommandWriter &Writer() { return *writer_; }
  ReplyReader &Reader() { return *reader_; }
  HANDLE WritePipe() const { return writePipe_.load(); }
  HANDLE ReadPipe() const { return readPipe_.load(); }
  uint8_t SelectedDevice() const { return selectedDevice_.load(); }
  uint32_t ReplyReadSize() const { return replyReadSize_; }
  uint16_t DeviceIndexLimit() const { return deviceIndexLimit_; }
  uint16_t PrintOptionA() const { return printOptionA_; }
  // Forgets the pipes when they are the given handles (closed elsewhere).
  void ForgetPipes(HANDLE write, HANDLE read);

 private:
  bool CreateParts();
  bool AllocateBuffers();
  bool FlushStaging(uint16_t *err);
  bool StageRow(const uint8_t *row, uint32_t rowBytes, uint16_t *err);
  void FreeBuffers();
  void DeleteParts();
  // Points the session's pipes at a device's (INVALID_HANDLE_VALUE for none).
  void BorrowPipes(int device);
  // The lowest open device number, or kNoDevice.
  static uint8_t FirstOpenDevice();

  uint32_t defaultsSet_ = 0;
  uint32_t firstSelectionDone_ = 0;
  UsbCtrlLibrary usb_;
  ColorMatchLibrary colorMatch_;

  // Buffers of the print path, allocated at Open.
  uint32_t stagingCapacity_ = 0;
  uint32_t stagingFree_ = 0;
  std::unique_ptr<uint8_t[]> staging_;
  int32_t carriedRowBytes_ = 0;
  std::unique_ptr<uint8_t[]> rowBuffer_;
  std::unique_ptr<uint8_t[]> stripBuffer_;
  std::unique_ptr<uint8_t[]> paddingRow_;

  uint8_t writePipeIndex_ = 0;
  uint8_t readPipeIndex_ = 0;
  uint32_t replyReadSize_ = kDirectReadSize;
  // The selected printer and its borrowed pipes; the watcher's sweep
  // changes them while an operation may read them.
  std::atomic<HANDLE> writePipe_{INVALID_HANDLE_VALUE};
  std::atomic<HANDLE> readPipe_{INVALID_HANDLE_VALUE};
  std::atomic<uint8_t> selectedDevice_{kNoDevice};
  char selectedSerial_[kSerialLength];

  // Job and image settings. The print path adds its own with the print
  // issue; selection resets print option A.
  uint16_t printOptionA_ = kDefaultPrintOptionA;
  uint32_t mediaSet_ = 0;
  // Set through kt_setPrinterInfo for the next print.
  uint16_t printOptionB_ = 0;
  uint16_t mediaWidth_ = 0;
  uint16_t mediaHeight_ = 0;
  LaminateStrings laminateStrings_;
  ImageJob image_;

  // ---- Print job ----
  // The image's byte count on the wire (what the printer armed), and how
  // much of `*length` still fits in it; the rest is the excess.
  uint32_t ImageByteCount() const;
  uint32_t WithinImageCount(uint32_t length) const;
  // True while the pipeline changes the bytes it sends.
  bool PipelineChangesBytes() const;
  int ConvertWholeRows(const uint8_t *data, uint32_t *length, uint16_t *err);
  int StartPrintLocked(uint16_t jobId, uint8_t second, uint16_t *err);
  int SendLaminateStrings(uint16_t *err);
  int PrinterIdStatusLocked(uint16_t jobId, uint16_t result[kPrinterIdValues], uint16_t *err);
  int ReadToneCurveLocked(uint16_t type, uint16_t curve, uint16_t *values, uint16_t *err);
  PrintJob job_;
  DeviceLock dataPhaseLock_;

  uint16_t deviceIndexLimit_ = kDeviceCount;
  uint16_t openedDeviceCount_ = 0;
  // 1 + the highest device index at which the last enumeration found a
  // device: what the first enumeration leaves as the limit.
  uint16_t indexesInUse_ = 0;

  std::unique_ptr<CommandWriter> writer_;
  std::unique_ptr<ReplyReader> reader_;
  std::unique_ptr<ColorMatchWrapper> colorMatcher_;
  std::unique_ptr<ImagePipeline> pipeline_;
};

// 255 x (i / 255)^gamma, truncated, within 0-255.
uint8_t BuildGammaTable(int i, double gamma);

}  // namespace hostlib
