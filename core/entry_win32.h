#pragma once

/// Takes the current directory out of the DLL search order of the whole process. Called
/// before anything else runs, so that no DLL (the runtime's own, their dependencies, shell
/// extensions of the folder picker) is ever taken from a document's folder.
void RemoveCurrentDirectoryFromDllSearch();

/// Environment variable a launcher sets for the pair product it starts; its value is the
/// handing launcher's path.
inline constexpr wchar_t kHandOverMarkVariable[] = L"VMBOOT_HANDED_OVER_BY";
