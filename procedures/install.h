// The install procedure and its worker thread.
#pragma once
#include <windows.h>
#include "startup/context.h"

int32_t StartInstallWorker(SetupContext* context, int32_t wait);
DWORD WINAPI InstallWorkerThread(LPVOID context);
int32_t InstallProcedure(SetupContext* context);

// status_text crosses threads: the worker sets it, the window paints a copy.
void SetStatusText(SetupContext* context, const char* text);
void CopyStatusText(SetupContext* context, char* out, size_t out_size);
// worker_busy read with acquire semantics (see SetupContext).
int32_t WorkerBusy(const SetupContext* context);
