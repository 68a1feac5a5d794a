#include "startup/context.h"

SetupContext g_context;
