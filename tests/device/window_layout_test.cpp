// Where the game's picture lies in windows of every shape, what the pointer's window positions are in
// it, what size the scene is drawn at, and where a remembered window opens.
#include "device/window_layout.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(WindowLayout, ThePictureKeepsItsShapeCentredWithBarsOnTwoSidesOnly) {
    struct Case {
        int drawableWidth, drawableHeight, shapeWidth, shapeHeight;
        PixelRect picture;
    };
    const Case cases[] = {
        {800, 600, 800, 600, {0, 0, 800, 600}},        // the game's own size: no bars
        {1920, 1080, 800, 600, {240, 0, 1440, 1080}},  // wide screen: bars left and right
        {1280, 1024, 800, 600, {0, 32, 1280, 960}},    // tall screen: bars above and below
        {641, 480, 800, 600, {0, 0, 640, 480}},        // a pixel too wide: one column of bar
        {1001, 751, 800, 600, {0, 0, 1000, 750}},      // exactly 4:3, never a pixel stretched
        {2560, 1600, 800, 600, {214, 0, 2132, 1599}},  // 16:10
        {640, 200, 320, 200, {160, 0, 320, 200}},      // another game's shape
        {3, 2, 800, 600, {0, 0, 3, 2}},                // too small for one step: the whole drawable
        {500, 500, 0, 600, {0, 0, 500, 500}},          // no shape: the whole drawable
        {1000, 700, 801, 600, {33, 0, 934, 700}},      // a shape of coarse steps, rounded
    };
    for (const Case& c : cases) {
        const PixelRect picture = FitPicture(c.drawableWidth, c.drawableHeight, c.shapeWidth, c.shapeHeight);
        SCOPED_TRACE(std::to_string(c.drawableWidth) + "x" + std::to_string(c.drawableHeight));
        EXPECT_EQ(picture, c.picture);
        // Bars on at most two opposite sides, equal to within a pixel.
        const int left = picture.x, right = c.drawableWidth - picture.x - picture.width;
        const int top = picture.y, bottom = c.drawableHeight - picture.y - picture.height;
        EXPECT_TRUE((left == 0 && right <= 1) || (top == 0 && bottom <= 1)) << left << " " << top;
        EXPECT_LE(std::abs(left - right), 1);
        EXPECT_LE(std::abs(top - bottom), 1);
    }
}

TEST(WindowLayout, SceneIsDrawnAtMostAtTheLimitInThePicturesShape) {
    struct Case {
        PixelExtent picture, limit, scene;
    };
    const Case cases[] = {
        {{800, 600}, {1024, 768}, {800, 600}},  // within the limit: the picture's own size
        {{1024, 768}, {1024, 768}, {1024, 768}},
        {{1440, 1080}, {1024, 768}, {1024, 768}},  // full HD full screen
        {{1280, 960}, {1024, 768}, {1024, 768}},
        {{2132, 1599}, {1024, 768}, {1024, 768}},
        {{1440, 1080}, {0, 0}, {1440, 1080}},  // no limit (a hardware renderer)
        {{320, 200}, {1024, 768}, {320, 200}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SceneSize(c.picture, c.limit), c.scene) << c.picture.width << "x" << c.picture.height;
    }
}

TEST(WindowLayout, PointerPositionsLandInThePicturesPixels) {
    struct Case {
        Point window;
        PixelExtent windowSize, drawable;
        PixelRect picture;
        Point inPicture;
    };
    const Case cases[] = {
        {{400, 300}, {800, 600}, {800, 600}, {0, 0, 800, 600}, {400, 300}},
        {{240, 0}, {1920, 1080}, {1920, 1080}, {240, 0, 1440, 1080}, {0, 0}},          // the picture's corner
        {{100, 500}, {1920, 1080}, {1920, 1080}, {240, 0, 1440, 1080}, {-140, 500}},   // over the left bar
        {{1919, 540}, {1920, 1080}, {1920, 1080}, {240, 0, 1440, 1080}, {1679, 540}},  // the right bar
        {{640, 40}, {1280, 1024}, {1280, 1024}, {0, 32, 1280, 960}, {640, 8}},
        // A high-density display: two pixels per point.
        {{500, 375}, {1000, 750}, {2000, 1500}, {0, 0, 2000, 1500}, {1000, 750}},
        {{960, 10}, {960, 540}, {1920, 1080}, {240, 0, 1440, 1080}, {1680, 20}},
        // No sizes known: as it comes.
        {{12, 34}, {}, {}, {}, {12, 34}},
    };
    for (const Case& c : cases) {
        const Point at = PictureFromWindow(c.window, c.windowSize, c.drawable, c.picture);
        EXPECT_EQ(at.x, c.inPicture.x) << c.window.x << "," << c.window.y;
        EXPECT_EQ(at.y, c.inPicture.y) << c.window.x << "," << c.window.y;
    }
}

TEST(WindowLayout, ARememberedWindowOpensWhereItWasIfThatIsOnAScreen) {
    const std::vector<PixelRect> oneScreen{{0, 0, 1920, 1050}};
    const std::vector<PixelRect> twoScreens{{0, 0, 1920, 1050}, {1920, 0, 1280, 1024}};
    struct Case {
        const char* what;
        PixelExtent size;
        std::optional<Point> position;
        const std::vector<PixelRect>* displays;
        PixelRect placed;
    };
    const Case cases[] = {
        {"remembered place on the screen", {1024, 768}, Point{100, 50}, &oneScreen, {100, 50, 1024, 768}},
        {"no place: the middle", {800, 600}, std::nullopt, &oneScreen, {560, 225, 800, 600}},
        {"on the second screen", {800, 600}, Point{2000, 100}, &twoScreens, {2000, 100, 800, 600}},
        {"the second screen is gone", {800, 600}, Point{2000, 100}, &oneScreen, {560, 225, 800, 600}},
        {"far off every screen", {800, 600}, Point{-90000, 90000}, &twoScreens, {560, 225, 800, 600}},
        {"larger than the screen", {4000, 3000}, std::nullopt, &oneScreen, {0, 0, 1920, 1050}},
        {"below the minimum", {320, 200}, std::nullopt, &oneScreen, {640, 285, 640, 480}},
        {"partly off the edge, middle on it",
         {800, 600},
         Point{-300, -200},
         &oneScreen,
         {-300, -200, 800, 600}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PlaceWindow(c.size, c.position, *c.displays, {640, 480}), c.placed) << c.what;
    }
}

}  // namespace
