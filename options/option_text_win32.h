#pragma once

#include <windows.h>

#include "core/option_text.h"

/// Options in a Windows code page (the process ANSI code page, which the VM decodes them with,
/// unless given), short names from GetShortPathNameW.
class Win32OptionTextCodec : public OptionTextCodec {
  public:
    explicit Win32OptionTextCodec(UINT codePage = CP_ACP) : codePage_(codePage) {}
    bool Encode(std::wstring_view text, std::string& out) const override;
    ShortName ShortForm(const std::wstring& path) const override;

  private:
    UINT codePage_;
};
