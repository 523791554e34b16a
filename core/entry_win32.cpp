#include "core/entry_win32.h"

#include <windows.h>

void RemoveCurrentDirectoryFromDllSearch() { ::SetDllDirectoryW(L""); }
