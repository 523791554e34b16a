#pragma once

#include <windows.h>

#include <string>

/// The locale whose language the launcher's messages and dialogs are in: the system's
/// (GetSystemDefaultLCID) unless SetMessageLocale chose another. The thread locale is never
/// changed for this: the Java program runs on the launcher's threads and sees theirs.
LCID MessageLocale();
/// Chooses the messages' locale for the whole process; 0 goes back to the system's.
void SetMessageLocale(LCID locale);

/// The language of the launcher's resources that matches MessageLocale(): German, French or
/// Dutch for any regional variant of those languages, else English (United Kingdom).
LANGID ResourceLanguage();

/// Finds a resource of this module in ResourceLanguage(), falling back to English (United
/// Kingdom) and then to any language. Looking the language up ourselves makes MessageLocale()
/// decide, whatever the user's locale and user-interface language are.
HRSRC FindLocalizedResource(LPCWSTR type, LPCWSTR name);

/// A string-table text in ResourceLanguage(); empty when the table has no such identifier.
std::wstring LoadResourceText(UINT id);

/// A dialog template in ResourceLanguage(), for DialogBoxIndirectParamW; null when missing.
const DLGTEMPLATE* LoadLocalizedDialog(UINT id);
