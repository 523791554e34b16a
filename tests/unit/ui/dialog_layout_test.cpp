#include "ui/dialog_layout.h"

#include <gtest/gtest.h>

TEST(AnchoredRect, FollowsFlags) {
    const LayoutRect initial{10, 20, 60, 40};
    struct Case {
        unsigned flags;
        int dx, dy;
        LayoutRect expected;
    };
    const Case cases[] = {
        {0, 30, 50, {10, 20, 60, 40}},
        {kAnchorSizeX, 30, 50, {10, 20, 90, 40}},
        {kAnchorSizeY, 30, 50, {10, 20, 60, 90}},
        {kAnchorSizeX | kAnchorSizeY, 30, 50, {10, 20, 90, 90}},
        {kAnchorMoveX, 30, 50, {40, 20, 90, 40}},
        {kAnchorMoveY, 30, 50, {10, 70, 60, 90}},
        {kAnchorMoveX | kAnchorMoveY | kAnchorRepaint | kAnchorGrip, 30, 50, {40, 70, 90, 90}},
        {kAnchorSizeX | kAnchorMoveY, 30, 50, {10, 70, 90, 90}},
        // Shrinking back to the initial size restores the initial rectangle.
        {kAnchorMoveX | kAnchorMoveY, 0, 0, {10, 20, 60, 40}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        EXPECT_EQ(AnchoredRect(initial, initial, c.flags, c.dx, c.dy), c.expected);
    }
}

TEST(AnchoredRect, UnanchoredEdgesKeepTheCurrentPlace) {
    const LayoutRect initial{10, 20, 60, 40};
    const LayoutRect current{12, 25, 70, 45};
    EXPECT_EQ(AnchoredRect(initial, current, kAnchorSizeX, 5, 5), (LayoutRect{12, 25, 65, 45}));
    EXPECT_EQ(AnchoredRect(initial, current, kAnchorSizeY, 5, 5), (LayoutRect{12, 25, 70, 45}));
}

TEST(CenteredPosition, CentresAndStaysInsideBounds) {
    const LayoutRect screen{0, 0, 1000, 800};
    struct Case {
        LayoutRect reference;
        int width, height;
        LayoutPoint expected;
    };
    const Case cases[] = {
        {screen, 200, 100, {400, 350}},
        {screen, 201, 101, {400, 350}},                 // integer halves
        {{900, 700, 1100, 900}, 200, 100, {800, 700}},  // pushed back from the right/bottom
        {{-100, -50, 50, 50}, 200, 100, {0, 0}},        // pushed back from the left/top
        {screen, 1200, 900, {0, 0}},                    // larger than bounds: left/top wins
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CenteredPosition(c.reference, screen, c.width, c.height), c.expected);
    }
}

TEST(CenteredPosition, SecondMonitorLeftOfPrimary) {
    const LayoutRect monitor{-1920, 0, 0, 1040};
    EXPECT_EQ(CenteredPosition(monitor, monitor, 400, 300), (LayoutPoint{-1160, 370}));
}

TEST(ScaleForDpi, RoundsToTheNearestPixel) {
    struct Case {
        int value;
        unsigned to, from;
        int expected;
    };
    const Case cases[] = {
        {100, 144, 96, 150},
        {7, 144, 96, 11},    // 10.5: halves round away from zero
        {-7, 144, 96, -11},  // also below zero (a monitor left of the primary one)
        {33, 120, 96, 41},   // 41.25
        {150, 96, 144, 100},
        {1, 192, 96, 2},
        {5, 0, 96, 5},  // an unknown DPI leaves the value
        {5, 144, 0, 5},
        // The product is formed in 64 bits: a large coordinate does not overflow.
        {2000000000, 96, 192, 1000000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(ScaleForDpi(c.value, c.to, c.from), c.expected);
    }
}

TEST(ScaleForDpi, FontHeightsGoThroughWholePoints) {
    struct Case {
        int height;
        unsigned to, from;
        int expected;
    };
    const Case cases[] = {
        {-11, 144, 96, -16},  // 8 points, not 1.5 x 11 = 16.5 -> 17
        {-16, 96, 144, -11},  {-11, 120, 96, -13}, {-13, 96, 120, -11},
        {-11, 96, 96, -11},
        {13, 144, 96, 20},  // a cell height has no points behind it: scaled
        {0, 144, 96, 0},    // the default height stays the default
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.height);
        EXPECT_EQ(ScaleFontHeightForDpi(c.height, c.to, c.from), c.expected);
    }
}

TEST(ScaleForDpi, RectEdgesScaleOnTheirOwn) {
    // Two controls that touch at x = 7 still touch after scaling to 150 %.
    const LayoutRect left{0, 0, 7, 5};
    const LayoutRect right{7, 0, 20, 5};
    EXPECT_EQ(ScaleRectForDpi(left, 144, 96), (LayoutRect{0, 0, 11, 8}));
    EXPECT_EQ(ScaleRectForDpi(right, 144, 96), (LayoutRect{11, 0, 30, 8}));
    EXPECT_EQ(ScaleRectForDpi({-30, 12, 60, 40}, 96, 144), (LayoutRect{-20, 8, 40, 27}));
}
