#pragma once

// Geometry of the launcher's dialogs, kept apart from the window calls so that it can be
// checked on any host.

struct LayoutRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    friend bool operator==(const LayoutRect&, const LayoutRect&) = default;
};

struct LayoutPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const LayoutPoint&, const LayoutPoint&) = default;
};

/// How an anchored control follows a change of the dialog's client size.
enum AnchorFlags : unsigned {
    kAnchorSizeX = 0x1,     ///< the right edge follows the width change
    kAnchorSizeY = 0x2,     ///< the bottom edge follows the height change
    kAnchorMoveX = 0x4,     ///< both horizontal edges follow
    kAnchorMoveY = 0x8,     ///< both vertical edges follow
    kAnchorRepaint = 0x10,  ///< invalidate the control before moving it
    kAnchorGrip = 0x4000,   ///< the record of the size grip
};

/// The rectangle of an anchored control once the client area has grown by (dx, dy):
/// edges named by the flags are placed relative to the initial rectangle, the others stay
/// where the control is now.
LayoutRect AnchoredRect(const LayoutRect& initial, const LayoutRect& current, unsigned flags,
                        int dx, int dy);

/// Top-left corner that centres a window of the given size over `reference`, pushed back
/// inside `bounds` (the right/bottom edge first, then the left/top edge wins).
LayoutPoint CenteredPosition(const LayoutRect& reference, const LayoutRect& bounds, int width,
                             int height);

/// Windows lays out at 96 dots per inch for 100 % scale.
inline constexpr unsigned kDefaultDpi = 96;

/// `value` (pixels at `fromDpi`) in pixels at `toDpi`, rounded to the nearest pixel (halves
/// away from zero). A DPI of 0 (not known) leaves the value as it is.
int ScaleForDpi(int value, unsigned toDpi, unsigned fromDpi = kDefaultDpi);

/// A font's LOGFONT height made at `fromDpi`, for `toDpi`. A negative (character) height
/// was made from whole points, as dialog templates give them: the points are recovered and
/// converted again, so that the font is the one the dialog manager makes at `toDpi`, not one
/// that carries the first conversion's rounding along.
int ScaleFontHeightForDpi(int height, unsigned toDpi, unsigned fromDpi);

/// A rectangle of a window laid out at `fromDpi`, laid out again at `toDpi`: each edge is
/// scaled on its own, so that controls that touched still touch.
LayoutRect ScaleRectForDpi(const LayoutRect& rect, unsigned toDpi, unsigned fromDpi);
