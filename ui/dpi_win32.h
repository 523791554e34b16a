#pragma once

#include <windows.h>

#include "core/unique_handle_win32.h"

// The launcher declares per-monitor awareness in its manifest, so its own windows scale
// themselves. The DPI functions came with Windows 8.1 and 10; the launcher still starts on
// Vista, so each is looked up at run time and replaced there by the system DPI.

/// The DPI every window had before per-monitor awareness: the screen's logical DPI.
UINT SystemDpi();
/// The DPI of a monitor (its effective DPI), or the system DPI where it cannot be asked.
UINT MonitorDpi(HMONITOR monitor);
/// The DPI a window is drawn for: the window's own where the system tracks it, else that of
/// the monitor it is on.
UINT WindowDpi(HWND window);

/// The system's error icon at the size that suits `dpi`; owned by the caller.
HICON LoadErrorIcon(UINT dpi);

/// Keeps a dialog made from a template at the DPI of its monitor: on WM_DPICHANGED, and once
/// after WM_INITDIALOG where the dialog was made at the system DPI on a monitor that has
/// another, the dialog's font is made anew at the new DPI, every control is moved and sized
/// in proportion, and the error icon is reloaded at the matching size. The dialog manager's
/// own rescaling is turned off, so that sizes the dialog chose itself (grown to fit a text,
/// anchored by a resizer) are scaled as they are, and only once.
class DialogDpi {
  public:
    /// Call from WM_INITDIALOG, before the dialog measures or records any size. `iconId`,
    /// when not 0, is the static control that shows the error icon.
    void Initialize(HWND dialog, int iconId = 0);
    /// Call once the dialog has its place (after centring it): lays it out again where its
    /// monitor has another DPI than the one it was made at.
    void MatchMonitor(HWND dialog);
    /// The DPI the dialog is laid out for now.
    UINT Dpi() const { return dpi_; }
    /// `pixels` measured at the DPI the dialog was made at (MapDialogRect still answers for
    /// that one), at the DPI it is laid out for now.
    int FromCreation(int pixels) const;
    /// Lays the dialog out again for `newDpi` and places it at `suggested` (WM_DPICHANGED's
    /// rectangle, in screen coordinates). Call the dialog's own size bookkeeping before.
    void Rescale(HWND dialog, UINT newDpi, const RECT& suggested);
    /// The rectangle that keeps the window's centre where it is at `newDpi`; for a change
    /// that Windows does not announce with a suggested rectangle.
    RECT CentredRectFor(HWND dialog, UINT newDpi) const;

  private:
    UINT dpi_ = 0;
    UINT creationDpi_ = 0;
    int iconId_ = 0;
    UniqueGdiObject font_;  ///< the dialog's font once it has been made anew
    UniqueIcon icon_;
};
