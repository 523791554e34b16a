#pragma once

#include <windows.h>

#include <span>
#include <vector>

#include "ui/dialog_layout.h"

/// Keeps a resizable dialog's controls anchored to its edges, adds a size grip and refuses
/// sizes below the dialog's initial size. Lives as long as the dialog; the dialog procedure
/// forwards WM_GETMINMAXINFO and WM_SIZE to it.
class DialogResizer {
  public:
    struct Anchor {
        int controlId;
        unsigned flags;  ///< AnchorFlags
    };

    static constexpr int kGripId = 0xE801;

    /// Call from WM_INITDIALOG, after the dialog has its initial size. Anchors are laid out
    /// in the order given.
    void Initialize(HWND dialog, std::span<const Anchor> anchors);
    /// Reports the minimum track size once one is recorded; false before.
    bool OnGetMinMaxInfo(MINMAXINFO& info) const;
    /// `sizeType` and the new client size as WM_SIZE gives them.
    void OnSize(WPARAM sizeType, int clientWidth, int clientHeight);
    /// The dialog is about to be laid out again for another DPI: the recorded sizes follow.
    void Rescale(UINT newDpi, UINT oldDpi);

  private:
    struct Record {
        int controlId;
        unsigned flags;
        LayoutRect initial;
    };

    void Layout(int clientWidth, int clientHeight);
    LayoutRect ControlRect(HWND control) const;

    HWND dialog_ = nullptr;
    HWND grip_ = nullptr;
    SIZE initialClient_{};
    SIZE minimumClient_{};
    bool hasMinimumTrack_ = false;
    std::vector<Record> records_;
};
