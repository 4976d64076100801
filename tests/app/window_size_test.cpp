// The game in windows of other sizes than its own: a full HD screen (bars left and right), a 5:4 screen
// (bars above and below) and its own 800 x 600. Headless runs (--size) show the same picture at every
// size, only larger; a windowed run on the offscreen driver takes the pointer's window positions, as a
// player's mouse gives them, and its clicks and steering land where the picture shows the button and
// the piece. Also: the window's place as config.ini remembers it, garbage included.
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/game_app.h"
#include "app/window_place.h"
#include "device/image_loader.h"
#include "persist/config.h"
#include "persist/ini.h"
#include "persist/log.h"

namespace fs = std::filesystem;

namespace {

struct Size {
    int width, height;
    PixelRect picture;  // where the 4:3 picture lies in it
};
const Size Sizes[] = {
    {1920, 1080, {240, 0, 1440, 1080}},
    {1280, 1024, {0, 32, 1280, 960}},
    {800, 600, {0, 0, 800, 600}},
};

std::string Name(const Size& size) {
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

// A fresh copy of the game directory per test, made current for its length.
class GameDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        const char* gameDir = std::getenv("KELVANE_GAME_DIR");
        const fs::path source = gameDir && *gameDir ? gameDir : KELVANE_GAME_DIR_DEFAULT;
        ASSERT_TRUE(fs::exists(source / "menu-main.xml")) << "the assets are built into " << source;
        std::string pattern = (fs::temp_directory_path() / "kelvane-sizes-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        for (const char* item :
             {"Graphics", "Sound", "language.ini", "menu-main.xml", "menu-options.xml", "menu-selectgame.xml",
              "menu-highscores.xml", "menu-pause.xml", "menu-ingame.xml"})
            fs::copy(source / item, dir / item, fs::copy_options::recursive);
        oldDir = fs::current_path();
        fs::current_path(dir);
        ResetLogState();
        IniForgetCache();
    }
    void TearDown() override {
        fs::current_path(oldDir);
        if (!HasFailure()) fs::remove_all(dir);
        ResetLogState();
        IniForgetCache();
    }

    static Image Load(const std::string& file) {
        Image image;
        std::string error;
        EXPECT_TRUE(LoadImageFile(file, image, error)) << error;
        return image;
    }

    fs::path dir, oldDir;
};

// The picture of a screenshot brought down to 800 x 600 by averaging the pixels each target pixel covers.
std::vector<float> DownToGameSize(const Image& image, const PixelRect& picture) {
    std::vector<float> out(size_t(800) * 600 * 3);
    const double sx = double(picture.width) / 800, sy = double(picture.height) / 600;
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x) {
            const int x0 = int(x * sx), x1 = std::max(x0 + 1, int((x + 1) * sx));
            const int y0 = int(y * sy), y1 = std::max(y0 + 1, int((y + 1) * sy));
            for (int c = 0; c < 3; ++c) {
                double sum = 0;
                for (int v = y0; v < y1; ++v)
                    for (int u = x0; u < x1; ++u)
                        sum +=
                            image.rgba[(size_t(picture.y + v) * size_t(image.width) + size_t(picture.x + u)) *
                                           4 +
                                       size_t(c)];
                out[(size_t(y) * 800 + size_t(x)) * 3 + size_t(c)] = float(sum / ((x1 - x0) * (y1 - y0)));
            }
        }
    return out;
}

int PieceScreenX(const std::string& dumpFile) {
    std::ifstream in(dumpFile);
    std::stringstream text;
    text << in.rdbuf();
    const std::string dump = text.str();
    const size_t at = dump.find("\"pieceScreenX\":");
    return at == std::string::npos ? -1 : std::atoi(dump.c_str() + at + 15);
}

using HeadlessSizes = GameDirectory;

// The main menu and a game, headless at each size: dark bars on two sides only, and inside them the
// picture of the 800 x 600 run, only larger; the runner's clicks by action reach the buttons.
TEST_F(HeadlessSizes, ThePictureIsTheSameAtEverySizeNeverStretched) {
    std::ofstream("session.script") << "at 30\nclick procNewGame\nwait 5\nclick procStart1\n";
    std::vector<float> menuAt800, gameAt800;
    int pieceXAt800 = 0;
    for (const Size& size : {Sizes[2], Sizes[0], Sizes[1]}) {
        SCOPED_TRACE(Name(size));
        RunOptions options;
        options.headless = true;
        options.seed = 99;
        options.frames = 60;
        options.width = size.width;
        options.height = size.height;
        options.scriptFile = "session.script";
        options.screenshots = {{29, "menu.png"}, {59, "game.png"}};
        options.dumpFile = "dump.json";
        GameApp app;
        ASSERT_EQ(app.Run(options), 0);
        ASSERT_EQ(app.appState, Playing) << "the clicks by action reached New Game and Classic Game";

        const Image menu = Load("menu.png"), game = Load("game.png");
        ASSERT_EQ(menu.width, size.width);
        ASSERT_EQ(menu.height, size.height);
        // Bars: every pixel outside the picture is black, and the picture's edge rows and columns are not.
        size_t lit = 0, edgeLit = 0;
        for (int y = 0; y < size.height; ++y)
            for (int x = 0; x < size.width; ++x) {
                const uint8_t* p = &menu.rgba[(size_t(y) * size_t(size.width) + size_t(x)) * 4];
                const bool inside = x >= size.picture.x && x < size.picture.x + size.picture.width &&
                                    y >= size.picture.y && y < size.picture.y + size.picture.height;
                const bool edge = inside && (x == size.picture.x || y == size.picture.y ||
                                             x == size.picture.x + size.picture.width - 1 ||
                                             y == size.picture.y + size.picture.height - 1);
                if (!inside) lit += p[0] + p[1] + p[2] != 0;
                if (edge) edgeLit += p[0] + p[1] + p[2] != 0;
            }
        EXPECT_EQ(lit, 0u) << "nothing is drawn on the bars";
        EXPECT_GT(edgeLit, size_t(size.picture.width + size.picture.height))
            << "the picture reaches its edges";

        const std::vector<float> menuSmall = DownToGameSize(menu, size.picture);
        const std::vector<float> gameSmall = DownToGameSize(game, size.picture);
        const int pieceX = PieceScreenX("dump.json");
        if (size.width == 800) {
            menuAt800 = menuSmall;
            gameAt800 = gameSmall;
            pieceXAt800 = pieceX;
            continue;
        }
        // The same picture: the larger one, brought down to 800 x 600, differs from the 800 x 600 one
        // only in the sharpness of its edges.
        for (const auto& [what, small, reference] :
             {std::tuple{"menu", &menuSmall, &menuAt800}, std::tuple{"game", &gameSmall, &gameAt800}}) {
            double difference = 0;
            for (size_t i = 0; i < small->size(); ++i) difference += std::abs((*small)[i] - (*reference)[i]);
            EXPECT_LT(difference / double(small->size()), 6.0) << what;
        }
        // The piece's place on screen, which the pointer steers by, is the same point of the picture.
        EXPECT_NEAR(pieceX, pieceXAt800 * size.picture.width / 800.0, 1.0);
    }
}

// The real window code on the offscreen driver, played by a pointer that moves and clicks at window
// positions: it lights the Options button where the picture shows it, clicks New Game, starts a Classic
// game, and steers the piece one column per movement beyond 15 of the picture's pixels from it.
class PointerPlayer : public GameApp {
public:
    explicit PointerPlayer(const PixelRect& picture) : picture(picture) {}

    HResult AdvanceFrame(float now) override {
        Step(frame++);
        lastState = appState;
        return GameApp::AdvanceFrame(now);
    }
    // The offscreen window's focus comes and goes with the machine it runs on; a pause it would cause
    // is not what this player is about.
    int64_t HandleMessage(const Message& message) override {
        if (message.id == WM_KILLFOCUS) return DefaultHandleMessage(message);
        return GameApp::HandleMessage(message);
    }

    // The window position of a point of the picture, pushed as the mouse would send it.
    void Push(uint32_t type, Point at) {
        SDL_Event event{};
        event.type = type;
        const int x = picture.x + at.x, y = picture.y + at.y;
        if (type == SDL_MOUSEMOTION) {
            event.motion.x = x;
            event.motion.y = y;
        } else {
            event.button.button = SDL_BUTTON_LEFT;
            event.button.x = x;
            event.button.y = y;
            event.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        }
        SDL_PushEvent(&event);
    }
    void Click(Point at) {
        Push(SDL_MOUSEMOTION, at);
        Push(SDL_MOUSEBUTTONDOWN, at);
        Push(SDL_MOUSEBUTTONUP, at);
    }

    void Step(int f) {
        if (f == 2) Push(SDL_MOUSEMOTION, {2, 2});
        // Options, not New Game: the first button is lit already, as the keyboard's focus.
        if (f == 8) {
            buttonCentre = MainScreen().FindActionCentre("procOptions").value_or(Point{-1, -1});
            Push(SDL_MOUSEMOTION, buttonCentre);
        }
        if (f == 14) Click(MainScreen().FindActionCentre("procNewGame").value_or(Point{-1, -1}));
        if (f == 18) {
            reachedSelect = appState == SelectGame;
            Click(SelectScreen().FindActionCentre("procStart1").value_or(Point{-1, -1}));
        }
        if (f == 22) reachedPlay = appState == Playing;
        // Steering, once the first piece is there: every fourth frame a movement at an offset from the
        // piece's place on screen, and four frames later the column it left the piece in.
        static constexpr int Offsets[] = {14, 16, -16, -14, 40, -40};
        const FallingPiece& piece = State().piece;
        const bool steerable = appState == Playing && (piece.active || piece.appearing);
        if (steerFrom < 0 && f >= 22 && steerable) steerFrom = f;
        if (steerFrom < 0 || (f - steerFrom) % 4 != 0) return;
        const size_t step = size_t((f - steerFrom) / 4);
        if (step > 0 && pending && steerable)
            moves.push_back({Offsets[step - 1], piece.cells[0].column - columnBefore});
        pending = false;
        if (step == std::size(Offsets)) {
            PostClose();
            return;
        }
        if (!steerable) return;
        columnBefore = piece.cells[0].column;
        Push(SDL_MOUSEMOTION, {pieceScreenX + Offsets[step], pieceScreenY});
        pending = true;
    }

    PixelRect picture;
    int frame = 0;
    AppState lastState = MainMenu;
    Point buttonCentre{-1, -1};
    bool reachedSelect = false, reachedPlay = false, pending = false;
    int steerFrom = -1, columnBefore = 0;
    struct Move {
        int offset, columns;
    };
    std::vector<Move> moves;
};

using WindowedSizes = GameDirectory;

TEST_F(WindowedSizes, PointerClicksAndSteersWhereThePictureShows) {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    for (const Size& size : Sizes) {
        SCOPED_TRACE(Name(size));
        PointerPlayer player(size.picture);
        RunOptions options;
        options.frames = 600;  // it closes itself when it is done
        options.seed = 5;
        options.width = size.width;
        options.height = size.height;
        options.screenshots = {{6, "plain.png"}, {12, "lit.png"}};
        ASSERT_EQ(player.Run(options), 0);
        EXPECT_TRUE(player.reachedSelect) << "the click landed on New Game";
        EXPECT_TRUE(player.reachedPlay) << "the click landed on Classic Game";

        // The button lights up where the picture shows it: the pixels that change when the pointer
        // comes over it lie around the point the pointer was moved to, in window pixels.
        const Image plain = Load("plain.png"), lit = Load("lit.png");
        ASSERT_EQ(plain.width, size.width);
        const int centreX = size.picture.x + player.buttonCentre.x,
                  centreY = size.picture.y + player.buttonCentre.y;
        int left = size.width, right = -1, top = size.height, bottom = -1;
        // Near the middle of the picture, away from the pieces that fall behind the menu at its sides.
        for (int y = std::max(centreY - size.picture.height / 8, 0); y < centreY + size.picture.height / 8;
             ++y)
            for (int x = size.picture.x + size.picture.width / 4;
                 x < size.picture.x + size.picture.width * 3 / 4; ++x) {
                const size_t i = (size_t(y) * size_t(size.width) + size_t(x)) * 4;
                if (std::abs(plain.rgba[i] - lit.rgba[i]) + std::abs(plain.rgba[i + 1] - lit.rgba[i + 1]) +
                        std::abs(plain.rgba[i + 2] - lit.rgba[i + 2]) >
                    24) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
            }
        ASSERT_GE(right, left) << "the button lit up";
        EXPECT_NEAR((left + right) / 2.0, centreX, 4.0);
        EXPECT_NEAR((top + bottom) / 2.0, centreY, 4.0);

        // Within 15 pixels of the piece the pointer leaves it; beyond, each movement moves it a column.
        ASSERT_GE(player.moves.size(), 4u)
            << "state " << AppStateName(player.lastState) << ", frames " << player.frame;
        for (const PointerPlayer::Move& move : player.moves) {
            const int expected = std::abs(move.offset) <= 15 ? 0 : move.offset > 0 ? 1 : -1;
            EXPECT_EQ(move.columns, expected) << "pointer " << move.offset << " pixels from the piece";
        }
    }
}

// The window's place is kept in config.ini [WINDOW] as the player left it; what config.ini holds there
// is used only when it makes sense.
class RememberedPlace : public GameDirectory {};

TEST_F(RememberedPlace, OnlySensibleValuesAreUsed) {
    ASSERT_TRUE(StoreWindowPlace({-40, 120, 1024, 700}));
    RememberedWindow remembered = LoadWindowPlace({640, 480});
    ASSERT_TRUE(remembered.size && remembered.position);
    EXPECT_EQ(*remembered.size, (PixelExtent{1024, 700}));
    EXPECT_EQ(remembered.position->x, -40);
    EXPECT_EQ(remembered.position->y, 120);

    struct Case {
        const char *width, *height, *left, *top;
        bool size, position;
    };
    const Case cases[] = {
        {"1280", "960", "10", "20", true, true},
        {"abc", "960", "10", "20", false, true},     // not a number
        {"639", "960", "10", "20", false, true},     // below the smallest window
        {"1280", "99999", "10", "20", false, true},  // beyond any screen
        {"1e30", "nan", "10", "20", false, true},
        {"1280", "960", "", "20", true, false},          // half a place
        {"1280", "960", "10", "-500000", true, false},   // far off any desktop
        {"1280.9", "960", "-3000", "2000", true, true},  // whole pixels; a place on a far screen is kept
        {"", "", "", "", false, false},
    };
    for (const Case& c : cases) {
        for (const auto& [key, value] : {std::pair{"Width", c.width}, std::pair{"Height", c.height},
                                         std::pair{"Left", c.left}, std::pair{"Top", c.top}})
            WriteConfigString("WINDOW", key, value);
        remembered = LoadWindowPlace({640, 480});
        EXPECT_EQ(remembered.size.has_value(), c.size) << c.width << " x " << c.height;
        EXPECT_EQ(remembered.position.has_value(), c.position) << c.left << ", " << c.top;
    }
    EXPECT_EQ(remembered.size, std::nullopt);
    std::ifstream log("app.log");
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_NE(text.str().find("config.ini [WINDOW] Width = 'abc'"), std::string::npos) << "garbage is logged";
}

}  // namespace
