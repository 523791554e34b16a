#include "core/vm_hooks_win32.h"

// Allocated before main and never freed (see VmHooks); a namespace-scope object, not a
// function-local static, whose guard would pull the thread library into the launcher.
VmHooks& g_vmHooks = *new VmHooks;
