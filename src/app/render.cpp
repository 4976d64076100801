// Drawing one frame, by application state, from the background to the menus, the play scene, the HUD
// and the high-score screen; and the HUD itself.
#include <cmath>
#include <cstdio>

#include "app/game_app.h"
#include "app/hud.h"
#include "app/subsystems.h"
#include "base/clock.h"
#include "persist/config.h"
#include "ui/bitmap_font.h"
#include "ui/texture_registry.h"

namespace {
constexpr ColourArgb White = 0xFFFFFFFF;
constexpr ColourArgb NoticeColour = 0xFFFF7070;
constexpr float Pi = 3.14159265358979f;
constexpr float HudTextSize = 0.04f;

std::string Decimal(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return text;
}
}  // namespace

HResult GameApp::RenderFrame() {
    GraphicsDevice& device = *Device();
    GameState& s = core.state;
    Subsystems& sys = Subsystems::Get();

    // 1. Where the falling piece's first cell lands on screen, for pointer steering.
    device.SetTransform(TransformKind::World, MatrixIdentity());
    ScreenPoint pivot;
    pivot.x = static_cast<float>(s.piece.cells[0].column) - 6.5f;
    pivot.y = 10.5f - static_cast<float>(s.piece.cells[0].row);
    pivot.z = 22.0f;
    ProjectToScreen(device, std::span<ScreenPoint>(&pivot, 1));
    pieceScreenX = static_cast<int32_t>(pivot.x);
    pieceScreenY = static_cast<int32_t>(pivot.y);

    // 2.
    HResult result = device.BeginScene();
    if (Failed(result)) return result;

    // 3.
    result = DrawBackground(device, textureRegistry, now, dynamicBackground != 0, backgroundIndex);
    if (Failed(result)) {
        device.EndScene();
        return result;
    }

    // 4, 5.
    if (appState == MainMenu || appState == SelectGame || appState == AppState::Options) {
        s.pieceCellCount = 4;
        sys.menuBackdrop.Draw(sys.scene, device, now);
    }
    if (appState == MainMenu) mainScreen.Draw();
    if (appState == SelectGame) selectScreen.Draw();

    // 6. The play scene, the same for every game type.
    if (appState == Playing || appState == Paused || appState == GameOver) {
        inGameScreen.Draw();
        sys.scene.DrawGlass(device);
        device.SetRenderState(RenderState::SpecularEnable, 1);
        // The animations advance once per drawn frame, each just before the drawing that shows it.
        core.AdvanceWellAnimations();
        sys.scene.DrawWell(device, s);
        const bool wasAppearing = s.piece.appearing != 0;
        core.AdvanceAppearance();
        // An appearance that ends in this frame is still drawn appearing; the well shows the piece in
        // place from the next frame on.
        sys.scene.DrawFallingPiece(device, s, wasAppearing);
        core.AdvanceDebris(appState == Paused);
        sys.scene.DrawDebris(device, s);
        device.SetRenderState(RenderState::SpecularEnable, 0);
        DrawHud();
        SetSceneLight(device, 1.0f);
        for (int kind = 0; kind < 2; ++kind) {
            if (s.bonus[kind].active)
                sys.scene.DrawBonusItem(device, kind, s.bonus[kind].column, s.bonus[kind].row, now);
        }
        SetSceneLight(device, 0.55f);
        if (s.levelUpProgress < 1.0f)
            bitmapFont.DrawText(0.5f, 0.5f, LevelUpCaptionSize(s.levelUpProgress), White, TEXT_CENTRE,
                                "Level Up");
    }

    // 7 - 10.
    if (appState == Paused) pauseScreen.Draw();
    if (appState == GameOver)
        bitmapFont.DrawText(0.5f, 0.5f, GameOverCaptionSize(now - s.gameOverTime), White, TEXT_CENTRE,
                            "Game Over");
    if (appState == AppState::Options) {
        optionsScreen.Draw();
        bitmapFont.DrawText(optionsScreen.GetTextX("txtBlocksType"), optionsScreen.GetTextY("txtBlocksType"),
                            HudTextSize, White, TEXT_CENTRE, Decimal(blockStyle + 1));
    }
    if (appState == AppState::HighScores) {
        highScores.SelectTable(s.gameModeIndex);
        highScoreScreen.Draw();
        highScores.DrawRows(0.28f, 0.032f, 0.29f, 0.33f, 0.65f);
        const std::string title = GameTypeTitle(s.gameModeIndex);
        if (!title.empty())
            bitmapFont.DrawText(highScoreScreen.GetTextX("txtGameType"),
                                highScoreScreen.GetTextY("txtGameType"),
                                highScoreScreen.GetTextSize("txtGameType"), White, TEXT_CENTRE, title);
    }

    DrawNotices();

    // 11. The frame rate while F1 is held.
    if (CurrentInput().IsKeyHeld(VK_F1))
        bitmapFont.DrawText(0.05f, 0.02f, 0.03f, White, TEXT_CENTRE,
                            "FPS: " + Decimal(static_cast<int>(frameRate)));

    // 12.
    device.EndScene();
    return S_OK;
}

void GameApp::DrawHud() {
    const GameState& s = core.state;
    Subsystems& sys = Subsystems::Get();
    auto value = [&](const char* name, const std::string& text) {
        bitmapFont.DrawText(inGameScreen.GetTextX(name), inGameScreen.GetTextY(name), HudTextSize, White,
                            TEXT_CENTRE, text);
    };
    value("txtLevelNum", Decimal(s.level));
    value("txtTimeNum", FormatPlayTime(s.elapsedSeconds));
    value("txtScoreNum", Decimal(s.score));
    value("txtLineNum", Decimal(s.lines));

    // The next piece turns slowly to and fro beside the well.
    const float turn = 0.5f * std::sin(1.5f * now);
    if (s.gameType == Classic) {
        sys.scene.DrawPiece(*Device(), s.nextShape, s.nextColour, 10, 1, 22, Pi, turn, 0, 1.0f);
    } else {
        sys.scene.DrawColourBar(*Device(), s.nextBarColours, s.gameType, 10, 1, 22, Pi, turn, 0, 1.0f);
    }
}

// What the player must know at once, over everything else: a screen file that is damaged (with the
// key that still leaves the screen) and a save that failed.
void GameApp::DrawNotices() {
    const std::string damaged = DamagedScreenText();
    if (!damaged.empty()) bitmapFont.DrawText(0.5f, 0.5f, 0.035f, White, TEXT_CENTRE | TEXT_LITERAL, damaged);
    const std::string saveProblem = SaveNoticeText();
    if (!saveProblem.empty())
        bitmapFont.DrawText(0.5f, 0.95f, 0.035f, NoticeColour, TEXT_CENTRE | TEXT_LITERAL, saveProblem);
}

// Shown once before the slow loading of textures, sounds and music: the translation of "Loading..."
// names a picture, or the words are written in the middle of the window.
void GameApp::ShowLoadingSplash() {
    GraphicsDevice& device = *Device();
    const std::string translation = Translate("Loading...");
    if (Failed(device.BeginScene())) return;
    device.Clear(ClearTarget | ClearDepth, 0xFF000000, 1.0f);
    if (translation.find(".bmp") != std::string::npos || translation.find(".tga") != std::string::npos) {
        // The picture's top-left corner at (0.4, 0.5) of the client area, 0.2 x 0.075 of it in size.
        if (Texture* picture = textureRegistry.GetTexture(translation))
            textureRegistry.DrawQuad(picture, 0.5f, 0.5375f, 0.2f, 0.075f, 0, 0, 1, 1, White, 0);
    } else {
        bitmapFont.LoadSymbolWidths("Graphics\\font01.tga");
        bitmapFont.DrawText(0.5f, 0.52f, 0.05f, 0xFFC8FFFF, TEXT_CENTRE, "Loading...");
    }
    device.EndScene();
    PresentNow();
}
