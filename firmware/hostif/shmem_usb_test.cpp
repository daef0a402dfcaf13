// The ShMemUsb mailbox's word accesses and message packing.
#include <gtest/gtest.h>

#include "firmware/hostif/usb_command_test_support.h"

namespace {

using hostiftest::Bytes;

class ShMemUsb : public hostiftest::UsbCommandTest {
 protected:
  void SetUp() override {
    UsbCommandTest::SetUp();
    BootQuiet();
  }
};

TEST_F(ShMemUsb, WordAccessesRefuseABadBoxOrIndexAndTouchNothing) {
  InApp([] {
    uint16_t usValue = 0x5555;
    for (uint32_t ulBox : {0u, 3u}) {
      EXPECT_EQ(WriteShMemUsb(ulBox, 0, 1), -1);
      EXPECT_EQ(ReadShMemUsb(ulBox, 0, &usValue), -1);
    }
    EXPECT_EQ(WriteShMemUsb(SHMEM_BOX_TO_APP, SHMEM_BOX_WORDS, 1), -1);
    EXPECT_EQ(ReadShMemUsb(SHMEM_BOX_TO_APP, SHMEM_BOX_WORDS, &usValue), -1);
    EXPECT_EQ(usValue, 0x5555);
    EXPECT_EQ(WriteShMemUsb(SHMEM_BOX_TO_APP, 127, 0xBEEF), 0);
    EXPECT_EQ(ReadShMemUsb(SHMEM_BOX_TO_APP, 127, &usValue), 0);
    EXPECT_EQ(usValue, 0xBEEF);
    EXPECT_EQ(g_ShMemUsbToUsb.ausWord[127], 0) << "the other box is untouched";
  });
}

TEST_F(ShMemUsb, MessagesPackLowByteFirstAndArriveWhole) {
  InApp([] {
    const Bytes payload = {0x01, 0x02, 0x03};
    ASSERT_EQ(ShMemPutMessage(SHMEM_BOX_TO_USB, 0x1002, 0x7F, payload.data(), 3), 0);
    EXPECT_EQ(g_ShMemUsbToUsb.ausWord[SHMEM_WORD_STATE], 0x7F07);
    EXPECT_EQ(g_ShMemUsbToUsb.ausWord[SHMEM_WORD_LENGTH], 3);
    EXPECT_EQ(g_ShMemUsbToUsb.ausWord[SHMEM_WORD_CODE], 0x1002);
    EXPECT_EQ(g_ShMemUsbToUsb.ausWord[SHMEM_WORD_PAYLOAD], 0x0201);
    EXPECT_EQ(g_ShMemUsbToUsb.ausWord[SHMEM_WORD_PAYLOAD + 1], 0x0003);
    const hostiftest::Message m = hostiftest::TakeMessage();
    EXPECT_EQ(m.usCode, 0x1002);
    EXPECT_EQ(m.ucTag, 0x7F);
    EXPECT_EQ(m.payload, payload);
    EXPECT_EQ(g_ShMemUsbToUsb.ausWord[SHMEM_WORD_STATE], SHMEM_EMPTY);

    // A message of 251 bytes or more travels with its first 250.
    Bytes big(300);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(ShMemPutMessage(SHMEM_BOX_TO_USB, 255, 0, big.data(), 300), 0);
    EXPECT_EQ(hostiftest::TakeMessage().payload, Bytes(big.begin(), big.begin() + 250));
  });
}

}  // namespace
