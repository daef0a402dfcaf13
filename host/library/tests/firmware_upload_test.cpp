// Firmware and laminate uploads: the Update command, the file as bulk data
// behind it, and every way the upload ends early.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "device_watcher.h"
#include "library_test_support.h"
#include "protocol/codes.h"

namespace hostlib_test {
namespace {

class FirmwareUploadTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    dir_ = ::testing::TempDir() + "upload-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::create_directories(dir_);
    usbctrl_double::AddPrinter("R0000001");
    Open();
  }
  void TearDown() override {
    LibraryTest::TearDown();
    std::filesystem::remove_all(dir_);
  }
  // A file of `size` bytes of 0xFF (never read as a command by the double).
  std::string File(const std::string &name, size_t size) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << std::string(size, '\xFF');
    return path;
  }
  static std::vector<Bytes> Written() { return usbctrl_double::Written(0); }

  std::string dir_;
};

// The update packet: kind, argument 0, third argument 0, the size.
Bytes UpdatePacket(uint8_t kind, uint32_t size) {
  return {0x04,
          0xC0,
          0x0A,
          0x00,
          kind,
          0,
          0,
          0,
          0,
          0,
          static_cast<uint8_t>(size),
          static_cast<uint8_t>(size >> 8),
          static_cast<uint8_t>(size >> 16),
          static_cast<uint8_t>(size >> 24)};
}

TEST_F(FirmwareUploadTest, DspFileGoesAsKindZeroInPiecesOf4096Bytes) {
  const std::string path = File("DSP.BIN", 262144);
  const size_t before = Written().size();
  uint16_t err = 0xFFFF;
  ASSERT_EQ(kt_updateFirmware(FIRMWARE_TYPE_DSP, path.c_str(), &err), 1);
  EXPECT_EQ(err, RESULT_OK);
  const auto written = Written();
  ASSERT_EQ(written.size(), before + 1 + 64);
  EXPECT_EQ(written[before], UpdatePacket(protocol::UPDATE_KIND_DSP, 262144));
  for (size_t i = before + 1; i < written.size(); ++i) ASSERT_EQ(written[i], Bytes(4096, 0xFF)) << i;
  EXPECT_TRUE(DeviceLockIsFree());
}

TEST_F(FirmwareUploadTest, EachTypeAndLaminateKindIsAnnouncedWithItsKind) {
  const std::string path = File("IMAGE.BIN", 5000);
  struct Case {
    const char *what;
    bool laminate;
    uint8_t typeOrKind;
    uint8_t kind;
  };
  const Case cases[] = {
      {"MAIN", false, FIRMWARE_TYPE_MAIN, protocol::UPDATE_KIND_MAIN},
      {"TABLE", false, FIRMWARE_TYPE_TABLE, protocol::UPDATE_KIND_TABLE},
      {"lamination pattern 2", true, protocol::UPDATE_KIND_LAMINATE_2, protocol::UPDATE_KIND_LAMINATE_2},
      {"tone curve", true, protocol::UPDATE_KIND_TONE_CURVE, protocol::UPDATE_KIND_TONE_CURVE},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const size_t before = Written().size();
    uint16_t err = 0xFFFF;
    const int result = c.laminate ? kt_update_laminate(c.typeOrKind, path.c_str(), &err)
                                  : kt_updateFirmware(c.typeOrKind, path.c_str(), &err);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(err, RESULT_OK);
    const auto written = Written();
    ASSERT_EQ(written.size(), before + 3);
    EXPECT_EQ(written[before], UpdatePacket(c.kind, 5000));
    EXPECT_EQ(written[before + 1].size(), 4096u);
    EXPECT_EQ(written[before + 2].size(), 904u);
  }
}

// Every early end: its code, what reached the printer, and the lock free
// again. Refusals found on the host side send nothing at all; a refused
// Update command sends no data.
TEST_F(FirmwareUploadTest, EarlyEndsReportTheirCodeAndSendNoFurther) {
  const std::string file = File("MAIN.BIN", 10000);
  const std::string empty = File("EMPTY.BIN", 0);
  const std::string missing = dir_ + "/MISSING.BIN";
  enum Setup { None, RefuseBadParameter, RefuseDownloading, RefuseNoPermission, FailThirdWrite };
  struct Case {
    const char *what;
    uint8_t type;
    const char *path;
    Setup setup;
    uint16_t code;
    size_t packetsSent;  // the Update command and the pieces that went
  };
  const Case cases[] = {
      {"missing file", FIRMWARE_TYPE_MAIN, missing.c_str(), None, RESULT_FILE_ACCESS_FAILED, 0},
      {"empty file", FIRMWARE_TYPE_MAIN, empty.c_str(), None, RESULT_BAD_PARAMETER, 0},
      {"null path", FIRMWARE_TYPE_MAIN, nullptr, None, RESULT_BAD_PARAMETER, 0},
      {"type 4", 4, file.c_str(), None, RESULT_BAD_PARAMETER, 0},
      {"type 0", 0, file.c_str(), None, RESULT_BAD_PARAMETER, 0},
      {"printer refuses the parameters", FIRMWARE_TYPE_MAIN, file.c_str(), RefuseBadParameter,
       RESULT_BAD_PARAMETER, 1},
      {"printer busy downloading", FIRMWARE_TYPE_DSP, file.c_str(), RefuseDownloading, RESULT_DOWNLOADING, 1},
      {"printer refuses in its state", FIRMWARE_TYPE_DSP, file.c_str(), RefuseNoPermission, RESULT_USB_ERROR, 1},
      {"bulk write fails mid-file", FIRMWARE_TYPE_TABLE, file.c_str(), FailThirdWrite, RESULT_USB_ERROR, 2},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    switch (c.setup) {
      case RefuseBadParameter:
        usbctrl_double::QueueRawReply(0, ReplyBytes(protocol::REPLY_ERR_BAD_PARAMETER, 0, {}));
        break;
      case RefuseDownloading:
        usbctrl_double::QueueRawReply(0, ReplyBytes(protocol::PRINTER_STATE_DOWNLOADING, 0, {}));
        break;
      case RefuseNoPermission:
        usbctrl_double::QueueRawReply(0, ReplyBytes(protocol::REPLY_ERR_NO_PERMISSION, 0, {}));
        break;
      case FailThirdWrite:
        usbctrl_double::FailWritesAfter(0, 2);
        break;
      case None:
        break;
    }
    const size_t before = Written().size();
    uint16_t err = 0xFFFF;
    EXPECT_EQ(kt_updateFirmware(c.type, c.path, &err), 0);
    EXPECT_EQ(err, c.code);
    EXPECT_EQ(Written().size(), before + c.packetsSent);
    EXPECT_TRUE(DeviceLockIsFree());
    usbctrl_double::FailWritesAfter(0, -1);
  }
  uint16_t err = 0xFFFF;
  EXPECT_EQ(kt_update_laminate(protocol::UPDATE_KIND_LAMINATE_1, missing.c_str(), &err), 0);
  EXPECT_EQ(err, RESULT_FILE_ACCESS_FAILED);
  EXPECT_EQ(kt_update_laminate(protocol::UPDATE_KIND_LAMINATE_1, empty.c_str(), &err), 0);
  EXPECT_EQ(err, RESULT_BAD_PARAMETER);
  EXPECT_TRUE(DeviceLockIsFree());
}

TEST_F(FirmwareUploadTest, NoSessionNoPrinter) {
  const std::string file = File("MAIN.BIN", 100);
  uint16_t err = 0;
  Sleep(1);  // lets the device watcher start
  ASSERT_EQ(usbctrl_double::Unplug(0), 1);
  Sleep(hostlib::kWatcherPollMs + 1);  // past the watcher's next look, whatever its phase
  EXPECT_EQ(kt_updateFirmware(FIRMWARE_TYPE_MAIN, file.c_str(), &err), 0);
  EXPECT_EQ(err, RESULT_PRINTER_NOT_RECOGNIZED);
  kt_close();
  EXPECT_EQ(kt_updateFirmware(FIRMWARE_TYPE_MAIN, file.c_str(), &err), 0);
  EXPECT_EQ(err, RESULT_NO_SESSION);
  EXPECT_EQ(kt_update_laminate(protocol::UPDATE_KIND_LAMINATE_1, file.c_str(), &err), 0);
  EXPECT_EQ(err, RESULT_NO_SESSION);
}

}  // namespace
}  // namespace hostlib_test
