// The firmware's three tasks, its kernel handlers and the end of the
// system. MainTask starts the board and the global objects, AppTask runs the
// application, UsbTask the USB command layer every 2 ms.
#pragma once

#include <cstdint>

#include "firmware/hal/kernel.h"

// Task ids of the kernel configuration.
constexpr ID MAIN_TASK = 1;
constexpr ID APP_TASK = 2;
constexpr ID USB_TASK = 3;

// Semaphore ids of the kernel configuration.
constexpr ID SEM_LIBC_LOCK = 1;
constexpr ID SEM_SERIAL1_RECEIVE = 2;
constexpr ID SEM_SERIAL1_SEND = 3;
constexpr ID SEM_SERIAL2_RECEIVE = 4;
constexpr ID SEM_SERIAL2_SEND = 5;
constexpr ID SHMEM_SEM = 6;

// Priorities: a smaller number runs first.
constexpr PRI MAIN_TASK_PRIORITY = 10;
constexpr PRI USB_TASK_PRIORITY = 11;
constexpr PRI APP_TASK_PRIORITY = 12;
constexpr PRI MAIN_TASK_IDLE_PRIORITY = 13;

constexpr uint32_t TASK_STACK_SIZE = 8192;
constexpr RELTIM USB_TASK_PERIOD_MS = 2;

// 0 while the application runs; AppTask sets 1 when it returns.
extern uint32_t g_ulAppFinished;

void MainTask(VP_INT exinf);
void AppTask(VP_INT exinf);
void UsbTask(VP_INT exinf);
void CpuExceptionHandler(VP p_excinf);
void Uart2Handler();

// Logs a service call's negative error code with its source position and
// expression; returns the code unchanged.
ER ReportServiceError(const char* pszFile, int32_t lLine, const char* pszExpr, ER ercd);
