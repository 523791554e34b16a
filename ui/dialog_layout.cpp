#include "ui/dialog_layout.h"

LayoutRect AnchoredRect(const LayoutRect& initial, const LayoutRect& current, unsigned flags,
                        int dx, int dy) {
    LayoutRect result = current;
    if (flags & (kAnchorSizeX | kAnchorMoveX)) {
        result.right = initial.right + dx;
        if (flags & kAnchorMoveX) result.left = initial.left + dx;
    }
    if (flags & (kAnchorSizeY | kAnchorMoveY)) {
        result.bottom = initial.bottom + dy;
        if (flags & kAnchorMoveY) result.top = initial.top + dy;
    }
    return result;
}

namespace {
int CenteredStart(int low, int high, int size, int boundLow, int boundHigh) {
    int start = (low + high) / 2 - size / 2;
    if (start + size > boundHigh) start = boundHigh - size;
    if (start < boundLow) start = boundLow;
    return start;
}
}  // namespace

LayoutPoint CenteredPosition(const LayoutRect& reference, const LayoutRect& bounds, int width,
                             int height) {
    return {CenteredStart(reference.left, reference.right, width, bounds.left, bounds.right),
            CenteredStart(reference.top, reference.bottom, height, bounds.top, bounds.bottom)};
}

int ScaleForDpi(int value, unsigned toDpi, unsigned fromDpi) {
    if (toDpi == 0 || fromDpi == 0 || toDpi == fromDpi) return value;
    const long long product = static_cast<long long>(value) * toDpi;
    const long long half = fromDpi / 2;
    return static_cast<int>(product >= 0 ? (product + half) / fromDpi
                                         : -((-product + half) / fromDpi));
}

int ScaleFontHeightForDpi(int height, unsigned toDpi, unsigned fromDpi) {
    constexpr unsigned kPointsPerInch = 72;
    if (height >= 0 || toDpi == 0 || fromDpi == 0) return ScaleForDpi(height, toDpi, fromDpi);
    const int points = ScaleForDpi(-height, kPointsPerInch, fromDpi);
    return -ScaleForDpi(points, toDpi, kPointsPerInch);
}

LayoutRect ScaleRectForDpi(const LayoutRect& rect, unsigned toDpi, unsigned fromDpi) {
    return {ScaleForDpi(rect.left, toDpi, fromDpi), ScaleForDpi(rect.top, toDpi, fromDpi),
            ScaleForDpi(rect.right, toDpi, fromDpi), ScaleForDpi(rect.bottom, toDpi, fromDpi)};
}
