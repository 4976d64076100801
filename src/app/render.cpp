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
constexpr ColourArgb PromptColour = 0xFFFFE27A;  // the warm gold of a lit button's rim
constexpr ColourArgb KeyColour = 0xFFFFE27A;
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

    // 4, 5. The help page stands over the menu backdrop, or over the game it was opened from.
    const bool helpOverGame = appState == AppState::Help && helpReturnState == Paused;
    if (appState == MainMenu || appState == SelectGame || appState == AppState::Options ||
        appState == AppState::Controls || (appState == AppState::Help && !helpOverGame)) {
        s.pieceCellCount = 4;
        sys.menuBackdrop.Draw(sys.scene, device, now);
    }
    if (appState == MainMenu) mainScreen.Draw();
    if (appState == SelectGame) selectScreen.Draw();

    // 6. The play scene, the same for every game type.
    if (appState == Playing || appState == Paused || appState == GameOver || helpOverGame) {
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
        core.AdvanceDebris(appState == Paused || helpOverGame);
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
        DrawOptionsValues();
    }
    if (appState == AppState::Controls) DrawControlsScreen();
    if (appState == AppState::HighScores) DrawHighScoreScreen();
    if (appState == AppState::Help) {
        helpScreen.Draw();
        DrawHelpControls();
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

void GameApp::DrawHighScoreScreen() {
    highScores.SelectTable(core.state.gameModeIndex);
    highScoreScreen.Draw();
    constexpr float top = 0.28f, size = 0.032f;
    highScores.DrawRows(top, size, 0.29f, 0.33f, 0.65f);
    const std::string title = GameTypeTitle(core.state.gameModeIndex);
    if (!title.empty()) {
        // A long title (a long translation) shrinks to stay inside the panel.
        const float maxWidth = highScoreScreen.width * 0.9f;
        float titleSize = highScoreScreen.GetTextSize("txtGameType");
        const float width = bitmapFont.TextWidth(titleSize, TEXT_CENTRE, title);
        if (width > maxWidth && maxWidth > 0) titleSize *= maxWidth / width;
        bitmapFont.DrawText(highScoreScreen.GetTextX("txtGameType"), highScoreScreen.GetTextY("txtGameType"),
                            titleSize, White, TEXT_CENTRE, title);
    }
    if (highScores.EntryActive()) {
        // The prompt sits just above the open row, over the row before it, like a label pinned to it.
        const float rowY = top + static_cast<float>(highScores.EditRow() + 1) * size * 1.25f;
        const float promptY = rowY - size * 1.3f;
        textureRegistry.DrawQuad(textureRegistry.GetTexture("Graphics\\prompt.png"), 0.45f, promptY, 0.34f,
                                 size * 1.5f, 0, 0, 1, 1, White, QUAD_ALPHA_BLEND);
        bitmapFont.DrawText(0.45f, promptY, size * 0.9f, PromptColour, TEXT_CENTRE, "Enter your name");
    }
    if (clearConfirmOpen) confirmScreen.Draw();
}

// The six actions with their keys and pad buttons, at the help page's three column anchors.
void GameApp::DrawHelpControls() {
    const float size = helpScreen.GetTextSize("txtControlsAction");
    const float top = helpScreen.GetTextY("txtControlsAction");
    for (int i = 0; i < GameActionCount; ++i) {
        const auto action = static_cast<GameAction>(i);
        const float y = top + static_cast<float>(i) * size * 1.3f;
        bitmapFont.DrawText(helpScreen.GetTextX("txtControlsAction"), y, size, White, 0, ActionLabel(action));
        bitmapFont.DrawText(helpScreen.GetTextX("txtControlsKey"), y, size, KeyColour, TEXT_LITERAL,
                            KeyBindingName(controls.keys[static_cast<size_t>(i)]));
        bitmapFont.DrawText(helpScreen.GetTextX("txtControlsPad"), y, size, KeyColour, 0,
                            PadButtonLabel(controls.buttons[static_cast<size_t>(i)]));
    }
}

// The block style's number and the language's own name, in their boxes on the options screen.
void GameApp::DrawOptionsValues() {
    bitmapFont.DrawText(optionsScreen.GetTextX("txtBlocksType"), optionsScreen.GetTextY("txtBlocksType"),
                        HudTextSize, White, TEXT_CENTRE, Decimal(blockStyle + 1));
    std::string ownName = Translate("LanguageName");
    if (ownName.empty()) ownName = languageName;
    bitmapFont.DrawText(optionsScreen.GetTextX("txtLanguage"), optionsScreen.GetTextY("txtLanguage"),
                        optionsScreen.GetTextSize("txtLanguage"), White, TEXT_CENTRE | TEXT_LITERAL, ownName);
}

// Each action's key and pad button on its button ("..." while the screen waits for a new one), the two
// repeat timings in their boxes, and a line that says what to do.
void GameApp::DrawControlsScreen() {
    controlsScreen.Draw();
    const float size = controlsScreen.GetTextSize("txtHint");
    for (int i = 0; i < GameActionCount; ++i) {
        const auto action = static_cast<GameAction>(i);
        for (const bool pad : {false, true}) {
            const ScreenButton* button =
                controlsScreen.FindButton(std::string(pad ? "btnPad" : "btnKey") + ActionKeyName(action));
            if (!button) continue;
            const bool waiting = captureAction == i && captureIsPad == pad;
            const std::string name = waiting ? "..."
                                     : pad   ? PadButtonLabel(controls.buttons[static_cast<size_t>(i)])
                                             : KeyBindingName(controls.keys[static_cast<size_t>(i)]);
            bitmapFont.DrawText(button->xc, button->yc, size, waiting ? KeyColour : White,
                                TEXT_CENTRE | (pad ? 0 : TEXT_LITERAL), name);
        }
    }
    for (const auto& [text, seconds] : {std::pair{"txtRepeatDelay", controls.repeatDelay},
                                        std::pair{"txtRepeatInterval", controls.repeatInterval}})
        bitmapFont.DrawText(controlsScreen.GetTextX(text), controlsScreen.GetTextY(text),
                            controlsScreen.GetTextSize(text), White, TEXT_CENTRE | TEXT_LITERAL,
                            SecondsText(seconds) + " s");
    const char* hint = captureAction < 0 ? "Choose an action to give it a new key or pad button."
                       : captureIsPad    ? "Press the new pad button. Escape cancels."
                                         : "Press the new key. Escape cancels.";
    bitmapFont.DrawText(controlsScreen.GetTextX("txtHint"), controlsScreen.GetTextY("txtHint"), size,
                        captureAction < 0 ? White : KeyColour, TEXT_CENTRE, hint);
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

    // The next piece turns slowly to and fro in the middle of its panel.
    const float turn = 0.5f * std::sin(1.5f * now);
    sys.scene.DrawNextPiece(*Device(), s, NextPieceCentre, turn);
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
