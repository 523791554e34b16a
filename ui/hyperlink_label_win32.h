#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "core/unique_handle_win32.h"

/// Link colours: "Anchor Color" and "Anchor Color Visited" of the given key (Internet
/// Explorer's settings under HKEY_CURRENT_USER in the launcher), each replacing the default
/// only when it parses.
struct LinkColours {
    COLORREF link = RGB(0, 0, 255);
    COLORREF visited = RGB(128, 0, 128);
};
LinkColours ReadLinkColours(HKEY settings);

/// Turns an existing static control into a clickable link: underlined text in the link
/// colour, hand cursor over the text, the target as tooltip, Enter or Space opens it. The
/// object must outlive the control's window (it is usually a member of the dialog state);
/// the control releases its tooltip and owned fonts when it is destroyed.
class HyperlinkLabel {
  public:
    /// Opens the target; true on success. The default asks the shell (ShellExecuteW "open").
    using Opener = std::function<bool(const std::wstring& target)>;

    HyperlinkLabel() = default;
    HyperlinkLabel(const HyperlinkLabel&) = delete;
    HyperlinkLabel& operator=(const HyperlinkLabel&) = delete;
    ~HyperlinkLabel();

    /// Subclasses `control`. `target` empty = the control's text; `normalFont` null = the
    /// icon-title font. Reads the link colours from HKEY_CURRENT_USER.
    bool Attach(HWND control, const std::wstring& target = {}, HFONT normalFont = nullptr);

    void SetOpener(Opener opener) { opener_ = std::move(opener); }

    /// The current text colour: grey when disabled, else visited or link colour.
    COLORREF TextColour() const;

    /// Opens the target; on success marks the link visited and repaints it.
    void Open();

  private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint(HDC dc);
    void ComputeTextRect();
    UINT AlignmentFlags() const;
    bool InText(LPARAM point) const;
    void ReplaceLinkFont();
    void ReleaseFonts();

    HWND control_ = nullptr;
    std::wstring label_;
    std::wstring target_;
    HCURSOR hand_ = nullptr;
    /// The text's font: the dialog's (borrowed) or ownedNormalFont_.
    HFONT normalFont_ = nullptr;
    UniqueGdiObject ownedNormalFont_;
    /// normalFont_ underlined.
    UniqueGdiObject linkFont_;
    UniqueHwnd tooltip_;
    RECT textRect_{};
    LinkColours colours_;
    bool drawText_ = true;
    bool visited_ = false;
    Opener opener_;
};
