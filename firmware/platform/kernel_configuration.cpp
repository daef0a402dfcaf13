// The static kernel configuration: three tasks, six semaphores, five
// interrupt handlers and the data-abort handler. Nothing is created or
// deleted at run time.
#include "firmware/devices/fpga_interrupt.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/sftprn.h"
#include "firmware/platform/usb_device_interrupt.h"

namespace {

constexpr TaskConfig kTasks[] = {
    {MAIN_TASK, "MAIN_TASK", TA_HLNG | TA_ACT, MAIN_TASK, MainTask, MAIN_TASK_PRIORITY, TASK_STACK_SIZE},
    {APP_TASK, "APP_TASK", TA_HLNG, APP_TASK, AppTask, APP_TASK_PRIORITY, TASK_STACK_SIZE},
    {USB_TASK, "USB_TASK", TA_HLNG, USB_TASK, UsbTask, USB_TASK_PRIORITY, TASK_STACK_SIZE},
};

constexpr SemaphoreConfig kSemaphores[] = {
    {SEM_LIBC_LOCK, TA_TPRI, 1, 1},        {SEM_SERIAL1_RECEIVE, TA_TPRI, 0, 1}, {SEM_SERIAL1_SEND, TA_TPRI, 1, 1},
    {SEM_SERIAL2_RECEIVE, TA_TPRI, 0, 1},  {SEM_SERIAL2_SEND, TA_TPRI, 1, 1},    {SHMEM_SEM, TA_TFIFO, 1, 1},
};

// Handler number: interrupt controller channel << 16 | system event.
constexpr InterruptConfig kInterrupts[] = {
    {0x0004003Au, UsbDeviceInterrupt},  // USB0 device controller
    {0x0005002Au, FpgaInterrupt},       // GPIO bank 0 pins: the FPGA's interrupt lines
    {0x000A003Du, Uart2Handler},        // UART2
    {0x00020015u, timer_handler},       // timer 0: the kernel's 1 ms tick
    {0x00030035u, sio_handler},         // UART1: the kernel's console driver
};

constexpr ExceptionConfig kExceptions[] = {
    {EXC_DATA_ABORT, CpuExceptionHandler},
};

template <class T, uint32_t N>
constexpr uint32_t Count(const T (&)[N]) {
  return N;
}

}  // namespace

constinit const KernelConfiguration g_KernelConfiguration = {
    kTasks, Count(kTasks), kSemaphores, Count(kSemaphores), kInterrupts, Count(kInterrupts), kExceptions, Count(kExceptions),
};
