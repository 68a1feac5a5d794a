// The install procedure and its worker thread.
#pragma once
#include <windows.h>
#include "procedures/procedure_texts.h"
#include "startup/context.h"

int32_t StartInstallWorker(SetupContext* context, int32_t wait);
DWORD WINAPI InstallWorkerThread(LPVOID context);
int32_t InstallProcedure(SetupContext* context);
// A failure of the install or the removal: its text (ending with the web site)
// stored for the window, then STATUS_FAILED posted. Returns code.
int32_t FailWithSite(SetupContext* context, int32_t code, FailureText which);

// status_text crosses threads: the worker sets it, the window paints a copy.
void SetStatusText(SetupContext* context, const char* text);
void CopyStatusText(SetupContext* context, char* out, size_t out_size);
// worker_busy read with acquire semantics (see SetupContext).
int32_t WorkerBusy(const SetupContext* context);
