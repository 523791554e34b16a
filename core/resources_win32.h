#pragma once

#include <windows.h>

#include <string>

/// The language of the launcher's resources that matches the thread locale: German, French
/// or Dutch for any regional variant of those languages, else English (United Kingdom).
LANGID ResourceLanguage();

/// Finds a resource of this module in ResourceLanguage(), falling back to English (United
/// Kingdom) and then to any language. Looking the language up ourselves makes the thread
/// locale decide, whatever the system's user-interface language is.
HRSRC FindLocalizedResource(LPCWSTR type, LPCWSTR name);

/// A string-table text in ResourceLanguage(); empty when the table has no such identifier.
std::wstring LoadResourceText(UINT id);

/// A dialog template in ResourceLanguage(), for DialogBoxIndirectParamW; null when missing.
const DLGTEMPLATE* LoadLocalizedDialog(UINT id);
