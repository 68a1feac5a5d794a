#pragma once
#include "startup/context.h"

int32_t UninstallProcedure(SetupContext* context);
